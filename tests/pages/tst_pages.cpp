// The shell's own pages against the simulated bench, in a temporary application directory (with a blank in its name,
// so quoting matters) holding hex/: the board overview and its firmware update (the simulated dfu-programmer end to
// end, shell scripts standing in for it on the failure paths), and the default-settings page with real module
// operations and boxes answered from the event loop.

#include "applicationdirectory.h"
#include "boardfactory.h"
#include "boardreservation.h"
#include "connectable.h"
#include "connectionmanager.h"
#include "defaultwidget.h"
#include "flashdefaultsettings.h"
#include "km4200controller.h"
#include "ktmodule.h"
#include "motherboard.h"
#include "testsupport.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QMainWindow>
#include <QScopeGuard>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>

#include <memory>

namespace
{

using TestSupport::motherboard;

// Each test sets the directory anew; the controller goes before the folder.
struct Installation {
    Installation() { ApplicationDirectory::setPathForTesting(dir.path()); }

    QString path(const QString& name) const { return dir.filePath(name); }
    void write(const QString& name, const QByteArray& content) const
    {
        QVERIFY(TestSupport::writeFile(path(name), content));
    }
    void addFirmware(const QString& name) const
    {
        QVERIFY(QDir(dir.path()).mkpath("hex"));
        write("hex/" + name, ":0100000000FF\n:00000001FF\n");
    }
    void writeBench(const QString& devices, int operationMs = 50) const
    {
        const QString bench = QStringLiteral("[bench]\nbootloaderDelayMs=100\noperationMs=%1\n\n%2");
        write("bench.ini", bench.arg(operationMs).arg(devices).toUtf8());
    }
    void openBench(const QString& devices, int operationMs = 50)
    {
        writeBench(devices, operationMs);
        qputenv("KM4200_BENCH", path("bench.ini").toLocal8Bit());
        controller.reset();
        controller = std::make_unique<KM4200Controller>();
    }

    QTemporaryDir dir { QDir::tempPath() + "/kestrix app XXXXXX" };
    std::unique_ptr<KM4200Controller> controller;
};

const QString started = "Starting bootloader on board 1";
const QString updateStarted = "Starting update of board 1";
const QString usingTool = "Using dfu-programmer at <app>/dfu-programmer";
const QString togglePower = "Please toggle power of board 1 to reset it.";
const QString refusal = "An update is already running. Please wait until it has finished before starting board 1";
const QString board5 = "Board 1 - Firmware 5";

bool shows(QWidget* page, const QString& text)
{
    const QList<QLabel*> labels = page ? page->findChildren<QLabel*>() : QList<QLabel*>();
    return std::any_of(labels.begin(), labels.end(), [&](QLabel* label) { return label->text() == text; });
}

// Runs `action` from the event loop once the page logs `text`.
void onLog(BaseWidget* page, const QString& text, int delayMs, std::function<void()> action)
{
    QObject::connect(page, &BaseWidget::logmessage, page, [=](KestrixStudio::LogLevel, const QString& message) {
        if (message == text)
            QTimer::singleShot(delayMs, qApp, action);
    });
}

// Stand-in for the main window's page area: one page at a time, the old one
// released the way the window does. Records what pages log, errors marked as such.
struct PageArea : QObject {
    ~PageArea() override { delete area.takeWidget(); }
    void attach(BaseWidget* page)
    {
        connect(page, &BaseWidget::logmessage, this, [this](KestrixStudio::LogLevel level, const QString& text) {
            log << (level == KestrixStudio::LogError ? "error: " + text : text);
        });
    }
    void widgetChange(int type)
    {
        ++changes;
        show(type == KestrixStudio::WidgetTypeDefault ? new DefaultWidget(nullptr) : new BaseWidget(nullptr));
    }
    void show(BaseWidget* page)
    {
        if (auto* old = qobject_cast<BaseWidget*>(area.takeWidget())) {
            old->leavePage();
            if (old->deleteWhenReplaced())
                delete old;
        }
        area.setWidget(page);
        current = page;
        attach(page);
        connect(ConnectionManager::Instance(), &ConnectionManager::updated, page, &BaseWidget::boardUpdate);
        connect(page, &BaseWidget::widgetChange, this, [this](int type) { widgetChange(type); });
    }

