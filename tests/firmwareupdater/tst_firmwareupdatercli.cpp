#include "testsupport.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

// "-updatefirmware" in an installation of its own (bin/ with the executable,
// the plug-in, dfu-programmer and hex/KestrixFirmware_12.hex) on a bench with
// two outdated boards, a current one and one whose bootloader never reports.
class TestFirmwareUpdaterCli : public QObject
{
    Q_OBJECT

    QTemporaryDir root;

    QString path(const QString& name) const { return root.filePath(name); }
    // Board N's firmware on the bench, in board order.
    QString firmwares() const
    {
        QFile file(path("bench/bench.ini"));
        QStringList numbers;
        file.open(QIODevice::ReadOnly);
        auto match = QRegularExpression("firmware=(\\d+)").globalMatch(QString::fromUtf8(file.readAll()));
        while (match.hasNext())
            numbers << match.next().captured(1);
        return numbers.join(' ');
    }

private slots:
    void initTestCase()
    {
        TestSupport::enterTestMode();
        QVERIFY(QDir(root.path()).mkpath("bin/hex") && QDir(root.path()).mkpath("bench"));
        QVERIFY(QFile::link(KESTRIX_LIB_DIR, path("lib")));
        QVERIFY(QFile::copy(KESTRIX_STUDIO_EXE, path("bin/kestrix-studio")));
        QVERIFY(QFile::copy(FIRMWAREUPDATER_PLUGIN, path("bin/firmwareupdater.so")));
        QVERIFY(QFile::copy(DFU_PROGRAMMER_EXE, path("bin/dfu-programmer")));
    }
    void init()
    {
        QDir(path("home")).removeRecursively();
        QFile hex(path("bin/hex/KestrixFirmware_12.hex"));
        QVERIFY(hex.open(QIODevice::WriteOnly) && hex.write(":0100000000FF\n:00000001FF\n"));
        QFile file(path("bench/bench.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[bench]\nbootloaderDelayMs=30\n\n"
                   "[board1]\nid=1\nfirmware=11\n\n[board2]\nid=2\nfirmware=12\n\n"
                   "[board3]\nid=3\nfirmware=10\n\n[board4]\nid=4\nfirmware=11\nbootloader=silent\n");
    }

    void run_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("expected"); // a line of plain output; for -json board=result pairs
        QTest::addColumn<QString>("after"); // boards 1 to 4 on the bench
        const auto row = [](const char* tag, const char* arguments, int status, const char* expected) {
            QTest::newRow(tag) << arguments << status << expected << (status == 1 ? "12 12 12 11" : "11 12 10 11");
        };
        row("outdated boards", "", 1, "Board 2 runs firmware 12: nothing to do");
        row("json", "-json", 1, "1=updated 2=current 3=updated 4=failed");
        row("named, current", "-Board 2 -JSON", 0, "2=updated");
        row("unknown board", "-board 1,9", 2, "Error: no motherboard with ID 9 is connected (connected: 1, 2, 3, 4).");
        row("bad argument, json", "-board one -json", 2, "");
        row("no firmware file", "-board all", 2, "Error: no firmware file");
    }
    void run()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, expected);
        if (QTest::currentDataTag() == QLatin1String("no firmware file"))
            QVERIFY(QFile::remove(path("bin/hex/KestrixFirmware_12.hex")));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KM4200_BENCH", path("bench/bench.ini"));
        environment.insert("KESTRIX_BOOTLOADER_WAIT_MS", "1000");
        environment.insert("HOME", path("home"));
        environment.insert("XDG_CONFIG_HOME", path("home/config"));
        environment.insert("XDG_DATA_HOME", path("home/data"));
        process.setProcessEnvironment(environment);
        process.start(path("bin/kestrix-studio"), ("-updatefirmware " + arguments).split(' ', Qt::SkipEmptyParts));
        QVERIFY(process.waitForFinished(60000));
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        const QStringList lines = output.split('\n', Qt::SkipEmptyParts);
        QTEST(process.exitCode(), "status");

        if (arguments.contains("json", Qt::CaseInsensitive)) {
            QStringList results;
            for (const QString& line : lines) {
                const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
                QVERIFY2(!object.isEmpty() && object.contains("message"), qPrintable(line));
                if (object.contains("result"))
                    results << QString("%1=%2").arg(object["board"].toInt()).arg(object["result"].toString());
            }
            QCOMPARE(results.join(' '), expected);
        } else {
            QVERIFY2(output.contains(expected), qPrintable(output));
        }
        QTEST(firmwares(), "after");
        // No window, no settings; the log file has the run.
        QVERIFY(!QDirIterator(path("home"), { "*.ini" }, QDir::Files, QDirIterator::Subdirectories).hasNext());
        QFile log(path("home/data/Arvenholt Labs/Kestrix Studio/log.txt"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QJsonDocument first = QJsonDocument::fromJson(lines.value(0).toUtf8());
        QVERIFY(log.readAll().contains(
            (first.isObject() ? first.object()["message"].toString() : lines.value(0)).toUtf8()));
    }
};

QTEST_MAIN(TestFirmwareUpdaterCli)
#include "tst_firmwareupdatercli.moc"
