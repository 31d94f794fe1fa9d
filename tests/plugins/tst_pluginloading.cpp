#include "pluginfixture.h"
#include "plugininfo.h"
#include "studiopluginprototype.h"
#include "testsupport.h"
#include "widgetfactory.h"
#include "widgetsignalbridge.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

using namespace PluginFixture;

namespace
{
QStringList categoryMessages;
QtMessageHandler previousHandler = nullptr;

void captureHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (qstrcmp(context.category, "kestrix.plugins") == 0)
        categoryMessages.append(message);
    else
        previousHandler(type, context, message);
}

QStringList pluginNames()
{
    QStringList names;
    for (PluginInfo* info : WidgetFactory::pluginInfos())
        names.append(info->pluginName());
    return names;
}
} // namespace

class tst_PluginLoading : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> temp;

    QString folder(const QString& name) const { return QDir(temp->path()).canonicalPath() + QLatin1Char('/') + name; }

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }

    void init()
    {
        temp = std::make_unique<QTemporaryDir>();
        QVERIFY(temp->isValid());
        clearJournal();
    }

    void cleanup()
    {
        WidgetFactory::unloadPlugins();
        QVERIFY(WidgetFactory::loadedPlugins().isEmpty());
        temp.reset();
    }

    void duplicateRule_data()
    {
        QTest::addColumn<QString>("registered");
        QTest::addColumn<QString>("newcomer");
        QTest::addColumn<QString>("winner");
        QTest::newRow("lower major loses") << "dup20"
                                           << "dup15"
                                           << "dup20";
        QTest::newRow("higher major, minor not higher, loses") << "dup15"
                                                               << "dup20"
                                                               << "dup15";
        QTest::newRow("higher minor wins") << "dup15"
                                           << "dup16"
                                           << "dup16";
        QTest::newRow("equal keeps the registered") << "dup15"
                                                    << "dup15b"
                                                    << "dup15";
    }

    void duplicateRule()
    {
        QFETCH(QString, registered);
        QFETCH(QString, newcomer);
        QFETCH(QString, winner);
        const QString registeredPath = copy(registered, folder("a"));
        const QString newPath = copy(newcomer, folder("b"));
        const QString loser = winner == registered ? newcomer : registered;
        const QString loserPath = winner == registered ? newPath : registeredPath;

        WidgetFactory::loadPlugins(folder("a"));
        const QString registeredDescription = WidgetFactory::pluginInfos().value(0)->description();
        const QString newDescription = QStringLiteral("%1 ID: 7 Version: %2.%3 Build: %4")
                                           .arg(newcomer, newcomer.mid(3, 1), newcomer.mid(4, 1),
                                               newcomer.endsWith(QLatin1Char('b')) ? "2" : "1");
        QTest::ignoreMessage(QtDebugMsg,
            qPrintable(QStringLiteral("Two plugins with the same unique ID: \"%1\" \"%2\"")
                           .arg(newDescription, registeredDescription)));
        WidgetFactory::loadPlugins(folder("b"));

        QCOMPARE(pluginNames(), QStringList { winner });
        QVERIFY(isMapped(winner == registered ? registeredPath : newPath));
        QVERIFY(!isMapped(loserPath));
        QCOMPARE(journalOf(loser).mid(journalOf(loser).size() - 2), (QStringList { "destroyed", "unloaded" }));
        QVERIFY(!journalOf(winner).contains("destroyed"));
    }

    void registryOrderIgnoresFileNames()
    {
        copy("tp30", folder("p"), "liba.so");
        copy("tp10", folder("p"), "libz.so");
        copy("tp20", folder("p"), "libm.SO"); // the suffix matches in any letter case
        WidgetFactory::loadPlugins(folder("p"));
        QCOMPARE(pluginNames(), (QStringList { "tp10", "tp20", "tp30" }));
        QList<quint32> ids;
        for (StudioPluginPrototype* plugin : WidgetFactory::loadedPlugins())
            ids.append(plugin->pluginInfo()->uniquePluginID());
        QCOMPARE(ids, (QList<quint32> { 10, 20, 30 }));
    }

    void offsetsCountEveryInterfaceLibraryOnce()
    {
        const QString p = folder("p");
        copy("dup15", p);
        copy("dup16", p);
        const QString tp10 = copy("tp10", p);
        // None of these may be called or counted.
        copy("tpold", p);
        copy("tpforeign", p);
        copy("tp20", p, "libtp20.so.1");
        QFile::link(tp10, p + "/liblink.so");
        QFile text(p + "/notes.so");
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a library\n");
        text.close();
        QFile truncated(copy("tp30", p, "libtruncated.so"));
        QVERIFY(truncated.resize(4096));

        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Two plugins with the same unique ID: "));
        WidgetFactory::loadPlugins(p);

        QStringList offsets = calls("setIdOffset");
        for (QString& entry : offsets)
            entry = entry.section(QLatin1Char(' '), 1);
        std::sort(offsets.begin(), offsets.end());
        QCOMPARE(offsets, (QStringList { "100", "200", "300" }));
        QCOMPARE(pluginNames(), (QStringList { "dup16", "tp10" }));
        QCOMPARE(calls("setSignalBridge").size(), 3);
        // The older-interface plug-in was built and let go without a single call.
        QCOMPARE(journalOf("tpold"), (QStringList { "destroyed", "unloaded" }));
        QVERIFY(journalOf("tp20").isEmpty());
        QVERIFY(journalOf("tp30").isEmpty());
    }

    void bridgeComesBeforeOffsetAndStartPageIsRelayed()
    {
        QSignalSpy starts(WidgetSignalBridge::instance(), SIGNAL(startWidget(int)));
        copy("tp10", folder("p"));
        WidgetFactory::loadPlugins(folder("p"));
        QCOMPARE(journalOf("tp10"), (QStringList { "setSignalBridge", "setIdOffset 100" }));
        QCOMPARE(starts.count(), 1);
        QCOMPARE(starts.at(0).at(0).toInt(), 3);
    }

    void unloadPluginsDestroysThePlugins()
    {
        const QString tp10 = copy("tp10", folder("p"));
        copy("tp20", folder("p"));
        WidgetFactory::loadPlugins(folder("p"));
        WidgetFactory::loadPlugins(folder("p")); // the same files again change nothing
        QCOMPARE(pluginNames(), (QStringList { "tp10", "tp20" }));
        clearJournal();
        WidgetFactory::unloadPlugins();
        QVERIFY(WidgetFactory::pluginInfos().isEmpty());
        QCOMPARE(journal(), (QStringList { "tp10:destroyed", "tp20:destroyed" }));
        // Survivors stay mapped: Qt's caches may still point into them.
        QVERIFY(isMapped(tp10));
    }

    void diagnosticsNameTheReason()
    {
        const QString p = folder("p");
        copy("tpold", p);
        copy("tpforeign", p);
        QFile text(p + "/notes.so");
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("text");
        text.close();

        categoryMessages.clear();
        previousHandler = qInstallMessageHandler(captureHandler);
        WidgetFactory::loadPlugins(p);
        WidgetFactory::unloadPlugins();
        QVERIFY2(categoryMessages.isEmpty(), qPrintable(categoryMessages.join('\n'))); // off by default

        QLoggingCategory::setFilterRules(QStringLiteral("kestrix.plugins.debug=true"));
        WidgetFactory::loadPlugins(p);
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(previousHandler);

        const QString all = categoryMessages.join('\n');
        QVERIFY2(
            all.contains(QRegularExpression("libtpold\\.so: not taken: .*studiopluginprototype/1\\.1.*does not "
                                            "answer \"arvenholtlabs\\.kestrixstudio\\.studiopluginprototype/1\\.2\"")),
            qPrintable(all));
        QVERIFY2(
            all.contains(QRegularExpression("libtpforeign\\.so: not taken: .*someotherinterface")), qPrintable(all));
        QVERIFY2(all.contains(QRegularExpression("notes\\.so: not taken: \\S")), qPrintable(all));
    }
};

QTEST_MAIN(tst_PluginLoading)
#include "tst_pluginloading.moc"
