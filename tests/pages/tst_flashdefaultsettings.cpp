// The default-settings page against the simulated bench: real module
// operations, real boxes answered from the event loop.

#include "flashdefaultsettings.h"
#include "hexmodel.h"
#include "ktmodule.h"
#include "motherboard.h"
#include "pagefixture.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QSignalSpy>

using namespace PageFixture;

namespace
{

const QString canceledText = QStringLiteral("User canceled the operation");
const QString failedText = QStringLiteral("Where not able to program");
const QString wentWellText = QStringLiteral("The programming went well. Everything should work as normal");
const QString otpText = QStringLiteral("Infopage on the OTP circuit is done.");

MotherBoard* boardNumber(int id)
{
    return qobject_cast<MotherBoard*>(ConnectionManager::Instance()->getBoardByID(id));
}

} // namespace

class TestFlashDefaultSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connectorChoices_data();
    void connectorChoices();
    void boardList();
    void noBoard();
    void chipEntries();
    void ispDeviceTypeSent();
    void dongleRule_data();
    void dongleRule();
    void outcomes_data();
    void outcomes();
    void cancel();
    void resetGoesToProgrammedBoard();
    void exitQuitsApplication(); // last: it ends an event loop run

private:
    template <typename T> T* child(const char* name)
    {
        T* widget = page->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no child %s", name);
        return widget;
    }
    void open(const QString& devices);

    std::unique_ptr<Installation> install;
    std::unique_ptr<FlashDefaultSettings> page;
    std::unique_ptr<LogRecorder> log;
};

void TestFlashDefaultSettings::initTestCase()
{
    TestSupport::enterTestMode();
}

void TestFlashDefaultSettings::init()
{
    install = std::make_unique<Installation>();
}

void TestFlashDefaultSettings::cleanup()
{
    page.reset();
    log.reset();
    install.reset();
}

void TestFlashDefaultSettings::open(const QString& devices)
{
    install->openBench(devices, 100, 100);
    page = std::make_unique<FlashDefaultSettings>(nullptr);
    log = std::make_unique<LogRecorder>();
    log->attach(page.get());
}

void TestFlashDefaultSettings::connectorChoices_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<bool>("chipTypeLabel");
    QTest::addColumn<bool>("deviceTypeSelector");
    QTest::addColumn<bool>("otpSelector");
    QTest::addColumn<bool>("chipTypeExtensionLabel");

    QTest::newRow("at start") << QString() << true << false << false << false;
    QTest::newRow("KT Module") << "KTModule" << true << false << false << false;
    QTest::newRow("KT ISP") << "KTISP" << false << true << false << false;
    QTest::newRow("Extension Board") << "extensionBoard" << false << false << true << true;
}

void TestFlashDefaultSettings::connectorChoices()
{
    QFETCH(QString, radio);
    open(motherboard(1, 5));
    if (!radio.isEmpty()) {
        // Go through another choice first, so the row's state is really set by its own click.
        child<QRadioButton>(radio == "KTISP" ? "extensionBoard" : "KTISP")->click();
        child<QRadioButton>(radio.toLatin1().constData())->click();
    }

    QTEST(child<QLabel>("chipTypeLabel")->isEnabled(), "chipTypeLabel");
    QTEST(child<QComboBox>("deviceTypeSelector")->isEnabled(), "deviceTypeSelector");
    QTEST(child<QCheckBox>("otpSelector")->isEnabled(), "otpSelector");
    QTEST(child<QLabel>("chipTypeExtensionLabel")->isEnabled(), "chipTypeExtensionLabel");
}

void TestFlashDefaultSettings::boardList()
{
    open(motherboard(3, 5, "module=Alpha module\nextension=Beta extension\nexternalModule=true")
        + QStringLiteral("[boot]\nid=2\ntype=4\n\n") + motherboard(1, 5));
    auto* box = child<QComboBox>("boardBox");
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->itemText(0), QStringLiteral("Board 1"));
    QCOMPARE(box->itemText(1), QStringLiteral("Board 3"));
    QCOMPARE(box->itemData(1).toInt(), 3);
    QCOMPARE(box->currentIndex(), 0);
    QCOMPARE(child<QLabel>("chipTypeLabel")->text(), QStringLiteral("KT24 module"));
    QVERIFY(child<QCheckBox>("programDongle")->isHidden());

    box->setCurrentIndex(1);
    QCOMPARE(child<QLabel>("chipTypeLabel")->text(), QStringLiteral("Alpha module"));
    QCOMPARE(child<QLabel>("chipTypeExtensionLabel")->text(), QStringLiteral("Beta extension"));
    QVERIFY(!child<QCheckBox>("programDongle")->isHidden());

    // A board notification refills the list and selects the first board.
    static_cast<BaseWidget*>(page.get())->boardUpdate();
    QCOMPARE(box->currentIndex(), 0);
    QVERIFY(child<QCheckBox>("programDongle")->isHidden());
}

