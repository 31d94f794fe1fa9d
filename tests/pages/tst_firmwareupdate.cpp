// The motherboard firmware update against the simulated bench: the real
// simulated dfu-programmer for the end-to-end runs, shell scripts standing in
// for it on the failure paths.

#include "boardfactory.h"
#include "connectable.h"
#include "defaultwidget.h"
#include "pagefixture.h"
#include "testsupport.h"

#include <QButtonGroup>
#include <QLabel>
#include <QSignalSpy>

#include <csignal>
#include <sys/types.h>

using namespace PageFixture;

namespace
{

const QString started = QStringLiteral("Starting bootloader on board 1");
const QString updateStarted = QStringLiteral("Starting update of board 1");
const QString updated = QStringLiteral("Board 1 is updated");
const QString notUpdated = QStringLiteral("Could not update board 1");
const QString noBootloader = QStringLiteral("Could not start the bootloader on the KM4200.");
const QString noTool = QStringLiteral("Could not start the updating of the KM4200.");
const QString togglePower = QStringLiteral("Please toggle power of board 1 to reset it.");
const QString boardLost = QStringLiteral("Connection to the board was lost. Please reconnect the board and try again");

// Runs `action` from the event loop once the page logs `text`.
void onLog(BaseWidget* page, const QString& text, std::function<void()> action, int delayMs = 0)
{
    QObject::connect(page, &BaseWidget::logmessage, page, [=](KestrixStudio::LogLevel, const QString& message) {
        if (message == text)
            QTimer::singleShot(delayMs, qApp, action);
    });
}

} // namespace

class TestFirmwareUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void updateSucceeds();
    void failures_data();
    void failures();
    void commandLine();
    void bootloaderFalseDoesNotEndWait();
    void deviceGoneBeforeRenew();
    void toolNeverEnds();
    void boardGoneBeforeClick();
    void secondStartRefused();
    void pageChangeDuringUpdate_data();
    void pageChangeDuringUpdate();

private:
    // An overview page that compares against the scanned number.
    DefaultWidget* scannedPage(PageArea* window);
    void useRealTool();

    std::unique_ptr<Installation> install;
};

void TestFirmwareUpdate::initTestCase()
{
    TestSupport::enterTestMode();
}

void TestFirmwareUpdate::init()
{
    install = std::make_unique<Installation>();
    DefaultWidget::resetCurrentFirmwareIDForTesting();
    DefaultWidget::setBootloaderTimeoutForTesting(0);
}

void TestFirmwareUpdate::cleanup()
{
    QVERIFY(!DefaultWidget::updateInProgress());
    QCOMPARE(BoardFactory::creatableBoards(), QFlags<Connectable::TypeConnected>(Connectable::TypeAll));
    DefaultWidget::setBootloaderTimeoutForTesting(0);
    install.reset();
}

DefaultWidget* TestFirmwareUpdate::scannedPage(PageArea* window)
{
    window->show(new DefaultWidget(nullptr));
    window->show(new DefaultWidget(nullptr));
    return static_cast<DefaultWidget*>(window->current.data());
}

void TestFirmwareUpdate::useRealTool()
{
#ifdef DFU_PROGRAMMER_PATH
    install->writeToolScript(QStringLiteral("exec \"%1\" \"$@\"").arg(QStringLiteral(DFU_PROGRAMMER_PATH)));
#else
    QSKIP("the simulated dfu-programmer is not built");
#endif
}

void TestFirmwareUpdate::updateSucceeds()
{
    install->addFirmware("KestrixFirmware_6.hex");
    install->openBench(motherboard(1, 5));
    useRealTool();
    PageArea window;
    QPointer<DefaultWidget> page = scannedPage(&window);
    QAbstractButton* button = page->findChild<QButtonGroup*>()->button(1);
    QVERIFY(button->isEnabled());

    button->click();

    QCOMPARE(window.log.texts(), (QStringList { started, updateStarted, updated }));
    QCOMPARE(window.log.levelOf(updated), int(KestrixStudio::LogStatus));
    QVERIFY(!DefaultWidget::isUpdating());
    // The page that ran the update is released after its last step, and the
    // fresh overview shows the new firmware.
    QTRY_VERIFY(page.isNull());
    QTRY_VERIFY(labelTexts(window.current).contains("Board 1 - Firmware 6"));
    QVERIFY(!window.current->findChild<QPushButton*>()->isEnabled());
}

