// The HEX programming sequence of BaseWidget, driven by a page derived from
// it, against the simulated bench with real HEX files on disk.

#include "applicationdirectory.h"
#include "basewidget.h"
#include "connectionmanager.h"
#include "hexmodel.h"
#include "km4200controller.h"
#include "ktmodule.h"
#include "motherboard.h"
#include "testsupport.h"

#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QString OperationText = QStringLiteral("Programming the KT24 firmware");
const QString SuccessText = QStringLiteral("KT24 firmware programmed");
const QString FailureText = QStringLiteral("KT24 firmware could not be programmed");
const QString CheckingText = QStringLiteral("Checking HEX file");
const QString CanceledText = QStringLiteral("User canceled the operation");
const QString ConnectError = QStringLiteral(
    "Could not connect to the device. Please ensure that the device is connected and the motherboard turned on");

using LogEntry = QPair<int, QString>;
using LogList = QList<LogEntry>;

// A plug-in style page: runs the sequence and shows what the base class keeps.
class ProgrammingPage : public BaseWidget
{
    Q_OBJECT

public:
    using BaseWidget::BaseWidget;
    using BaseWidget::currentModule;
    using BaseWidget::lastProgrammingResult;
    using BaseWidget::motherBoard;
    using BaseWidget::programmingActive;
    using BaseWidget::programmingState;
    using BaseWidget::progressDialogActive;

    bool program(const QString& file, const QString& folder, int boardID = 1, int slot = 0)
    {
        return programHexFile(file, folder, OperationText, SuccessText, FailureText, boardID, slot);
    }

    QList<KTModule*> prepared;
    int afterCount = 0;

protected:
    void prepareModule(KTModule* module) override { prepared << module; }
    void afterProgramming() override { ++afterCount; }
};

// Watches every dialog that appears: progress dialogs are recorded (and the
// chosen one is cancelled by a click on its button), message boxes are
// recorded and answered with OK.
class DialogRecorder : public QObject
{
public:
    struct Shown
    {
        QString title;
        QString label;
        bool modal = false;
        QWidget* parent = nullptr;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };

    DialogRecorder() { qApp->installEventFilter(this); }
    ~DialogRecorder() override { qApp->removeEventFilter(this); }

    QList<Shown> progress;
    QList<Shown> boxes;
    int reshown = 0;
    int cancelAt = 0; // 1-based number of the progress dialog to cancel
    std::function<void(int)> whileShown; // runs from the event loop after each progress dialog shows

    QStringList progressTitles() const
    {
        QStringList titles;
        for (const Shown& s : progress)
            titles << s.title;
        return titles;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        if (auto* dialog = qobject_cast<QProgressDialog*>(watched)) {
            if (dialog->property("recorded").toBool()) {
                ++reshown;
                return false;
            }
            dialog->setProperty("recorded", true);
            progress << Shown { dialog->windowTitle(), dialog->labelText(), dialog->isModal(),
                                dialog->parentWidget() };
            if (progress.size() == cancelAt) {
                QTimer::singleShot(0, dialog, [dialog]() {
                    if (auto* button = dialog->findChild<QPushButton*>())
                        button->click();
                });
            }
            if (whileShown) {
                const int number = progress.size();
                QTimer::singleShot(0, this, [this, number]() { whileShown(number); });
            }
        } else if (auto* box = qobject_cast<QMessageBox*>(watched)) {
            boxes << Shown { box->windowTitle(), box->text(), box->isModal(), box->parentWidget(), box->icon() };
            QTimer::singleShot(0, box, [box]() { box->button(QMessageBox::Ok)->click(); });
        }
        return false;
    }
};

QByteArray hexRecord(quint8 type, quint16 address, const QByteArray& data)
{
    QByteArray record;
    record.append(char(data.size()));
    record.append(char(address >> 8));
    record.append(char(address & 0xff));
    record.append(char(type));
    record.append(data);
    quint8 sum = 0;
    for (char c : qAsConst(record))
        sum += quint8(c);
    record.append(char(quint8(0x100 - sum)));
    return ':' + record.toHex().toUpper() + '\n';
}