void TestFlashDefaultSettings::noBoard()
{
    open(QString());
    QCOMPARE(child<QComboBox>("boardBox")->count(), 0);
    QCOMPARE(child<QLabel>("chipTypeLabel")->text(), QStringLiteral("No board selected"));
    QCOMPARE(child<QLabel>("chipTypeExtensionLabel")->text(), QStringLiteral("No board selected"));
    QVERIFY(child<QCheckBox>("programDongle")->isHidden());

    BoxRecorder boxes;
    child<QPushButton>("programButton")->click();
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.first().title, QStringLiteral("Board not connected"));
    QCOMPARE(boxes.boxes.first().text,
        QStringLiteral("The selected board has been disconnected.\r\nPlease reconnect the board and try again."));
    QVERIFY(log->entries.isEmpty());
}

void TestFlashDefaultSettings::chipEntries()
{
    open(motherboard(1, 5));
    auto* selector = child<QComboBox>("deviceTypeSelector");
    const QList<QPair<QString, int>> expected { { "KT21 - QFN48", 13 }, { "KT21 - QFN32", 25 }, { "KT21 - QFN24", 34 },
        { "KT22+", 37 }, { "KT52", 125 }, { "KT45 - QFN24", 4 }, { "KT45 - QFN28", 5 } };
    QCOMPARE(selector->count(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(selector->itemText(i), expected.at(i).first);
        QCOMPARE(selector->itemData(i).toInt(), expected.at(i).second);
    }
}

void TestFlashDefaultSettings::ispDeviceTypeSent()
{
    open(motherboard(1, 5));
    child<QRadioButton>("KTISP")->click();
    child<QComboBox>("deviceTypeSelector")->setCurrentIndex(4); // KT52
    QSignalSpy isp(boardNumber(1)->getModule(MotherBoard::SlotISP), &KTModule::operationDone);
    BoxRecorder boxes;
    child<QPushButton>("programButton")->click();
    QCOMPARE(boardNumber(1)->ispDeviceType(), 125);
    QTRY_COMPARE(boxes.boxes.size(), 1);
    QCOMPARE(isp.size(), 2);
}

void TestFlashDefaultSettings::dongleRule_data()
{
    QTest::addColumn<bool>("capability");
    QTest::addColumn<QString>("radio");
    QTest::addColumn<bool>("dongleChecked");
    QTest::addColumn<int>("slot");

    QTest::newRow("dongle on module connector") << true << "KTModule" << true << 3;
    QTest::newRow("dongle unchecked") << true << "KTModule" << false << 0;
    QTest::newRow("dongle checked but ISP chosen") << true << "KTISP" << true << 2;
    QTest::newRow("dongle checked but extension chosen") << true << "extensionBoard" << true << 1;
    QTest::newRow("dongle checked on a board without it") << false << "KTModule" << true << 0;
}

void TestFlashDefaultSettings::dongleRule()
{
    QFETCH(bool, capability);
    QFETCH(QString, radio);
    QFETCH(bool, dongleChecked);
    QFETCH(int, slot);
    open(motherboard(1, 5, capability ? "externalModule=true" : "externalModule=false"));
    child<QCheckBox>("programDongle")->setChecked(dongleChecked);
    child<QRadioButton>(radio.toLatin1().constData())->click();

    MotherBoard* board = boardNumber(1);
    QList<std::shared_ptr<QSignalSpy>> spies;
    for (int s = 0; s < 4; ++s)
        spies.append(std::make_shared<QSignalSpy>(board->getModule(s), &KTModule::operationDone));
    BoxRecorder boxes;
    child<QPushButton>("programButton")->click();
    QTRY_COMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.first().text, wentWellText);
    for (int s = 0; s < 4; ++s)
        QCOMPARE(spies.at(s)->size(), s == slot ? 2 : 0);
    QVERIFY(!board->getModule(slot)->memory(KTModule::MemoryNormal).isEmpty());
}