void TestFirmwareUpdate::failures_data()
{
    QTest::addColumn<QString>("boardSettings");
    QTest::addColumn<QString>("newestFile");
    QTest::addColumn<QString>("tool"); // "real", "missing" or a script body
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QList<int>>("levels");

    const int status = KestrixStudio::LogStatus;
    const int error = KestrixStudio::LogError;
    QTest::newRow("bootloader silent") << "bootloader=silent"
                                       << "KestrixFirmware_6.hex"
                                       << "exit 0" << QStringList { started, noBootloader, togglePower }
                                       << QList<int> { status, error, status };
    QTest::newRow("tool missing") << QString() << "KestrixFirmware_6.hex"
                                  << "missing" << QStringList { started, noTool, togglePower }
                                  << QList<int> { status, error, status };
    QTest::newRow("tool exits non-zero") << QString() << "KestrixFirmware_6.hex"
                                         << "exit 3" << QStringList { started, updateStarted, notUpdated }
                                         << QList<int> { status, status, error };
    QTest::newRow("zero-padded newest, unpadded file missing")
        << QString() << "KestrixFirmware_0012.hex"
        << "real" << QStringList { started, updateStarted, notUpdated } << QList<int> { status, status, error };
}

void TestFirmwareUpdate::failures()
{
    QFETCH(QString, boardSettings);
    QFETCH(QString, newestFile);
    QFETCH(QString, tool);
    QFETCH(QStringList, log);
    QFETCH(QList<int>, levels);

    install->addFirmware(newestFile);
    install->openBench(motherboard(1, 5, boardSettings));
    if (tool == "real")
        useRealTool();
    else if (tool != "missing")
        install->writeToolScript(tool);
    DefaultWidget::setBootloaderTimeoutForTesting(300);

    DefaultWidget warmUp(nullptr);
    DefaultWidget page(nullptr);
    LogRecorder recorder;
    recorder.attach(&page);
    QSignalSpy changes(&page, &BaseWidget::widgetChange);

    page.startBootloader(1);

    QCOMPARE(recorder.texts(), log);
    for (int i = 0; i < levels.size(); ++i)
        QCOMPARE(recorder.entries.at(i).level, levels.at(i));
    QCOMPARE(changes.size(), 1);
    QVERIFY(!DefaultWidget::isUpdating());
    QVERIFY(page.deleteWhenReplaced());
}