// An Intel HEX file holding `data` at `address`, 16 bytes a record.
QByteArray hexFile(const QByteArray& data, quint16 address = 0x0100)
{
    QByteArray text;
    for (int offset = 0; offset < data.size(); offset += 16)
        text += hexRecord(0, quint16(address + offset), data.mid(offset, 16));
    return text + hexRecord(1, 0, QByteArray());
}

} // namespace

class TestProgramming : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void contentDiffers_data();
    void contentDiffers();
    void contentAlreadyEqual_data();
    void contentAlreadyEqual();
    void cancelInEachStep_data();
    void cancelInEachStep();
    void boardMissing_data();
    void boardMissing();
    void stopsBeforeTheModule_data();
    void stopsBeforeTheModule();
    void sequencesInARow();
    void boardLeavesDuringComparison();
    void demoBench();

private:
    void startBench(const QByteArray& boardSettings);
    void writeFile(const QString& relativePath, const QByteArray& content);
    MotherBoard* board(int id) const;
    HexModel parsed(const QByteArray& data) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<KM4200Controller> m_controller;
    std::unique_ptr<QWidget> m_host;
    ProgrammingPage* m_page = nullptr;
    std::unique_ptr<DialogRecorder> m_dialogs;
    std::unique_ptr<QSignalSpy> m_done;
    LogList m_log;
    int m_progressWithoutDialog = 0;
    QList<int> m_progress;
};

void TestProgramming::initTestCase()
{
    TestSupport::enterTestMode();
}

void TestProgramming::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("app/firmware")));
    ApplicationDirectory::setPathForTesting(m_dir->filePath(QStringLiteral("app")));

    m_host = std::make_unique<QWidget>();
    m_page = new ProgrammingPage(m_host.get());
    m_dialogs = std::make_unique<DialogRecorder>();
    m_done = std::make_unique<QSignalSpy>(m_page, &BaseWidget::programmingDone);
    m_log.clear();
    m_progress.clear();
    m_progressWithoutDialog = 0;
    connect(m_page, &BaseWidget::logmessage, this,
            [this](KestrixStudio::LogLevel level, const QString& text) { m_log << LogEntry(level, text); });
    // While a step runs, its progress dialog is the modal widget.
    connect(m_page, &BaseWidget::progressUpdated, this, [this](int value) {
        m_progress << value;
        if (value < 100 && !qobject_cast<QProgressDialog*>(QApplication::activeModalWidget()))
            ++m_progressWithoutDialog;
    });
}

void TestProgramming::cleanup()
{
    m_done.reset();
    m_host.reset();
    m_page = nullptr;
    m_dialogs.reset();
    m_controller.reset();
    ApplicationDirectory::setPathForTesting(QString());
    m_dir.reset();
}

