// The board overview page and its firmware update against the simulated
// bench: real files in hex/, the simulated dfu-programmer end to end, and
// shell scripts standing in for it on the failure paths.

#include "boardfactory.h"
#include "connectable.h"
#include "pagefixture.h"
#include "testsupport.h"

#include <QButtonGroup>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTimer>

#include <csignal>
#include <functional>

namespace
{

const QString started = "Starting bootloader on board 1";
const QString updateStarted = "Starting update of board 1";
const QString updated = "Board 1 is updated";
const QString togglePower = "Please toggle power of board 1 to reset it.";
const QString refusal = "An update is already running. Please wait until it has finished before starting board 1";
const QString board5 = "Board 1 - Firmware 5";

QString latest(int number)
{
    return QStringLiteral("Latest motherboard firmware: %1").arg(number);
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
// released the way the window does.
struct PageArea : QObject {
    ~PageArea() override { delete area.takeWidget(); }
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
        log.attach(page);
        connect(ConnectionManager::Instance(), &ConnectionManager::updated, page, &BaseWidget::boardUpdate);
        connect(page, &BaseWidget::widgetChange, this, [this](int type) { widgetChange(type); });
    }

    QScrollArea area;
    QPointer<BaseWidget> current;
    LogRecorder log;
    int changes = 0;
};

} // namespace

class TestDefaultWidget : public QObject
{
    Q_OBJECT

    std::unique_ptr<Installation> install;
    std::unique_ptr<PageArea> area;

    // The second overview page: its buttons compare against the scanned number.
    DefaultWidget* scannedPage()
    {
        area->show(new DefaultWidget(nullptr));
        area->show(new DefaultWidget(nullptr));
        return static_cast<DefaultWidget*>(area->current.data());
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
        area.reset();
        install.reset();
        QVERIFY(!DefaultWidget::updateInProgress());
        QCOMPARE(BoardFactory::creatableBoards(), QFlags<Connectable::TypeConnected>(Connectable::TypeAll));
    }

