#include "helpbrowser.h"
#include "helpdialog.h"
#include "testsupport.h"
#include "widgetfactory.h"

#include <QDesktopServices>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTreeWidget>

#include <memory>

// Catches what the help would hand to the desktop's web browser.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void openUrl(const QUrl& url) { urls.append(url); }
};

class tst_HelpDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void firstOpeningFillsContents();
    void storedGeometryIsRestored();
    void sliderIsClamped_data();
    void sliderIsClamped();
    void storedTransparencyShowsOnSlider_data();
    void storedTransparencyShowsOnSlider();
    void documentMarksItsEntry_data();
    void documentMarksItsEntry();
    void clickOnEntryShowsDocument();
    void linkOnIndexPageShowsReleaseNotes();
    void links_data();
    void links();
    void pluginDocumentShownThroughItsKey();
    void neverOpenedWritesNothing();

private:
    HelpDialog* open();
    HelpBrowser* browser() const { return dialog->findChild<HelpBrowser*>(QStringLiteral("browser")); }
    QTreeWidget* contents() const { return dialog->findChild<QTreeWidget*>(QStringLiteral("contents")); }
    QSlider* slider() const { return dialog->findChild<QSlider*>(QStringLiteral("transparencySlider")); }
    QString currentEntry() const { return contents()->currentItem() ? contents()->currentItem()->text(0) : QString(); }
    QString title() const { return browser()->documentTitle(); }

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<QSettings> store;
    std::unique_ptr<QWidget> mainWindow;
    HelpDialog* dialog = nullptr;
    UrlCatcher catcher;
};

void tst_HelpDialog::initTestCase()
{
    TestSupport::enterTestMode();
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "openUrl");
}

void tst_HelpDialog::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}

void tst_HelpDialog::init()
{
    folder = std::make_unique<QTemporaryDir>();
    store = std::make_unique<QSettings>(folder->filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    HelpDialog::loadSettings(store.get());
    mainWindow = std::make_unique<QWidget>();
    catcher.urls.clear();
}

void tst_HelpDialog::cleanup()
{
    HelpDialog::discardInstance();
    dialog = nullptr;
    mainWindow.reset();
    store.reset();
    folder.reset();
    WidgetFactory::unloadPlugins();
}

HelpDialog* tst_HelpDialog::open()
{
    // What the main window's openHelp does.
    dialog = HelpDialog::instance(mainWindow.get());
    dialog->showDocument(QStringLiteral("general/doc/index"));
    dialog->show();
    dialog->activateWindow();
    return dialog;
}

void tst_HelpDialog::firstOpeningFillsContents()
{
    open();
    QCOMPARE(HelpDialog::instance(nullptr), dialog);
    QCOMPARE(dialog->parentWidget(), mainWindow.get());
    QCOMPARE(dialog->size(), QSize(800, 600));
    QCOMPARE(contents()->headerItem()->text(0), QStringLiteral("Contents"));

    QStringList entries;
    for (int i = 0; i < contents()->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = contents()->topLevelItem(i);
        entries << item->text(0) + QLatin1Char('=') + item->data(0, Qt::UserRole).toString();
    }
    QCOMPARE(entries,
        QStringList({ "Kestrix Studio help=general/doc/index", "Command line possibilities=general/doc/commandline",
            "Release notes=general/doc/release" }));
    QCOMPARE(title(), QStringLiteral("Kestrix Studio - Introduction"));
    QCOMPARE(currentEntry(), QStringLiteral("Kestrix Studio help"));
}

void tst_HelpDialog::storedGeometryIsRestored()
{
    open();
    dialog->setGeometry(60, 70, 640, 480);
    HelpDialog::saveSettings(store.get());
    store->sync();
    QVERIFY(!store->value(QStringLiteral("helpDialog/geometry")).toByteArray().isEmpty());

    // Next run: a new process reads the same store.
    HelpDialog::discardInstance();
    QSettings nextRun(store->fileName(), QSettings::IniFormat);
    HelpDialog::loadSettings(&nextRun);
    open();
    QCOMPARE(dialog->geometry(), QRect(60, 70, 640, 480));

    // Closing only hides; the next request shows the same window where it was.
    dialog->close();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(open(), HelpDialog::instance(nullptr));
    QCOMPARE(dialog->geometry(), QRect(60, 70, 640, 480));
}

void tst_HelpDialog::sliderIsClamped_data()
{
    QTest::addColumn<int>("sliderValue");
    QTest::addColumn<int>("saved");

    QTest::newRow("minimum 25 acts as 30") << 25 << 30;
    QTest::newRow("29 acts as 30") << 29 << 30;
    QTest::newRow("30") << 30 << 30;
    QTest::newRow("64") << 64 << 64;
    QTest::newRow("maximum 100") << 100 << 100;
}

void tst_HelpDialog::sliderIsClamped()
{
    QFETCH(int, sliderValue);
    QFETCH(int, saved);

    open();
    QCOMPARE(slider()->minimum(), 25);
    QCOMPARE(slider()->maximum(), 100);
    slider()->setValue(sliderValue);

    QEvent deactivate(QEvent::WindowDeactivate);
    QVERIFY(QCoreApplication::sendEvent(dialog, &deactivate));
    // Opacity is kept in 1/255 steps.
    QVERIFY2(
        qAbs(dialog->windowOpacity() - saved / 100.0) < 0.01, qPrintable(QString::number(dialog->windowOpacity())));

    QEvent activate(QEvent::WindowActivate);
    QVERIFY(QCoreApplication::sendEvent(dialog, &activate));
    QCOMPARE(dialog->windowOpacity(), 1.0);

    HelpDialog::saveSettings(store.get());
    QCOMPARE(store->value(QStringLiteral("helpDialog/transparancy")).toInt(), saved);
}

void tst_HelpDialog::storedTransparencyShowsOnSlider_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("saved");

    QTest::newRow("none stored") << QVariant() << 100 << 100;
    QTest::newRow("10 below the slider") << QVariant(10) << 25 << 30;
    QTest::newRow("55") << QVariant(55) << 55 << 55;
}

