#include "basewidget.h"
#include "startupoptions.h"
#include "testsupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// Start-up: the options read from the command line, and the real executable
// without a display.
class TestStartup : public QObject
{
    Q_OBJECT
    QTemporaryDir home;

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }

    // No DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM, as in an SSH session:
    // jobs run, the window says it needs one.
    void run_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("message");
        QTest::newRow("-h") << QStringList { "-h" } << 0 << "-program <file>" << QString();
        QTest::newRow("--help") << QStringList { "--help" } << 0 << "-updatefirmware" << QString();
        QTest::newRow("--version") << QStringList { "--version" } << 0 << "Kestrix Studio 1.21.1.3\n" << QString();
        QTest::newRow("a job") << QStringList { "-updatefirmware", "-json" } << 2 << R"({"message":)" << QString();
        QTest::newRow("the window")
            << QStringList() << 2 << ""
            << "Kestrix Studio needs a display to open its window; command-line jobs are listed by -h\n";
    }
    void run()
    {
        QFETCH(QStringList, arguments);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "KM4200_BENCH" })
            environment.remove(name);
        environment.insert("HOME", home.path());
        environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
        environment.insert("XDG_DATA_HOME", home.filePath("data"));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(KESTRIX_STUDIO_EXE), arguments);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QTEST(process.exitCode(), "status");
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        QFETCH(QString, output);
        QVERIFY2(out.contains(output) && (!output.endsWith('\n') || out == output), qPrintable(out));
        QFETCH(QString, message);
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(message.isEmpty() || err.endsWith(message), qPrintable(err));
    }

    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("defaultSettings");
        QTest::addColumn<bool>("extraChips");
        const QString program = QStringLiteral("/opt/kestrix/kestrix-studio");
        QTest::newRow("default settings mixed case") << QStringList { program, "-DefaultSETTINGS" } << true << false;
        QTest::newRow("default settings with suffix") << QStringList { program, "-defaultsettingsx" } << false << false;
        QTest::newRow("kt39") << QStringList { program, "-kt39SUPPORT" } << false << true;
        QTest::newRow("lumo") << QStringList { program, "-EnableLumo" } << false << true;
        QTest::newRow("lumo with suffix") << QStringList { program, "-enablelumo2" } << false << false;
        QTest::newRow("anywhere") << QStringList { program, "-x", "-kt3901support", "-y", "-defaultsettings" } << true
                                  << true;
        QTest::newRow("unknown arguments")
            << QStringList { program, "-h", "--spi", "-defaultsetting" } << false << false;
        QTest::newRow("program path that looks like an option") << QStringList { "-defaultsettings" } << true << false;
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, defaultSettings);
        QFETCH(bool, extraChips);
        const StartupOptions options = StartupOptions::parse(arguments);
        QCOMPARE(options.defaultSettingsMode, defaultSettings);
        QCOMPARE(options.extraChipSupport, extraChips);
    }

    // Once switched on, nothing later in the run turns extra chips off again.
    void extraChipSupportOnlyTurnsOn()
    {
        QVERIFY(!BaseWidget::extraChipSupport);
        BaseWidget::setExtraChipSupport(false);
        QVERIFY(!BaseWidget::extraChipSupport);
        BaseWidget::setExtraChipSupport(true);
        BaseWidget::setExtraChipSupport(false);
        QVERIFY(BaseWidget::extraChipSupport);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
