// The programming engine against the simulated bench: every outcome, with
// cancel and board loss in each step.

#include "../moduleprogrammer/programmerfixture.h"
#include "hexmodel.h"
#include "hexwriter.h"
#include "ktmodule.h"
#include "motherboard.h"
#include "programmingengine.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <QtTest>

#include <sys/stat.h>

using Engine = ProgrammingEngine;
Q_DECLARE_METATYPE(ProgrammingEngine::Outcome)
Q_DECLARE_METATYPE(ProgrammingEngine::Step)

class TestProgrammingEngine : public QObject
{
    Q_OBJECT
    std::unique_ptr<Bench> bench;
    HexModel image;

private slots:
    void initTestCase()
    {
        TestSupport::enterTestMode();
        image.write(0x0100, QByteArray(300, 'K'));
    }

    void init() { bench = std::make_unique<Bench>(); } // module memory lies beside the bench
    void cleanup() { bench.reset(); }

    void outcomes_data()
    {
        QTest::addColumn<QByteArray>("device"); // board 1's extra keys
        QTest::addColumn<int>("cancelIn"); // a step, or 0
        QTest::addColumn<int>("unplugIn");
        QTest::addColumn<Engine::Outcome>("outcome");
        QTest::addColumn<Engine::Step>("step");
        QTest::addColumn<bool>("written"); // as the result says
        QTest::addColumn<bool>("holds"); // the module's memory holds the image afterwards
        const auto row = [](const char* tag, const QByteArray& device, int cancelIn, int unplugIn,
                             Engine::Outcome outcome, Engine::Step step, bool written, bool holds = false) {
            QTest::newRow(tag) << device << cancelIn << unplugIn << outcome << step << written << holds;
        };
        const QByteArray equal = "verifyStatus=0\n";
        row("equal", equal, 0, 0, Engine::OutcomeUnchanged, Engine::StepResetting, false);
        row("programmed", "", 0, 0, Engine::OutcomeProgrammed, Engine::StepResetting, true, true);
        row("program fails", "programStatus=5\n", 0, 0, Engine::OutcomeFailed, Engine::StepProgramming, true);
        row("verify fails", "verifyStatus=7\n", 0, 0, Engine::OutcomeFailed, Engine::StepVerifying, true, true);
        row("module missing", "modules=1,2\n", 0, 0, Engine::OutcomeFailed, Engine::StepComparing, false);
        row("cancel comparing", "", Engine::StepComparing, 0, Engine::OutcomeCancelled, Engine::StepComparing, false);
        row("cancel programming", "", Engine::StepProgramming, 0, Engine::OutcomeCancelled, Engine::StepProgramming,
            true);
        row("cancel verifying", "", Engine::StepVerifying, 0, Engine::OutcomeCancelled, Engine::StepVerifying, true,
            true);
        row("lost comparing", "", 0, Engine::StepComparing, Engine::OutcomeDisconnected, Engine::StepComparing, false);
        row("lost programming", "", 0, Engine::StepProgramming, Engine::OutcomeDisconnected, Engine::StepProgramming,
            true);
        row("lost verifying", "", 0, Engine::StepVerifying, Engine::OutcomeDisconnected, Engine::StepVerifying, true);
    }

    void outcomes()
    {
        QFETCH(QByteArray, device);
        QFETCH(int, cancelIn);
        QFETCH(int, unplugIn);
        QFETCH(Engine::Outcome, outcome);
        bench->open(motherboard(1, device) + motherboard(2), 40);
        MotherBoard* motherBoard = board(1);
        KTModule* module = motherBoard->getModule(0);

        Engine engine;
        QSignalSpy finished(&engine, &Engine::finished);
        // Interrupt once the step is under way.
        connect(&engine, &Engine::progress, this, [&](Engine::Step step, int percent) {
            if (percent == 0 || percent == 100)
                return;
            if (step == cancelIn)
                engine.cancel();
            else if (step == unplugIn)
                motherBoard->jumpToBootloader();
        });

        const bool started = engine.start(1, 0, image);
        QCOMPARE(started, QTest::currentDataTag() != QLatin1String("module missing"));
        if (started)
            QTRY_COMPARE(finished.count(), 1);
        const Engine::Result result = started ? finished.first().first().value<Engine::Result>() : engine.result();
        QVERIFY(!engine.isRunning());
        QCOMPARE(result.outcome, outcome);
        QTEST(result.step, "step");
        QTEST(result.written, "written");
        QCOMPARE(result.reason.isEmpty(), result.succeeded() || (cancelIn && !unplugIn));
        if (unplugIn)
            return;

        // Written only when programming ran to its end; reset only on success.
        QVERIFY(!module->isBusy());
        QCOMPARE(motherBoard->resetCount(), result.succeeded() ? 1 : 0);
        QTEST(module->memory(KTModule::MemoryNormal).sameContent(image), "holds");

        // Cancelled: the same engine runs again at once, untouched by the old run.
        if (cancelIn) {
            cancelIn = 0;
            QVERIFY(engine.start(1, 0, image));
            QTRY_COMPARE(finished.count(), 2);
            QVERIFY(finished.last().first().value<Engine::Result>().succeeded());
        }
    }

