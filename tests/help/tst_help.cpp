#include "aboutstudio.h"
#include "helpbrowser.h"
#include "helpdialog.h"
#include "statuscolors.h"
#include "testsupport.h"
#include "widgetfactory.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QResource>
#include <QSet>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTreeWidget>

class tst_Help : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's web browser.
    void openUrl(const QUrl& url) { webUrls.append(url); }

private slots:
    void initTestCase()
    {
        TestSupport::enterTestMode();
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openUrl");
    }

    void init()
    {
        store.clear();
        HelpDialog::loadSettings(&store);
        webUrls.clear();
    }

    void cleanup()
    {
        HelpDialog::discardInstance();
        WidgetFactory::unloadPlugins();
    }

    // Next run: the window is made anew from the stored settings.
    void geometryRestored()
    {
        open();
        dialog->setGeometry(60, 70, 640, 480);
        HelpDialog::saveSettings(&store);
        HelpDialog::discardInstance();
        HelpDialog::loadSettings(&store);
        open();
        QCOMPARE(dialog->geometry(), QRect(60, 70, 640, 480));
    }

    void transparency_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("moveTo");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("saved");
        QTest::newRow("stored 10 shows 25") << 10 << -1 << 25 << 30;
        QTest::newRow("64") << 55 << 64 << 64 << 64;
    }

    void transparency()
    {
        QFETCH(int, stored);
        QFETCH(int, moveTo);
        QFETCH(int, shown);
        QFETCH(int, saved);
        store.setValue(QStringLiteral("helpDialog/transparancy"), stored);
        HelpDialog::loadSettings(&store);
        open();
        auto* slider = dialog->findChild<QSlider*>(QStringLiteral("transparencySlider"));
        if (moveTo >= 0)
            slider->setValue(moveTo);
        QCOMPARE(slider->value(), shown);

        QEvent deactivate(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(dialog, &deactivate);
        // Opacity is kept in 1/255 steps.
        QVERIFY(qAbs(dialog->windowOpacity() - saved / 100.0) < 0.01);
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(dialog, &activate);
        QCOMPARE(dialog->windowOpacity(), 1.0);
        HelpDialog::saveSettings(&store);
        QCOMPARE(store.value(QStringLiteral("helpDialog/transparancy")).toInt(), saved);
    }

    void navigation_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QUrl>("link");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("firstLine");
        QTest::addColumn<QString>("entry");
        const QString release = QStringLiteral("general/doc/release"), notes = QStringLiteral("Release notes");
        const QString help = QStringLiteral("Kestrix Studio help");
        QTest::newRow("key marks its entry") << release << QUrl() << release << notes << notes;
        QTest::newRow(".html marks nothing") << release + ".html" << QUrl() << release + ".html" << notes << help;
        QTest::newRow("anchor keeps the document") << release << QUrl("#v1.0") << release + "#v1.0" << notes << notes;
        QTest::newRow("http to the web browser")
            << release << QUrl("http://www.example.com/?x=1") << release << notes << notes;
        // Registry order puts beta's entry first under each top entry.
        const QString plugin = QStringLiteral("alpha/doc/1");
        QTest::newRow("plug-in document")
            << plugin << QUrl() << plugin << QStringLiteral("alpha:") + plugin << QStringLiteral("alpha 1");
    }

    void navigation()
    {
        QFETCH(QString, key);
        QFETCH(QUrl, link);
        QFETCH(QString, source);
        QFETCH(QString, firstLine);
        QFETCH(QString, entry);
        WidgetFactory::loadPlugins(QStringLiteral(HELP_PLUGIN_DIR));
        open();
        dialog->showDocument(key);
        if (!link.isEmpty())
            emit browser()->anchorClicked(link);
        QCOMPARE(browser()->source().toString(), source);
        QCOMPARE(browser()->document()->firstBlock().text(), firstLine);
        QCOMPARE(dialog->findChild<QTreeWidget*>(QStringLiteral("contents"))->currentItem()->text(0), entry);
        QCOMPARE(webUrls, link.scheme() == QLatin1String("http") ? QList<QUrl>({ link }) : QList<QUrl>());
    }

    // Return (Enter is the same activation) and Space on an entry of the contents open it, as a click does.
    void contentsByKeyboard_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("return") << int(Qt::Key_Return);
        QTest::newRow("space") << int(Qt::Key_Space);
    }
    void contentsByKeyboard()
    {
        QFETCH(int, key);
        open();
        auto* contents = dialog->findChild<QTreeWidget*>(QStringLiteral("contents"));
        QTreeWidgetItem* release = contents->findItems("Release notes", Qt::MatchRecursive).value(0);
        QVERIFY(release);
        contents->setFocus();
        contents->setCurrentItem(release);
        QTest::keyClick(contents, Qt::Key(key));
        QCOMPARE(browser()->source().toString(), QStringLiteral("general/doc/release"));
    }

    void neverOpenedWritesNothing()
    {
        store.setValue(QStringLiteral("helpDialog/transparancy"), 42);
        HelpDialog::loadSettings(&store);
        QSettings empty(folder.filePath(QStringLiteral("empty.ini")), QSettings::IniFormat);
        HelpDialog::saveSettings(&empty);
        HelpDialog::saveSettings(&store);
        QVERIFY(empty.allKeys().isEmpty());
        QCOMPARE(store.allKeys(), QStringList { QStringLiteral("helpDialog/transparancy") });
    }

    // The data tag is the help key.
    void keysLoad_data()
    {
        QTest::addColumn<QString>("resource");
        QTest::newRow("general/doc/index/more") << ":/doc/index.html";
        QTest::newRow("general/images/default_view.png") << ":/images/default_view.png";
        QTest::newRow("General/doc/index") << "";
    }

    void keysLoad()
    {
        QFETCH(QString, resource);
        const QVariant answer = WidgetFactory::helpResource(QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(answer.isValid(), !resource.isEmpty());
        if (resource.isEmpty())
            return;
        QFile file(resource);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(answer.toByteArray(), file.readAll());
    }

    // The style sheet colours the heading and the links, readable on a light
    // and on a dark palette; the screenshot decodes and is drawn.
    void introductionRendersCompletely_data()
    {
        QTest::addColumn<QColor>("paper");
        QTest::addColumn<QColor>("ink");
        QTest::newRow("light") << QColor(Qt::white) << QColor(Qt::black);
        QTest::newRow("dark") << QColor(0x2a, 0x2a, 0x2a) << QColor(Qt::white);
    }
    void introductionRendersCompletely()
    {
        QFETCH(QColor, paper);
        QFETCH(QColor, ink);
        HelpBrowser browser;
        QPalette palette = browser.palette();
        palette.setColor(QPalette::Base, paper);
        palette.setColor(QPalette::Text, ink);
        browser.setPalette(palette);
        browser.resize(800, 600);
        browser.setSource(QUrl(QStringLiteral("general/doc/index")));
        const QImage page = browser.grab().toImage();
        QTextDocument* document = browser.document();
        const QColor heading = document->firstBlock().charFormat().foreground().color();
        QVERIFY2(StatusColors::contrast(heading, paper) >= 4.5, qPrintable(heading.name()));
        QVERIFY(heading.blue() > heading.red()); // still the house blue
        QTextCursor link = document->find(QRegularExpression(QStringLiteral(".")), 0);
        while (!link.isNull() && !link.charFormat().isAnchor())
            link = document->find(QRegularExpression(QStringLiteral(".")), link);
        if (!link.isNull())
            QVERIFY(StatusColors::contrast(link.charFormat().foreground().color(), paper) >= 4.5);

        QTextCursor image = document->find(QString(QChar::ObjectReplacementCharacter));
        // The picture itself is on the page: its place holds many colours.
        image.setPosition(image.selectionStart());
        const QRect place = browser.cursorRect(image).translated(browser.viewport()->pos());
        QSet<QRgb> colours;
        for (int y = place.top(); y < place.bottom(); y += 3) {
            for (int x = place.left() + 2; x < place.left() + 400; x += 3)
                colours.insert(page.pixel(x, y));
        }
        QVERIFY2(colours.size() > 20, qPrintable(QString::number(colours.size())));
    }

    // Escape leaves the box open; the Copy key copies its text, plug-ins in registry order (beta has the lower ID).
    void aboutBox()
    {
        WidgetFactory::loadPlugins(QStringLiteral(HELP_PLUGIN_DIR));
        QApplication::clipboard()->clear();
        bool visibleAfterEscape = false;
        TestSupport::ModalAnswer answer(QMessageBox::NoButton, [&](QWidget* modal) {
            QWidget* focus = modal->focusWidget() ? modal->focusWidget() : modal;
            QTest::keyClick(focus, Qt::Key_Escape);
            QCoreApplication::processEvents();
            visibleAfterEscape = modal->isVisible();
            QTest::keySequence(focus, QKeySequence(QKeySequence::Copy));
            modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        AboutStudio::showAbout(&mainWindow, QStringLiteral("Kestrix Studio"), QStringLiteral("1.21.1.3"));
        QCOMPARE(answer.seen().title, QStringLiteral("About Kestrix Studio"));
        QVERIFY(visibleAfterEscape);
        const QString text = QApplication::clipboard()->text();
        QVERIFY2(text.contains("\nVersion: 1.21.1.3\n"), qPrintable(text));
        QVERIFY2(
            text.endsWith("\nPlugins loaded\n---------------------------\nbeta\t1.10\nalpha\t1.2\n"), qPrintable(text));
    }

private:
    // What the main window's openHelp does.
    void open()
    {
        dialog = HelpDialog::instance(&mainWindow);
        dialog->showDocument(QStringLiteral("general/doc/index"));
        dialog->show();
        dialog->activateWindow();
    }
    HelpBrowser* browser() const { return dialog->findChild<HelpBrowser*>(QStringLiteral("browser")); }

    QTemporaryDir folder;
    QSettings store { folder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat };
    QWidget mainWindow;
    HelpDialog* dialog = nullptr;
    QList<QUrl> webUrls;
};

QTEST_MAIN(tst_Help)
#include "tst_help.moc"
