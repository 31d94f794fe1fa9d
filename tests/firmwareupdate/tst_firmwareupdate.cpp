#include "../board/benchfixture.h"
#include "applicationdirectory.h"
#include "boardfactory.h"
#include "boardreservation.h"
#include "firmwareupdate.h"
#include "testsupport.h"

#include <QScopeGuard>

#include <memory>

// One update per row in a temporary installation (hex/, dfu-programmer) on a
// bench with board 1 at firmware 5: the result, what was logged, the bench
// afterwards, and the library left as it was found.
class TestFirmwareUpdate : public QObject
{
    Q_OBJECT

    std::unique_ptr<BenchFixture> install;

    QString path(const QString& name) const { return install->dir.filePath(name); }
    void writeTool(const QString& name, const QByteArray& script) const
    {
        QVERIFY(TestSupport::writeScript(path(name), "cd \"" + install->dir.path().toUtf8() + "\"\n" + script));
    }

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }
    void init()
    {
        install = std::make_unique<BenchFixture>();
        ApplicationDirectory::setPathForTesting(install->dir.path());
        QVERIFY(QDir(install->dir.path()).mkpath("hex"));
    }
    void cleanup()
    {
        install.reset();
        QVERIFY(!FirmwareUpdate::active());
    }

    void run_data()
    {
        QTest::addColumn<QString>("board"); // extra keys of board 1; "none" for no board
        QTest::addColumn<QString>("tool"); // script body
        QTest::addColumn<QString>("cancelOn"); // a logged text that cancels the update
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("log"); // after the first line
        QTest::addColumn<QString>("benchAfter"); // board 1's type and firmware
        QTest::addColumn<QByteArray>("firmware");
        const auto row = [](const char* tag, const char* board, const QString& tool, const char* cancelOn,
                             FirmwareUpdate::Result result, const QStringList& log, const char* benchAfter,
                             const QByteArray& firmware = ":0100000000FF\n:00000001FF\n") {
            QTest::newRow(tag) << board << tool << cancelOn << int(result) << log << benchAfter << firmware;
        };
        const QString toggle = "Please toggle power of board 1 to reset it.";
        const QString using_ = "Using dfu-programmer at <app>/dfu-programmer";
        const QString started = "Starting update of board 1";
        const QString replug = "Either board 1 did not enter its bootloader, or this user may not open the device (the "
                               "kestrix-studio package installs a udev rule that allows it): unplug and replug the "
                               "board.";
        row("tool fails", "", "for n in 1 2 3 4; do echo line $n; done; exit 3", "", FirmwareUpdate::ToolFailed,
            { using_, started, "Could not update board 1",
                "dfu-programmer ended with exit code 3. Its last output: line 2 | line 3 | line 4" },
            "type=1 firmware=5");
        // The distribution's tool without a bootloader it may open.
        row("no device present", "", "echo 'dfu-programmer: no device present.' >&2; exit 1", "",
            FirmwareUpdate::ToolFailed,
            { using_, started, "Could not update board 1",
                "dfu-programmer ended with exit code 1. Its last output: dfu-programmer: no device present.", replug },
            "type=1 firmware=5");
        row("device not permitted", "",
            "echo \"libusb: error [get_usbfs_fd] libusb couldn't open USB device /dev/bus/usb/001/007, errno=13\"; "
            "echo 'Failed to claim the DFU interface.'; exit 2",
            "", FirmwareUpdate::ToolFailed,
            { using_, started, "Could not update board 1",
                "dfu-programmer ended with exit code 2. Its last output: libusb: error [get_usbfs_fd] libusb couldn't "
                "open USB device /dev/bus/usb/001/007, errno=13 | Failed to claim the DFU interface.",
                replug },
            "type=1 firmware=5");
        row("tool crashes", "", "kill -9 $$", "", FirmwareUpdate::ToolFailed,
            { using_, started, "Could not update board 1",
                "dfu-programmer crashed (exit code 9). It printed nothing." },
            "type=1 firmware=5");
        row("tool hangs, cancelled", "", "echo $$ > pid; exec sleep 600", qPrintable(started),
            FirmwareUpdate::Cancelled,
            { using_, started,
                "The update of board 1 was cancelled and dfu-programmer was ended: the board may be left without "
                "firmware.",
                toggle },
            "type=4 firmware=5");
        row("bootloader wait cancelled", "bootloader=silent", "exit 0", "Starting bootloader on board 1",
            FirmwareUpdate::Cancelled, { "The update of board 1 was cancelled.", toggle }, "type=4 firmware=5");
        row("no board", "none", "exit 0", "", FirmwareUpdate::BoardLost,
            { "Connection to the board was lost. Please reconnect the board and try again" }, "");
        // Refused while board 1 still runs its firmware.
        row("another board in its bootloader", "\n[board2]\nid=2\ntype=4\n", "exit 0", "",
            FirmwareUpdate::OtherBootloader,
            { "Board 1 was not updated: another board waits in its bootloader: board 2; update it first or toggle its "
              "power." },
            "type=1\nfirmware=5");
        row("bad firmware file", "", "exit 0", "", FirmwareUpdate::BadFirmwareFile,
            { "The firmware file cannot be used: <app>/hex/KestrixFirmware_12.hex: line 2: bad checksum (expected "
              "0xFF, found 0xFE). No "
              "board was touched." },
            "type=1\nfirmware=5", ":0100000000FF\n:0100000000FE\n:00000001FF\n");
        row("another job has the board", "reserved", "exit 0", "", FirmwareUpdate::Busy,
            { "Board 1 was not updated: Board 1's module is being programmed by the All boards page." },
            "type=1\nfirmware=5");
    }
    void run()
    {
        QFETCH(QString, board);
        QFETCH(QString, tool);
        QFETCH(QString, cancelOn);
        QFETCH(QStringList, log);
        QFETCH(QString, benchAfter);
        QFETCH(QByteArray, firmware);
        install->write(firmware, "hex/KestrixFirmware_12.hex");
        QObject holder;
        if (board == "reserved") {
            board.clear();
            BoardReservation::reserve(1, &holder, "Board 1's module is being programmed by the All boards page");
        }
        install->start(header(20, 50) + (board == "none" ? QString() : TestSupport::motherboard(1, 5, board)).toUtf8());
        writeTool("dfu-programmer", tool.toUtf8());

        FirmwareUpdate update;
        update.setBootloaderTimeout(300);
        QStringList logged;
        QTimer canceller; // from the event loop, as a window's close request comes; a tool once it runs
        connect(&canceller, &QTimer::timeout, &update, [&] {
            if (!tool.contains("pid") || QFileInfo(path("pid")).size() > 0)
                update.cancel();
        });
        connect(&update, &FirmwareUpdate::logmessage, this, [&](KestrixStudio::LogLevel, const QString& text) {
            logged << text;
            if (text == cancelOn)
                canceller.start(20);
        });

        QTEST(int(update.run(1, 12)), "result");

        // After the first line, unless the update was refused before it began.
        const bool began = logged.value(0).startsWith("Starting bootloader");
        QCOMPARE(began ? logged.mid(1) : logged, log.replaceInStrings("<app>", install->dir.path()));
        QCOMPARE(BoardFactory::creatableBoards(), QFlags<Connectable::TypeConnected>(Connectable::TypeAll));
        const QString text = QString::fromUtf8(install->read());
        QVERIFY2(text.contains(benchAfter.replace(' ', '\n')), qPrintable(text));
        if (tool.contains("pid")) // ended, not left behind
            QVERIFY(TestSupport::processEnded(path("pid")));
    }

    // The tool is KESTRIX_DFU_PROGRAMMER's, else the one beside the executable,
    // else the one on PATH; each candidate here records that it ran.
    void toolLookup_data()
    {
        QTest::addColumn<QString>("named"); // KESTRIX_DFU_PROGRAMMER below the temporary folder
        QTest::addColumn<QStringList>("present"); // tools that exist: named, app, path
        QTest::addColumn<QString>("ran");
        QTest::addColumn<QString>("logged"); // one line of the log
        const QStringList all { "named", "app", "path" };
        QTest::newRow("named wins") << "named/dfu-programmer" << all << "named"
                                    << "Using dfu-programmer at <dir>/named/dfu-programmer";
        QTest::newRow("beside the executable before PATH") << "" << all << "app"
                                                           << "Using dfu-programmer at <dir>/dfu-programmer";
        QTest::newRow("PATH") << "" << QStringList { "named", "path" } << "path"
                              << "Using dfu-programmer at <dir>/path/dfu-programmer";
        QTest::newRow("nowhere") << "" << QStringList { "named" } << ""
                                 << "dfu-programmer is missing: looked for at <dir> and on PATH. Install it with: apt "
                                    "install dfu-programmer";
        QTest::newRow("named but missing") << "named/none" << all << ""
                                           << "dfu-programmer is missing: looked for at <dir>/named/none, named by "
                                              "KESTRIX_DFU_PROGRAMMER.";
    }
    void toolLookup()
    {
        QFETCH(QString, named);
        QFETCH(QStringList, present);
        QFETCH(QString, ran);
        QFETCH(QString, logged);
        const QByteArray searchPath = qgetenv("PATH");
        const auto restore = qScopeGuard([&] {
            qputenv("PATH", searchPath);
            qunsetenv("KESTRIX_DFU_PROGRAMMER");
        });
        QVERIFY(QDir(install->dir.path()).mkpath("named") && QDir(install->dir.path()).mkpath("path"));
        for (const QString& place : present)
            writeTool(
                place == "app" ? "dfu-programmer" : place + "/dfu-programmer", "echo " + place.toUtf8() + " > ran");
        qputenv("PATH", path("path").toLocal8Bit());
        if (!named.isEmpty())
            qputenv("KESTRIX_DFU_PROGRAMMER", path(named).toLocal8Bit());
        install->write(":0100000000FF\n:00000001FF\n", "hex/KestrixFirmware_12.hex");
        install->start(header(20, 50) + TestSupport::motherboard(1, 5).toUtf8());

        FirmwareUpdate update;
        update.setBootloaderTimeout(300);
        QStringList log;
        connect(&update, &FirmwareUpdate::logmessage, this,
            [&](KestrixStudio::LogLevel, const QString& text) { log << text; });
        QCOMPARE(update.run(1, 12), ran.isEmpty() ? FirmwareUpdate::ToolNotStarted : FirmwareUpdate::Updated);
        QCOMPARE(QString::fromUtf8(TestSupport::readFile(path("ran")).trimmed()), ran);
        QVERIFY2(log.contains(logged.replace("<dir>", install->dir.path())), qPrintable(log.join('\n')));
    }
};

QTEST_MAIN(TestFirmwareUpdate)
#include "tst_firmwareupdate.moc"