    QScrollArea area;
    QPointer<BaseWidget> current;
    QStringList log;
    int changes = 0;
};

// Answers message boxes with OK and records their title and text; cancels
// the progress dialog with the given title.
struct BoxRecorder : QTimer {
    explicit BoxRecorder(const QString& cancel = QString())
        : cancel(cancel)
    {
        connect(this, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen << QStringList { box->windowTitle(), box->text() };
                box->button(QMessageBox::Ok)->click();
            } else if (auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
                       progress && progress->windowTitle() == this->cancel)
                // From the event loop, as a user's click: the page's box then runs while this timer goes on.
                QTimer::singleShot(0, progress->findChild<QAbstractButton*>(), &QAbstractButton::click);
        });
        start(10);
    }
    QString cancel;
    QList<QStringList> seen;
};

} // namespace

class TestPages : public QObject
{
    Q_OBJECT

    std::unique_ptr<Installation> install;
    std::unique_ptr<PageArea> area;
    std::unique_ptr<FlashDefaultSettings> settings;
    static QString latest(int number) { return QStringLiteral("Latest motherboard firmware: %1").arg(number); }
    template <typename T> T* child(const QString& name) const { return settings->findChild<T*>(name); }
    void open(const QString& devices, int operationMs = 100)
    {
        install->openBench(devices, operationMs);
        settings = std::make_unique<FlashDefaultSettings>(nullptr);
    }

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }
    void init()
    {
        install = std::make_unique<Installation>();
        area = std::make_unique<PageArea>();
        DefaultWidget::resetCurrentFirmwareIDForTesting();
        DefaultWidget::setBootloaderTimeoutForTesting(0);
    }
    void cleanup()
    {
        settings.reset();
        area.reset();
        install.reset();
        QVERIFY(!DefaultWidget::updateInProgress());
        QCOMPARE(BoardFactory::creatableBoards(), QFlags<Connectable::TypeConnected>(Connectable::TypeAll));
    }

    // The scanned page's buttons, every button off on the first page, the label following hex/.
    void overview_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("devices");
        QTest::addColumn<int>("newest");
        QTest::addColumn<QList<bool>>("enabled");
        const auto row
            = [](const char* name, const QStringList& files, const QString& devices, int newest,
                  const QList<bool>& enabled) { QTest::newRow(name) << files << devices << newest << enabled; };
        const QString boards = motherboard(1, 5) + motherboard(2, 12) + motherboard(3, 13);
        row("numeric, zero-padded", { "KestrixFirmware_7.hex", "KestrixFirmware_0012.hex" }, boards, 12,
            { true, false, false });
        row("capital extension, prefix case",
            { "KestrixFirmware_30.HEX", "kestrixfirmware_20.hex", "KestrixFirmware_4.hex" }, motherboard(1, 3), 4,
            { true });
        row("no boards", { "KestrixFirmware_8.bin" }, "", 0, {});
    }
    void overview()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, devices);
        QFETCH(int, newest);
        for (const QString& name : files)
            install->addFirmware(name);
        install->openBench(devices);
        auto first = std::make_unique<DefaultWidget>(nullptr);
        DefaultWidget page(nullptr);
        QVERIFY(shows(&page, latest(newest)));
        QCOMPARE(shows(&page, "No boards connected"), devices.isEmpty());
        QList<bool> enabled;
        for (QAbstractButton* button : page.findChild<QButtonGroup*>()->buttons())
            enabled << button->isEnabled();
        QTEST(enabled, "enabled");
        for (QAbstractButton* button : first->findChild<QButtonGroup*>()->buttons())
            QVERIFY(!button->isEnabled());
        first.reset(); // the label follows files added and removed
        install->addFirmware("KestrixFirmware_40.hex"); // in a hex/ that appears only now where no files were
        QTRY_VERIFY(shows(&page, latest(40)));
        QVERIFY(QFile::remove(install->path("hex/KestrixFirmware_40.hex")));
        QTRY_VERIFY(shows(&page, latest(newest)));
    }

    // Every update runs from the Upgrade button of a page in the page area;
    // `during` acts while it runs. Under AddressSanitizer the page-change rows
    // prove that the page outlives every change requested meanwhile.
    void update_data()
    {
        QTest::addColumn<QString>("board");
        QTest::addColumn<QString>("tool"); // "missing" or a script body
        QTest::addColumn<QString>("during");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QString>("shown"); // on the final page; none for a page that is not an overview

        const auto row = [](const char* name, const QString& board, const QString& tool, const QString& during,
                             const QStringList& log,
                             const QString& shown) { QTest::newRow(name) << board << tool << during << log << shown; };
        const QString overview = "Boards connected:"; // the board stays in its bootloader
        const QString args = "[ $# = 3 ] && [ \"$1 $2 $3\" = \"at90usb1287 flash $PWD/hex/KestrixFirmware_12.hex\" ]";
        const QStringList ok { started, usingTool, updateStarted, "Board 1 is updated" };
        const QStringList noTool { started, "error: Could not start the updating of the KM4200.", togglePower,
            "error: dfu-programmer is missing: looked for at <app> and on PATH. Install it with: apt install "
            "dfu-programmer" };
#ifdef DFU_PROGRAMMER_PATH
        row("real tool", "", QStringLiteral("exec \"%1\" \"$@\"").arg(DFU_PROGRAMMER_PATH), "", ok,
            "Board 1 - Firmware 12");
#endif
        row("tool exits non-zero", "", "exit 3", "",
            { started, usingTool, updateStarted, "error: Could not update board 1",
                "error: dfu-programmer ended with exit code 3. It printed nothing." },
            board5);
        row("tool missing", "", "missing", "", noTool, overview);
        // The procedure reads the page's own flags, set by the page's slot.
        row("page's slot ends the wait", "bootloader=silent", "[ -e reported ] && " + args, "page slot", ok, overview);
        // The firmware file is the newest when the tool starts, not when the update began.
        row("newer file during the wait", "bootloader=silent",
            "[ -e reported ] && " + QString(args).replace("_12.hex", "_13.hex"), "newer file", ok, overview);
        row("bootloader times out", "bootloader=silent", "exit 0", "",
            { started, "error: Could not start the bootloader on the KM4200.", togglePower }, overview);
        // Nobody saw the board take the firmware, whatever the tool says.
        row("device gone before renew", "", "sleep 1", "unplug",
            { started, usingTool, updateStarted,
                "error: Board 1 left the bus while dfu-programmer ran; the tool ended with exit code 0 afterwards. "
                "Whether the board holds the new firmware is unknown.",
                togglePower },
            "No boards connected");
        row("tree press to another page", "", "sleep 0.3", "tree press",
            { started, usingTool, updateStarted, refusal, "Board 1 is updated" }, "");
        row("firmware check", "", "sleep 0.3", "firmware check",
            { started, usingTool, updateStarted, refusal, refusal, "Board 1 is updated" }, board5);
    }
    void update()
    {
        QFETCH(QString, board);
        QFETCH(QString, tool);
        QFETCH(QString, during);
        QFETCH(QString, shown);
        install->addFirmware("KestrixFirmware_12.hex");
        install->openBench(motherboard(1, 5, board));
        const QByteArray searchPath = qgetenv("PATH");
        const auto restorePath = qScopeGuard([&] { qputenv("PATH", searchPath); });
        if (tool == "missing") { // nor the distribution's on PATH
            qputenv("PATH", install->path("hex").toLocal8Bit());
        } else {
            QVERIFY(TestSupport::writeScript(
                install->path("dfu-programmer"), "cd \"" + install->path(".").toUtf8() + "\"\n" + tool.toUtf8()));
        }
        DefaultWidget::setBootloaderTimeoutForTesting(during == "page slot" || during == "newer file" ? 10000 : 300);
        area->show(new DefaultWidget(nullptr)); // the second page's buttons compare against the scanned number
        area->show(new DefaultWidget(nullptr));
        QPointer<DefaultWidget> page = static_cast<DefaultWidget*>(area->current.data());
        // Whether all board kinds could come back before the page asked to be replaced.
        QFlags<Connectable::TypeConnected> kindsAtReplace;
        connect(page, &BaseWidget::widgetChange, this, [&] { kindsAtReplace = BoardFactory::creatableBoards(); });
        if (during == "newer file")
            onLog(page, started, 0, [&] { install->addFirmware("KestrixFirmware_13.hex"); });
        if (during == "page slot" || during == "newer file") {
            onLog(page, started, 300, [&] {
                install->write("reported", QByteArray());
                if (during == "page slot")
                    page->bootloaderConnected(true);
                else
                    emit ConnectionManager::Instance()->bootloaderConnected(true);
            });
        } else if (during == "unplug") {
            onLog(page, updateStarted, 0, [&] { install->writeBench(QString()); });
        } else if (!during.isEmpty()) {
            // A second start on the running page, a page change, and for the
            // firmware check a start on the page shown meanwhile.
            onLog(page, updateStarted, 0, [&] {
                page->startBootloader(1);
                area->widgetChange(
                    during == "tree press" ? KestrixStudio::WidgetTypeFlash : KestrixStudio::WidgetTypeDefault);
                if (during == "firmware check")
                    static_cast<DefaultWidget*>(area->current.data())->startBootloader(1);
            });
        }

        page->findChild<QButtonGroup*>()->button(1)->click();

        QFETCH(QStringList, log);
        QCOMPARE(area->log, log.replaceInStrings("<app>", install->dir.path()));
        QVERIFY(page); // alive through its last step
        // On a timeout the page is replaced first, then all board kinds come back.
        const bool timeout = QTest::currentDataTag() == QLatin1String("bootloader times out");
        if (timeout || kindsAtReplace)
            QCOMPARE(kindsAtReplace,
                timeout ? QFlags<Connectable::TypeConnected>(Connectable::TypeBootloader)
                        : QFlags<Connectable::TypeConnected>(Connectable::TypeAll));
        QTRY_VERIFY(page.isNull());
        if (shown.isEmpty())
            QCOMPARE(area->changes, 1); // the user who moved on is not pulled back
        else
            QTRY_VERIFY(shows(area->current, shown));
    }

    // Programs from a connector choice, which enables its own controls; `options` is dongle, otp, or the title of the
    // progress dialog to cancel. A cancelled run writes nothing more, and Program then starts a clean run.
    void program_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("radio");
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QStringList>("box");
        QTest::addColumn<int>("operations"); // on that slot's module, none on the others; a reset after verifying
        QTest::addColumn<QString>("error"); // the log line that says why it failed
        const auto row = [](const char* name, const QString& settings, const QString& radio, const QString& options,
                             int slot, const QStringList& box, int operations, const QString& error = QString()) {
            QTest::newRow(name) << settings << radio << options << slot << box << operations << error;
        };
        const QString dongle = "externalModule=true";
        const QStringList done { "Programming done", "The programming went well. Everything should work as normal" };
        const QStringList failed { "Programming failed", "Where not able to program" };
        const QStringList canceled { "Operation canceled", "User canceled the operation" };
        row("verified", dongle, "KTModule", "", 0, done, 2);
        row("programming fails", "programStatus=7", "KTModule", "", 0, failed, 1,
            "Programming board 1 failed with status 7.");
        row("verifying fails", "verifyStatus=9", "KTModule", "", 0, failed, 2,
            "Verifying board 1 failed with status 9.");
        row("OTP ends after programming", "", "extensionBoard", "otp", 1,
            { "Programming done", "Infopage on the OTP circuit is done." }, 1);
        row("cancel programming", "", "KTModule", "Programming hexfile", 0, canceled, 1);
        row("cancel verifying", "", "KTModule", "Verifying hexfile", 0, canceled, 2);
        row("dongle", dongle, "KTModule", "dongle", 3, done, 2);
        row("dongle, ISP chosen", dongle, "KTISP", "dongle", 2, done, 2);
        row("dongle, board without it", "", "KTModule", "dongle", 0, done, 2);
        row("slot not on the board", "modules=1,2", "KTModule", "", 0, failed, 1,
            "Board 1 has no module on the KT Module connector.");
        row("dongle not on the board", dongle + "\nmodules=0,1,2", "KTModule", "dongle", 3, failed, 1,
            "Board 1 has no module on the dongle connector.");
        const QString busy = "Board 1's module is being programmed by the All boards page";
        row("another job has the board", "reserved", "KTModule", "", 0, { "Board busy", busy }, 0, busy);
    }
    void program()
    {
        QFETCH(QString, settings);
        QFETCH(QString, radio);
        QFETCH(QString, options);
        QFETCH(int, slot);
        QFETCH(int, operations);
        QFETCH(QString, error);
        QObject otherJob;
        if (settings == "reserved") {
            settings.clear();
            BoardReservation::reserve(1, &otherJob, "Board 1's module is being programmed by the All boards page");
        }
        open(motherboard(1, 5, settings));
        area->attach(this->settings.get());
        child<QAbstractButton>("programDongle")->setChecked(options == "dongle");
        child<QAbstractButton>(radio)->click();
        QString enabled; // chip label, device types, OTP, extension label
        for (const char* name : { "chipTypeLabel", "deviceTypeSelector", "otpSelector", "chipTypeExtensionLabel" })
            enabled += child<QWidget>(name)->isEnabled() ? '1' : '0';
        QCOMPARE(enabled, QString(radio == "KTModule" ? "1000" : radio == "KTISP" ? "0100" : "0011"));
        child<QAbstractButton>("otpSelector")->setChecked(options == "otp");
        child<QComboBox>("deviceTypeSelector")->setCurrentIndex(4); // KT52
        auto* board = qobject_cast<MotherBoard*>(ConnectionManager::Instance()->getBoardByID(1));
        QList<std::shared_ptr<QSignalSpy>> spies;
        for (int s = 0; s < 4; ++s)
            spies << std::make_shared<QSignalSpy>(board->getModule(s), &KTModule::operationDone);
        BoxRecorder boxes(options);

        child<QAbstractButton>("programButton")->click();

        QTRY_COMPARE(boxes.seen.size(), 1);
        QTEST(boxes.seen.first(), "box");
        for (int s = 0; s < 4; ++s)
            QCOMPARE(int(spies.at(s)->size()), s == slot ? operations : 0);
        QCOMPARE(board->resetCount(), options.endsWith("hexfile") ? 0 : qMax(0, operations - 1));
        QCOMPARE(board->getModule(slot)->targetMemoryType() == KTModule::MemoryOTP, options == "otp");
        if (slot == MotherBoard::SlotISP)
            QCOMPARE(board->ispDeviceType(), 125);
        const QStringList errors = area->log.filter("error: ");
        QCOMPARE(errors, error.isEmpty() ? QStringList() : QStringList { "error: " + error });
        if (!options.endsWith("hexfile"))
            return;
        QCOMPARE(area->log.last(), QString("User canceled the operation"));
        const QString memory = install->path("bench.memory/board1-module.hex");
        const QByteArray written = TestSupport::readFile(memory);
        QCOMPARE(written.isEmpty(), options == "Programming hexfile");
        QTest::qWait(300); // longer than an operation: a run going on unseen would write now
        QCOMPARE(TestSupport::readFile(memory), written);
        QCOMPARE(int(spies.at(slot)->size()), operations);
        boxes.cancel.clear();
        child<QAbstractButton>("programButton")->click();
        QTRY_COMPARE(boxes.seen.size(), 2);
        QCOMPARE(boxes.seen.last().first(), QString("Programming done"));
        QCOMPARE(int(spies.at(slot)->size()), operations + 2);
    }

    // Board notifications keep the user's board; when it goes, the first one is chosen and the status bar says so.
    void selectionStays()
    {
        open(motherboard(1, 5) + motherboard(2, 5) + motherboard(3, 5));
        QMainWindow window;
        window.setCentralWidget(settings.release());
        auto* page = static_cast<FlashDefaultSettings*>(window.centralWidget());
        connect(ConnectionManager::Instance(), &ConnectionManager::updated, page, &BaseWidget::boardUpdate);
        auto* boards = page->findChild<QComboBox*>("boardBox");
        boards->setCurrentIndex(1);
        install->writeBench(motherboard(1, 6) + motherboard(2, 5) + motherboard(3, 5));
        QTRY_COMPARE(qobject_cast<MotherBoard*>(ConnectionManager::Instance()->getBoardByID(1))->getBoardFirmwareID(),
            quint16(6));
        QCOMPARE(boards->currentText(), QString("Board 2"));
        QVERIFY(window.statusBar()->currentMessage().isEmpty());
        install->writeBench(motherboard(1, 6) + motherboard(3, 5));
        QTRY_COMPARE(boards->count(), 2);
        QCOMPARE(boards->currentText(), QString("Board 1"));
        QCOMPARE(window.statusBar()->currentMessage(), QString("Board 2 was disconnected; Board 1 is selected now."));
    }

    // Boards go while the page's failure box runs its event loop inside the library's report.
    void boardsGoDuringFailureBox()
    {
        open(motherboard(1, 5) + motherboard(2, 5) + motherboard(3, 5), 2000);
        area->attach(settings.get());
        connect(ConnectionManager::Instance(), &ConnectionManager::updated, settings.get(), &BaseWidget::boardUpdate);
        QString text;
        int step = 0;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (step == 0 && modal && !box) { // programming: board 1 goes
                ++step;
                install->writeBench(motherboard(2, 5) + motherboard(3, 5), 2000);
            } else if (step == 1 && box) { // the failure box is open: board 2 goes
                ++step;
                text = box->text();
                install->writeBench(motherboard(3, 5), 2000);
            } else if (step == 2 && box && !ConnectionManager::Instance()->getBoardByID(2)) {
                ++step;
                box->button(QMessageBox::Ok)->click();
            }
        });
        answer.start(10);
        child<QAbstractButton>("programButton")->click();
        QTRY_COMPARE(step, 3);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(text, QString("Where not able to program"));
        QVERIFY(area->log.contains("error: Board 1 was disconnected."));
        QCOMPARE(child<QComboBox>("boardBox")->currentText(), QString("Board 3"));
    }
};

QTEST_MAIN(TestPages)
#include "tst_pages.moc"
