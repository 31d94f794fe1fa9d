#include "basewidget.h"
#include "plugininfo.h"
#include "testsupport.h"
#include "widgetfactory.h"
#include "widgetsignalbridge.h"

#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

namespace
{
// The relay exists before main() runs.
WidgetSignalBridge* const bridgeBeforeMain = WidgetSignalBridge::instance();
QStringList logged; // messages of the plug-in category

QStringList journal()
{
    return qApp->property("kestrixTestJournal").toStringList();
}

// The plug-ins asked for `call`, in calling order.
QStringList askedFor(const QString& call)
{
    QStringList tags;
    for (const QString& entry : journal().filter(QLatin1Char(':') + call))
        tags.append(entry.section(QLatin1Char(':'), 0, 0));
    return tags;
}

QStringList pluginNames()
{
    QStringList names;
    for (PluginInfo* info : WidgetFactory::pluginInfos())
        names.append(info->pluginName());
    return names;
}
} // namespace

class tst_WidgetFactory : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> temp;

    QString path(const QString& name) const { return QDir(temp->path()).canonicalPath() + QLatin1Char('/') + name; }

    // Copies the test plug-in built as `target` into the temporary folder `folder`.
    QString copy(const QString& target, QString fileName = QString(), const QString& folder = QStringLiteral("p"))
    {
        fileName = path(folder + QLatin1Char('/') + (fileName.isEmpty() ? "lib" + target + ".so" : fileName));
        QDir().mkpath(path(folder));
        if (!QFile::copy(QStringLiteral(TEST_PLUGIN_DIR "/lib%1.so").arg(target), fileName))
            qFatal("cannot copy %s", qPrintable(fileName));
        return fileName;
    }

    void load(const QStringList& targets)
    {
        for (const QString& target : targets)
            copy(target);
        WidgetFactory::loadPlugins(path("p"));
        qApp->setProperty("kestrixTestJournal", QStringList());
    }

    // Files the factory must skip: another interface (old or foreign), a plain
    // library, a wrong suffix, a text file and a truncated library.
    void copySkipped()
    {
        copy("tpold");
        copy("tpforeign");
        copy("tpnone");
        copy("tp20", "libtp20.so.1");
        QFile text(path("p/notes.so"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a library\n") > 0);
        QVERIFY(QFile::resize(copy("tp30", "libtruncated.so"), 4096));
    }

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }

    void init()
    {
        temp = std::make_unique<QTemporaryDir>();
        QVERIFY(temp->isValid());
        qApp->setProperty("kestrixTestJournal", QStringList());
    }

    void cleanup()
    {
        WidgetFactory::unloadPlugins();
        QVERIFY(WidgetFactory::pluginInfos().isEmpty());
        temp.reset();
    }

    void duplicateRule_data()
    {
        QTest::addColumn<QStringList>("files"); // the registered one, then the newcomer
        QTest::addColumn<QString>("winner");
        QTest::newRow("lower major loses") << QStringList { "dup20", "dup15" } << "dup20";
        QTest::newRow("higher major, minor not higher, loses") << QStringList { "dup15", "dup20" } << "dup15";
        QTest::newRow("higher minor wins") << QStringList { "dup15", "dup16" } << "dup16";
        QTest::newRow("equal keeps the registered") << QStringList { "dup15", "dup15b" } << "dup15";
    }

    void duplicateRule()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, winner);
        copy(files.at(0), QString(), "a");
        copy(files.at(1), QString(), "b");
        const auto describe = [](const QString& name) {
            return QStringLiteral("\"%1 ID: 7 Version: %2.%3 Build: %4\"")
                .arg(name, name.mid(3, 1), name.mid(4, 1), name.endsWith('b') ? "2" : "1");
        };
        WidgetFactory::loadPlugins(path("a"));
        QTest::ignoreMessage(QtDebugMsg,
            qPrintable("Two plugins with the same unique ID: " + describe(files.at(1)) + ' ' + describe(files.at(0))));
        WidgetFactory::loadPlugins(path("b"));

        QCOMPARE(pluginNames(), QStringList { winner });
        // The loser's root object is gone and its library unmapped.
        const QString loser = files.at(1 - files.indexOf(winner));
        QCOMPARE(journal().filter(loser + ':').mid(2), (QStringList { loser + ":destroyed", loser + ":unloaded" }));
    }

    // Every interface library counts once for the offsets, the registry is in
    // ID order whatever the file names, and skipped files are never called.
    void loadFolder()
    {
        copy("dup15");
        copy("dup16", "libz.SO"); // the suffix matches in any letter case
        QVERIFY(QFile::link(copy("tp10", "liba.so"), path("p/liblink.so")));
        copySkipped();
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Two plugins with the same unique ID: "));
        WidgetFactory::loadPlugins(path("p"));

        QStringList offsets = journal().filter(":setIdOffset ");
        for (QString& entry : offsets)
            entry = entry.section(' ', 1);
        std::sort(offsets.begin(), offsets.end());
        QCOMPARE(offsets, (QStringList { "100", "200", "300" }));
        QCOMPARE(pluginNames(), (QStringList { "dup16", "tp10" }));
        QCOMPARE(journal().filter("tpold:"), (QStringList { "tpold:destroyed", "tpold:unloaded" }));
        QCOMPARE(journal().filter("tpnone:"), QStringList { "tpnone:unloaded" });
        QCOMPARE(journal().filter(QRegularExpression("^tp[23]0:")), QStringList());
    }

    void diagnosticsNameTheReason()
    {
        copySkipped();
        logged.clear();
        const QtMessageHandler previous
            = qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& message) {
                  if (qstrcmp(context.category, "kestrix.plugins") == 0)
                      logged.append(message);
              });
        WidgetFactory::loadPlugins(path("p"));
        QCOMPARE(logged, QStringList()); // off by default
        QLoggingCategory::setFilterRules(QStringLiteral("kestrix.plugins.debug=true"));
        WidgetFactory::loadPlugins(path("p"));
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(previous);

        const QString all = logged.join('\n');
        for (const char* reason : { "libtpold\\.so: not taken: .*studiopluginprototype/1\\.1.*does not answer "
                                    "\"arvenholtlabs\\.kestrixstudio\\.studiopluginprototype/1\\.2\"",
                 "libtpforeign\\.so: not taken: .*someotherinterface", "libtpnone\\.so: not taken: not a Qt plug-in",
                 "notes\\.so: not taken: \\S", "libtruncated\\.so: not taken: the file is truncated" })
            QVERIFY2(all.contains(QRegularExpression(reason)), qPrintable(all));
    }

    // Each operation asks the plug-ins in registry order until one answers.
    void rounds_data()
    {
        QTest::addColumn<QStringList>("plugins");
        QTest::addColumn<QString>("call");
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<QStringList>("asked");
        const QStringList two = { "tp10", "tp20" };
        const QStringList three = { "tp10", "tp20", "tp30" };
        const QString commandLine = "processCommandLine --spi";
        QTest::newRow("0 and 2 go on") << two << commandLine << QVariant(QVariantList { 2, 0 }) << two;
        QTest::newRow("first end wins, its exit code kept") << QStringList { "tp40", "tp30", "tp20", "tp10" }
                                                            << commandLine << QVariant(QVariantList { 1, 3 }) << three;
        QTest::newRow("first page server wins")
            << three << "createWidget 2" << QVariant("tp10") << QStringList { "tp10" };
        QTest::newRow("next page server") << three << "createWidget 3" << QVariant("tp20") << two;
        QTest::newRow("type 6 never reaches a plug-in")
            << three << "createWidget 6" << QVariant("FlashDefaultSettings") << QStringList();
        QTest::newRow("nobody serves the page") << three << "createWidget 9" << QVariant("DefaultWidget") << three;
        QTest::newRow("0 and 1 allow closing") << two << "closeRequest" << QVariant(QVariantList { true, 3 }) << two;
        QTest::newRow("first 2 stops closing") << QStringList { "tp10", "tp30", "tp40" } << "closeRequest"
                                               << QVariant(QVariantList { false, 1 }) << QStringList { "tp10", "tp30" };
        QTest::newRow("own document missing")
            << two << "helpResource general/doc/missing" << QVariant(QByteArray("tp10:general/doc/missing"))
            << QStringList { "tp10" };
        QTest::newRow("second plug-in's key")
            << two << "helpResource tp20/doc/x" << QVariant(QByteArray("tp20:tp20/doc/x")) << two;
        QTest::newRow("nobody's key") << two << "helpResource none/doc/x" << QVariant() << two;
    }

    void rounds()
    {
        QFETCH(QStringList, plugins);
        QFETCH(QString, call);
        QFETCH(QVariant, answer);
        QFETCH(QStringList, asked);
        load(plugins);
        const QString operation = call.section(' ', 0, 0);
        const QString argument = call.section(' ', 1);
        QVariant result;
        if (operation == "processCommandLine") {
            const int ended = WidgetFactory::processCommandLine({ "app", argument });
            result = QVariantList { ended, WidgetFactory::exitCode() };
        } else if (operation == "createWidget") {
            const std::unique_ptr<BaseWidget> page(WidgetFactory::createWidget(argument.toInt(), 0, 0));
            QVERIFY(page && !page->parent());
            result = page->objectName().isEmpty() ? page->metaObject()->className() : page->objectName();
        } else if (operation == "closeRequest") {
            result = QVariantList { WidgetFactory::canClose(), int(WidgetFactory::features()) };
        } else {
            result = WidgetFactory::helpResource(argument);
        }
        QCOMPARE(result, answer);
        QCOMPARE(askedFor(operation), asked);
    }

    // Loading: the relay comes before the offset and passes the start page on.
    // A page: bound, refreshed, then given its subtype.
    void loadAndCreate()
    {
        QCOMPARE(WidgetSignalBridge::instance(), bridgeBeforeMain);
        QSignalSpy starts(bridgeBeforeMain, SIGNAL(startWidget(int))); // the window connects by string
        copy("tp10");
        WidgetFactory::loadPlugins(path("p"));
        QCOMPARE(journal(), (QStringList { "tp10:setSignalBridge", "tp10:setIdOffset 100" }));
        QCOMPARE(starts.count(), 1);
        QCOMPARE(starts.at(0).at(0).toInt(), 3);
        qApp->setProperty("kestrixTestJournal", QStringList());
        int subtype = 300; // the window passes an int; only the low 8 bits arrive
        const std::unique_ptr<BaseWidget> widget(WidgetFactory::createWidget(1, subtype, 4));
        QCOMPARE(journal(),
            (QStringList {
                "tp10:createWidget 1 4", "tp10:page setBoard 4", "tp10:page boardUpdate", "tp10:page setSubtype 44" }));
    }

    void executable_data()
    {
        const QString banner = "Kestrix Studio - command-line options of the application and its modules";
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("-h") << QStringList { "-h" } << 0
                            << QStringList { banner,
                                   "-h                  Shows usage of a spesific module, or if none is specified, "
                                   "shows an overviw of modules.",
                                   "--tp10              tp10 usage, module ''",
                                   "--tp20              tp20 usage, module ''",
                                   "--tp40              tp40 usage, module ''" };
        QTest::newRow("-H is a plug-in job") << QStringList { "-H" } << 4 << QStringList();
    }

    // The real executable beside its plug-ins ends "-h" and plug-in jobs
    // before any window or settings exist.
    void executable()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, rows);
        for (const char* target : { "tp20", "tp10", "tp40", "tpforeign" })
            copy(target, QString(), "bin");
        QVERIFY(QFile::copy(KESTRIX_STUDIO_EXE, path("bin/kestrix-studio")));
        QVERIFY(QFile::link(KESTRIX_LIB_DIR, path("bin/lib")));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", path("config"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(path("bin/kestrix-studio"), arguments);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
        QCOMPARE(output.split(QRegularExpression(" *\n"), Qt::SkipEmptyParts), rows); // rows are padded
        QCOMPARE(QDir(path("config")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_MAIN(tst_WidgetFactory)
#include "tst_widgetfactory.moc"