    // The scanned page's buttons, and every button off on the first page.
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
        row("numeric", { "KestrixFirmware_7.hex", "KestrixFirmware_12.hex" }, boards, 12, { true, false, false });
        row("zero-padded", { "KestrixFirmware_0012.hex" }, boards, 12, { true, false, false });
        row("capital extension", { "KestrixFirmware_30.HEX", "KestrixFirmware_4.hex" }, motherboard(1, 3), 4, { true });
        row("prefix case", { "kestrixfirmware_20.hex", "KestrixFirmware_3.hex" }, motherboard(1, 3), 3, { false });
        row("no boards", { "KestrixFirmware_8.bin" }, "", 0, {});
        row("only a bootloader device", {}, "[boot]\nid=7\ntype=4\n", 0, {});
    }
    void overview()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, devices);
        QFETCH(int, newest);
        for (const QString& name : files)
            install->addFirmware(name);
        install->openBench(devices);
        DefaultWidget first(nullptr);
        DefaultWidget page(nullptr);
        QVERIFY(labelTexts(&page).contains(latest(newest)));
        QCOMPARE(labelTexts(&page).contains("No boards connected"), devices.isEmpty());
        QList<bool> enabled;
        for (QAbstractButton* button : page.findChild<QButtonGroup*>()->buttons())
            enabled << button->isEnabled();
        QTEST(enabled, "enabled");
        for (QAbstractButton* button : first.findChild<QButtonGroup*>()->buttons())
            QVERIFY(!button->isEnabled());
    }

    void labelFollowsFiles_data()
    {
        QTest::addColumn<bool>("folderAtStart");
        QTest::newRow("hex folder there") << true;
        QTest::newRow("hex folder created later") << false;
    }
    void labelFollowsFiles()
    {
        QFETCH(bool, folderAtStart);
        if (!folderAtStart)
            QVERIFY(QDir(install->path("hex")).removeRecursively());
        install->openBench(motherboard(1, 5));
        DefaultWidget page(nullptr);
        QVERIFY(labelTexts(&page).contains(latest(0)));
        QVERIFY(QDir().mkpath(install->path("hex")));
        install->addFirmware("KestrixFirmware_11.hex");
        QTRY_VERIFY(labelTexts(&page).contains(latest(11)));
        QVERIFY(QFile::remove(install->path("hex/KestrixFirmware_11.hex")));
        QTRY_VERIFY(labelTexts(&page).contains(latest(0)));
    }

    void boardGoneBeforeClick()
    {
        install->addFirmware("KestrixFirmware_6.hex");
        install->openBench(motherboard(1, 5));
        DefaultWidget first(nullptr);
        DefaultWidget page(nullptr); // outside the page area, so not replaced
        area->log.attach(&page);
        QSignalSpy boardsChanged(ConnectionManager::Instance(), &ConnectionManager::updated);
        install->writeBench(QString());
        QTRY_VERIFY(!boardsChanged.isEmpty());
        page.findChild<QButtonGroup*>()->button(1)->click();
        QCOMPARE(area->log.texts,
            QStringList { "Connection to the board was lost. Please reconnect the board and try again" });
        QCOMPARE(page.findChild<QButtonGroup*>()->button(1)->text(), QStringLiteral("Upgrade"));
    }

    // Every update runs from the Upgrade button of a page in the page area;
    // `during` acts while it runs. Under AddressSanitizer the page-change rows
    // prove that the page outlives every change requested meanwhile.
    void update_data()
    {
        QTest::addColumn<QString>("board");
        QTest::addColumn<QString>("tool"); // "real", "missing" or a script body
        QTest::addColumn<QString>("during");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QString>("shown"); // on the final page; none for a page that is not an overview

        const auto row = [](const char* name, const QString& board, const QString& tool, const QString& during,
                             const QStringList& log,
                             const QString& shown) { QTest::newRow(name) << board << tool << during << log << shown; };
        const QString silent = "bootloader=silent";
        const QString overview = "Boards connected:"; // the board stays in its bootloader
        const QString args = "[ $# = 3 ] && [ \"$1 $2 $3\" = \"at90usb1287 flash $PWD/hex/KestrixFirmware_12.hex\" ]";
        const QStringList ok { started, updateStarted, updated };
        const QStringList failed { started, updateStarted, "error: Could not update board 1" };
        const QStringList refused { started, updateStarted, refusal, updated };
        const QStringList noTool { started, "error: Could not start the updating of the KM4200.", togglePower };
        const QStringList noBootloader { started, "error: Could not start the bootloader on the KM4200.", togglePower };
        row("real tool", "", "real", "", ok, "Board 1 - Firmware 12");
        row("command line", "", args, "", ok, board5);
        row("tool exits non-zero", "", "exit 3", "", failed, board5);
        row("tool missing", "", "missing", "", noTool, overview);
        row("bootloader silent", silent, "exit 0", "", noBootloader, overview);
        row("no bootloader device", silent, "[ -e reported ]", "reports", ok, overview);
        row("device gone before renew", "", "sleep 1", "unplug", ok, "No boards connected");
        row("tool never ends", "", "echo $$ > pid; exec sleep 600", "kill", failed, board5);
        row("tree press to another page", "", "sleep 0.3", "tree press", refused, "");
        row("fresh overview", "", "sleep 0.3", "fresh overview", refused, board5);
        row("firmware check", "", "sleep 0.3", "firmware check", { started, updateStarted, refusal, refusal, updated },
            board5);
    }
    void update()
    {
        QFETCH(QString, board);
        QFETCH(QString, tool);
        QFETCH(QString, during);
        QFETCH(QString, shown);
        install->addFirmware("KestrixFirmware_12.hex");
        install->openBench(motherboard(1, 5, board));
        if (tool == "real") {
#ifndef DFU_PROGRAMMER_PATH
            QSKIP("the simulated dfu-programmer is not built");
#else
            tool = QStringLiteral("exec \"%1\" \"$@\"").arg(QStringLiteral(DFU_PROGRAMMER_PATH));
#endif
        }
        if (tool != "missing")
            install->writeTool("cd \"" + install->path(".") + "\"\n" + tool);
        DefaultWidget::setBootloaderTimeoutForTesting(during == "reports" ? 10000 : 300);
        QPointer<DefaultWidget> page = scannedPage();
        ConnectionManager* manager = ConnectionManager::Instance();
        bool deviceGone = false;
        QTimer killer;
        if (during == "reports") {
            // A false report does not end the wait; only the true one does.
            onLog(page, started, 50, [=] { emit manager->bootloaderConnected(false); });
            onLog(page, started, 300, [&] {
                install->write("reported", QByteArray());
                emit manager->bootloaderConnected(true);
            });
        } else if (during == "unplug") {
            onLog(page, updateStarted, 0, [&] {
                for (Connectable* device : manager->getBoardIterator()) {
                    if (device->getTypeConnected() == Connectable::TypeBootloader)
                        connect(device, &Connectable::disconnected, [&] { deviceGone = true; });
                }
                install->writeBench(QString());
            });
        } else if (during == "kill") {
            // The window stays responsive: this timer ends the tool.
            connect(&killer, &QTimer::timeout, [&] {
                QFile file(install->path("pid"));
                const int pid = file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt() : 0;
                if (pid > 0 && ::kill(pid, SIGKILL) == 0)
                    killer.stop();
            });
            killer.start(300);
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

        QTEST(area->log.texts, "log");
        QCOMPARE(deviceGone, during == "unplug");
        QVERIFY(page); // alive through its last step
        QTRY_VERIFY(page.isNull());
        if (shown.isEmpty())
            QCOMPARE(area->changes, 1); // the user who moved on is not pulled back
        else
            QTRY_VERIFY(labelTexts(area->current).contains(shown));
    }
};

QTEST_MAIN(TestDefaultWidget)
#include "tst_defaultwidget.moc"
