#include "aboutstudio.h"
#include "plugininfo.h"
#include "testsupport.h"
#include "widgetfactory.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class tst_AboutStudio : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void copyText_data();
    void copyText();
    void boxListsPluginsAndCopiesOnCopyKey_data();
    void boxListsPluginsAndCopiesOnCopyKey();

private:
    static QString header();
};

void tst_AboutStudio::initTestCase()
{
    TestSupport::enterTestMode();
}

void tst_AboutStudio::cleanup()
{
    WidgetFactory::unloadPlugins();
    QApplication::clipboard()->clear();
}

// Everything up to the plug-in lines, byte for byte.
QString tst_AboutStudio::header()
{
    return QStringLiteral("---------------------------\n"
                          "About Kestrix Studio\n"
                          "---------------------------\n"
                          "Version: 1.21.1.3\n"
                          "---------------------------\n"
                          "Projects used\n"
                          "---------------------------\n"
                          "Qt - LGPL 2.1 (https://www.qt.io/licensing/)\n"
                          "Qxt - LGPL 2.1 (http://doc.libqxt.org/)\n"
                          "Qwt - Qwt Licence Version 1.0 (https://qwt.sourceforge.io/)\n"
                          "\n"
                          "---------------------------\n"
                          "Plugins loaded\n"
                          "---------------------------\n");
}

void tst_AboutStudio::copyText_data()
{
    QTest::addColumn<bool>("withPlugins");
    QTest::addColumn<QString>("text");

    QTest::newRow("no plug-ins") << false << header();
    // Registry order: beta has the lower ID.
    QTest::newRow("two plug-ins") << true << header() + QStringLiteral("beta\t1.10\nalpha\t1.2\n");
}

void tst_AboutStudio::copyText()
{
    QFETCH(bool, withPlugins);
    QFETCH(QString, text);

    if (withPlugins)
        WidgetFactory::loadPlugins(QStringLiteral(HELP_PLUGIN_DIR));
    QCOMPARE(AboutStudio::copyText(
                 QStringLiteral("About Kestrix Studio"), QStringLiteral("1.21.1.3"), WidgetFactory::pluginInfos())
                 .toUtf8(),
        text.toUtf8());
}

void tst_AboutStudio::boxListsPluginsAndCopiesOnCopyKey_data()
{
    copyText_data();
}

void tst_AboutStudio::boxListsPluginsAndCopiesOnCopyKey()
{
    QFETCH(bool, withPlugins);
    QFETCH(QString, text);

    if (withPlugins)
        WidgetFactory::loadPlugins(QStringLiteral(HELP_PLUGIN_DIR));

    QWidget mainWindow;
    mainWindow.setWindowIcon(QIcon(QStringLiteral(":/km4200.ico")));
    QPointer<QDialog> box;
    QString title;
    QStringList pluginRows;
    bool visibleAfterEscape = false;
    QString copied;
    QSize iconSize;

    TestSupport::ModalAnswer answer(QMessageBox::NoButton, [&](QWidget* modal) {
        box = qobject_cast<QDialog*>(modal);
        title = modal->windowTitle();
        auto* grid = modal->findChild<QGridLayout*>(QStringLiteral("plugins"));
        for (int row = 0; row < grid->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < 2; ++column) {
                QLayoutItem* item = grid->itemAtPosition(row, column);
                auto* label = item ? qobject_cast<QLabel*>(item->widget()) : nullptr;
                if (label && (column == 0 || item != grid->itemAtPosition(row, 0)))
                    cells << label->text();
            }
            pluginRows << cells.join(QLatin1Char('|'));
        }
        iconSize = modal->findChild<QLabel*>(QStringLiteral("icon"))->pixmap(Qt::ReturnByValue).size();

        QWidget* focus = modal->focusWidget() ? modal->focusWidget() : modal;
        QTest::keyClick(focus, Qt::Key_Escape);
        QTest::keyClick(focus, Qt::Key_A);
        QCoreApplication::processEvents();
        visibleAfterEscape = modal->isVisible();

        QTest::keySequence(focus, QKeySequence(QKeySequence::Copy));
        copied = QApplication::clipboard()->text();

        modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    AboutStudio::showAbout(&mainWindow, QStringLiteral("Kestrix Studio"), QStringLiteral("1.21.1.3"));

    QVERIFY(answer.seen().seen);
    QCOMPARE(title, QStringLiteral("About Kestrix Studio"));
    QVERIFY(visibleAfterEscape);
    QCOMPARE(copied.toUtf8(), text.toUtf8());
    QStringList expectedRows = { QStringLiteral("Loaded plugins:"), QStringLiteral("Plugin Name|Version") };
    if (withPlugins)
        expectedRows << QStringLiteral("beta|1.10") << QStringLiteral("alpha|1.2");
    QCOMPARE(pluginRows, expectedRows);
    // The window icon's largest image.
    QCOMPARE(iconSize, QSize(48, 48));
    // The box deletes itself when closed.
    QVERIFY(box.isNull());
}

QTEST_MAIN(tst_AboutStudio)
#include "tst_aboutstudio.moc"
