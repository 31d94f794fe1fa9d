// BaseWidget: the HEX programming sequence against the simulated bench with
// real HEX files on disk, and the page helpers.

#include "../moduleprogrammer/programmerfixture.h"
#include "applicationdirectory.h"
#include "basewidget.h"
#include "hexmodel.h"
#include "hexwriter.h"
#include "testsupport.h"

#include <QTreeWidget>
#include <QtTest>

namespace
{

const QString Operation = QStringLiteral("Programming the KT24 firmware");
const QString Success = QStringLiteral("KT24 firmware programmed");
const QString Failure = QStringLiteral("KT24 firmware could not be programmed");
const QStringList Steps { "Checking hexfile: Comparing hexfile with content on device",
    "Programming hexfile: " + Operation, "Verifying hexfile: " + Operation };

const auto status = [](const QString& text) { return "status: " + text; };
const auto error = [](const QString& text) { return "error: " + text; };

HexModel image(const QByteArray& data)
{
    HexModel model;
    model.write(0x0100, data);
    return model;
}

// A page as a plug-in author writes one from the published declarations:
// it may bind another board than asked, verify again on its own after a
// sequence, and start a new sequence from afterProgramming.
class Page : public BaseWidget
{
public:
    using BaseWidget::BaseWidget;
    using BaseWidget::completeFileExtension;
    int boundInstead = 0; // setBoard binds this board instead, when set
    int againAfterCancel = 0; // sequences still to start from afterProgramming after a cancel
    int after = 0; // afterProgramming calls
    QStringList* events = nullptr;

    bool program(const QString& file = "kt24.hex")
    {
        return programHexFile(file, "firmware", Operation, Success, Failure, 1, 0);
    }
    void verifyAgain()
    {
        showProgressDialog(currentModule, "Verify again", Operation);
        currentModule->startVerifying();
    }
    bool dialogActive() const { return progressDialogActive; }
    bool finished() const { return operationFinished; }
    bool succeeded() const { return operationSucceeded; }

    void setBoard(int boardID) override { BaseWidget::setBoard(boundInstead ? boundInstead : boardID); }

protected:
    void afterProgramming() override
    {
        ++after;
        if (lastProgrammingResult || againAfterCancel == 0)
            return;
        --againAfterCancel;
        *events << QString("again: module %1").arg(currentModule->isBusy() ? "busy" : "idle");
        program();
    }
};

} // namespace

class TestBaseWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }

    void init()
    {
        m_page.reset(); // the page lets go of its module before the bench goes
        m_bench = std::make_unique<Bench>();
        QVERIFY(QDir().mkpath(m_bench->filePath("app/firmware")));
        ApplicationDirectory::setPathForTesting(m_bench->filePath("app"));
        m_page = std::make_unique<Page>();
        m_dialogs = std::make_unique<Dialogs>();
        m_done = std::make_unique<QSignalSpy>(m_page.get(), &BaseWidget::programmingDone);
        m_log.clear();
        connect(m_page.get(), &BaseWidget::logmessage, [this](KestrixStudio::LogLevel level, const QString& text) {
            m_log << (level == KestrixStudio::LogError ? error(text) : status(text));
        });
    }

    // Every way a sequence ends other than success, which is the contract's.
    void sequence_data()
    {
        QTest::addColumn<QString>("boards");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("dialogs");
        QTest::addColumn<bool>("reported"); // programmingDone(false)
        const auto row = [](const char* tag, const QString& boards, const QString& file, int steps,
                             const QStringList& log, const QString& box, bool reported) {
            const QStringList boxes = box.isEmpty() ? QStringList() : QStringList { box };
            QTest::newRow(tag) << boards << file << log << Steps.mid(0, steps) + boxes << reported;
        };
        const QString differs = motherboard(1, "verifyStatus=compare");
        const QString checking = status("Checking HEX file"), programming = status(Operation);
        const QString failed = "Programming failed: " + Failure;
        const QString missing = "Board not connected: The selected board has been disconnected.\r\n"
                                "Please reconnect the board and try again.";
        const QString parseError = "Could not parse the HEX file. Please confirm that the file '%1' is in the "
                                   "'firmware' folder.";
        const QString noDevice = "Could not connect to the device. Please ensure that the device is connected and "
                                 "the motherboard turned on";

        row("programming fails", motherboard(1, "verifyStatus=compare\nprogramStatus=5"), "kt24.hex", 3,
            { checking, programming, error(Failure) }, failed, true);
        row("board leaves", differs, "kt24.hex", 1, { checking, error(noDevice), error(Failure) }, failed, true);
        row("no board", "", "kt24.hex", 0, {}, missing, false);
        row("empty file name", differs, "", 0, { checking, error("No filename was supplied") }, "", false);
        // The text names the folder as passed, then the path that was read and the fault.
        row("unparsable file", differs, "broken.hex", 0,
            { checking,
                error(parseError.arg("broken.hex")
                    + "\n<app>/firmware/broken.hex: line 1: 'G' is not a hex digit (column 10)") },
            "", false);
    }

    void sequence()
    {
        QFETCH(QString, boards);
        QFETCH(QString, file);
        QFETCH(bool, reported);
        m_bench->open(boards);
        QVERIFY(!m_bench->addFile("app/firmware/kt24.hex", HexWriter::write(image("KT24 image"))).isEmpty());
        QVERIFY(!m_bench->addFile("app/firmware/broken.hex", ":10010000GARBAGE\n").isEmpty());
        const bool leaves = QTest::currentDataTag() == QLatin1String("board leaves");
        m_dialogs->interrupt = leaves ? -1 : 0;

        QCOMPARE(m_page->program(file), reported);
        QTRY_COMPARE(m_done->count(), int(reported));
        QTest::qWait(100); // nothing else arrives later
        QCOMPARE(m_done->count(), int(reported));
        if (reported)
            QVERIFY(!m_done->first().first().toBool());
        QTEST(m_dialogs->shown, "dialogs");
        QFETCH(QStringList, log);
        QCOMPARE(m_log, log.replaceInStrings("<app>", m_bench->filePath("app")));
        QCOMPARE(m_page->after, int(reported));
        // No dialog stays on screen, whatever the ending.
        QTRY_VERIFY(!QApplication::activeModalWidget());
        if (!leaves && board(1)) {
            QCOMPARE(board(1)->resetCount(), 0);
            QVERIFY(!board(1)->getModule(0)->isBusy());
        }
    }

    // The observable order of a sequence, as a page written from the
    // declarations sees it: log lines (with the board's resets so far),
    // module reports and programmingDone, in one list.
    void contract_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("events");
        const QString checking = "log Checking HEX file (0)", operation = "log " + Operation + " (0)";
        const QStringList programmed { checking, "report 1/1", operation, "report 0/0", "report 1/0",
            "log " + Success + " (0)", "done true (1)" };
        QTest::newRow("programmed") << "" << programmed;
        QTest::newRow("verify again on its own") << "verify again" << programmed + QStringList { "report 1/0" };
        QTest::newRow("cancel while verifying")
            << "cancel"
            << QStringList { checking, "report 1/1", operation, "report 0/0", "report 1/2",
                   "log User canceled the operation (0)", "done false (0)", "again: module idle", checking,
                   "report 1/0", "log " + Success + " (0)", "done true (1)" };
        QTest::newRow("setBoard binds board 2") << "board 2" << programmed;
        // Not the user's cancel: a failure, not "User canceled the operation".
        QTest::newRow("aborted from elsewhere") << "abort"
                                                << QStringList { checking, "report 1/1", operation, "report 0/2",
                                                       "log " + Failure + " (0)", "done false (0)" };
    }
    void contract()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, events);
        m_bench->open(motherboard(1) + motherboard(2));
        QVERIFY(!m_bench->addFile("app/firmware/kt24.hex", HexWriter::write(image("KT24 image"))).isEmpty());
        const int programmed = action == "board 2" ? 2 : 1;
        Page page;
        page.boundInstead = action == "board 2" ? 2 : 0;
        page.againAfterCancel = action == "cancel" ? 1 : 0;
        QStringList seen;
        page.events = &seen;
        connect(board(programmed)->getModule(0), &KTModule::operationDone, this,
            [&](quint32 what, quint32 status) { seen << QString("report %1/%2").arg(what).arg(status); });
        connect(&page, &BaseWidget::logmessage, this, [&](KestrixStudio::LogLevel, const QString& text) {
            seen << QString("log %1 (%2)").arg(text).arg(board(programmed)->resetCount());
        });
        connect(&page, &BaseWidget::programmingDone, this, [&](bool success) {
            seen << QString("done %1 (%2)").arg(success ? "true" : "false").arg(board(programmed)->resetCount());
        });
        m_dialogs->interrupt = action == "cancel" ? 3 : 0;
        KTModule* module = board(programmed)->getModule(0);
        connect(module, &KTModule::progressUpdate, this, [&](int percent) {
            if (action == "abort" && percent > 0 && seen.last() == "log " + Operation + " (0)")
                module->abort();
        });

        QVERIFY(page.program());
        QTRY_VERIFY(seen.size() > events.lastIndexOf(QRegularExpression("done .*")));
        if (action == "verify again") {
            page.verifyAgain();
            QVERIFY(page.dialogActive());
            QTRY_VERIFY(!page.dialogActive());
            QVERIFY(page.finished() && page.succeeded());
        }
        QTest::qWait(50); // nothing else arrives later
        QCOMPARE(seen, events);
        QCOMPARE(module->memory(KTModule::MemoryNormal).sameContent(image("KT24 image")), action != "abort");
        QVERIFY(memory(3 - programmed).isEmpty());
    }

    void helpDocument()
    {
        // ".html" added or given, further parts ignored; too few parts or another owner find nothing.
        const QByteArray page("<html><body>page</body></html>\n");
        const QList<QPair<QString, QByteArray>> cases { { "general/bwtest/page", page },
            { "general/bwtest/page.html/more", page }, { "general/bwtest", {} }, { "kt24/bwtest/page", {} } };
        for (const auto& [key, content] : cases) {
            const QVariant document = BaseWidget::helpDocument(QStringLiteral("general"), QUrl(key));
            QCOMPARE(document.isValid(), !content.isNull());
            QCOMPARE(document.toByteArray(), content);
        }
    }

    void completeFileExtension()
    {
        // Filter, chosen name, completed name: a case that differs, the second pattern, a dotted folder, a plain name.
        const QList<QStringList> cases { { "HEX files (*.hex)", "/d/out.HEX", "/d/out.HEX.hex" },
            { "HEX files (*.hex *.ihx)", "/d/out.ihx", "/d/out.ihx" },
            { "HEX files (*.hex *.ihx)", "/d/v1.2/out", "/d/v1.2/out.hex" },
            { "Make files (Makefile)", "/d/out", "/d/out" } };
        for (const QStringList& c : cases)
            QCOMPARE(Page::completeFileExtension(c.at(1), c.at(0)), c.at(2));
    }

private:
    std::unique_ptr<Bench> m_bench;
    std::unique_ptr<Page> m_page;
    std::unique_ptr<Dialogs> m_dialogs;
    std::unique_ptr<QSignalSpy> m_done;
    QStringList m_log;
};

QTEST_MAIN(TestBaseWidget)
#include "tst_basewidget.moc"
