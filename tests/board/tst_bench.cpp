// The simulated bench: enumeration, hot-plug, notifications, bootloader and
// module operations, and the firmware tool as a real process on it.

#include "benchfile.h"
#include "benchfixture.h"
#include "boardfactory.h"
#include "bootloaderdevice.h"
#include "hexmodel.h"
#include "hexwriter.h"
#include "ktmodule.h"
#include "motherboard.h"
#include "testsupport.h"

#include <QEventLoop>
#include <QPointer>
#include <QProcess>
#include <QSaveFile>
#include <QSignalSpy>

namespace
{
const quint32 notStarted = ~0u;
const quint32 mismatch = KTModule::StatusMismatch;

MotherBoard* board(int id = 1)
{
    return qobject_cast<MotherBoard*>(manager()->getBoardByID(id));
}

// Runs one operation to its end and returns its status. A programming run
// that cannot start still reports, never at once.
quint32 run(KTModule* module, bool programming)
{
    QSignalSpy done(module, &KTModule::operationDone);
    module->startFlag = programming;
    if (!(programming ? module->startProgramming() : module->startVerifying()) && !programming)
        return notStarted;
    return done.isEmpty() && done.wait(5000) && done.size() == 1 ? done.first().at(1).toUInt() : notStarted;
}
} // namespace

