#include "hexmodel.h"
#include "hexwriter.h"
#include "programmerfixture.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

// The "-program" job run by the real executable, which loads the plug-in
// from its own folder and ends without a window.
class TestModuleProgrammerCli : public QObject
{
    Q_OBJECT
    Bench bench;

    void start(QProcess* process, const QStringList& arguments) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KM4200_BENCH", bench.filePath("bench.ini"));
        environment.insert("HOME", bench.filePath("home"));
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(bench.dir.path());
        process->start(QStringLiteral(KESTRIX_STUDIO_EXE), arguments);
    }

    int run(const QStringList& arguments, QString* output) const
    {
        QProcess process;
        start(&process, arguments);
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
        QVERIFY(!bench.addFile("demo.hex").isEmpty());
        QVERIFY(!bench.addFile("new\nline.hex").isEmpty());
    }

    void exitStatus_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* tag, const char* arguments, int exitCode, const char* expected) {
            QTest::newRow(tag) << arguments << exitCode << expected;
        };
        row("programmed", "-program demo.hex -board 1", 0, "Board 1: Programming ... done");
        row("equal content skipped", "-program demo.hex -board 1", 0, "equal, nothing to program");
        // Decided for every board before the first is written.
        row("a board lacks the slot", "-program demo.hex -board all", 2, "Board 4 has no module (slot 0)");
        row("file name with a newline", "-program new\nline.hex -board 2", 0, "Board 2: Programming ... done");
        row("no such board", "-program demo.hex -board 1,9", 2, "no motherboard with ID 9");
        row("no external connector", "-program demo.hex -board 2 -slot 3", 2, "no connector");
        // The other refused files are the engine suite's.
        row("missing file", "-program nowhere.hex -board 1", 2, "does not exist");
        // A run that fails: status 1, the step in the job's words, then the outcome as the pages say it.
        row("verification fails", "-program demo.hex -board 3", 1,
            "Board 3: Verifying ... failed (status 5)\nBoard 3: failed: Programming demo.hex into the module of board "
            "3 "
            "failed while verifying: Verification failed (status 5).");
        row("board missing", "-program demo.hex", 2, "-board is missing");
        // -json counts wherever it stands.
        row("json, all and a board", "-program demo.hex -board all,1 -json", 2, "not 'all,1'");
        row("json as the board", "-program demo.hex -board -json", 2, "-board needs a value");
        row("json, empty board", "-program demo.hex -board  -json", 2, "-board needs a value");
        row("json, slot out of range", "-program demo.hex -board 1 -slot 4 -json", 2, "not '4'");
        row("json, unknown argument", "-program demo.hex -board 1 -foo -json", 2, "Unknown argument '-foo'");
    }

    void exitStatus()
    {
        QFETCH(QString, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        QDir().mkpath(bench.filePath("home"));
        QString output;
        QCOMPARE(run(arguments.split(' '), &output), exitCode);
        QVERIFY2(output.contains(expected), qPrintable(output));
        // One event a line: a JSON object each with -json, else one of the job's own lines.
        for (const QString& line : output.split('\n', Qt::SkipEmptyParts)) {
            if (arguments.contains("-json"))
                QCOMPARE(QJsonDocument::fromJson(line.toUtf8()).object().value("result").toString(), QString("error"));
            else
                QVERIFY2(line.startsWith("Read ") || line.startsWith("Board ") || line.startsWith("Error: "),
                    qPrintable(line));
        }
        // Nothing is written when the job fails before programming, nor when the module already holds the file.
        if (exitCode == 2 || QTest::currentDataTag() == QLatin1String("equal content skipped"))
            QVERIFY(!output.contains("Programming ..."));
    }

    // Ctrl+C or SIGTERM while several boards compare: every board ends
    // cancelled, nothing is written afterwards, status 1.
    void interrupted_data() { TestSupport::addSignalRows(); }
    void interrupted()
    {
        QFETCH(int, signal);
        HexModel image;
        image.write(0x300, QByteArray(1000, 'S'));
        bench.addFile("signal.hex", HexWriter::write(image));
        bench.write(motherboard(6) + motherboard(7), 1000);
        QProcess process;
        start(&process, { "-program", "signal.hex", "-board", "6,7", "-json" });
        const QByteArray output
            = TestSupport::interruptWhen(&process, R"("board":7,"percent":10,"step":"comparing")", signal);
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QStringList results;
        for (const QByteArray& line : output.trimmed().split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.contains("result"))
                results << object["result"].toString();
        }
        QCOMPARE(results, QStringList({ "cancelled", "cancelled" }));
        QTest::qWait(1200); // longer than a step: a run going on unseen would write now
        QVERIFY(QDir(bench.filePath("bench.memory")).entryList({ "board6*", "board7*" }).isEmpty());
    }

    // -board new: each connection once (the same ID twice, two at once),
    // boards connected at the start untouched, -count ends it; a changed
    // file ends it too.
    void newBoards_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QStringList>("results");
        QTest::newRow("count") << "count" << QStringList { "2=programmed", "2=unchanged", "3=programmed" };
        QTest::newRow("file changes") << "file" << QStringList();
    }
    void newBoards()
    {
        QFETCH(QString, ending);
        HexModel image;
        image.write(0x500, QByteArray(700, 'P'));
        bench.addFile("production.hex", HexWriter::write(image));
        QDir(bench.filePath("bench.memory")).removeRecursively();
        const QString one = motherboard(1);
        bench.write(one);
        QProcess process;
        start(&process, { "-program", "production.hex", "-board", "new", "-count", "3", "-json" });
        QByteArray output;
        int stage = 0;
        const auto next = [&](const QString& devices) {
            ++stage;
            bench.write(devices);
        };
        connect(&process, &QProcess::readyReadStandardOutput, this, [&] {
            output += process.readAllStandardOutput();
            if (stage == 0 && output.contains(R"("armed":true)")) {
                if (ending == "file")
                    bench.addFile("production.hex", ":0100000001FE\n:00000001FF\n");
                else
                    next(one + motherboard(2));
            } else if (stage == 1 && output.contains(R"("result":"programmed")")) {
                next(one); // unplugged, then the same ID again
                QTimer::singleShot(600, this, [&] { next(one + motherboard(2)); });
            } else if (stage == 3 && output.contains(R"("result":"unchanged")")) {
                next(one + motherboard(2) + motherboard(3) + motherboard(4)); // two at once; the limit takes one
            }
        });
        QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 20000);
        output += process.readAllStandardOutput();
        QCOMPARE(process.exitCode(), 0);
        QStringList results;
        QJsonObject summary;
        for (const QByteArray& line : output.trimmed().split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.contains("result"))
                results << QString("%1=%2").arg(object["board"].toInt()).arg(object["result"].toString());
            if (object.contains("summary"))
                summary = object["summary"].toObject();
        }
        QTEST(results, "results");
        QCOMPARE(summary["programmed"].toInt() + summary["unchanged"].toInt(), results.size());
        QCOMPARE(summary["failed"].toInt(), 0);
        // Connected at the start, or past the limit: never touched.
        QVERIFY(QDir(bench.filePath("bench.memory")).entryList({ "board1*", "board4*" }).isEmpty());
    }
};

QTEST_MAIN(TestModuleProgrammerCli)
#include "tst_moduleprogrammercli.moc"
