// The simulated bench: enumeration, hot-plug, notifications, bootloader.

#include "benchfixture.h"
#include "boardfactory.h"
#include "bootloaderdevice.h"
#include "hexmodel.h"
#include "hexparserfactory.h"
#include "motherboard.h"
#include "testsupport.h"

#include <QPointer>
#include <QSignalSpy>

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

    void enumeratesInKeyOrder()
    {
        bench->start(BenchFixture::header() + BenchFixture::board("c", 7, "firmware=12")
            + BenchFixture::board("a", 2,
                "module=KT52 module ; with a comment\nextension=KT21 ext\n"
                "externalModule=true")
            + BenchFixture::board("b", 300, "type=4"));
        const auto boards = BenchFixture::manager()->getBoardIterator();
        QCOMPARE(boards.keys(), (QList<int> { 2, 7, 300 }));
        QCOMPARE(BenchFixture::manager()->numberOfConnectedDevices(), 3);
        auto* two = qobject_cast<MotherBoard*>(boards.value(2));
        QVERIFY(two);
        QCOMPARE(two->getBoardFirmwareID(), quint16(5));
        QCOMPARE(two->moduleName(), QStringLiteral("KT52 module"));
        QCOMPARE(two->extensionName(), QStringLiteral("KT21 ext"));
        QVERIFY(two->hasModuleExternalModuleCapability());
        QCOMPARE(qobject_cast<MotherBoard*>(boards.value(7))->getBoardFirmwareID(), quint16(12));
        QCOMPARE(boards.value(300)->getTypeConnected(), int(Connectable::TypeBootloader));
        QCOMPARE(BenchFixture::manager()->getBoardByID(7), boards.value(7));
        QVERIFY(!BenchFixture::manager()->getBoardByID(8));
        QVERIFY(BenchFixture::manager()->getLogmessagesFromInit().contains(
            QStringLiteral("1@KM4200 bench: 3 boards connected")));
    }

    void noBench_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("unset") << QString() << QByteArray() << "1@No KM4200 bench configured";
        QTest::newRow("missing") << "missing.ini" << QByteArray() << "2@KM4200 bench unusable: cannot open";
        QTest::newRow("garbage") << "bench.ini" << QByteArray("[a]\nid=1\nthis is not ini\n") << "line 3";
        QTest::newRow("binary") << "bench.ini" << QByteArray("\x00\x01\xff", 3) << "not a text file";
        QTest::newRow("group broken") << "bench.ini" << QByteArray("[a\nid=1\n") << "malformed group header";
    }

    void noBench()
    {
        QFETCH(QString, variable);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        if (!content.isEmpty())
            bench->write(content);
        if (variable.isEmpty()) {
            qunsetenv("KM4200_BENCH");
            bench->controller = std::make_unique<KM4200Controller>();
        } else {
            bench->startOn(bench->folder() + QLatin1Char('/') + variable);
        }
        QCOMPARE(BenchFixture::manager()->numberOfConnectedDevices(), 0);
        const QStringList messages = BenchFixture::manager()->getLogmessagesFromInit();
        QVERIFY2(messages.join(QLatin1Char('\n')).contains(message), qPrintable(messages.join(QLatin1Char('\n'))));
        QSignalSpy updated(BenchFixture::manager(), &ConnectionManager::updated);
        BenchFixture::manager()->update();
        QCOMPARE(updated.count(), 1);
    }

    void badGroupsAreSkipped()
    {
        bench->start(BenchFixture::header() + BenchFixture::board("ok", 1) + QByteArray("[noid]\nfirmware=3\n")
            + BenchFixture::board("type", 2, "type=2") + BenchFixture::board("dup", 1)
            + BenchFixture::board("fw", 3, "firmware=70000"));
        QCOMPARE(BenchFixture::manager()->getBoardIterator().keys(), QList<int> { 1 });
        const QString messages = BenchFixture::manager()->getLogmessagesFromInit().join(QLatin1Char('\n'));
        for (const char* group : { "[noid]", "[type]", "[dup]", "[fw]" })
            QVERIFY2(messages.contains(QLatin1String(group)), group);
    }

    void hotPlugKeepsIdentity()
    {
        bench->start(BenchFixture::header() + BenchFixture::board("one", 1) + BenchFixture::board("two", 2));
        QPointer<Connectable> one = BenchFixture::manager()->getBoardByID(1);
        QPointer<Connectable> two = BenchFixture::manager()->getBoardByID(2);
        one->firmwareChecked = true;
        QSignalSpy updated(BenchFixture::manager(), &ConnectionManager::updated);

        // Edit board 1, add board 3: one change, same objects.
        bench->write(BenchFixture::header() + BenchFixture::board("one", 1, "firmware=9")
            + BenchFixture::board("two", 2) + BenchFixture::board("three", 3));
        QTRY_COMPARE(updated.count(), 1);
        QCOMPARE(BenchFixture::manager()->getBoardIterator().keys(), (QList<int> { 1, 2, 3 }));
        QCOMPARE(BenchFixture::manager()->getBoardByID(1), one.data());
        QVERIFY(one->firmwareChecked);
        QCOMPARE(qobject_cast<MotherBoard*>(one.data())->getBoardFirmwareID(), quint16(9));
        QCOMPARE(BenchFixture::manager()->getBoardByID(2), two.data());

        // Remove board 2: disconnected() first, deletion only from the event loop.
        QSignalSpy gone(two.data(), &Connectable::disconnected);
        bool aliveAtSignal = false;
        connect(two.data(), &Connectable::disconnected, this, [&] { aliveAtSignal = !two.isNull(); });
        bench->write(
            BenchFixture::header() + BenchFixture::board("one", 1, "firmware=9") + BenchFixture::board("three", 3));
        QTRY_COMPARE(gone.count(), 1);
        QVERIFY(aliveAtSignal);
        QCOMPARE(updated.count(), 2);
        QCOMPARE(BenchFixture::manager()->getBoardIterator().keys(), (QList<int> { 1, 3 }));
        QTRY_VERIFY(two.isNull());

        // Rewriting the same content changes nothing.
        bench->write(
            BenchFixture::header() + BenchFixture::board("one", 1, "firmware=9") + BenchFixture::board("three", 3));
        QTest::qWait(150);
        QCOMPARE(updated.count(), 2);
    }

    void fileRemovedAndBack()
    {
        bench->start(BenchFixture::header() + BenchFixture::board("one", 1));
        QSignalSpy updated(BenchFixture::manager(), &ConnectionManager::updated);
        QVERIFY(QFile::remove(bench->path()));
        QTRY_COMPARE(BenchFixture::manager()->numberOfConnectedDevices(), 0);
        bench->write(BenchFixture::header() + BenchFixture::board("one", 1));
        QTRY_COMPARE(BenchFixture::manager()->numberOfConnectedDevices(), 1);
        QCOMPARE(updated.count(), 2);
    }

    void corruptEditKeepsBoards()
    {
        bench->start(BenchFixture::header() + BenchFixture::board("one", 1));
        QSignalSpy log(BenchFixture::manager(), &ConnectionManager::logmessage);
        bench->write("[one\n");
        QTRY_VERIFY(!log.isEmpty());
        QCOMPARE(log.last().at(0).toInt(), 2);
        QCOMPARE(BenchFixture::manager()->numberOfConnectedDevices(), 1);
    }

    void notificationsOffAndOn()
    {
        bench->start(BenchFixture::header() + BenchFixture::board("one", 1));
        QSignalSpy updated(BenchFixture::manager(), &ConnectionManager::updated);
        BenchFixture::manager()->disableAutomaticDeviceUpdateNotifications();
        bench->write(BenchFixture::header() + BenchFixture::board("one", 1) + BenchFixture::board("two", 2));
        QTRY_COMPARE(BenchFixture::manager()->numberOfConnectedDevices(), 2);
        BenchFixture::manager()->update();
        QCOMPARE(updated.count(), 0);
        BenchFixture::manager()->enableAutomaticDeviceUpdateNotifications();
        BenchFixture::manager()->update();
        QCOMPARE(updated.count(), 1);
        bench->write(BenchFixture::header() + BenchFixture::board("one", 1));
        QTRY_COMPARE(updated.count(), 2);
    }

    void destroyingControllerDisconnects()
    {
        bench->start(BenchFixture::header() + BenchFixture::board("one", 1));
        QPointer<Connectable> one = BenchFixture::manager()->getBoardByID(1);
        QSignalSpy gone(one.data(), &Connectable::disconnected);
        bench->stop();
        QCOMPARE(gone.count(), 1);
        QCOMPARE(BenchFixture::manager()->numberOfConnectedDevices(), 0);
        QTRY_VERIFY(one.isNull());
    }

    void bootloader_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("creatable");
        QTest::addColumn<bool>("reports");
        QTest::newRow("responds") << "responds" << true << true;
        QTest::newRow("silent") << "silent" << true << false;
        QTest::newRow("kind not creatable") << "responds" << false << false;
    }

    void bootloader()
    {
        QFETCH(QString, mode);
        QFETCH(bool, creatable);
        QFETCH(bool, reports);
        bench->start(BenchFixture::header(20, 40) + BenchFixture::board("one", 1, "bootloader=" + mode)
            + BenchFixture::board("two", 2));
        auto* board = qobject_cast<MotherBoard*>(BenchFixture::manager()->getBoardByID(1));
        QPointer<Connectable> guard = board;
        QSignalSpy gone(board, &Connectable::disconnected);
        QSignalSpy connected(BenchFixture::manager(), &ConnectionManager::bootloaderConnected);
        QSignalSpy updated(BenchFixture::manager(), &ConnectionManager::updated);

        BenchFixture::manager()->disableAutomaticDeviceUpdateNotifications();
        QVERIFY(board->jumpToBootloader());
        BoardFactory::setCreatableBoards(creatable ? Connectable::TypeBootloader : Connectable::TypeMotherBoard);
        BenchFixture::manager()->enableAutomaticDeviceUpdateNotifications();
        QCOMPARE(gone.count(), 1);
        QVERIFY(!BenchFixture::manager()->getBoardByID(1));
        QCOMPARE(updated.count(), 0);
        // The tool in another process sees the board in its bootloader.
        QVERIFY(bench->read().contains("type=4"));

        if (reports) {
            QTRY_COMPARE(connected.count(), 1);
            QCOMPARE(connected.first().first().toBool(), true);
            Connectable* device = BenchFixture::manager()->getBoardByID(1);
            QVERIFY(qobject_cast<BootloaderDevice*>(device));
            QCOMPARE(device->getTypeConnected(), 4);
            QCOMPARE(updated.count(), 1);
        } else {
            QTest::qWait(200);
            QCOMPARE(connected.count(), 0);
            QVERIFY(!BenchFixture::manager()->getBoardByID(1));
        }
        QTRY_VERIFY(guard.isNull());
        QVERIFY(BenchFixture::manager()->getBoardByID(2));

        if (!creatable && mode == QLatin1String("responds")) {
            // Widening the kinds brings the waiting device in.
            BoardFactory::setCreatableBoards(Connectable::TypeAll);
            QTRY_COMPARE(connected.count(), 1);
            QVERIFY(qobject_cast<BootloaderDevice*>(BenchFixture::manager()->getBoardByID(1)));
        }
    }

    void renewBringsNewFirmware()
    {
        bench->start(BenchFixture::header(20, 10) + BenchFixture::board("one", 1, "firmware=11"));
        auto* board = qobject_cast<MotherBoard*>(BenchFixture::manager()->getBoardByID(1));
        QSignalSpy connected(BenchFixture::manager(), &ConnectionManager::bootloaderConnected);
        QVERIFY(board->jumpToBootloader());
        BoardFactory::setCreatableBoards(Connectable::TypeBootloader);
        QTRY_COMPARE(connected.count(), 1);
        Connectable* device = BenchFixture::manager()->getBoardByID(1);

        // What the firmware tool does from its own process.
        QVERIFY(BenchFile::updateKey(
            bench->path(), QStringLiteral("one"), QStringLiteral("firmware"), QStringLiteral("12")));
        QSignalSpy deviceGone(device, &Connectable::disconnected);
        device->renew();
        QCOMPARE(deviceGone.count(), 1);
        BoardFactory::setCreatableBoards(Connectable::TypeAll);
        auto* back = qobject_cast<MotherBoard*>(BenchFixture::manager()->getBoardByID(1));
        QVERIFY(back);
        QCOMPARE(back->getBoardFirmwareID(), quint16(12));
        QVERIFY(!back->firmwareChecked);
        QVERIFY(bench->read().contains("type=1"));

        // A fresh library on the same bench sees the same.
        bench->stop();
        bench->startOn(bench->path());
        QCOMPARE(
            qobject_cast<MotherBoard*>(BenchFixture::manager()->getBoardByID(1))->getBoardFirmwareID(), quint16(12));
    }

    void benchEditsKeepComments()
    {
        const QByteArray text = "; my bench\r\n[bench]\r\noperationMs=20\r\n\r\n[one]\r\nid=1\r\n"
                                "type=1      ; normal operation\r\nfirmware=3\r\n";
        bench->write(text);
        QVERIFY(BenchFile::updateKey(bench->path(), "one", "type", "4"));
        QVERIFY(BenchFile::updateKey(bench->path(), "one", "firmware", "8"));
        QVERIFY(BenchFile::updateKey(bench->path(), "one", "bootloader", "silent"));
        QCOMPARE(bench->read(),
            QByteArray("; my bench\r\n[bench]\r\noperationMs=20\r\n\r\n[one]\r\nid=1\r\n"
                       "type=4      ; normal operation\r\nfirmware=8\r\nbootloader=silent\r\n"));
    }

    void demoBench()
    {
        // The demo: board 1 outdated, board 2 current, firmware file valid and clear of the bootloader.
        const QString examples = QStringLiteral(KESTRIX_EXAMPLES_DIR);
        QFile demo(examples + "/bench/bench.ini");
        QVERIFY(demo.open(QIODevice::ReadOnly));
        bench->start(demo.readAll());
        const auto boards = BenchFixture::manager()->getBoardIterator();
        QCOMPARE(boards.keys(), (QList<int> { 1, 2 }));
        QCOMPARE(qobject_cast<MotherBoard*>(boards.value(1))->getBoardFirmwareID(), quint16(11));
        QCOMPARE(qobject_cast<MotherBoard*>(boards.value(2))->getBoardFirmwareID(), quint16(12));
        HexModel firmware;
        QVERIFY(HexParserFactory::read(examples + "/firmware/KestrixFirmware_12.hex", &firmware, 1));
        QVERIFY(firmware.byteCount() > 4096);
        QVERIFY(firmware.endAddress() <= 0x1E000);
    }

private:
    std::unique_ptr<BenchFixture> bench;
};

QTEST_GUILESS_MAIN(TestBench)
#include "tst_bench.moc"
