// Module operations on the simulated bench: compare, program, verify,
// abort, OTP and the default-settings block.

#include "benchfixture.h"
#include "hexmodel.h"
#include "infopage.h"
#include "ktmodule.h"
#include "motherboard.h"
#include "testsupport.h"

#include <QSettings>
#include <QSignalSpy>

namespace
{
HexModel image(quint32 address, const QByteArray& bytes)
{
    HexModel model;
    model.write(address, bytes);
    return model;
}
} // namespace

class TestModules : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }
    void init()
    {
        bench = std::make_unique<BenchFixture>();
        bench->start(BenchFixture::header() + BenchFixture::board("one", 1, "modules=0,1,2"));
    }
    void cleanup()
    {
        bench.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void programThenVerify()
    {
        KTModule* module = board()->getModule(MotherBoard::SlotModule);
        QCOMPARE(board()->getModule(0), module);
        *module->getModel() = image(0x100, "firmware");
        QSignalSpy done(module, &KTModule::operationDone);
        QSignalSpy progress(module, &KTModule::progressUpdate);

        // Compare first: the empty module differs.
        QVERIFY(module->startVerifying());
        QCOMPARE(done.count(), 0);
        QVERIFY(!module->startVerifying());
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.takeFirst(), (QVariantList { 1u, quint32(KTModule::StatusMismatch) }));
        QCOMPARE(progress.first().first().toInt(), 0);
        QCOMPARE(progress.last().first().toInt(), 100);
        for (int i = 1; i < progress.count(); ++i)
            QVERIFY(progress.at(i).first().toInt() > progress.at(i - 1).first().toInt());

        QVERIFY(!module->startProgramming());
        module->startFlag = true;
        module->setMemoryParts(KTModule::MemoryPartProgram);
        QVERIFY(module->startProgramming());
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.takeFirst(), (QVariantList { 0u, 0u }));
        QVERIFY(!module->startFlag);

        module->setMemoryParts(KTModule::MemoryPartVerify);
        QVERIFY(module->startVerifying());
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.takeFirst(), (QVariantList { 1u, 0u }));

        // A second process on the same bench sees the programmed memory.
        bench->stop();
        bench->startOn(bench->path());
        KTModule* again = board()->getModule(0);
        QVERIFY(again->memory(KTModule::MemoryNormal).sameContent(image(0x100, "firmware")));
        QVERIFY(QFile::exists(bench->folder() + "/bench.memory/board1-module.hex"));
    }

    void benchStatuses_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<quint32>("programStatus");
        QTest::addColumn<quint32>("verifyStatus");
        QTest::newRow("defaults") << QString() << 0u << 0u;
        QTest::newRow("programming fails") << "programStatus=7" << 7u << quint32(KTModule::StatusMismatch);
        QTest::newRow("fixed verify status") << "verifyStatus=9" << 0u << 9u;
        QTest::newRow("fixed verify success") << "programStatus=3\nverifyStatus=0" << 3u << 0u;
    }

    void benchStatuses()
    {
        QFETCH(QString, settings);
        QFETCH(quint32, programStatus);
        QFETCH(quint32, verifyStatus);
        bench->stop();
        bench->start(BenchFixture::header() + BenchFixture::board("one", 1, settings));
        KTModule* module = board()->getModule(1);
        *module->getModel() = image(0, "abc");
        QSignalSpy done(module, &KTModule::operationDone);
        module->startFlag = true;
        QVERIFY(module->startProgramming());
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.takeFirst().at(1).toUInt(), programStatus);
        QVERIFY(module->startVerifying());
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.takeFirst().at(1).toUInt(), verifyStatus);
    }

    void slotWithoutModule()
    {
        KTModule* module = board()->getModule(MotherBoard::SlotExternalModule);
        QVERIFY(module);
        QVERIFY(!board()->getModule(4));
        QSignalSpy done(module, &KTModule::operationDone);
        QSignalSpy progress(module, &KTModule::progressUpdate);
        module->startFlag = true;
        QVERIFY(!module->startVerifying());
        QVERIFY(!module->startProgramming());
        QTest::qWait(60);
        QCOMPARE(done.count() + progress.count(), 0);
    }

    void abortEndsOnce_data()
    {
        QTest::addColumn<bool>("programming");
        QTest::newRow("programming") << true;
        QTest::newRow("verifying") << false;
    }

    void abortEndsOnce()
    {
        QFETCH(bool, programming);
        bench->stop();
        bench->start(BenchFixture::header(400) + BenchFixture::board("one", 1));
        KTModule* module = board()->getModule(0);
        *module->getModel() = image(0, "data");
        QSignalSpy done(module, &KTModule::operationDone);
        QSignalSpy progress(module, &KTModule::progressUpdate);
        module->startFlag = true;
        QVERIFY(programming ? module->startProgramming() : module->startVerifying());
        QTRY_VERIFY(!progress.isEmpty());
        module->abort();
        QCOMPARE(done.count(), 1);
        QCOMPARE(done.first(), (QVariantList { programming ? 0u : 1u, quint32(KTModule::StatusAborted) }));
        const int steps = progress.count();
        module->abort();
        QTest::qWait(150);
        QCOMPARE(done.count(), 1);
        QCOMPARE(progress.count(), steps);
        QVERIFY(module->memory(KTModule::MemoryNormal).isEmpty());
    }

    void unplugEndsOperation()
    {
        bench->stop();
        bench->start(BenchFixture::header(400) + BenchFixture::board("one", 1));
        KTModule* module = board()->getModule(0);
        QSignalSpy done(module, &KTModule::operationDone);
        QVERIFY(module->startVerifying());
        bench->write(BenchFixture::header(400));
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.first().at(1).toUInt(), quint32(KTModule::StatusDeviceLost));
    }

    void otpTakesOneContent()
    {
        KTModule* module = board()->getModule(MotherBoard::SlotExtensionBoard);
        module->setTargetMemoryType(KTModule::MemoryOTP);
        QSignalSpy done(module, &KTModule::operationDone);
        const QList<QPair<QByteArray, quint32>> writes { { "first", 0u }, { "first", 0u },
            { "other", quint32(KTModule::StatusOTPWritten) } };
        for (const auto& write : writes) {
            *module->getModel() = image(0x40, write.first);
            module->startFlag = true;
            QVERIFY(module->startProgramming());
            QTRY_COMPARE(done.count(), 1);
            QCOMPARE(done.takeFirst().at(1).toUInt(), write.second);
        }
        QVERIFY(module->memory(KTModule::MemoryOTP).sameContent(image(0x40, "first")));
        QVERIFY(module->memory(KTModule::MemoryNormal).isEmpty());
        // Verifying the OTP memory compares with what it holds.
        QVERIFY(module->startVerifying());
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.takeFirst().at(1).toUInt(), quint32(KTModule::StatusMismatch));
    }

    void defaultSettingsBlock_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("module") << 0 << QByteArray("KT24 module");
        QTest::newRow("extension") << 1 << QByteArray("KT24 extension");
        QTest::newRow("isp") << 2 << QByteArray("ISP 37");
    }

    void defaultSettingsBlock()
    {
        QFETCH(int, slot);
        QFETCH(QByteArray, name);
        board()->flashSetISPDeviceType(37);
        KTModule* module = board()->getModule(slot);
        module->getModel()->reset();
        module->infopage()->reset();
        board()->setDefaultMode(true);
        QSignalSpy done(module, &KTModule::operationDone);
        module->setMemoryParts(KTModule::MemoryPartProgram);
        module->startFlag = true;
        QVERIFY(module->startProgramming());
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.takeFirst().at(1).toUInt(), 0u);
        const HexModel memory = module->memory(KTModule::MemoryNormal);
        QVERIFY(memory.sameContent(module->defaultSettingsImage()));
        const QByteArray block = memory.segments().value(KTModule::DefaultBlockAddress);
        QCOMPARE(block.size(), 128);
        QVERIFY(block.startsWith("KTDS"));
        QCOMPARE(block.mid(8, name.size()), name);
        QCOMPARE(module->infopage()->content(), block);

        module->setMemoryParts(KTModule::MemoryPartVerify);
        QVERIFY(module->startVerifying());
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.takeFirst().at(1).toUInt(), 0u);
        // Out of default mode the empty model no longer matches the block.
        board()->setDefaultMode(false);
        QVERIFY(module->startVerifying());
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.takeFirst().at(1).toUInt(), quint32(KTModule::StatusMismatch));
    }

    void settingsStayInTheirGroup()
    {
        const QString file = bench->folder() + "/settings.ini";
        {
            QSettings settings(file, QSettings::IniFormat);
            settings.setValue("mainWindow/geometry", 1);
            board()->flashSetISPDeviceType(125);
            KTModule::saveSettings(&settings);
        }
        KTModule::setDefaultISPDeviceType(4);
        QSettings settings(file, QSettings::IniFormat);
        QCOMPARE(settings.childGroups(), (QStringList { "km4200ctrl", "mainWindow" }));
        KTModule::loadSettings(&settings);
        QCOMPARE(KTModule::defaultISPDeviceType(), 125);
        QCOMPARE(settings.group(), QString());
    }

private:
    MotherBoard* board() const { return qobject_cast<MotherBoard*>(BenchFixture::manager()->getBoardByID(1)); }

    std::unique_ptr<BenchFixture> bench;
};

QTEST_GUILESS_MAIN(TestModules)
#include "tst_modules.moc"