void TestProgramming::startBench(const QByteArray& boardSettings)
{
    const QString path = m_dir->filePath(QStringLiteral("bench.ini"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[bench]\nbootloaderDelayMs=30\noperationMs=20\n\n");
    file.write(boardSettings);
    file.close();
    qputenv("KM4200_BENCH", path.toLocal8Bit());
    m_controller = std::make_unique<KM4200Controller>();
}

void TestProgramming::writeFile(const QString& relativePath, const QByteArray& content)
{
    QFile file(m_dir->filePath(QStringLiteral("app/") + relativePath));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

MotherBoard* TestProgramming::board(int id) const
{
    return qobject_cast<MotherBoard*>(ConnectionManager::Instance()->getBoardByID(id));
}

HexModel TestProgramming::parsed(const QByteArray& data) const
{
    HexModel model;
    model.write(0x0100, data);
    return model;
}

void TestProgramming::contentDiffers_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<bool>("success");
    QTest::newRow("verified") << QByteArray("programStatus=0\nverifyStatus=compare\n") << true;
    QTest::newRow("programming fails") << QByteArray("programStatus=5\nverifyStatus=compare\n") << false;
    QTest::newRow("verification fails") << QByteArray("programStatus=0\nverifyStatus=1\n") << false;
}

void TestProgramming::contentDiffers()
{
    QFETCH(QByteArray, settings);
    QFETCH(bool, success);

    startBench("[board1]\nid=1\ntype=1\nmodules=0,1,2,3\n" + settings);
    const QByteArray image = QByteArray("KT24 firmware image, release 3").repeated(3);
    writeFile(QStringLiteral("firmware/kt24.hex"), hexFile(image));
    MotherBoard* motherBoard = board(1);
    QVERIFY(motherBoard);

    QVERIFY(m_page->program(QStringLiteral("kt24.hex"), QStringLiteral("firmware")));
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(m_done->first().first().toBool(), success);

    // Three modal dialogs in turn, on the page's parent.
    QCOMPARE(m_dialogs->progressTitles(),
             QStringList({ "Checking hexfile", "Programming hexfile", "Verifying hexfile" }));
    QCOMPARE(m_dialogs->progress.at(0).label, QStringLiteral("Comparing hexfile with content on device"));
    QCOMPARE(m_dialogs->progress.at(1).label, OperationText);
    QCOMPARE(m_dialogs->progress.at(2).label, OperationText);
    for (const auto& shown : qAsConst(m_dialogs->progress)) {
        QVERIFY(shown.modal);
        QCOMPARE(shown.parent, m_host.get());
    }
    QCOMPARE(m_progressWithoutDialog, 0);
    QCOMPARE(m_progress.count(100), 3);

    LogList expected { { KestrixStudio::LogStatus, CheckingText }, { KestrixStudio::LogStatus, OperationText } };
    expected << (success ? LogEntry(KestrixStudio::LogStatus, SuccessText)
                         : LogEntry(KestrixStudio::LogError, FailureText));
    QCOMPARE(m_log, expected);

    if (success) {
        QVERIFY(m_dialogs->boxes.isEmpty());
        QCOMPARE(motherBoard->resetCount(), 1);
        QVERIFY(motherBoard->getModule(0)->memory(KTModule::MemoryNormal).sameContent(parsed(image)));
    } else {
        QCOMPARE(m_dialogs->boxes.size(), 1);
        QCOMPARE(m_dialogs->boxes.first().title, QStringLiteral("Programming failed"));
        QCOMPARE(m_dialogs->boxes.first().label, FailureText);
        QCOMPARE(m_dialogs->boxes.first().icon, QMessageBox::Warning);
        QCOMPARE(m_dialogs->boxes.first().parent, m_host.get());
        QCOMPARE(motherBoard->resetCount(), 0);
    }
    QCOMPARE(m_page->programmingState, int(BaseWidget::StateFinished));
    QCOMPARE(m_page->prepared, QList<KTModule*> { motherBoard->getModule(0) });
    QCOMPARE(m_page->afterCount, 1);
    QVERIFY(!m_page->programmingActive);
    QCOMPARE(m_page->lastProgrammingResult, success);
    QVERIFY(!m_page->progressDialogActive);
    QCOMPARE(m_dialogs->reshown, 0);
}

void TestProgramming::contentAlreadyEqual_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<bool>("programFirst");
    QTest::newRow("programmed before") << QByteArray("verifyStatus=compare\n") << true;
    QTest::newRow("bench reports equal") << QByteArray("verifyStatus=0\n") << false;
}

void TestProgramming::contentAlreadyEqual()
{
    QFETCH(QByteArray, settings);
    QFETCH(bool, programFirst);

    startBench("[board1]\nid=1\ntype=1\n" + settings);
    writeFile(QStringLiteral("firmware/same.hex"), hexFile("unchanged image"));
    if (programFirst) {
        QVERIFY(m_page->program(QStringLiteral("same.hex"), QStringLiteral("firmware")));
        QTRY_COMPARE(m_done->count(), 1);
        m_done->clear();
        m_log.clear();
        m_dialogs->progress.clear();
    }
    const int resets = board(1)->resetCount();

    QVERIFY(m_page->program(QStringLiteral("same.hex"), QStringLiteral("firmware")));
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(m_done->first().first().toBool(), true);
    QCOMPARE(m_dialogs->progressTitles(), QStringList { "Checking hexfile" });
    QCOMPARE(m_log, LogList({ { KestrixStudio::LogStatus, CheckingText }, { KestrixStudio::LogStatus, SuccessText } }));
    QCOMPARE(board(1)->resetCount(), resets + 1);
    QVERIFY(m_dialogs->boxes.isEmpty());
    QCOMPARE(m_progressWithoutDialog, 0);
}

void TestProgramming::cancelInEachStep_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("programmed");
    const QByteArray compare("verifyStatus=compare\n");
    QTest::newRow("comparison") << compare << 1 << false;
    QTest::newRow("programming") << compare << 2 << true;
    QTest::newRow("verification") << compare << 3 << true;
    QTest::newRow("comparison finding equal content") << QByteArray("verifyStatus=0\n") << 1 << false;
}