class TestBench : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }
    void init() { bench = std::make_unique<BenchFixture>(); }
    void cleanup()
    {
        bench.reset();
        BoardFactory::setCreatableBoards(Connectable::TypeAll);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void noBench()
    {
        bench->start("[a]\nid=1\nthis is not ini\n");
        QCOMPARE(manager()->numberOfConnectedDevices(), 0);
        QVERIFY(manager()->getLogmessagesFromInit().join('\n').contains("line 3"));
        bench->controller.reset();
        qunsetenv("KM4200_BENCH");
        bench->controller = std::make_unique<KM4200Controller>();
        QVERIFY(manager()->getLogmessagesFromInit().join('\n').contains("1@No KM4200 bench configured"));
    }

    void hotPlugAndNotifications()
    {
        bench->start(
            header() + group("b", 200, "type=4") + group("two", 2) + group("one", 1, "module=KT52 module ; note"));
        QCOMPARE(manager()->getBoardIterator().keys(), (QList<int> { 1, 2, 200 }));
        QCOMPARE(board(1)->moduleName(), QStringLiteral("KT52 module"));
        QVERIFY(qobject_cast<BootloaderDevice*>(manager()->getBoardByID(200)));
        QVERIFY(manager()->getLogmessagesFromInit().contains("1@KM4200 bench: 3 boards connected"));
        QPointer<Connectable> one = board(1), two = board(2);
        one->firmwareChecked = true;
        QSignalSpy updated(manager(), &ConnectionManager::updated);

        bench->write(header() + group("one", 1, "firmware=9") + group("two", 2) + group("b", 200, "type=4"));
        QTRY_COMPARE(updated.count(), 1);
        QCOMPARE(manager()->getBoardIterator().keys(), (QList<int> { 1, 2, 200 }));
        QCOMPARE(board(1), one.data());
        QVERIFY(one->firmwareChecked);
        QCOMPARE(board(1)->getBoardFirmwareID(), quint16(9));

        // disconnected() comes first; deletion only later, from the event loop.
        bool aliveAtSignal = false;
        connect(two.data(), &Connectable::disconnected, this, [&] { aliveAtSignal = !two.isNull(); });
        bench->write(header() + group("one", 1, "firmware=9") + group("b", 200, "type=4"));
        QTRY_VERIFY(aliveAtSignal);
        QCOMPARE(updated.count(), 2);
        QCOMPARE(manager()->getBoardIterator().keys(), (QList<int> { 1, 200 }));
        QTRY_VERIFY(two.isNull());

        // Silent while notifications are off, whatever update() finds.
        manager()->disableAutomaticDeviceUpdateNotifications();
        manager()->update();
        QCOMPARE(updated.count(), 2);
        manager()->enableAutomaticDeviceUpdateNotifications();
        manager()->update();
        QCOMPARE(updated.count(), 3);
    }

    // The bus addresses boards by one byte: other IDs are refused, not cut.
    void boardIds_data()
    {
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("1") << QByteArray("1") << true;
        QTest::newRow("255") << QByteArray("0xff") << true;
        QTest::newRow("0") << QByteArray("0") << false;
        QTest::newRow("256") << QByteArray("256") << false;
        QTest::newRow("300") << QByteArray("300") << false;
        QTest::newRow("negative") << QByteArray("-1") << false;
    }
    void boardIds()
    {
        QFETCH(QByteArray, id);
        QFETCH(bool, accepted);
        bench->start(header() + "[b]\nid=" + id + "\n");
        QCOMPARE(manager()->numberOfConnectedDevices(), accepted ? 1 : 0);
        const QString refusal = "2@KM4200 bench [b] skipped: id '" + id + "' is not a board number from 1 to 255";
        QCOMPARE(manager()->getLogmessagesFromInit().contains(refusal), !accepted);
    }

    // A receiver runs an event loop, as a message box does, while boards come
    // and go. Afterwards the boards match the bench, each board that left
    // said so once, and (under AddressSanitizer) nothing was used after it
    // was deleted.
    void reentrancy_data()
    {
        QTest::addColumn<QString>("trigger"); // unplug board 1, reset it, or let its modules run
        QTest::addColumn<QString>("hook"); // the signal whose receiver runs the loop
        const auto row = [](const char* name, const char* trigger, const char* hook) {
            QTest::newRow(name) << QString(trigger) << QString(hook);
        };
        row("disconnected", "unplug", "disconnected");
        row("report of a module whose board left", "unplug", "operationDone");
        row("log", "unplug", "logmessage");
        row("updated", "unplug", "updated");
        row("report of a reset, board gone meanwhile", "reset", "operationDone");
        row("progress, board gone meanwhile", "run", "progressUpdate");
    }
    void reentrancy()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, hook);
        bench->start(header(200) + group("one", 1) + group("two", 2) + group("three", 3));
        QPointer<MotherBoard> one = board(1);
        QSignalSpy oneGone(one.data(), &Connectable::disconnected);
        QSignalSpy twoGone(board(2), &Connectable::disconnected);
        QPointer<KTModule> module = one->getModule(0);
        for (KTModule* m : { one->getModule(0), one->getModule(1) }) {
            m->startFlag = true;
            QVERIFY(m->startProgramming());
        }
        int loops = 0;
        const auto nestedLoop = [&] {
            if (loops++)
                return;
            bench->write(header(200) + group("three", 3) + group("four", 4));
            QEventLoop loop;
            QTimer poll;
            connect(&poll, &QTimer::timeout, &loop, [&] {
                if (manager()->getBoardByID(4) && !manager()->getBoardByID(2))
                    loop.quit();
            });
            poll.start(10);
            QTimer::singleShot(5000, &loop, &QEventLoop::quit);
            loop.exec();
        };
        QObject context; // goes before the locals the receivers use
        if (hook == "disconnected")
            connect(one.data(), &Connectable::disconnected, &context, nestedLoop);
        else if (hook == "operationDone")
            connect(module.data(), &KTModule::operationDone, &context, nestedLoop);
        else if (hook == "logmessage")
            connect(manager(), &ConnectionManager::logmessage, &context, nestedLoop);
        else if (hook == "updated")
            connect(manager(), &ConnectionManager::updated, &context, nestedLoop);
        else
            connect(module.data(), &KTModule::progressUpdate, &context, nestedLoop);

        if (trigger == "unplug")
            bench->write(header(200) + group("two", 2) + group("three", 3));
        else if (trigger == "reset")
            one->resetDevice();

        QTRY_COMPARE(manager()->getBoardIterator().keys(), (QList<int> { 3, 4 }));
        QVERIFY(loops > 0);
        QTRY_VERIFY(one.isNull());
        QCOMPARE(oneGone.count(), 1);
        QCOMPARE(twoGone.count(), 1);
    }

    // Ways of writing the bench while the library watches it. A file being
    // rewritten never unplugs a board that stays, and a steady stream of
    // edits is read while it lasts.
    void benchWriters_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::newRow("truncate, pause, write") << "truncate";
        QTest::newRow("written beside and renamed") << "rename";
        QTest::newRow("rapid stream") << "stream";
    }
    void benchWriters()
    {
        QFETCH(QString, writer);
        bench->start(header() + group("one", 1) + group("two", 2));
        QPointer<MotherBoard> one = board(1);
        QSignalSpy oneGone(one.data(), &Connectable::disconnected);
        const auto text = [](int firmware) {
            return header() + group("one", 1, "firmware=" + QByteArray::number(firmware)) + group("three", 3);
        };
        QSet<int> seen; // firmware numbers the library reported while the stream ran
        if (writer == "truncate") {
            QFile file(bench->path());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QTest::qWait(120); // longer than an editor's quiet time
            file.write(text(40));
        } else if (writer == "rename") {
            QSaveFile file(bench->path());
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text(40)) > 0 && file.commit());
        } else {
            for (int firmware = 10; firmware < 40; ++firmware) {
                bench->write(text(firmware));
                QTest::qWait(20);
                seen << board()->getBoardFirmwareID();
            }
            bench->write(text(40));
        }
        QTRY_COMPARE(manager()->getBoardIterator().keys(), (QList<int> { 1, 3 }));
        QCOMPARE(board(), one.data());
        QTRY_COMPARE(board()->getBoardFirmwareID(), quint16(40));
        QCOMPARE(oneGone.count(), 0);
        if (writer == "stream")
            QVERIFY2(seen.size() >= 3, "edits were held back while they kept coming");
    }

    void bootloader_data()
    {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<bool>("creatable");
        QTest::newRow("responds") << QByteArray("responds") << true;
        QTest::newRow("silent") << QByteArray("silent") << true;
        QTest::newRow("kind not creatable") << QByteArray("responds") << false;
    }

    void bootloader()
    {
        QFETCH(QByteArray, mode);
        QFETCH(bool, creatable);
        bench->start(header(20, 40) + group("one", 1, "firmware=11\nbootloader=" + mode));
        QPointer<Connectable> guard = board();
        QSignalSpy gone(guard.data(), &Connectable::disconnected);
        QSignalSpy connected(manager(), &ConnectionManager::bootloaderConnected);
        QVERIFY(board()->jumpToBootloader());
        BoardFactory::setCreatableBoards(creatable ? Connectable::TypeBootloader : Connectable::TypeMotherBoard);
        QCOMPARE(gone.count(), 1);
        QVERIFY(!manager()->getBoardByID(1));
        QVERIFY(bench->read().contains("type=4"));
        QTRY_VERIFY(guard.isNull());

        QTest::qWait(200);
        QCOMPARE(connected.count(), creatable && mode == "responds" ? 1 : 0);
        BoardFactory::setCreatableBoards(Connectable::TypeAll); // widening the kinds brings a waiting device in
        QTRY_COMPARE(connected.count(), mode == "responds" ? 1 : 0);
        QCOMPARE(bool(qobject_cast<BootloaderDevice*>(manager()->getBoardByID(1))), mode == "responds");
        if (mode != "responds")
            return;
        QCOMPARE(connected.first().first().toBool(), true);
        // What the firmware tool does from its own process, then renew restarts the board with the new
        // firmware. It comes back after the restart, reported although it left while notifications were off.
        QVERIFY(BenchFile::updateKey(bench->path(), "one", "firmware", "12"));
        QSignalSpy updated(manager(), &ConnectionManager::updated);
        manager()->disableAutomaticDeviceUpdateNotifications();
        manager()->getBoardByID(1)->renew();
        QVERIFY(!manager()->getBoardByID(1));
        manager()->enableAutomaticDeviceUpdateNotifications();
        QTRY_COMPARE(updated.count(), 1);
        QCOMPARE(board()->getBoardFirmwareID(), quint16(12));
        QVERIFY(!board()->firmwareChecked);
        QVERIFY(bench->read().contains("type=1"));
    }

    void statuses_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<int>("slot");
        QTest::addColumn<quint32>("programStatus");
        QTest::addColumn<quint32>("verifyStatus");
        QTest::newRow("defaults") << QByteArray() << 1 << 0u << 0u;
        QTest::newRow("programming fails") << QByteArray("programStatus=7") << 1 << 7u << mismatch;
        QTest::newRow("no module") << QByteArray("modules=0,1,2") << 3 << quint32(KTModule::StatusNoModule)
                                   << notStarted;
    }

    void statuses()
    {
        QFETCH(QByteArray, settings);
        QFETCH(int, slot);
        QFETCH(quint32, programStatus);
        QFETCH(quint32, verifyStatus);
        bench->start(header() + group("one", 1, settings));
        KTModule* module = board()->getModule(slot);
        module->getModel()->write(0, "abc");
        QCOMPARE(run(module, true), programStatus);
        QCOMPARE(run(module, false), verifyStatus);
    }

    // OTP keeps its first content; in default mode an empty model programs
    // the module's default-settings block, whose layout modules read.
    void otpAndDefaultSettings()
    {
        bench->start(header() + group("one", 1, "module=KT52 module"));
        KTModule* extension = board()->getModule(MotherBoard::SlotExtensionBoard);
        extension->setTargetMemoryType(KTModule::MemoryOTP);
        extension->getModel()->write(0, "first");
        QCOMPARE(run(extension, true), 0u);
        QCOMPARE(run(extension, true), 0u); // the same content again
        extension->getModel()->reset();
        extension->getModel()->write(0, "other");
        QCOMPARE(run(extension, true), quint32(KTModule::StatusOTPWritten));
        QCOMPARE(extension->memory(KTModule::MemoryOTP).segments().value(0), QByteArray("first"));

        KTModule* module = board()->getModule(MotherBoard::SlotModule);
        board()->setDefaultMode(true);
        QCOMPARE(run(module, true), 0u);
        QCOMPARE(run(module, false), 0u);
        const QByteArray block = module->memory(KTModule::MemoryNormal).segments().value(KTModule::DefaultBlockAddress);
        QByteArray expected = QByteArray("KTDS\x01\x00\x01\x00", 8) + "KT52 module" + QByteArray(21, '\0')
            + QByteArray("\x0b\x7f\x04\x01", 4) + QByteArray(82, char(0xff));
        expected += QByteArray::fromHex("db8f"); // CRC-16/CCITT-FALSE of the 126 bytes before it
        QCOMPARE(block.toHex(), expected.toHex());
    }

    // The firmware tool: every exit path, and the firmware number it leaves on the bench.
    void exitPaths_data()
    {
        QTest::addColumn<QByteArray>("device"); // bench group of board 3, empty: no bench
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QByteArray inBootloader = "type=4";
        const QString flash = "at90usb1287 flash ", fw = flash + "KestrixFirmware_12.hex";
        const QString noDevice = "dfu-programmer: no device present.";
        QTest::newRow("no arguments") << inBootloader << QString() << 2 << "Usage: dfu-programmer";
        QTest::newRow("unknown target") << inBootloader << "atmega8 flash x.hex" << 2 << "unknown target 'atmega8'";
        QTest::newRow("no bench") << QByteArray() << fw << 3 << noDevice;
        QTest::newRow("silent bootloader") << QByteArray("type=4\nbootloader=silent") << fw << 3 << noDevice;
        QTest::newRow("device before file") << QByteArray("type=1") << flash + "missing.hex" << 3 << noDevice;
        QTest::newRow("missing file") << inBootloader << flash + "missing.hex" << 4 << "Error opening missing.hex";
        QTest::newRow("bad checksum") << inBootloader << flash + "crc.hex" << 4 << "Error: Line 1 does not validate.";
        QTest::newRow("bootloader area") << inBootloader << flash + "big.hex" << 4 << "bootloader area from 0x1E000";
        QTest::newRow("flashed") << inBootloader << fw << 0 << "Programming 0x1010 bytes...";
    }

    void exitPaths()
    {
        QFETCH(QByteArray, device);
        QFETCH(QString, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        HexModel firmware;
        firmware.write(0, QByteArray(0x1000, '\x5a'));
        firmware.write(0x1DFF0, QByteArray(16, '\x01'));
        bench->write(HexWriter::write(firmware), "KestrixFirmware_12.hex");
        HexModel tooBig;
        tooBig.write(0x1DFF8, QByteArray(16, '\x02'));
        bench->write(HexWriter::write(tooBig), "big.hex");
        bench->write(":0200000061623A\n:00000001FF\n", "crc.hex");
        bench->write(
            header() + group("other", 1, "type=1\nfirmware=11") + group("board3", 3, device + "\nfirmware=11"));
        const QByteArray before = bench->read();

        QProcess tool;
        tool.setWorkingDirectory(bench->dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("KM4200_BENCH");
        if (!device.isEmpty())
            env.insert("KM4200_BENCH", bench->path());
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(DFU_PROGRAMMER_PATH), arguments.split(' ', Qt::SkipEmptyParts));
        QVERIFY(tool.waitForFinished(20000));
        const QString err = QString::fromUtf8(tool.readAllStandardError());
        QCOMPARE(tool.exitCode(), exitCode);
        QVERIFY2(err.contains(message), qPrintable(err));
        QVERIFY(tool.readAllStandardOutput().isEmpty());
        // On success only the board that sits in its bootloader has the new firmware.
        const QByteArray flashed = QByteArray(before).replace("type=4\nfirmware=11", "type=4\nfirmware=12");
        QCOMPARE(bench->read(), exitCode == 0 ? flashed : before);
    }

private:
    std::unique_ptr<BenchFixture> bench;
};

QTEST_GUILESS_MAIN(TestBench)
#include "tst_bench.moc"
