// The default-settings page against the simulated bench: real module
// operations, real boxes answered from the event loop.

#include "flashdefaultsettings.h"
#include "ktmodule.h"
#include "motherboard.h"
#include "pagefixture.h"
#include "testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>

namespace
{

const QString wentWell = "The programming went well. Everything should work as normal";
const QString canceled = "User canceled the operation";
const QString otp = "Infopage on the OTP circuit is done.";

MotherBoard* board(int id)
{
    return qobject_cast<MotherBoard*>(ConnectionManager::Instance()->getBoardByID(id));
}

// Answers message boxes with OK and records their title and text; cancels
// progress dialogs when asked to.
struct BoxRecorder : QObject {
    explicit BoxRecorder(bool cancel = false)
    {
        connect(&timer, &QTimer::timeout, this, [this, cancel] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                seen << QStringList { box->windowTitle(), box->text() };
                box->button(QMessageBox::Ok)->click();
            } else if (qobject_cast<QProgressDialog*>(modal) && cancel) {
                modal->findChild<QPushButton*>()->click();
            }
        });
        timer.start(10);
    }
    QTimer timer;
    QList<QStringList> seen;
};

} // namespace

class TestFlashDefaultSettings : public QObject
{
    Q_OBJECT

    std::unique_ptr<Installation> install;
    std::unique_ptr<FlashDefaultSettings> page;
    LogRecorder log;