void TestFlashDefaultSettings::outcomes_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<bool>("otp");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("progress");
    QTest::addColumn<int>("resets");

    QTest::newRow("programmed and verified")
        << QString() << false << "Programming done" << wentWellText << QStringList { "Programming", "Verifying" } << 1;
    QTest::newRow("programming fails") << "programStatus=7" << false << "Programming failed" << failedText
                                       << QStringList { "Programming" } << 0;
    QTest::newRow("verifying fails") << "verifyStatus=9" << false << "Programming failed" << failedText
                                     << QStringList { "Programming", "Verifying" } << 1;
    QTest::newRow("OTP ends after programming")
        << QString() << true << "Programming done" << otpText << QStringList { "Programming" } << 0;
}

void TestFlashDefaultSettings::outcomes()
{
    QFETCH(QString, settings);
    QFETCH(bool, otp);
    QFETCH(int, resets);
    open(motherboard(1, 5, settings));
    const int slot = otp ? MotherBoard::SlotExtensionBoard : MotherBoard::SlotModule;
    if (otp) {
        child<QRadioButton>("extensionBoard")->click();
        child<QCheckBox>("otpSelector")->setChecked(true);
    }
    MotherBoard* board = boardNumber(1);
    KTModule* module = board->getModule(slot);
    QSignalSpy done(module, &KTModule::operationDone);

    BoxRecorder boxes;
    child<QPushButton>("programButton")->click();
    QTRY_COMPARE(boxes.boxes.size(), 1);

    QTEST(boxes.boxes.first().title, "title");
    QTEST(boxes.boxes.first().text, "text");
    QTEST(boxes.progressLabels, "progress");
    QCOMPARE(board->resetCount(), resets);
    QVERIFY(board->defaultMode());
    QCOMPARE(module->targetMemoryType(), otp ? KTModule::MemoryOTP : KTModule::MemoryNormal);
    QCOMPARE(done.size(), boxes.progressLabels.size());
    QCOMPARE(log->texts(), QStringList { "Checking HEX file" });
}

void TestFlashDefaultSettings::cancel()
{
    open(motherboard(1, 5));
    MotherBoard* board = boardNumber(1);
    BoxRecorder boxes;
    boxes.cancelProgress = true;
    child<QPushButton>("programButton")->click();
    QTRY_COMPARE(boxes.boxes.size(), 1);

    QCOMPARE(boxes.boxes.first().title, QStringLiteral("Operation canceled"));
    QCOMPARE(boxes.boxes.first().text, canceledText);
    QCOMPARE(boxes.progressLabels, QStringList { "Programming" });
    QCOMPARE(log->texts(), (QStringList { "Checking HEX file", canceledText }));
    QCOMPARE(log->levelOf(canceledText), int(KestrixStudio::LogStatus));
    QCOMPARE(board->resetCount(), 0);
}

void TestFlashDefaultSettings::resetGoesToProgrammedBoard()
{
    open(motherboard(1, 5) + motherboard(2, 5));
    child<QComboBox>("boardBox")->setCurrentIndex(1);
    MotherBoard* first = boardNumber(1);
    MotherBoard* second = boardNumber(2);

    // A board notification arrives while board 2 is being verified.
    connect(second->getModule(0), &KTModule::operationDone, page.get(), [this](quint32 what, quint32) {
        if (what == KTModule::OperationProgramming)
            QTimer::singleShot(0, page.get(), [this] { static_cast<BaseWidget*>(page.get())->boardUpdate(); });
    });
    BoxRecorder boxes;
    child<QPushButton>("programButton")->click();
    QTRY_COMPARE(boxes.boxes.size(), 1);

    QCOMPARE(boxes.boxes.first().text, wentWellText);
    QCOMPARE(child<QComboBox>("boardBox")->currentIndex(), 0);
    QCOMPARE(second->resetCount(), 1);
    QCOMPARE(first->resetCount(), 0);
}

void TestFlashDefaultSettings::exitQuitsApplication()
{
    open(motherboard(1, 5));
    QSignalSpy aboutToQuit(qApp, &QCoreApplication::aboutToQuit);
    QTimer::singleShot(0, child<QPushButton>("exitButton"), &QPushButton::click);
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    guard.start(5000);

    QCOMPARE(QCoreApplication::exec(), 0);
    QCOMPARE(aboutToQuit.size(), 1);
    QVERIFY(page); // the page is not closed by itself; the application ends
}

QTEST_MAIN(TestFlashDefaultSettings)
#include "tst_flashdefaultsettings.moc"
