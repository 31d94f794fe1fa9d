#include "basewidget.h"
#include "menuview.h"
#include "pluginfixture.h"
#include "plugininfo.h"
#include "testsupport.h"
#include "widgetfactory.h"

#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <memory>

using namespace PluginFixture;

class tst_WidgetFactory : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> temp;

    void load(const QStringList& targets)
    {
        for (const QString& target : targets)
            copy(target, temp->path());
        WidgetFactory::loadPlugins(temp->path());
        clearJournal();
    }

private slots:
    void initTestCase()
    {
        TestSupport::enterTestMode();
        QCoreApplication::setApplicationName(QStringLiteral("Kestrix Studio"));
    }

    void init()
    {
        temp = std::make_unique<QTemporaryDir>();
        QVERIFY(temp->isValid());
        clearJournal();
    }

    void cleanup()
    {
        WidgetFactory::unloadPlugins();
        temp.reset();
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("plugins");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("asked");
        const QStringList all = { "tp10", "tp20", "tp30", "tp40" };
        QTest::newRow("no plug-ins") << QStringList() << QStringList { "app", "--spi" } << 2 << 0 << QStringList();
        QTest::newRow("0 and 2 only") << QStringList { "tp10", "tp20" } << QStringList { "app", "--spi" } << 2 << 0
                                      << QStringList { "tp10:processCommandLine --spi",
                                             "tp20:processCommandLine --spi" };
        QTest::newRow("first end wins") << all << QStringList { "app", "--spi" } << 1 << 3
                                        << QStringList { "tp10:processCommandLine --spi",
                                               "tp20:processCommandLine --spi", "tp30:processCommandLine --spi",
                                               "tp30:exitCode" };
        QTest::newRow("-H is no help") << all << QStringList { "app", "-H" } << 1 << 3
                                       << QStringList { "tp10:processCommandLine -H", "tp20:processCommandLine -H",
                                              "tp30:processCommandLine -H", "tp30:exitCode" };
        QTest::newRow("-h") << all << QStringList { "app", "-h" } << 1 << 0
                            << QStringList { "tp10:printUsage Kestrix Studio|", "tp20:printUsage Kestrix Studio|",
                                   "tp30:printUsage Kestrix Studio|", "tp40:printUsage Kestrix Studio|" };
        QTest::newRow("-h --spi") << QStringList { "tp10", "tp20" } << QStringList { "app", "x", "-h", "--s-pi", "y" }
                                  << 1 << 0
                                  << QStringList { "tp10:printUsage Kestrix Studio|spi",
                                         "tp20:printUsage Kestrix Studio|spi" };
    }

    void commandLine()
    {
        QFETCH(QStringList, plugins);
        QFETCH(QStringList, arguments);
        QFETCH(int, result);
        QFETCH(int, exitCode);
        QFETCH(QStringList, asked);
        load(plugins);
        QCOMPARE(int(WidgetFactory::processCommandLine(arguments)), result);
        QCOMPARE(WidgetFactory::exitCode(), exitCode);
        QCOMPARE(journal(), asked);
    }

    void pages_data()
    {
        QTest::addColumn<QStringList>("plugins");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("asked");
        const QStringList three = { "tp10", "tp20", "tp30" };
        QTest::newRow("first server wins") << three << 2 << "tp10" << QStringList { "tp10" };
        QTest::newRow("next server") << three << 3 << "tp20" << QStringList { "tp10", "tp20" };
        QTest::newRow("default settings never asked") << three << 6 << "FlashDefaultSettings" << QStringList();
        QTest::newRow("unserved type") << three << 9 << "DefaultWidget" << QStringList { "tp10", "tp20", "tp30" };
        QTest::newRow("start-up type") << three << -1 << "DefaultWidget" << QStringList { "tp10", "tp20", "tp30" };
        QTest::newRow("no plug-ins") << QStringList() << 1 << "DefaultWidget" << QStringList();
        QTest::newRow("no plug-ins, type 6") << QStringList() << 6 << "FlashDefaultSettings" << QStringList();
    }

    void pages()
    {
        QFETCH(QStringList, plugins);
        QFETCH(int, type);
        QFETCH(QString, page);
        QFETCH(QStringList, asked);
        load(plugins);
        std::unique_ptr<BaseWidget> widget(WidgetFactory::createWidget(type, 0, 0));
        QVERIFY(widget);
        QVERIFY(!widget->parent());
        const QString kind = widget->objectName().isEmpty() ? widget->metaObject()->className() : widget->objectName();
        QCOMPARE(kind, page);
        QStringList askedPlugins;
        for (const QString& entry : calls("createWidget"))
            askedPlugins.append(entry.section(QLatin1Char(':'), 0, 0));
        QCOMPARE(askedPlugins, asked);
    }

    void pageIsBoundThenRefreshedThenGivenItsSubtype()
    {
        load({ "tp10" });
        int subtype = 300; // what the window passes; only the low 8 bits arrive
        std::unique_ptr<BaseWidget> widget(WidgetFactory::createWidget(1, subtype, 4));
        QCOMPARE(journalOf("tp10"),
            (QStringList { "createWidget 1 4", "page setBoard 4", "page boardUpdate", "page setSubtype 44" }));
    }

    void viewsAndMenusInRegistryOrder()
    {
        load({ "tp20", "tp10" });
        MenuView view(nullptr);
        WidgetFactory::populateView(WidgetFactory::MenuMotherboards, &view);
        QCOMPARE(view.topLevelItemCount(), 2);
        QCOMPARE(view.topLevelItem(0)->text(0), QStringLiteral("tp10"));
        QCOMPARE(view.topLevelItem(1)->text(0), QStringLiteral("tp20"));

        QMenu menu;
        WidgetFactory::populateMenu(WidgetFactory::MenuFileOpen, &menu);
        QMenuBar bar;
        WidgetFactory::populateMenuBar(WidgetFactory::MenuMenuBar, &bar);
        QCOMPARE(menu.actions().size(), 2);
        QCOMPARE(menu.actions().at(0)->text(), QStringLiteral("tp10"));
        QCOMPARE(bar.actions().at(1)->text(), QStringLiteral("tp20"));
        QCOMPARE(journal(),
            (QStringList { "tp10:populateView 3", "tp20:populateView 3", "tp10:populateMenu 6", "tp20:populateMenu 6",
                "tp10:populateMenuBar 9", "tp20:populateMenuBar 9" }));
    }

    void featuresAndClosing_data()
    {
        QTest::addColumn<QStringList>("plugins");
        QTest::addColumn<int>("features");
        QTest::addColumn<bool>("canClose");
        QTest::addColumn<QStringList>("asked");
        QTest::newRow("none") << QStringList() << 0 << true << QStringList();
        QTest::newRow("0 and 1 allow") << QStringList { "tp10", "tp20" } << 3 << true
                                       << QStringList { "tp10:closeRequest", "tp20:closeRequest" };
        QTest::newRow("first 2 stops") << QStringList { "tp10", "tp30", "tp40" } << 1 << false
                                       << QStringList { "tp10:closeRequest", "tp30:closeRequest" };
    }

    void featuresAndClosing()
    {
        QFETCH(QStringList, plugins);
        QFETCH(int, features);
        QFETCH(bool, canClose);
        QFETCH(QStringList, asked);
        load(plugins);
        QCOMPARE(int(WidgetFactory::features()), features);
        clearJournal();
        QCOMPARE(WidgetFactory::canClose(), canClose);
        QCOMPARE(journal(), asked);
    }

    void helpContents()
    {
        load({ "tp20", "tp10" });
        QTreeWidget tree;
        WidgetFactory::populateHelp(tree.invisibleRootItem());
        const QStringList texts = { "Kestrix Studio help", "Command line possibilities", "Release notes" };
        const QStringList keys = { "general/doc/index", "general/doc/commandline", "general/doc/release" };
        QCOMPARE(tree.topLevelItemCount(), 3);
        for (int i = 0; i < 3; ++i) {
            QTreeWidgetItem* entry = tree.topLevelItem(i);
            QCOMPARE(entry->text(0), texts.at(i));
            QCOMPARE(entry->data(0, Qt::UserRole).toString(), keys.at(i));
            QVERIFY(entry->isExpanded());
            QCOMPARE(entry->childCount(), 2);
            QCOMPARE(entry->child(0)->text(0), QStringLiteral("tp10 %1").arg(i));
            QCOMPARE(entry->child(1)->text(0), QStringLiteral("tp20 %1").arg(i));
        }

        QTreeWidgetItem detached; // an item outside a tree just gets its children
        WidgetFactory::populateHelp(&detached);
        QCOMPARE(detached.childCount(), 3);
    }

    void helpResource_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<int>("pluginsAsked");
        QFile own(QStringLiteral(":/doc/kestrixtestdocument.html"));
        QVERIFY(own.open(QIODevice::ReadOnly));
        QTest::newRow("own document wins") << "general/doc/kestrixtestdocument" << QVariant(own.readAll()) << 0;
        QTest::newRow("own document missing")
            << "general/doc/missing" << QVariant(QByteArray("tp10:general/doc/missing")) << 1;
        QTest::newRow("second plug-in's key") << "tp20/doc/x" << QVariant(QByteArray("tp20:tp20/doc/x")) << 2;
        QTest::newRow("nobody's key") << "none/doc/x" << QVariant() << 2;
    }

    void helpResource()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, answer);
        QFETCH(int, pluginsAsked);
        load({ "tp10", "tp20" });
        QCOMPARE(WidgetFactory::helpResource(key), answer);
        QCOMPARE(calls("helpResource").size(), pluginsAsked);
    }

    void settingsReachEveryPlugin()
    {
        load({ "tp20", "tp10" });
        QSettings settings(temp->filePath("settings.ini"), QSettings::IniFormat);
        WidgetFactory::saveSettings(&settings);
        WidgetFactory::loadSettings(&settings);
        QCOMPARE(journal(),
            (QStringList {
                "tp10:saveSettings", "tp20:saveSettings", "tp10:loadSettings yes", "tp20:loadSettings yes" }));
        QCOMPARE(WidgetFactory::pluginInfos().size(), 2);
        QCOMPARE(WidgetFactory::pluginInfos().at(0)->pluginName(), QStringLiteral("tp10"));
    }
};

QTEST_MAIN(tst_WidgetFactory)
#include "tst_widgetfactory.moc"