void TestProgramming::cancelInEachStep()
{
    QFETCH(QByteArray, settings);
    QFETCH(int, step);
    QFETCH(bool, programmed);

    startBench("[board1]\nid=1\ntype=1\n" + settings);
    writeFile(QStringLiteral("firmware/kt24.hex"), hexFile("image to cancel"));
    m_dialogs->cancelAt = step;

    QVERIFY(m_page->program(QStringLiteral("kt24.hex"), QStringLiteral("firmware")));
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(m_done->first().first().toBool(), false);

    // The step ran to its report; no further step started.
    QCOMPARE(m_dialogs->progress.size(), step);
    QCOMPARE(m_dialogs->reshown, 0);
    LogList expected { { KestrixStudio::LogStatus, CheckingText } };
    if (step > 1)
        expected << LogEntry(KestrixStudio::LogStatus, OperationText);
    expected << LogEntry(KestrixStudio::LogStatus, CanceledText);
    QCOMPARE(m_log, expected);
    QVERIFY(m_dialogs->boxes.isEmpty());
    QCOMPARE(board(1)->resetCount(), 0);
    KTModule* module = board(1)->getModule(0);
    QVERIFY(!module->isBusy());
    QCOMPARE(!module->memory(KTModule::MemoryNormal).isEmpty(), programmed);
    QCOMPARE(m_page->afterCount, 1);
    QVERIFY(!m_page->lastProgrammingResult);

    // Nothing else arrives later.
    QTest::qWait(100);
    QCOMPARE(m_done->count(), 1);
    QCOMPARE(m_log.size(), expected.size());
}

void TestProgramming::boardMissing_data()
{
    QTest::addColumn<int>("boardID");
    QTest::newRow("no such board") << 9;
    QTest::newRow("board in its bootloader") << 2;
}

void TestProgramming::boardMissing()
{
    QFETCH(int, boardID);

    startBench("[board1]\nid=1\ntype=1\n[board2]\nid=2\ntype=4\n");
    writeFile(QStringLiteral("firmware/kt24.hex"), hexFile("image"));

    QVERIFY(!m_page->program(QStringLiteral("kt24.hex"), QStringLiteral("firmware"), boardID));
    QCOMPARE(m_dialogs->boxes.size(), 1);
    const auto& box = m_dialogs->boxes.first();
    QCOMPARE(box.title, QStringLiteral("Board not connected"));
    QCOMPARE(box.label,
             QStringLiteral("The selected board has been disconnected.\r\nPlease reconnect the board and try again."));
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.parent, m_page);
    QVERIFY(m_log.isEmpty());
    QVERIFY(m_dialogs->progress.isEmpty());
    QTest::qWait(50);
    QCOMPARE(m_done->count(), 0);
    QVERIFY(m_page->programmingActive); // only a reported outcome clears it
}

