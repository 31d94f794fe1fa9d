#include "programmerfixture.h"
#include "testsupport.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

using namespace ProgrammerFixture;

// The "-program" job run by the real executable, which loads the plug-in
// from its own folder and ends without a window.
class TestModuleProgrammerCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void exitStatus_data();
    void exitStatus();
    void equalContentIsNotProgrammedAgain();
    void usage_data();
    void usage();

private:
    struct Run {
        int exitCode = -1;
        QString output;
    };
    Run run(const QStringList& arguments) const;

    std::unique_ptr<Bench> bench;
    QString demo;
};

void TestModuleProgrammerCli::initTestCase()
{
    TestSupport::enterTestMode();
    QVERIFY(QFileInfo::exists(QStringLiteral(KESTRIX_STUDIO_EXE)));
}

void TestModuleProgrammerCli::init()
{
    bench = std::make_unique<Bench>();
    QVERIFY(bench->dir.isValid());
    // The processes open the bench themselves; this one only writes it.
    bench->write(motherboard(1, "externalModule=true") + motherboard(2, "modules=0,1,2")
        + motherboard(3, "verifyStatus=5") + motherboard(4, "modules=1") + "[boot]\nid=5\ntype=4\n");
    demo = bench->addDemoModule("files/demo-module.hex");
    QVERIFY(!demo.isEmpty());
}

void TestModuleProgrammerCli::cleanup()
{
    bench.reset();
}

TestModuleProgrammerCli::Run TestModuleProgrammerCli::run(const QStringList& arguments) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KM4200_BENCH", bench->path());
    environment.insert("HOME", bench->filePath("home"));
    environment.insert("XDG_CONFIG_HOME", bench->filePath("home/.config"));
    environment.insert("XDG_DATA_HOME", bench->filePath("home/.local/share"));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    // Relative file names start in the working folder.
    process.setWorkingDirectory(bench->filePath("files"));
    process.start(QStringLiteral(KESTRIX_STUDIO_EXE), arguments);
    Run result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return result;
}

void TestModuleProgrammerCli::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("programmed") << QStringList { "-program", "demo-module.hex", "-board", "1" } << 0
                                << QStringList { "Comparing with the module of board 1 ... different",
                                       "Programming ... done", "Verifying ... ok", "Resetting board 1 ... done",
                                       "The module of board 1 now holds demo-module.hex." };
    QTest::newRow("external module, options in capitals")
        << QStringList { "-PROGRAM", "demo-module.hex", "-Board", "1", "-SLOT", "3" } << 0
        << QStringList { "Comparing with the external module of board 1 ... different", "Verifying ... ok" };
    QTest::newRow("shell options pass") << QStringList { "-kt39support", "-program", "demo-module.hex", "-board", "2",
        "-slot", "1" } << 0 << QStringList { "Verifying ... ok" };
    QTest::newRow("verification fails") << QStringList { "-program", "demo-module.hex", "-board", "3" } << 1
                                        << QStringList { "Programming ... done", "Verifying ... failed (status 5)",
                                               "Error: programming the module of board 3 failed." };
    QTest::newRow("module does not answer") << QStringList { "-program", "demo-module.hex", "-board", "4" } << 1
                                            << QStringList { "Comparing with the module of board 4 ... no answer" };
    QTest::newRow("no such board") << QStringList { "-program", "demo-module.hex", "-board", "9" } << 2
                                   << QStringList { "Error: no motherboard with ID 9 is connected (connected: 1, 2, 3, "
                                                    "4)." };
    QTest::newRow("board in its bootloader")
        << QStringList { "-program", "demo-module.hex", "-board", "5" } << 2 << QStringList {};
    QTest::newRow("no external connector") << QStringList { "-program", "demo-module.hex", "-board", "2", "-slot",
        "3" } << 2 << QStringList { "Error: board 2 has no connector for an external module." };
    QTest::newRow("bad checksum") << QStringList { "-program", "bad.hex", "-board", "1" } << 2
                                  << QStringList { "line 3: bad checksum" };
    QTest::newRow("missing file") << QStringList { "-program", "nowhere.hex", "-board", "1" } << 2
                                  << QStringList { "Error: cannot read the HEX file" };
    QTest::newRow("board missing") << QStringList { "-program", "demo-module.hex" } << 2
                                   << QStringList { "Error: -board is missing" };
    QTest::newRow("file missing") << QStringList { "-board", "1", "-program" } << 2
                                  << QStringList { "Error: -program needs a value." };
    QTest::newRow("board not a number") << QStringList { "-program", "demo-module.hex", "-board", "one" } << 2
                                        << QStringList { "Error: -board needs a board ID" };
    QTest::newRow("slot out of range") << QStringList { "-program", "demo-module.hex", "-board", "1", "-slot", "4" }
                                       << 2 << QStringList { "Error: -slot needs 0 (module)" };
    QTest::newRow("unknown argument") << QStringList { "-program", "demo-module.hex", "-board", "1", "-fast" } << 2
                                      << QStringList { "Error: Unknown argument '-fast'.", "Usage: kestrix-studio" };
    QTest::newRow("option twice") << QStringList { "-program", "a.hex", "-board", "1", "-board", "2" } << 2
                                  << QStringList { "Error: -board is given twice." };
}

void TestModuleProgrammerCli::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);
    bench->addFile("files/bad.hex", badHex());

    const Run result = run(arguments);
    QVERIFY2(result.exitCode == exitCode, qPrintable(QString("exit %1:\n%2").arg(result.exitCode).arg(result.output)));
    for (const QString& line : qAsConst(lines))
        QVERIFY2(result.output.contains(line), qPrintable(result.output));
    // Nothing was written where the job failed before programming.
    if (exitCode == 2)
        QVERIFY(!result.output.contains("Programming ..."));
}

void TestModuleProgrammerCli::equalContentIsNotProgrammedAgain()
{
    const QStringList arguments { "-program", demo, "-board", "1", "-slot", "2" };
    QCOMPARE(run(arguments).exitCode, 0);
    // A second process finds the content the first one wrote.
    const Run again = run(arguments);
    QCOMPARE(again.exitCode, 0);
    QVERIFY2(again.output.contains("Comparing with the ISP of board 1 ... equal, nothing to program"),
        qPrintable(again.output));
    QVERIFY(!again.output.contains("Programming ..."));
    QVERIFY(again.output.contains("The ISP of board 1 already held demo-module.hex."));

    // Every step is a line of its own.
    const QStringList lines = again.output.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
}

void TestModuleProgrammerCli::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("listed");
    QTest::newRow("overview") << QStringList { "-h" } << true;
    QTest::newRow("this module") << QStringList { "-h", "program" } << true;
    QTest::newRow("this module, other spelling") << QStringList { "-h", "--PROGRAM" } << true;
    QTest::newRow("another module") << QStringList { "-h", "spi" } << false;
}

void TestModuleProgrammerCli::usage()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, listed);
    const Run result = run(arguments);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.output.contains(
                 QRegularExpression("^-program <file>\\s+Module programmer: ", QRegularExpression::MultilineOption)),
        listed);
    QCOMPARE(result.output.contains(
                 QRegularExpression("^  -board <id>\\s+The motherboard's ID", QRegularExpression::MultilineOption)),
        listed);
}

QTEST_MAIN(TestModuleProgrammerCli)
#include "tst_moduleprogrammercli.moc"
