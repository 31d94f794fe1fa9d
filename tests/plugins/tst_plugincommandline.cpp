#include "pluginfixture.h"
#include "testsupport.h"

#include <QProcess>
#include <QTemporaryDir>

using namespace PluginFixture;

namespace
{
const QString helpRow = QStringLiteral("-h                  Shows usage of a spesific module, or if none is specified, "
                                       "shows an overviw of modules.");

struct Run {
    int exitCode = -1;
    QStringList lines;
};

Run run(const QString& program, const QStringList& arguments, const QString& home)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.lines = QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return result;
}
} // namespace

// The real executable: "-h" and plug-in command-line jobs end the process
// before any window or settings exist.
class tst_PluginCommandLine : public QObject
{
    Q_OBJECT

    QTemporaryDir temp;
    QString installed; // a copy of the executable beside test plug-ins

private slots:
    void initTestCase()
    {
        TestSupport::enterTestMode();
        QVERIFY(temp.isValid());
        // bin/ holds the executable and its plug-ins; lib/ is where it looks for
        // the framework.
        QVERIFY(QDir(temp.path()).mkpath("bin"));
        QVERIFY(QFile::link(QStringLiteral(KESTRIX_LIB_DIR), temp.filePath("lib")));
        installed = temp.filePath("bin/kestrix-studio");
        QVERIFY(QFile::copy(QStringLiteral(KESTRIX_STUDIO_EXE), installed));
        for (const char* target : { "tp20", "tp10", "tp40", "tpforeign" })
            copy(QString::fromLatin1(target), temp.filePath("bin"));
    }

    void builtExecutableHelp()
    {
        QTemporaryDir home;
        const Run result = run(QStringLiteral(KESTRIX_STUDIO_EXE), { "-h" }, home.path());
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.lines.size() >= 2);
        QVERIFY(result.lines.at(0).startsWith(QStringLiteral("Kestrix Studio - ")));
        QCOMPARE(result.lines.at(1), helpRow);
    }

    void installedWithPlugins_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("-h") << QStringList { "-h" } << 0
                            << QStringList { helpRow, "--tp10              tp10 usage, module ''",
                                   "--tp20              tp20 usage, module ''",
                                   "--tp40              tp40 usage, module ''" };
        QTest::newRow("-h --spi") << QStringList { "-h", "--spi" } << 0
                                  << QStringList { "--tp10              tp10 usage, module 'spi'",
                                         "--tp20              tp20 usage, module 'spi'",
                                         "--tp40              tp40 usage, module 'spi'" };
        QTest::newRow("-H is a job") << QStringList { "-H" } << 4 << QStringList();
        QTest::newRow("plug-in job") << QStringList { "--convert", "a.hex" } << 4 << QStringList();
    }

    void installedWithPlugins()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, rows);
        QTemporaryDir home;
        const Run result = run(installed, arguments, home.path());
        QCOMPARE(result.exitCode, exitCode);
        if (rows.isEmpty()) {
            QCOMPARE(result.lines, QStringList());
        } else {
            QVERIFY(result.lines.value(0).startsWith(QStringLiteral("Kestrix Studio - ")));
            QCOMPARE(result.lines.mid(1), rows);
        }
        // Ended before the window: no settings file read into being or written.
        QCOMPARE(QDir(home.filePath(".config")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_MAIN(tst_PluginCommandLine)
#include "tst_plugincommandline.moc"