    template <typename T> T* child(const QString& name) const { return page->findChild<T*>(name); }
    void open(const QString& devices)
    {
        install->openBench(devices, 100);
        page = std::make_unique<FlashDefaultSettings>(nullptr);
        log.texts.clear();
        log.attach(page.get());
    }

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }
    void init() { install = std::make_unique<Installation>(); }
    void cleanup()
    {
        page.reset();
        install.reset();
    }

    void connectorChoices_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<QList<bool>>("enabled"); // chip label, device types, OTP, extension label
        QTest::newRow("at start") << QString() << QList<bool> { true, false, false, false };
        QTest::newRow("KT Module") << "KTModule" << QList<bool> { true, false, false, false };
        QTest::newRow("KT ISP") << "KTISP" << QList<bool> { false, true, false, false };
        QTest::newRow("Extension Board") << "extensionBoard" << QList<bool> { false, false, true, true };
    }
    void connectorChoices()
    {
        QFETCH(QString, radio);
        open(motherboard(1, 5));
        if (!radio.isEmpty()) {
            // Another choice first, so the row's state is set by its own click.
            child<QRadioButton>(radio == "KTISP" ? "extensionBoard" : "KTISP")->click();
            child<QRadioButton>(radio)->click();
        }
        const QList<bool> enabled { child<QWidget>("chipTypeLabel")->isEnabled(),
            child<QWidget>("deviceTypeSelector")->isEnabled(), child<QWidget>("otpSelector")->isEnabled(),
            child<QWidget>("chipTypeExtensionLabel")->isEnabled() };
        QTEST(enabled, "enabled");
    }

    void chipEntries()
    {
        open(motherboard(1, 5));
        auto* selector = child<QComboBox>("deviceTypeSelector");
        QList<QPair<QString, int>> entries;
        for (int i = 0; i < selector->count(); ++i)
            entries << qMakePair(selector->itemText(i), selector->itemData(i).toInt());
        const QList<QPair<QString, int>> expected { { "KT21 - QFN48", 13 }, { "KT21 - QFN32", 25 },
            { "KT21 - QFN24", 34 }, { "KT22+", 37 }, { "KT52", 125 }, { "KT45 - QFN24", 4 }, { "KT45 - QFN28", 5 } };
        QCOMPARE(entries, expected);
    }

    // Programs from a connector choice; `options` is dongle, otp or cancel.
    void program_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("radio");
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QStringList>("box");
        QTest::addColumn<int>("operations"); // on that slot's module, none on the others
        QTest::addColumn<int>("resets");
        const auto row = [](const char* name, const QString& settings, const QString& radio, const QString& options,
                             int slot, const QStringList& box, int operations, int resets) {
            QTest::newRow(name) << settings << radio << options << slot << box << operations << resets;
        };
        const QString dongle = "externalModule=true";
        const QStringList done { "Programming done", wentWell };
        const QStringList failed { "Programming failed", "Where not able to program" };
        row("verified", dongle, "KTModule", "", 0, done, 2, 1);
        row("programming fails", "programStatus=7", "KTModule", "", 0, failed, 1, 0);
        row("verifying fails", "verifyStatus=9", "KTModule", "", 0, failed, 2, 1);
        row("OTP ends after programming", "", "extensionBoard", "otp", 1, { "Programming done", otp }, 1, 0);
        row("cancel", "", "KTModule", "cancel", 0, { "Operation canceled", canceled }, 1, 0);
        row("dongle", dongle, "KTModule", "dongle", 3, done, 2, 1);
        row("dongle, ISP chosen", dongle, "KTISP", "dongle", 2, done, 2, 1);
        row("dongle, extension chosen", dongle, "extensionBoard", "dongle", 1, done, 2, 1);
        row("dongle, board without it", "", "KTModule", "dongle", 0, done, 2, 1);
    }
    void program()
    {
        QFETCH(QString, settings);
        QFETCH(QString, radio);
        QFETCH(QString, options);
        QFETCH(int, slot);
        QFETCH(int, operations);
        open(motherboard(1, 5, settings));
        child<QCheckBox>("programDongle")->setChecked(options == "dongle");
        child<QRadioButton>(radio)->click();
        child<QCheckBox>("otpSelector")->setChecked(options == "otp");
        child<QComboBox>("deviceTypeSelector")->setCurrentIndex(4); // KT52
        QList<std::shared_ptr<QSignalSpy>> spies;
        for (int s = 0; s < 4; ++s)
            spies << std::make_shared<QSignalSpy>(board(1)->getModule(s), &KTModule::operationDone);
        BoxRecorder boxes(options == "cancel");

        child<QPushButton>("programButton")->click();

        QTRY_COMPARE(boxes.seen.size(), 1);
        QTEST(boxes.seen.first(), "box");
        for (int s = 0; s < 4; ++s)
            QCOMPARE(int(spies.at(s)->size()), s == slot ? operations : 0);
        QTEST(board(1)->resetCount(), "resets");
        const bool toOtp = board(1)->getModule(slot)->targetMemoryType() == KTModule::MemoryOTP;
        QCOMPARE(toOtp, options == "otp");
        if (slot == MotherBoard::SlotISP)
            QCOMPARE(board(1)->ispDeviceType(), 125);
        QCOMPARE(log.texts.contains(canceled), options == "cancel");
    }

    void resetGoesToProgrammedBoard()
    {
        open(motherboard(1, 5) + motherboard(2, 5));
        child<QComboBox>("boardBox")->setCurrentIndex(1);
        // A board notification refills the list while board 2 is being verified.
        connect(board(2)->getModule(0), &KTModule::operationDone, page.get(), [this](quint32 what, quint32) {
            if (what == KTModule::OperationProgramming)
                QTimer::singleShot(0, page.get(), [this] { static_cast<BaseWidget*>(page.get())->boardUpdate(); });
        });
        BoxRecorder boxes;

        child<QPushButton>("programButton")->click();

        QTRY_COMPARE(boxes.seen.size(), 1);
        QCOMPARE(child<QComboBox>("boardBox")->currentIndex(), 0);
        QCOMPARE(board(2)->resetCount(), 1);
        QCOMPARE(board(1)->resetCount(), 0);
    }

    void exitQuitsApplication() // last: it ends an event loop run
    {
        open(motherboard(1, 5));
        QTimer::singleShot(0, child<QPushButton>("exitButton"), &QPushButton::click);
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(TestFlashDefaultSettings)
#include "tst_flashdefaultsettings.moc"
