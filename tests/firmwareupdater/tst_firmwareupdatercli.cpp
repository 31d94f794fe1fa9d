#include "testsupport.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>

// "-updatefirmware" in an installation of its own (bin/ with the executable,
// the plug-in and hex/KestrixFirmware_12.hex, the simulated dfu-programmer in
// bin/tools/ named through KESTRIX_DFU_PROGRAMMER, as the demo does) on a bench
// with two outdated boards, a current one and one whose bootloader never reports.
class TestFirmwareUpdaterCli : public QObject
{
    Q_OBJECT

    QTemporaryDir root;

    QString path(const QString& name) const { return root.filePath(name); }
    QProcessEnvironment environment(int bootloaderWaitMs) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KM4200_BENCH", path("bench/bench.ini"));
        environment.insert("KESTRIX_BOOTLOADER_WAIT_MS", QString::number(bootloaderWaitMs));
        environment.insert("KESTRIX_DFU_PROGRAMMER", path("bin/tools/dfu-programmer"));
        environment.insert("HOME", path("home"));
        environment.insert("XDG_CONFIG_HOME", path("home/config"));
        environment.insert("XDG_DATA_HOME", path("home/data"));
        return environment;
    }
    void write(const QString& name, const QByteArray& content) const
    {
        QVERIFY(TestSupport::writeFile(path(name), content));
    }
    QByteArray bench() const { return TestSupport::readFile(path("bench/bench.ini")); }
    // Board N's firmware on the bench, in board order.
    QString firmwares() const
    {
        QStringList numbers;
        for (auto match = QRegularExpression("firmware=(\\d+)").globalMatch(QString::fromUtf8(bench()));
             match.hasNext();)
            numbers << match.next().captured(1);
        return numbers.join(' ');
    }
    static QJsonObject lastLine(const QByteArray& output)
    {
        return QJsonDocument::fromJson(output.trimmed().split('\n').last()).object();
    }

