#include "programmerfixture.h"
#include "testsupport.h"

#include <QProcess>

// The "-program" job run by the real executable, which loads the plug-in
// from its own folder and ends without a window.
class TestModuleProgrammerCli : public QObject
{
    Q_OBJECT
    Bench bench;

    int run(const QStringList& arguments, QString* output) const
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KM4200_BENCH", bench.filePath("bench.ini"));
        environment.insert("HOME", bench.filePath("home"));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(bench.dir.path());
        process.start(QStringLiteral(KESTRIX_STUDIO_EXE), arguments);
        process.waitForFinished(30000);
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

private slots:
    void initTestCase()
    {
        TestSupport::enterTestMode();
        // Each process opens the bench afresh and finds what earlier ones wrote: rows build on each other.
        bench.write(motherboard(1, "externalModule=true") + motherboard(2) + motherboard(3, "verifyStatus=5")
            + motherboard(4, "modules=1"));
        bench.addFile("bad.hex", badHex);
        QVERIFY(!bench.addFile("demo.hex").isEmpty());
    }

    void exitStatus_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected");
        QTest::newRow("programmed") << "-program demo.hex -board 1" << 0 << "Programming ... done";
        QTest::newRow("equal content skipped") << "-program demo.hex -board 1" << 0 << "equal, nothing to program";
        QTest::newRow("external module") << "-PROGRAM demo.hex -Board 1 -SLOT 3" << 0 << "external module of board 1";
        QTest::newRow("verification fails") << "-program demo.hex -board 3" << 1 << "Verifying ... failed (status 5)";
        QTest::newRow("module does not answer") << "-program demo.hex -board 4" << 1 << "... no answer";
        QTest::newRow("no such board") << "-program demo.hex -board 9" << 2 << "no motherboard with ID 9";
        QTest::newRow("no external connector") << "-program demo.hex -board 2 -slot 3" << 2 << "no connector";
        QTest::newRow("bad checksum") << "-program bad.hex -board 1" << 2 << "line 1: bad checksum";
        QTest::newRow("missing file") << "-program nowhere.hex -board 1" << 2 << "cannot read the HEX file";
        QTest::newRow("board missing") << "-program demo.hex" << 2 << "-board is missing";
        QTest::newRow("unknown argument") << "-program demo.hex -board 1 -fast" << 2 << "Unknown argument '-fast'";
    }

    void exitStatus()
    {
        QFETCH(QString, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        QString output;
        QCOMPARE(run(arguments.split(' '), &output), exitCode);
        QVERIFY2(output.contains(expected), qPrintable(output));
        // Nothing is written when the job fails before programming, nor when the module already holds the file.
        if (exitCode == 2 || QTest::currentDataTag() == QLatin1String("equal content skipped"))
            QVERIFY(!output.contains("Programming ..."));
    }
};

QTEST_MAIN(TestModuleProgrammerCli)
#include "tst_moduleprogrammercli.moc"