void TestFirmwareUpdate::commandLine()
{
    // The folder name holds a blank; the quoted command line keeps the paths whole.
    install->addFirmware("KestrixFirmware_0012.hex");
    install->openBench(motherboard(1, 5));
    const QString argsFile = install->path() + "/args.txt";
    install->writeToolScript(QStringLiteral("for a in \"$@\"; do echo \"$a\"; done > \"%1\"").arg(argsFile));

    DefaultWidget warmUp(nullptr);
    DefaultWidget page(nullptr);
    LogRecorder recorder;
    recorder.attach(&page);
    page.startBootloader(1);

    QCOMPARE(recorder.texts().last(), updated);
    QFile file(argsFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList args = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(args, (QStringList { "at90usb1287", "flash", install->path() + "/hex/KestrixFirmware_12.hex" }));
}

void TestFirmwareUpdate::bootloaderFalseDoesNotEndWait()
{
    // A silent board: the library lists no bootloader device, only the
    // reports below end the wait, and no renew() follows.
    install->addFirmware("KestrixFirmware_6.hex");
    install->openBench(motherboard(1, 5, "bootloader=silent"));
    const QString marker = install->path() + "/ran";
    install->writeToolScript(QStringLiteral("touch \"%1\"").arg(marker));
    DefaultWidget::setBootloaderTimeoutForTesting(10000);

    DefaultWidget warmUp(nullptr);
    DefaultWidget page(nullptr);
    LogRecorder recorder;
    recorder.attach(&page);
    bool toolRanEarly = false;
    onLog(
        &page, started, [] { emit ConnectionManager::Instance()->bootloaderConnected(false); }, 50);
    onLog(
        &page, started,
        [&] {
            toolRanEarly = QFile::exists(marker);
            emit ConnectionManager::Instance()->bootloaderConnected(true);
        },
        300);

    page.startBootloader(1);

    QVERIFY(!toolRanEarly);
    QVERIFY(QFile::exists(marker));
    QCOMPARE(recorder.texts(), (QStringList { started, updateStarted, updated }));
    QVERIFY(!ConnectionManager::Instance()->getBoardByID(1));
}

void TestFirmwareUpdate::deviceGoneBeforeRenew()
{
    install->addFirmware("KestrixFirmware_6.hex");
    install->openBench(motherboard(1, 5));
    install->writeToolScript("sleep 1");

    DefaultWidget warmUp(nullptr);
    DefaultWidget page(nullptr);
    LogRecorder recorder;
    recorder.attach(&page);
    bool deviceSeen = false;
    bool deviceGone = false;
    // Unplug the board from the bench while the tool runs.
    onLog(&page, updateStarted, [&] {
        const QMap<int, Connectable*> boards = ConnectionManager::Instance()->getBoardIterator();
        for (Connectable* device : boards) {
            if (device->getTypeConnected() == Connectable::TypeBootloader) {
                deviceSeen = true;
                connect(device, &Connectable::disconnected, [&] { deviceGone = true; });
            }
        }
        install->writeBench(QString());
    });

    page.startBootloader(1);

    QVERIFY(deviceSeen);
    QVERIFY(deviceGone); // before the tool ended, so renew() had no device left
    QCOMPARE(recorder.texts(), (QStringList { started, updateStarted, updated }));
    QTRY_VERIFY(ConnectionManager::Instance()->getBoardIterator().isEmpty());
}

void TestFirmwareUpdate::toolNeverEnds()
{
    install->addFirmware("KestrixFirmware_6.hex");
    install->openBench(motherboard(1, 5));
    const QString pidFile = install->path() + "/tool.pid";
    install->writeToolScript(QStringLiteral("echo $$ > \"%1\"\nexec sleep 600").arg(pidFile));

    DefaultWidget warmUp(nullptr);
    DefaultWidget page(nullptr);
    LogRecorder recorder;
    recorder.attach(&page);

    // The window stays responsive: a timer keeps ticking while the tool runs.
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, [&] {
        if (QFile::exists(pidFile))
            ++ticks;
    });
    ticker.start();
    QTimer killer;
    killer.setInterval(20);
    connect(&killer, &QTimer::timeout, [&] {
        QFile file(pidFile);
        if (ticks < 30 || !file.open(QIODevice::ReadOnly))
            return;
        const qint64 pid = file.readAll().trimmed().toLongLong();
        if (pid > 0)
            ::kill(pid_t(pid), SIGKILL);
        killer.stop();
    });
    killer.start();

    page.startBootloader(1);

    QVERIFY(ticks >= 30);
    QVERIFY(!DefaultWidget::isUpdating());
    QCOMPARE(recorder.texts().mid(0, 2), (QStringList { started, updateStarted }));
    QCOMPARE(recorder.texts().size(), 3);
}