private slots:
    void initTestCase()
    {
        TestSupport::enterTestMode();
        QVERIFY(QDir(root.path()).mkpath("bin/hex") && QDir(root.path()).mkpath("bin/tools")
            && QDir(root.path()).mkpath("bench"));
        QVERIFY(QFile::link(KESTRIX_LIB_DIR, path("bin/lib")));
        QVERIFY(QFile::copy(KESTRIX_STUDIO_EXE, path("bin/kestrix-studio")));
        QVERIFY(QFile::copy(FIRMWAREUPDATER_PLUGIN, path("bin/firmwareupdater.so")));
        QVERIFY(QFile::copy(DFU_PROGRAMMER_EXE, path("bin/tools/dfu-programmer")));
    }
    void init()
    {
        QDir(path("home")).removeRecursively();
        QDir(path("bin/hex")).removeRecursively();
        QDir(path("bin")).mkpath("hex");
        write("bin/hex/KestrixFirmware_12.hex", ":0100000000FF\n:00000001FF\n");
    }

    void run_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QByteArray>("bench"); // empty: the four boards above
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("expected"); // a line of plain output; for -json board=result[/reason]
        QTest::addColumn<QString>("after"); // the boards' firmware on the bench
        const QByteArray four = "[bench]\nbootloaderDelayMs=30\n\n"
                                "[board1]\nid=1\nfirmware=11\n\n[board2]\nid=2\nfirmware=12\n\n"
                                "[board3]\nid=3\nfirmware=10\n\n[board4]\nid=4\nfirmware=11\nbootloader=silent\n";
        // Board 1's bootloader reports after the job has given up on it and moved on.
        const QByteArray late = "[bench]\nbootloaderDelayMs=2000\ntoolMs=300\n\n"
                                "[board1]\nid=1\nfirmware=10\n\n[board2]\nid=2\nfirmware=10\n";
        // Board 1 waits in its bootloader from the start.
        const QByteArray waiting = "[bench]\nbootloaderDelayMs=30\n\n"
                                   "[board1]\nid=1\ntype=4\nfirmware=10\n\n[board2]\nid=2\nfirmware=10\n";
        const auto row = [&](const char* tag, const char* arguments, int status, const char* expected,
                             const char* after = nullptr, const QByteArray& bench = QByteArray()) {
            QTest::newRow(tag) << arguments << (bench.isEmpty() ? four : bench) << status << expected
                               << (after                ? after
                                          : status == 1 ? "12 12 12 11"
                                                        : "11 12 10 11");
        };
        row("outdated boards", "", 1, "Board 2 runs firmware 12: nothing to do");
        row("json", "-json", 1, "1=updated 2=current 3=updated 4=failed/bootloaderTimedOut");
        row("named, current", "-Board 2 -JSON", 0, "2=updated");
        row("unknown board", "-board 1,9", 2, "Error: no motherboard with ID 9 is connected (connected: 1, 2, 3, 4).");
        row("bad argument, json", "-board one -json", 2, "0=error"); // the shape every job uses
        row("no firmware file", "-board all", 2, "Error: no firmware file");
        row("bad firmware file", "", 2, "KestrixFirmware_12.hex: line 1: bad checksum");
        row("zero-padded firmware name", "", 2, "name its file KestrixFirmware_13.hex");
        row("no bench", "", 2, "no motherboard is connected; nothing was updated. No KM4200 bench configured");
        // Nothing is flashed into a bootloader the job did not just send there.
        row("late bootloader", "-json", 1, "1=failed/bootloaderTimedOut 2=failed/otherBootloader", "10 10", late);
        row("waiting bootloader blocks", "-json", 1, "2=failed/otherBootloader", "10 10", waiting);
        row("waiting bootloader finished", "-board 1 -json", 0, "1=updated", "12 10", waiting);
        // Unplugged mid-update: reported as lost at once (the wait is a minute).
        const QByteArray board1 = "[board1]\nid=1\nfirmware=10\n";
        row("left during its jump", "-json", 1, "1=disconnected/lostDuringJump", "",
            "[bench]\nbootloaderDelayMs=60000\n\n" + board1);
        row("left while the tool runs", "-json", 1, "1=disconnected/lostDuringUpdate", "",
            "[bench]\nbootloaderDelayMs=30\ntoolMs=1500\n\n" + board1);
    }
    void run()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, bench);
        QFETCH(QString, expected);
        const QString tag = QTest::currentDataTag();
        write("bench/bench.ini", bench);
        if (tag == "no firmware file")
            QVERIFY(QFile::remove(path("bin/hex/KestrixFirmware_12.hex")));
        if (tag == "bad firmware file")
            write("bin/hex/KestrixFirmware_12.hex", ":0100000000FE\n:00000001FF\n");
        if (tag == "zero-padded firmware name")
            QVERIFY(QFile::rename(path("bin/hex/KestrixFirmware_12.hex"), path("bin/hex/KestrixFirmware_013.hex")));
        const QByteArray unplugOn = !tag.startsWith("left") ? ""
            : tag.endsWith("jump")                          ? "Starting bootloader on board 1"
                                                            : "Starting update of board 1";
        QProcess process;
        QProcessEnvironment environment = this->environment(unplugOn.isEmpty() ? 1500 : 60000);
        if (tag == "no bench")
            environment.remove("KM4200_BENCH");
        process.setProcessEnvironment(environment);
        QByteArray printed;
        QTimer unplug; // once the board has jumped: an earlier edit would be overwritten by the jump's own
        connect(&unplug, &QTimer::timeout, this, [&] {
            printed += process.readAllStandardOutput();
            if (printed.contains(unplugOn) && this->bench().contains("type=4")) {
                unplug.stop();
                write("bench/bench.ini", bench.left(bench.indexOf("[board1]")));
            }
        });
        if (!unplugOn.isEmpty())
            unplug.start(10);
        process.start(path("bin/kestrix-studio"), ("-updatefirmware " + arguments).split(' ', Qt::SkipEmptyParts));
        QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 60000);
        const QString output = QString::fromUtf8(printed + process.readAllStandardOutput());
        const QStringList lines = output.split('\n', Qt::SkipEmptyParts);
        QTEST(process.exitCode(), "status");

        if (arguments.contains("json", Qt::CaseInsensitive)) {
            QStringList results;
            for (const QString& line : lines) {
                const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
                QVERIFY2(!object.isEmpty() && object.contains("message"), qPrintable(line));
                if (!object.contains("result"))
                    continue;
                QString result = QString("%1=%2").arg(object["board"].toInt()).arg(object["result"].toString());
                if (result.endsWith("failed") || result.endsWith("disconnected"))
                    result += "/" + object["reason"].toString();
                results << result;
            }
            QCOMPARE(results.join(' '), expected);
        } else {
            QVERIFY2(output.contains(expected), qPrintable(output));
        }
        QTEST(firmwares(), "after");
        if (!unplugOn.isEmpty()) // the tool wrote nothing for a board that is gone
            QCOMPARE(this->bench(), bench.left(bench.indexOf("[board1]")));
        // No window, no settings; the log file has the run.
        QVERIFY(!QDirIterator(path("home"), { "*.ini" }, QDir::Files, QDirIterator::Subdirectories).hasNext());
        const QJsonDocument first = QJsonDocument::fromJson(lines.value(0).toUtf8());
        QVERIFY(TestSupport::readFile(path("home/data/Arvenholt Labs/Kestrix Studio/log.txt"))
                    .contains((first.isObject() ? first.object()["message"].toString() : lines.value(0)).toUtf8()));
    }

    // Ctrl+C or SIGTERM while the tool runs: the tool is ended, the board is
    // reported cancelled with how to finish it, status 1.
    void interrupted_data() { TestSupport::addSignalRows(); }
    void interrupted()
    {
        QFETCH(int, signal);
        write("bench/bench.ini", "[bench]\nbootloaderDelayMs=30\ntoolMs=20000\n\n[board1]\nid=1\nfirmware=10\n");
        QProcess process;
        process.setProcessEnvironment(environment(5000));
        process.start(path("bin/kestrix-studio"), { "-updatefirmware", "-json" });
        const QByteArray output = TestSupport::interruptWhen(&process, "Starting update of board 1", signal);
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(lastLine(output)["result"].toString(), QString("cancelled"));
        QVERIFY(lastLine(output)["message"].toString().contains("-updatefirmware -board 1"));
        // No tool left running.
        const QString tool = QFileInfo(path("bin/tools/dfu-programmer")).canonicalFilePath();
        for (const QFileInfo& entry : QDir("/proc").entryInfoList(QDir::Dirs))
            QVERIFY(entry.fileName().toInt() == 0 || QFileInfo(entry.filePath() + "/exe").symLinkTarget() != tool);
    }
};

QTEST_MAIN(TestFirmwareUpdaterCli)
#include "tst_firmwareupdatercli.moc"