void TestProgramming::stopsBeforeTheModule_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("error");

    const QString parseError
        = QStringLiteral("Could not parse the HEX file. Please confirm that the file '%1' is in the '%2' folder.");
    QTest::newRow("empty file name") << "" << "firmware" << 0 << "No filename was supplied";
    QTest::newRow("missing file") << "absent.hex" << "firmware" << 0 << parseError.arg("absent.hex", "firmware");
    QTest::newRow("unparsable file") << "broken.hex" << "firmware" << 0 << parseError.arg("broken.hex", "firmware");
    QTest::newRow("nested folder") << "broken.hex" << "firmware/kt24" << 0
                                   << parseError.arg("broken.hex", "firmware/kt24");
    QTest::newRow("empty slot") << "good.hex" << "firmware" << 1 << ConnectError;
}

void TestProgramming::stopsBeforeTheModule()
{
    QFETCH(QString, file);
    QFETCH(QString, folder);
    QFETCH(int, slot);
    QFETCH(QString, error);

    startBench("[board1]\nid=1\ntype=1\nmodules=0\n");
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("app/firmware/kt24")));
    writeFile(QStringLiteral("firmware/broken.hex"), ":10010000GARBAGE\n");
    writeFile(QStringLiteral("firmware/kt24/broken.hex"), hexFile("image").replace(":00000001FF", ":00000001FE"));
    writeFile(QStringLiteral("firmware/good.hex"), hexFile("image"));

    QVERIFY(!m_page->program(file, folder, 1, slot));
    QCOMPARE(m_log, LogList({ { KestrixStudio::LogStatus, CheckingText }, { KestrixStudio::LogError, error } }));
    QVERIFY(m_dialogs->boxes.isEmpty());
    // A comparison that could not start leaves no dialog behind.
    QVERIFY(!m_page->progressDialogActive);
    QTRY_VERIFY(!QApplication::activeModalWidget());
    const auto topLevels = QApplication::topLevelWidgets();
    for (QWidget* widget : topLevels)
        QVERIFY(!(qobject_cast<QProgressDialog*>(widget) && widget->isVisible()));
    QTest::qWait(50);
    QCOMPARE(m_done->count(), 0);
    QVERIFY(m_page->programmingActive);
}

void TestProgramming::sequencesInARow()
{
    startBench("[board1]\nid=1\ntype=1\n");
    writeFile(QStringLiteral("firmware/a.hex"), hexFile("first image"));
    writeFile(QStringLiteral("firmware/b.hex"), hexFile("second image"));
    MotherBoard* motherBoard = board(1);

    struct Run
    {
        const char* file;
        int slot;
        int dialogs;
    };
    // Each report reaches the page once: a doubled connection would end a
    // sequence twice or start a step on a busy module.
    const Run runs[] = { { "a.hex", 0, 3 }, { "a.hex", 0, 1 }, { "b.hex", 0, 3 },
                         { "b.hex", 1, 3 }, { "b.hex", 0, 1 }, { "b.hex", 1, 1 } };
    int count = 0;
    for (const Run& run : runs) {
        ++count;
        m_dialogs->progress.clear();
        m_log.clear();
        QVERIFY(m_page->program(QString::fromLatin1(run.file), QStringLiteral("firmware"), 1, run.slot));
        QTRY_COMPARE(m_done->count(), count);
        QCOMPARE(m_done->last().first().toBool(), true);
        QCOMPARE(m_dialogs->progress.size(), run.dialogs);
        QCOMPARE(m_log.last(), LogEntry(KestrixStudio::LogStatus, SuccessText));
        QCOMPARE(m_log.size(), run.dialogs == 3 ? 3 : 2);
        QCOMPARE(m_page->afterCount, count);
        QCOMPARE(m_page->currentModule, motherBoard->getModule(run.slot));
    }
    QTest::qWait(50);
    QCOMPARE(m_done->count(), count);

    // The module of an earlier sequence no longer drives the page.
    m_log.clear();
    KTModule* earlier = motherBoard->getModule(0);
    QSignalSpy earlierDone(earlier, &KTModule::operationDone);
    QVERIFY(earlier->startVerifying());
    QTRY_COMPARE(earlierDone.count(), 1);
    QTest::qWait(30);
    QCOMPARE(m_done->count(), count);
    QVERIFY(m_log.isEmpty());
}