void TestFirmwareUpdate::boardGoneBeforeClick()
{
    install->addFirmware("KestrixFirmware_6.hex");
    install->openBench(motherboard(1, 5));
    DefaultWidget warmUp(nullptr);
    DefaultWidget page(nullptr);
    LogRecorder recorder;
    recorder.attach(&page);
    QAbstractButton* button = page.findChild<QButtonGroup*>()->button(1);
    QVERIFY(button->isEnabled());

    QSignalSpy updatedSpy(ConnectionManager::Instance(), &ConnectionManager::updated);
    install->writeBench(QString());
    QTRY_VERIFY(!updatedSpy.isEmpty());
    button->click();

    QCOMPARE(recorder.texts(), QStringList { boardLost });
    QCOMPARE(recorder.entries.first().level, int(KestrixStudio::LogStatus));
    QCOMPARE(button->text(), QStringLiteral("Upgrade"));
    QVERIFY(!DefaultWidget::isUpdating());
}

void TestFirmwareUpdate::secondStartRefused()
{
    install->addFirmware("KestrixFirmware_6.hex");
    install->openBench(motherboard(1, 5) + motherboard(2, 5));
    install->writeToolScript("sleep 0.3");

    DefaultWidget warmUp(nullptr);
    DefaultWidget page(nullptr);
    DefaultWidget other(nullptr);
    LogRecorder recorder;
    recorder.attach(&page);
    recorder.attach(&other);
    onLog(&page, updateStarted, [&] {
        page.startBootloader(1);
        other.startBootloader(2);
    });

    page.startBootloader(1);

    QCOMPARE(recorder.texts().count(started), 1);
    QVERIFY(!recorder.texts().contains("Starting bootloader on board 2"));
    const QStringList refusals = recorder.texts().filter("already running");
    QCOMPARE(refusals.size(), 2);
    QCOMPARE(recorder.texts().last(), updated);
    // Board 2 was left alone.
    QVERIFY(ConnectionManager::Instance()->getBoardByID(2));
}

void TestFirmwareUpdate::pageChangeDuringUpdate_data()
{
    QTest::addColumn<int>("requestedType");
    QTest::addColumn<bool>("firmwareCheck");

    QTest::newRow("tree press to another page") << int(KestrixStudio::WidgetTypeFlash) << false;
    QTest::newRow("fresh overview") << int(KestrixStudio::WidgetTypeDefault) << false;
    QTest::newRow("firmware check") << int(KestrixStudio::WidgetTypeDefault) << true;
}

void TestFirmwareUpdate::pageChangeDuringUpdate()
{
    QFETCH(int, requestedType);
    QFETCH(bool, firmwareCheck);
    install->addFirmware("KestrixFirmware_6.hex");
    install->openBench(motherboard(1, 5));
    install->writeToolScript("sleep 0.3");

    PageArea window;
    QPointer<DefaultWidget> page = scannedPage(&window);
    QPointer<BaseWidget> shownDuringUpdate;
    onLog(page, updateStarted, [&] {
        window.widgetChange(requestedType, firmwareCheck ? -1 : 0, 0);
        shownDuringUpdate = window.current;
        if (firmwareCheck)
            static_cast<DefaultWidget*>(window.current.data())->startBootloader(1);
    });

    page->startBootloader(1);

    QVERIFY(page); // alive through its last step
    QTRY_VERIFY(page.isNull());
    QVERIFY(window.log.texts().contains(updated));
    QCOMPARE(window.log.texts().filter("already running").size(), firmwareCheck ? 1 : 0);
    if (requestedType == KestrixStudio::WidgetTypeDefault) {
        // The overview shown now is refreshed and lists the board again.
        QTRY_VERIFY(labelTexts(window.current).contains("Board 1 - Firmware 5"));
        QVERIFY(qobject_cast<DefaultWidget*>(window.current));
    } else {
        // The user who moved on is not pulled back.
        QVERIFY(shownDuringUpdate);
        QTest::qWait(100);
        QCOMPARE(window.current.data(), shownDuringUpdate.data());
        QCOMPARE(window.changes, 1);
    }
}

QTEST_MAIN(TestFirmwareUpdate)
#include "tst_firmwareupdate.moc"