    // Two jobs on one board: the second is refused before it touches
    // anything, and a reset from elsewhere is not taken for a lost board.
    void sharedBoard()
    {
        bench->open(motherboard(1), 40);
        MotherBoard* motherBoard = board(1);
        Engine first, second;
        first.setOwner("the first job");
        QSignalSpy finished(&first, &Engine::finished);
        connect(&first, &Engine::progress, motherBoard, [&](Engine::Step step, int percent) {
            if (step == Engine::StepProgramming && percent > 0)
                motherBoard->resetDevice();
        });
        QVERIFY(first.start(1, 0, image));

        HexModel other;
        other.write(0, QByteArray(10, 'X'));
        motherBoard->getModule(1)->setTargetMemoryType(KTModule::MemoryOTP);
        second.setProgramMemory(true);
        QVERIFY(!second.start(1, 1, other));
        QCOMPARE(second.result().outcome, Engine::OutcomeBusy);
        QCOMPARE(second.result().reason, QString("Board 1's module is being programmed by the first job"));
        QVERIFY(motherBoard->getModule(0)->getModel()->sameContent(image));
        QVERIFY(motherBoard->getModule(1)->getModel()->isEmpty());
        QCOMPARE(motherBoard->getModule(1)->targetMemoryType(), KTModule::MemoryOTP);

        QTRY_COMPARE(finished.count(), 1);
        const Engine::Result result = finished.first().first().value<Engine::Result>();
        QCOMPARE(result.outcome, Engine::OutcomeFailed);
        QCOMPARE(result.reason, QString("Board 1 was reset from elsewhere while its module was programming."));
        // Free again once the first job has ended.
        QVERIFY(second.start(1, 1, other));
    }

    // Only regular files of a sensible size are opened: a pipe would block the reader.
    void readHexFile()
    {
        QTemporaryDir dir;
        const auto file = [&dir](const QString& name, const QByteArray& content) {
            QFile out(dir.filePath(name));
            return out.open(QIODevice::WriteOnly) && out.write(content) == content.size();
        };
        QVERIFY(file("image.hex", HexWriter::write(image)) && file("bad.hex", ":0100000000FE\n:00000001FF\n")
            && file("eof.hex", ":00000001FF\n") && file("empty.hex", {}) && QDir(dir.path()).mkdir("folder"));
        QFile huge(dir.filePath("huge.hex"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(17 << 20)); // sparse
        QCOMPARE(mkfifo(qPrintable(dir.filePath("pipe.hex")), 0600), 0);
        const QList<QPair<QString, QString>> cases { { "image.hex", "" }, { "bad.hex", "line 1: bad checksum" },
            { "eof.hex", "holds no data records" }, { "empty.hex", "is empty" }, { "folder", "is a folder" },
            { "huge.hex", "larger than 16 MiB" }, { "pipe.hex", "not a regular file" } };
        for (const auto& [name, reason] : cases) {
            HexModel model;
            const Engine::Result result = Engine::readHexFile(dir.filePath(name), &model);
            QCOMPARE(result.outcome, reason.isEmpty() ? Engine::OutcomeNone : Engine::OutcomeBadFile);
            QVERIFY2(result.reason.contains(reason), qPrintable(result.reason));
            QCOMPARE(result.line, reason.startsWith("line 1") ? 1 : 0);
            QCOMPARE(model.sameContent(image), reason.isEmpty());
        }
    }
};

QTEST_MAIN(TestProgrammingEngine)
#include "tst_programmingengine.moc"
