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

#include <memory>
#include <tuple>
#include <unistd.h>

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
    using BaseWidget::currentModule;
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
    QStringList progress, boxes;
    int interrupt = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        if (auto* dialog = qobject_cast<QProgressDialog*>(watched)) {
            progress << dialog->windowTitle() + ": " + dialog->labelText();
            if (progress.size() == interrupt)
                QTimer::singleShot(0, dialog, [dialog]() { dialog->findChild<QAbstractButton*>()->click(); });
            if (progress.size() == -interrupt)
                QTimer::singleShot(0, this, []() { board(1)->jumpToBootloader(); });
        } else if (auto* box = qobject_cast<QMessageBox*>(watched)) {
            boxes << box->windowTitle() + ": " + box->text();
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
    void initTestCase()
    {
        TestSupport::enterTestMode();
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); // a widget dialog can be driven
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("app/firmware")));
        ApplicationDirectory::setPathForTesting(m_dir->filePath(QStringLiteral("app")));
        m_host = std::make_unique<QWidget>();
        m_page = new Page(m_host.get());
        m_dialogs = std::make_unique<Dialogs>();
        m_done = std::make_unique<QSignalSpy>(m_page, &BaseWidget::programmingDone);
        m_log.clear();
        m_progressWithoutDialog = 0;
        connect(m_page, &BaseWidget::logmessage, this, [this](KestrixStudio::LogLevel level, const QString& text) {
            m_log << (level == KestrixStudio::LogError ? error(text) : status(text));
        });
        // While a step runs, its progress dialog is the modal widget.
        connect(m_page, &BaseWidget::progressUpdated, this, [this](int value) {
            if (value < 100 && !qobject_cast<QProgressDialog*>(QApplication::activeModalWidget()))
                ++m_progressWithoutDialog;
        });
    }

    void cleanup()
    {
        m_host.reset();
        m_controller.reset();
    }

    void sequence_data()
    {
        QTest::addColumn<QByteArray>("boards");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("interrupt");
        QTest::addColumn<int>("steps");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("done"); // -1: no outcome reported
        const auto row = [](const char* tag, const QByteArray& boards, const QString& file, int interrupt, int steps,
                             const QStringList& log, const QString& box, int done) {
            QTest::newRow(tag) << boards << file << interrupt << steps << log
                               << (box.isEmpty() ? QStringList() : QStringList { box }) << done;
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
        row("verifying fails", one + "verifyStatus=1\n", "kt24.hex", 0, 3, { checking, programming, error(Failure) },
            failed, 0);
        row("cancel comparing", differs, "kt24.hex", 1, 1, { checking, canceled }, "", 0);
        row("cancel comparing equal", one + "verifyStatus=0\n", "kt24.hex", 1, 1, { checking, canceled }, "", 0);
        row("cancel programming", differs, "kt24.hex", 2, 2, { checking, programming, canceled }, "", 0);
        row("cancel verifying", differs, "kt24.hex", 3, 3, { checking, programming, canceled }, "", 0);
        row("board leaves", differs, "kt24.hex", -1, 3, { checking, programming, error(noDevice), error(Failure) },
            failed, 0);
        row("no board", "", "kt24.hex", 0, 0, {}, missing, -1);
        row("board in its bootloader", "[board1]\nid=1\ntype=4\n", "kt24.hex", 0, 0, {}, missing, -1);
        row("empty file name", differs, "", 0, 0, { checking, error("No filename was supplied") }, "", -1);
        row("missing file", differs, "absent.hex", 0, 0, { checking, error(parseError.arg("absent.hex")) }, "", -1);
        row("unparsable file", differs, "broken.hex", 0, 0, { checking, error(parseError.arg("broken.hex")) }, "", -1);
    }

    void sequence()
    {
        QFETCH(QByteArray, boards);
        QFETCH(QString, file);
        QFETCH(int, interrupt);
        QFETCH(int, steps);
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
        QCOMPARE(m_dialogs->progress, Steps.mid(0, steps));
        QTEST(m_log, "log");
        QTEST(m_dialogs->boxes, "boxes");
        if (interrupt == 0) // a cancelled step runs on to its report without its dialog
            QCOMPARE(m_progressWithoutDialog, 0);
        QCOMPARE(m_page->after, done >= 0 ? 1 : 0);
        // No dialog stays on screen, whatever the ending.
        QTRY_VERIFY(!QApplication::activeModalWidget());

        if (interrupt < 0) { // the page lets go of the board that left, and a new run finds none
            QTRY_VERIFY(!board(1));
            QVERIFY(!m_page->program(file));
        } else if (board(1)) {
            QCOMPARE(board(1)->resetCount(), done == 1 ? 1 : 0);
            QVERIFY(!board(1)->getModule(0)->isBusy());
            if (done == 1 && steps == 3)
                QVERIFY(board(1)->getModule(0)->memory(KTModule::MemoryNormal).sameContent(image("KT24 image")));
        }
    }

    void sequencesInARow()
    {
        startBench("[board1]\nid=1\ntype=1\n");
        writeFile(QStringLiteral("a.hex"), HexWriter::write(image("first image")));
        writeFile(QStringLiteral("b.hex"), HexWriter::write(image("second image")));
        // Each report reaches the page once: a doubled connection would end a
        // sequence twice or start a step on a busy module.
        const QList<std::tuple<QString, int, int>> runs { { "a.hex", 0, 3 }, { "a.hex", 0, 1 }, { "b.hex", 0, 3 },
            { "b.hex", 1, 3 }, { "b.hex", 1, 1 } };
        int count = 0;
        for (const auto& [file, slot, steps] : runs) {
            m_dialogs->progress.clear();
            QVERIFY(m_page->program(file, slot));
            ++count;
            QTRY_COMPARE(m_done->count(), count);
            QCOMPARE(m_done->last().first().toBool(), true);
            QCOMPARE(m_dialogs->progress.size(), steps);
            QCOMPARE(m_page->after, count);
            QCOMPARE(m_page->currentModule, board(1)->getModule(slot));
        }

        // The module of an earlier sequence no longer drives the page.
        m_log.clear();
        QSignalSpy earlierDone(board(1)->getModule(0), &KTModule::operationDone);
        QVERIFY(board(1)->getModule(0)->startVerifying());
        QTRY_COMPARE(earlierDone.count(), 1);
        QTest::qWait(30);
        QCOMPARE(m_done->count(), count);
        QVERIFY(m_log.isEmpty());
    }

    void demoBench()
    {
        // The demo bench as shipped, with its demo firmware as the image.
        QVERIFY(QFile::copy(KESTRIX_EXAMPLES_DIR "/bench/bench.ini", m_dir->filePath("bench.ini")));
        QVERIFY(QFile::copy(KESTRIX_EXAMPLES_DIR "/firmware/KestrixFirmware_12.hex",
            m_dir->filePath("app/firmware/KestrixFirmware_12.hex")));
        qputenv("KM4200_BENCH", m_dir->filePath("bench.ini").toLocal8Bit());
        m_controller = std::make_unique<KM4200Controller>();

        QVERIFY(m_page->program(QStringLiteral("KestrixFirmware_12.hex"), 0, 2));
        QTRY_COMPARE_WITH_TIMEOUT(m_done->count(), 1, 20000);
        QCOMPARE(m_done->first().first().toBool(), true);
        QCOMPARE(m_dialogs->progress, Steps);
        QCOMPARE(board(2)->resetCount(), 1);
    }

    void setItemView_data()
    {
        QTest::addColumn<int>("view");
        QTest::addColumn<int>("flags"); // of Qt::ItemIsSelectable and Qt::ItemIsEnabled
        QTest::newRow("hide") << 0 << 0;
        QTest::newRow("root with children") << 1 << int(Qt::ItemIsEnabled);
        QTest::newRow("root without children") << 2 << 0;
        QTest::newRow("enable") << 3 << 0;
        QTest::newRow("show") << 4 << int(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        QTest::newRow("above range") << 9 << int(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    }

    void setItemView()
    {
        QFETCH(int, view);
        QFETCH(int, flags);
        QTreeWidget tree;
        auto* item = new QTreeWidgetItem(&tree);
        // Start from the opposite state, plus one flag that must survive.
        const int shown = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemFlags(shown & ~flags));
        item->setHidden(view != 0);
        BaseWidget::setItemView(item, KestrixStudio::WidgetView(view));
        QCOMPARE(item->isHidden(), view == 0);
        QCOMPARE(int(item->flags() & shown), flags);
        QCOMPARE(item->flags().testFlag(Qt::ItemIsUserCheckable), view != 0);
    }

    void removeItemsOfType_data()
    {
        QTest::addColumn<int>("removed");
        QTest::addColumn<QList<int>>("kept");
        QTest::newRow("type 12") << 12 << QList<int> { 1200, 13000, 11999, 5000 };
        QTest::newRow("type 1") << 1 << QList<int> { 12000, 12999, 13000, 12031, 11999, 5000 };
        QTest::newRow("absent type") << 7 << QList<int> { 12000, 1200, 12999, 13000, 12031, 11999, 5000 };
    }

    void removeItemsOfType()
    {
        QFETCH(int, removed);
        QTreeWidgetItem parent;
        QList<QTreeWidgetItem*> children; // item types are type, board and subtype in decimal digits
        for (const auto& [type, boardID, subtype] : { std::tuple(12, 0, 0), { 1, 20, 0 }, { 12, 99, 9 }, { 13, 0, 0 },
                 { 12, 3, 1 }, { 11, 99, 9 }, { 5, 0, 0 } }) {
            children << BaseWidget::createMenuItem(QStringLiteral("Item"), &parent, type, boardID, subtype);
            QCOMPARE(children.last()->data(0, Qt::UserRole + 1), QVariant(type));
            QCOMPARE(children.last()->data(0, Qt::UserRole + 2), QVariant(boardID));
            QCOMPARE(children.last()->data(0, Qt::UserRole + 3), QVariant(subtype));
        }
        BaseWidget::removeItemsOfType(&parent, removed);
        QList<int> kept;
        for (int i = 0; i < parent.childCount(); ++i)
            kept << parent.child(i)->type();
        QTEST(kept, "kept");
        for (QTreeWidgetItem* child : qAsConst(children))
            if (!child->parent())
                delete child; // dropped items belong to the caller
    }

    void helpDocument_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("content");
        const QByteArray page("<html><body>page</body></html>\n");
        QTest::newRow("html added") << "general/bwtest/page" << page;
        QTest::newRow("html given") << "general/bwtest/page.html" << page;
        QTest::newRow("no extension") << "general/bwtest/plain" << QByteArray("plain text\n");
        QTest::newRow("further parts ignored") << "general/bwtest/page/more/parts" << page;
        QTest::newRow("two parts") << "general/bwtest" << QByteArray();
        QTest::newRow("other owner") << "kt24/bwtest/page" << QByteArray();
    }

    void helpDocument()
    {
        QFETCH(QString, key);
        QFETCH(QByteArray, content);
        const QVariant document = BaseWidget::helpDocument(QStringLiteral("general"), QUrl(key));
        QCOMPARE(document.isValid(), !content.isNull());
        QCOMPARE(document.toByteArray(), content);
    }

    void printRow_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QByteArray>("line");
        const auto row = [](const QString& first, const QString& second, const QByteArray& line) {
            QTest::newRow(qPrintable(first)) << first << second << line + '\n';
        };
        row("-h", "Shows this text", "-h" + QByteArray(18, ' ') + "Shows this text     ");
        row("12345678901234567890", "x", "12345678901234567890x" + QByteArray(19, ' '));
        row("-kt3901support-option", "y", "-kt3901support-optiony" + QByteArray(19, ' '));
        row("a", "a description of more than twenty", "a" + QByteArray(19, ' ') + "a description of more than twenty");
    }

    void printRow()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QByteArray, line);
        QTemporaryFile file;
        QVERIFY(file.open());
        fflush(stdout);
        const int saved = dup(STDOUT_FILENO);
        dup2(file.handle(), STDOUT_FILENO);
        BaseWidget::printRow(first, second);
        BaseWidget::printText(QStringLiteral("a"), QStringLiteral("b")); // the field widths were reset
        fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
        file.seek(0);
        QCOMPARE(file.readAll(), line + "a b\n\n");
    }

    void completeFileExtension_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("result");
        const auto row = [](const char* tag, const QString& filter, const QString& chosen, const QString& result) {
            QTest::newRow(tag) << filter << chosen << result;
        };
        row("no suffix", "HEX files (*.hex)", "/d/out", "/d/out.hex");
        row("matching suffix", "HEX files (*.hex)", "/d/out.hex", "/d/out.hex");
        row("case differs", "HEX files (*.hex)", "/d/out.HEX", "/d/out.HEX.hex");
        row("second pattern", "HEX files (*.hex *.ihx)", "/d/out.ihx", "/d/out.ihx");
        row("first pattern appended", "HEX files (*.hex *.ihx)", "/d/out", "/d/out.hex");
        row("dotted folder", "HEX files (*.hex)", "/d/v1.2/out", "/d/v1.2/out.hex");
        row("all files", "All files (*)", "/d/out", "/d/out");
        row("plain name pattern", "Make files (Makefile)", "/d/out", "/d/out");
        row("pattern without closing", "*.hex", "/d/out", "/d/out");
    }

    void completeFileExtension()
    {
        QFETCH(QString, filter);
        QFETCH(QString, chosen);
        QTEST(Page::completeFileExtension(chosen, filter), "result");
    }

private:
    void startBench(const QByteArray& boards)
    {
        QFile file(m_dir->filePath(QStringLiteral("bench.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[bench]\nbootloaderDelayMs=30\noperationMs=20\n" + boards);
        file.close();
        qputenv("KM4200_BENCH", file.fileName().toLocal8Bit());
        m_controller = std::make_unique<KM4200Controller>();
    }

    void writeFile(const QString& name, const QByteArray& content)
    {
        QFile file(m_dir->filePath(QStringLiteral("app/firmware/") + name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<KM4200Controller> m_controller;
    std::unique_ptr<QWidget> m_host;
    Page* m_page = nullptr;
    std::unique_ptr<Dialogs> m_dialogs;
    std::unique_ptr<QSignalSpy> m_done;
    QStringList m_log;
    int m_progressWithoutDialog = 0;
};

QTEST_MAIN(TestBaseWidget)
#include "tst_basewidget.moc"