void tst_HelpDialog::storedTransparencyShowsOnSlider()
{
    QFETCH(QVariant, stored);
    QFETCH(int, shown);
    QFETCH(int, saved);

    if (stored.isValid())
        store->setValue(QStringLiteral("helpDialog/transparancy"), stored);
    HelpDialog::loadSettings(store.get());
    open();
    QCOMPARE(slider()->value(), shown);
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(dialog, &deactivate);
    HelpDialog::saveSettings(store.get());
    QCOMPARE(store->value(QStringLiteral("helpDialog/transparancy")).toInt(), saved);
}

void tst_HelpDialog::documentMarksItsEntry_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("documentTitle");
    QTest::addColumn<QString>("entry");

    // Opened on the introduction, so its entry is current to begin with.
    QTest::newRow("release notes") << "general/doc/release"
                                   << "Kestrix Studio - Release notes"
                                   << "Release notes";
    QTest::newRow("command line") << "general/doc/commandline"
                                  << "Kestrix Studio - Commandline possibilities"
                                  << "Command line possibilities";
    QTest::newRow(".html marks nothing") << "general/doc/release.html"
                                         << "Kestrix Studio - Release notes"
                                         << "Kestrix Studio help";
    QTest::newRow("anchor marks nothing") << "general/doc/release#v1.20"
                                          << "Kestrix Studio - Release notes"
                                          << "Kestrix Studio help";
    QTest::newRow("letter case differs") << "general/doc/Release"
                                         << ""
                                         << "Kestrix Studio help";
    QTest::newRow("no such document") << "general/doc/nothing"
                                      << ""
                                      << "Kestrix Studio help";
}

void tst_HelpDialog::documentMarksItsEntry()
{
    QFETCH(QString, key);
    QFETCH(QString, documentTitle);
    QFETCH(QString, entry);

    open();
    QCOMPARE(currentEntry(), QStringLiteral("Kestrix Studio help"));
    dialog->showDocument(key);
    QCOMPARE(title(), documentTitle);
    if (documentTitle.isEmpty())
        QVERIFY(browser()->toPlainText().isEmpty());
    QCOMPARE(currentEntry(), entry);
}

void tst_HelpDialog::clickOnEntryShowsDocument()
{
    open();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QTreeWidgetItem* release = contents()->topLevelItem(2);
    QTest::mouseClick(contents()->viewport(), Qt::LeftButton, {}, contents()->visualItemRect(release).center());
    QCOMPARE(title(), QStringLiteral("Kestrix Studio - Release notes"));
    QCOMPARE(currentEntry(), QStringLiteral("Release notes"));
}

