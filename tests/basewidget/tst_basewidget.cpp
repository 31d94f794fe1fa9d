// BaseWidget: the HEX programming sequence against the simulated bench with
// real HEX files on disk, and the page helpers.

#include "applicationdirectory.h"
#include "basewidget.h"
#include "connectionmanager.h"
#include "hexmodel.h"
#include "hexwriter.h"
#include "km4200controller.h"
#include "ktmodule.h"
#include "motherboard.h"
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

MotherBoard* board(int id)
{
    return qobject_cast<MotherBoard*>(ConnectionManager::Instance()->getBoardByID(id));
}

class Page : public BaseWidget
{
public:
    using BaseWidget::BaseWidget;
    using BaseWidget::completeFileExtension;
    bool program(const QString& file, int slot = 0, int boardID = 1)
    {
        return programHexFile(file, QStringLiteral("firmware"), Operation, Success, Failure, boardID, slot);
    }
    int after = 0;

protected:
    void afterProgramming() override { ++after; }
};

// Records every dialog as it shows and answers message boxes with OK. In the
// step numbered `interrupt` Cancel is pressed; in step -`interrupt` the board leaves.
class Dialogs : public QObject
{
public:
    Dialogs() { qApp->installEventFilter(this); }
    QStringList shown; // progress dialogs, then message boxes
    int interrupt = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        if (auto* dialog = qobject_cast<QProgressDialog*>(watched)) {
            shown << dialog->windowTitle() + ": " + dialog->labelText();
            if (shown.size() == interrupt)
                QTimer::singleShot(0, dialog, [dialog]() { dialog->findChild<QAbstractButton*>()->click(); });
            if (shown.size() == -interrupt)
                QTimer::singleShot(0, this, []() { board(1)->jumpToBootloader(); });
        } else if (auto* box = qobject_cast<QMessageBox*>(watched)) {
            shown << box->windowTitle() + ": " + box->text();
            QTimer::singleShot(0, box, [box]() { box->button(QMessageBox::Ok)->click(); });
        }
        return false;
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
        m_controller.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("app/firmware")));
        ApplicationDirectory::setPathForTesting(m_dir->filePath(QStringLiteral("app")));
        m_page = std::make_unique<Page>();
        m_dialogs = std::make_unique<Dialogs>();
        m_done = std::make_unique<QSignalSpy>(m_page.get(), &BaseWidget::programmingDone);
        m_log.clear();
        connect(m_page.get(), &BaseWidget::logmessage, [this](KestrixStudio::LogLevel level, const QString& text) {
            m_log << (level == KestrixStudio::LogError ? error(text) : status(text));
        });
    }

    void sequence_data()
    {
        QTest::addColumn<QByteArray>("boards");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("interrupt");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("dialogs");
        QTest::addColumn<int>("done"); // -1: no outcome reported
        const auto row = [](const char* tag, const QByteArray& boards, const QString& file, int interrupt, int steps,
                             const QStringList& log, const QString& box, int done) {
            const QStringList boxes = box.isEmpty() ? QStringList() : QStringList { box };
            QTest::newRow(tag) << boards << file << interrupt << log << Steps.mid(0, steps) + boxes << done;
        };
        const QByteArray one("[board1]\nid=1\ntype=1\n"), differs = one + "verifyStatus=compare\n";
        const QString checking = status("Checking HEX file"), programming = status(Operation);
        const QString canceled = status("User canceled the operation"), failed = "Programming failed: " + Failure;
        const QString missing = "Board not connected: The selected board has been disconnected.\r\n"
                                "Please reconnect the board and try again.";
        const QString parseError = "Could not parse the HEX file. Please confirm that the file '%1' is in the "
                                   "'firmware' folder.";
        const QString noDevice = "Could not connect to the device. Please ensure that the device is connected and "
                                 "the motherboard turned on";

        row("equal", one + "verifyStatus=0\n", "kt24.hex", 0, 1, { checking, status(Success) }, "", 1);
        row("verified", differs, "kt24.hex", 0, 3, { checking, programming, status(Success) }, "", 1);
        row("programming fails", differs + "programStatus=5\n", "kt24.hex", 0, 3,
            { checking, programming, error(Failure) }, failed, 0);
        row("cancel comparing", differs, "kt24.hex", 1, 1, { checking, canceled }, "", 0);
        row("cancel programming", differs, "kt24.hex", 2, 2, { checking, programming, canceled }, "", 0);
        row("cancel verifying", differs, "kt24.hex", 3, 3, { checking, programming, canceled }, "", 0);
        row("board leaves", differs, "kt24.hex", -1, 1, { checking, error(noDevice), error(Failure) }, failed, 0);
        row("no board", "", "kt24.hex", 0, 0, {}, missing, -1);
        row("empty file name", differs, "", 0, 0, { checking, error("No filename was supplied") }, "", -1);
        // The text names the folder as passed, then the path that was read and the fault.
        row("unparsable file", differs, "broken.hex", 0, 0,
            { checking,
                error(parseError.arg("broken.hex")
                    + "\n<app>/firmware/broken.hex: line 1: 'G' is not a hex digit (column 10)") },
            "", -1);
    }

    void sequence()
    {
        QFETCH(QByteArray, boards);
        QFETCH(QString, file);
        QFETCH(int, interrupt);
        QFETCH(int, done);

        startBench(boards);
        writeFile(QStringLiteral("kt24.hex"), HexWriter::write(image("KT24 image")));
        writeFile(QStringLiteral("broken.hex"), ":10010000GARBAGE\n");
        m_dialogs->interrupt = interrupt;

        QCOMPARE(m_page->program(file), done >= 0);
        QTRY_COMPARE(m_done->count(), done >= 0 ? 1 : 0);
        QTest::qWait(100); // nothing else arrives later
        QCOMPARE(m_done->count(), done >= 0 ? 1 : 0);
        if (done >= 0)
            QCOMPARE(m_done->first().first().toBool(), bool(done));
        QTEST(m_dialogs->shown, "dialogs");
        QFETCH(QStringList, log);
        QCOMPARE(m_log, log.replaceInStrings("<app>", m_dir->filePath("app")));
        QCOMPARE(m_page->after, done >= 0 ? 1 : 0);
        // No dialog stays on screen, whatever the ending.
        QTRY_VERIFY(!QApplication::activeModalWidget());

        if (interrupt >= 0 && board(1)) {
            QCOMPARE(board(1)->resetCount(), done == 1 ? 1 : 0);
            QVERIFY(!board(1)->getModule(0)->isBusy());
            if (done == 1 && m_dialogs->shown.size() == 3)
                QVERIFY(board(1)->getModule(0)->memory(KTModule::MemoryNormal).sameContent(image("KT24 image")));
        }
        if (interrupt <= 0)
            return;
        // After Cancel, Program runs again cleanly and the report arrives once.
        m_dialogs->interrupt = 0;
        QVERIFY(m_page->program(file));
        QTRY_COMPARE(m_done->count(), 2);
        QVERIFY(m_done->last().first().toBool());
        QVERIFY(board(1)->getModule(0)->memory(KTModule::MemoryNormal).sameContent(image("KT24 image")));
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
    void startBench(const QByteArray& boards)
    {
        writeFile("../../bench.ini", "[bench]\nbootloaderDelayMs=30\noperationMs=20\n" + boards);
        qputenv("KM4200_BENCH", m_dir->filePath("bench.ini").toLocal8Bit());
        m_controller = std::make_unique<KM4200Controller>();
    }

    void writeFile(const QString& name, const QByteArray& content)
    {
        QFile file(m_dir->filePath("app/firmware/" + name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<KM4200Controller> m_controller;
    std::unique_ptr<Page> m_page;
    std::unique_ptr<Dialogs> m_dialogs;
    std::unique_ptr<QSignalSpy> m_done;
    QStringList m_log;
};

QTEST_MAIN(TestBaseWidget)
#include "tst_basewidget.moc"