void TestProgramming::boardLeavesDuringComparison()
{
    startBench("[board1]\nid=1\ntype=1\n");
    writeFile(QStringLiteral("firmware/kt24.hex"), hexFile("image"));
    QPointer<MotherBoard> motherBoard = board(1);
    m_dialogs->whileShown = [motherBoard](int number) {
        if (number == 1 && motherBoard)
            motherBoard->jumpToBootloader();
    };

    // The module reports the lost device; the steps after it cannot start,
    // and the sequence ends instead of waiting behind a dialog.
    QVERIFY(m_page->program(QStringLiteral("kt24.hex"), QStringLiteral("firmware")));
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(m_done->first().first().toBool(), false);
    QCOMPARE(m_log.first(), LogEntry(KestrixStudio::LogStatus, CheckingText));
    QVERIFY(m_log.contains(LogEntry(KestrixStudio::LogError, ConnectError)));
    QCOMPARE(m_log.last(), LogEntry(KestrixStudio::LogError, FailureText));
    QCOMPARE(m_dialogs->boxes.size(), 1);
    QCOMPARE(m_dialogs->boxes.first().title, QStringLiteral("Programming failed"));
    QVERIFY(!m_page->progressDialogActive);
    QTRY_VERIFY(!QApplication::activeModalWidget());

    // The page lets go of the board and its module, and a new run finds none.
    QTRY_VERIFY(!motherBoard);
    QVERIFY(!m_page->motherBoard);
    QVERIFY(!m_page->currentModule);
    m_dialogs->boxes.clear();
    QVERIFY(!m_page->program(QStringLiteral("kt24.hex"), QStringLiteral("firmware")));
    QCOMPARE(m_dialogs->boxes.size(), 1);
    QCOMPARE(m_dialogs->boxes.first().title, QStringLiteral("Board not connected"));
}

void TestProgramming::demoBench()
{
    // The demo bench as shipped, with its demo firmware as the image.
    QTemporaryDir benchDir;
    QVERIFY(QFile::copy(QStringLiteral(KESTRIX_EXAMPLES_DIR "/bench/bench.ini"), benchDir.filePath("bench.ini")));
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("app/hex")));
    QVERIFY(QFile::copy(QStringLiteral(KESTRIX_EXAMPLES_DIR "/firmware/KestrixFirmware_12.hex"),
                        m_dir->filePath(QStringLiteral("app/hex/KestrixFirmware_12.hex"))));
    qputenv("KM4200_BENCH", benchDir.filePath("bench.ini").toLocal8Bit());
    m_controller = std::make_unique<KM4200Controller>();
    QVERIFY(board(2));

    QVERIFY(m_page->program(QStringLiteral("KestrixFirmware_12.hex"), QStringLiteral("hex"), 2, 0));
    QTRY_COMPARE_WITH_TIMEOUT(m_done->count(), 1, 20000);
    QCOMPARE(m_done->first().first().toBool(), true);
    QCOMPARE(m_dialogs->progress.size(), 3);
    QCOMPARE(board(2)->resetCount(), 1);
    QCOMPARE(m_log.last(), LogEntry(KestrixStudio::LogStatus, SuccessText));
    m_controller.reset();
}

QTEST_MAIN(TestProgramming)
#include "tst_programming.moc"