void tst_HelpDialog::linkOnIndexPageShowsReleaseNotes()
{
    open();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QTextCursor cursor
        = browser()->document()->find(QStringLiteral("release notes"), 0, QTextDocument::FindCaseSensitively);
    QVERIFY(!cursor.isNull());
    QCOMPARE(cursor.charFormat().anchorHref(), QStringLiteral("general/doc/release.html"));
    cursor.setPosition(cursor.selectionStart() + 2);
    browser()->ensureCursorVisible();
    const QPoint link = browser()->cursorRect(cursor).center();
    QSignalSpy sources(browser(), SIGNAL(sourceChanged(QUrl)));

    QTest::mouseClick(browser()->viewport(), Qt::LeftButton, {}, link);
    QCOMPARE(sources.count(), 1);
    QCOMPARE(browser()->source().toString(), QStringLiteral("general/doc/release.html"));
    QCOMPARE(title(), QStringLiteral("Kestrix Studio - Release notes"));
    QCOMPARE(currentEntry(), QStringLiteral("Kestrix Studio help"));
}

void tst_HelpDialog::links_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QUrl>("link");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("documentTitle");
    QTest::addColumn<bool>("external");

    QTest::newRow("http to the web browser")
        << "general/doc/commandline" << QUrl("http://www.example.com/km4200?x=1") << "general/doc/commandline"
        << "Kestrix Studio - Commandline possibilities" << true;
    QTest::newRow("anchor in the current document")
        << "general/doc/release" << QUrl("#v1.0") << "general/doc/release#v1.0"
        << "Kestrix Studio - Release notes" << false;
    QTest::newRow("help key") << "general/doc/index" << QUrl("general/doc/commandline") << "general/doc/commandline"
                              << "Kestrix Studio - Commandline possibilities" << false;
    QTest::newRow("https is a help key") << "general/doc/index" << QUrl("https://www.example.com/")
                                         << "https://www.example.com/"
                                         << "" << false;
}

void tst_HelpDialog::links()
{
    QFETCH(QString, start);
    QFETCH(QUrl, link);
    QFETCH(QString, source);
    QFETCH(QString, documentTitle);
    QFETCH(bool, external);

    open();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    dialog->showDocument(start);
    QScrollBar* scroll = browser()->verticalScrollBar();
    QCOMPARE(scroll->value(), 0);

    emit browser()->anchorClicked(link);
    QCOMPARE(browser()->source().toString(), source);
    QCOMPARE(title(), documentTitle);
    QCOMPARE(catcher.urls, external ? QList<QUrl>({ link }) : QList<QUrl>());
    // The oldest release is at the very end of the notes.
    if (link.toString() == QLatin1String("#v1.0"))
        QVERIFY(scroll->value() > 0);
}

void tst_HelpDialog::pluginDocumentShownThroughItsKey()
{
    WidgetFactory::loadPlugins(QStringLiteral(HELP_PLUGIN_DIR));
    QCOMPARE(WidgetFactory::pluginInfos().size(), 2);
    open();

    // Each plug-in adds one entry under each top entry, in registry order.
    QTreeWidgetItem* commandLine = contents()->topLevelItem(1);
    QCOMPARE(commandLine->childCount(), 2);
    QCOMPARE(commandLine->child(0)->text(0), QStringLiteral("beta 1"));
    QCOMPARE(commandLine->child(1)->text(0), QStringLiteral("alpha 1"));
    QVERIFY(commandLine->isExpanded());

    // The shell's documents go first, whatever a plug-in offers for their keys.
    QCOMPARE(title(), QStringLiteral("Kestrix Studio - Introduction"));
    dialog->showDocument(QStringLiteral("alpha/doc/1"));
    QCOMPARE(browser()->toPlainText(), QStringLiteral("alpha:alpha/doc/1"));
    QCOMPARE(contents()->currentItem(), commandLine->child(1));
}

void tst_HelpDialog::neverOpenedWritesNothing()
{
    store->setValue(QStringLiteral("helpDialog/geometry"), QByteArray("from an earlier run"));
    store->setValue(QStringLiteral("helpDialog/transparancy"), 42);
    HelpDialog::loadSettings(store.get());

    QSettings empty(folder->filePath(QStringLiteral("empty.ini")), QSettings::IniFormat);
    HelpDialog::saveSettings(&empty);
    HelpDialog::saveSettings(store.get());
    QVERIFY(empty.allKeys().isEmpty());
    QCOMPARE(store->value(QStringLiteral("helpDialog/geometry")).toByteArray(), QByteArray("from an earlier run"));
    QCOMPARE(store->value(QStringLiteral("helpDialog/transparancy")).toInt(), 42);
}

QTEST_MAIN(tst_HelpDialog)
#include "tst_helpdialog.moc"
