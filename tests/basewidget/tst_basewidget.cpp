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
        row("unparsable file", differs, "broken.hex", 0, 0, { checking, error(parseError.arg("broken.hex")) }, "", -1);
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
        QTEST(m_log, "log");
        QCOMPARE(m_page->after, done >= 0 ? 1 : 0);
        // No dialog stays on screen, whatever the ending.
        QTRY_VERIFY(!QApplication::activeModalWidget());

        if (interrupt >= 0 && board(1)) {
            QCOMPARE(board(1)->resetCount(), done == 1 ? 1 : 0);
            QVERIFY(!board(1)->getModule(0)->isBusy());
            if (done == 1 && m_dialogs->shown.size() == 3)
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
        for (int i = 0; i < runs.size(); ++i) {
            const auto& [file, slot, steps] = runs[i];
            m_dialogs->shown.clear();
            QVERIFY(m_page->program(file, slot));
            QTRY_COMPARE(m_done->count(), i + 1);
            QCOMPARE(m_done->last().first().toBool(), true);
            QCOMPARE(m_dialogs->shown.size(), steps);
        }
    }

    void demoBench()
    {
        // The demo bench as shipped, with its demo firmware as the image.
        QVERIFY(QFile::copy(KESTRIX_EXAMPLES_DIR "/bench/bench.ini", m_dir->filePath("bench.ini")));
        ApplicationDirectory::setPathForTesting(QStringLiteral(KESTRIX_EXAMPLES_DIR)); // read only
        qputenv("KM4200_BENCH", m_dir->filePath("bench.ini").toLocal8Bit());
        m_controller = std::make_unique<KM4200Controller>();

        QVERIFY(m_page->program(QStringLiteral("KestrixFirmware_12.hex"), 0, 2));
        QTRY_COMPARE_WITH_TIMEOUT(m_done->count(), 1, 20000);
        QCOMPARE(m_done->first().first().toBool(), true);
        QCOMPARE(m_dialogs->shown, Steps);
        QCOMPARE(board(2)->resetCount(), 1);
    }

    void setItemView()
    {
        // Per view value, which of Qt::ItemIsSelectable and Qt::ItemIsEnabled it leaves set.
        const int shown = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
        const int flags[] = { 0, Qt::ItemIsEnabled, 0, 0, shown, shown };
        QTreeWidget tree;
        for (int view : { 0, 1, 2, 3, 4, 9 }) {
            auto* item = new QTreeWidgetItem(&tree);
            // Start from the opposite state, plus one flag that must survive.
            item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemFlags(shown & ~flags[qMin(view, 5)]));
            item->setHidden(view != 0);
            BaseWidget::setItemView(item, KestrixStudio::WidgetView(view));
            QCOMPARE(item->isHidden(), view == 0);
            QCOMPARE(int(item->flags() & shown), flags[qMin(view, 5)]);
            QCOMPARE(item->flags().testFlag(Qt::ItemIsUserCheckable), view != 0);
        }
    }

    void removeItemsOfType()
    {
        QTreeWidgetItem parent;
        QList<QTreeWidgetItem*> children; // item types are type, board and subtype in decimal digits
        for (const auto& [type, boardID, subtype] : { std::tuple(12, 0, 0), { 1, 20, 0 }, { 12, 99, 9 }, { 13, 0, 0 },
                 { 12, 3, 1 }, { 11, 99, 9 }, { 5, 0, 0 } }) {
            children << BaseWidget::createMenuItem(QStringLiteral("Item"), &parent, type, boardID, subtype);
            QCOMPARE(children.last()->data(0, Qt::UserRole + 1), QVariant(type));
            QCOMPARE(children.last()->data(0, Qt::UserRole + 2), QVariant(boardID));
            QCOMPARE(children.last()->data(0, Qt::UserRole + 3), QVariant(subtype));
        }
        const auto kept = [&parent]() {
            QList<int> types;
            for (int i = 0; i < parent.childCount(); ++i)
                types << parent.child(i)->type();
            return types;
        };
        BaseWidget::removeItemsOfType(&parent, 1);
        QCOMPARE(kept(), (QList<int> { 12000, 12999, 13000, 12031, 11999, 5000 }));
        BaseWidget::removeItemsOfType(&parent, 12);
        QCOMPARE(kept(), (QList<int> { 13000, 11999, 5000 }));
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

    void printRow()
    {
        QTemporaryFile file;
        QVERIFY(file.open());
        fflush(stdout);
        const int saved = dup(STDOUT_FILENO);
        dup2(file.handle(), STDOUT_FILENO);
        BaseWidget::printRow(QStringLiteral("-h"), QStringLiteral("Shows this text"));
        BaseWidget::printRow(QStringLiteral("-kt3901support-option"), QStringLiteral("y"));
        BaseWidget::printRow(QStringLiteral("a"), QStringLiteral("a description of more than twenty"));
        BaseWidget::printText(QStringLiteral("a"), QStringLiteral("b")); // the field widths were reset
        fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
        file.seek(0);
        QCOMPARE(file.readAll(),
            "-h" + QByteArray(18, ' ') + "Shows this text     \n-kt3901support-optiony" + QByteArray(19, ' ') + "\na"
                + QByteArray(19, ' ') + "a description of more than twenty\na b\n\n");
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
        row("case differs", "HEX files (*.hex)", "/d/out.HEX", "/d/out.HEX.hex");
        row("second pattern", "HEX files (*.hex *.ihx)", "/d/out.ihx", "/d/out.ihx");
        row("first pattern appended", "HEX files (*.hex *.ihx)", "/d/out", "/d/out.hex");
        row("dotted folder", "HEX files (*.hex)", "/d/v1.2/out", "/d/v1.2/out.hex");
        row("plain name pattern", "Make files (Makefile)", "/d/out", "/d/out");
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
