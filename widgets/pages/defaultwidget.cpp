#include "defaultwidget.h"

#include "applicationdirectory.h"
#include "connectable.h"
#include "connectionmanager.h"
#include "firmwareupdate.h"
#include "motherboard.h"

#include <QButtonGroup>
#include <QDir>
#include <QFileSystemWatcher>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{

quint32 s_currentFirmwareID = 0;
bool s_updating = false;
int s_bootloaderTimeout = FirmwareUpdate::DefaultBootloaderTimeout;

// The page whose update procedure runs; only one procedure at a time, since
// the bootloader jump and the creatable board kinds are process-wide.
DefaultWidget* s_runningPage = nullptr;

// Every overview page alive, so a procedure whose page was replaced can
// refresh the overview that is shown now instead of asking for one itself.
QList<DefaultWidget*>& livePages()
{
    static QList<DefaultWidget*> pages;
    return pages;
}

} // namespace

DefaultWidget::DefaultWidget(QWidget* parent)
    : BaseWidget(parent)
    , watcher(new QFileSystemWatcher)
    , groupBox(nullptr)
    , firmwareLabel(nullptr)
    , upgradeButton(nullptr)
    , mainLayout(nullptr)
    , buttonGroup(nullptr)
    , bootloaderIsConnected(false)
    , processFinished(false)
    , processExitCode(0)
    , bootloaderTimedOut(false)
    , update(new FirmwareUpdate(this))
    , procedureRunning(false)
    , leftPageArea(false)
{
    livePages().append(this);

    mainLayout = new QVBoxLayout;
    groupBox = new QGroupBox(tr("Kestrix MotherBoard firmwares"));
    s_updating = false;

    buildBoardList();

    mainLayout->addWidget(groupBox);
    setLayout(mainLayout);

    connect(watcher, SIGNAL(directoryChanged(QString)), this, SLOT(updateCurrentFirmwareID()));
    watchHexFolder();
    if (s_currentFirmwareID == 0)
        updateCurrentFirmwareID();

    // The procedure lives in the engine; its state lives in this page's
    // members, set by this page's slots.
    update->useFlags({ &bootloaderIsConnected, &bootloaderTimedOut, &processFinished, &processExitCode });
    update->setFirmwareSource([] { return s_currentFirmwareID; });
    connect(update, SIGNAL(logmessage(KestrixStudio::LogLevel, QString)), this,
        SIGNAL(logmessage(KestrixStudio::LogLevel, QString)));
    connect(update, SIGNAL(bootloaderTimeout()), this, SLOT(bootloaderConnectTimeout()));
    connect(update, SIGNAL(toolFinished(int)), this, SLOT(finished(int)));
    connect(update, SIGNAL(bootloaderDeviceLost()), this, SLOT(avrdisconnected()));
    connect(update, &FirmwareUpdate::bootloaderDeviceFound, this,
        [this](Connectable* device) { bootloaderDevice = device; });
    connect(update, &FirmwareUpdate::ending, this, &DefaultWidget::endProcedure);
    connect(update, &FirmwareUpdate::started, this, [this] {
        if (QAbstractButton* button = buttonGroup ? buttonGroup->button(update->boardID()) : nullptr) {
            button->setText(tr("Updating..."));
            button->setEnabled(false);
        }
    });
}

DefaultWidget::~DefaultWidget()
{
    livePages().removeAll(this);
    if (s_runningPage == this) {
        // Deleted from inside its own procedure (someone ignored
        // deleteWhenReplaced()); the update cleans up after itself.
        s_runningPage = nullptr;
        s_updating = false;
    }
    // Before the page's own parts are gone: its last words still reach the page's signal.
    delete update;
    delete watcher;
}

QString DefaultWidget::helpKey()
{
    return QStringLiteral("general/doc/index");
}

QString DefaultWidget::title()
{
    return tr("Connected boards overview");
}

bool DefaultWidget::deleteWhenReplaced()
{
    return !procedureRunning;
}

void DefaultWidget::leavePage()
{
    leftPageArea = true;
}

quint32 DefaultWidget::currentFirmwareID()
{
    return s_currentFirmwareID;
}

bool DefaultWidget::isUpdating()
{
    return s_updating;
}

bool DefaultWidget::updateInProgress()
{
    return s_runningPage != nullptr;
}

void DefaultWidget::setBootloaderTimeoutForTesting(int milliseconds)
{
    s_bootloaderTimeout = milliseconds > 0 ? milliseconds : FirmwareUpdate::DefaultBootloaderTimeout;
}

int DefaultWidget::bootloaderTimeout()
{
    return s_bootloaderTimeout;
}

void DefaultWidget::resetCurrentFirmwareIDForTesting()
{
    s_currentFirmwareID = 0;
}

void DefaultWidget::buildBoardList()
{
    auto* layout = new QVBoxLayout(groupBox);
    ConnectionManager* manager = ConnectionManager::Instance();

    updateFirmwareLabel();
    layout->addWidget(firmwareLabel);
    layout->addWidget(new QLabel(tr("Boards connected:")));

    delete buttonGroup;
    buttonGroup = new QButtonGroup(this);

    if (!manager) {
        layout->addWidget(new QLabel(tr("No boards connected")));
    } else {
        const QMap<int, MotherBoard*> boards = manager->motherBoards();
        for (MotherBoard* motherboard : boards) {
            const quint16 fw = motherboard->getBoardFirmwareID();
            const int id = motherboard->getBoardID();

            auto* label = new QLabel(tr("Board %1 - Firmware %2").arg(id).arg(fw));
            label->setToolTip(tr("Starts an external application that automatically updates the Kestrix Motherboard"));
            upgradeButton = new QPushButton(tr("Upgrade"));
            upgradeButton->setAccessibleName(tr("Upgrade board %1").arg(id));
            auto* row = new QHBoxLayout;
            row->addWidget(label);
            row->addWidget(upgradeButton);
            layout->addLayout(row);
            if (quint32(fw) >= s_currentFirmwareID)
                upgradeButton->setEnabled(false);
            buttonGroup->addButton(upgradeButton, id);
        }
        if (manager->numberOfConnectedDevices() == 0)
            layout->addWidget(new QLabel(tr("No boards connected")));
    }

    layout->addStretch();
    connect(buttonGroup, &QButtonGroup::idClicked, this, &DefaultWidget::startBootloader);
}

void DefaultWidget::updateFirmwareLabel()
{
    if (!firmwareLabel)
        firmwareLabel = new QLabel;
    firmwareLabel->setText(tr("Latest motherboard firmware: %1").arg(s_currentFirmwareID));
}

void DefaultWidget::watchHexFolder()
{
    // A folder that does not exist cannot be watched; watch the application
    // directory instead until the hex folder appears.
    const QString hex = FirmwareUpdate::hexFolder();
    const QString appDir = ApplicationDirectory::path();
    const bool hexExists = QDir(hex).exists();
    const QStringList wanted = hexExists ? QStringList { hex } : QStringList { appDir };

    const QStringList watched = watcher->directories();
    for (const QString& path : watched) {
        if (!wanted.contains(path))
            watcher->removePath(path);
    }
    for (const QString& path : wanted) {
        if (!watcher->directories().contains(path) && QDir(path).exists())
            watcher->addPath(path);
    }
}

void DefaultWidget::updateCurrentFirmwareID()
{
    watchHexFolder();

    const quint32 max = FirmwareUpdate::newestFirmware();
    if (max != s_currentFirmwareID) {
        s_currentFirmwareID = max;
        updateFirmwareLabel();
    }
}

void DefaultWidget::boardUpdate()
{
    // A page that has left the page area never asks for a page: the user has
    // moved on and must not be pulled back to the overview.
    if (s_updating || leftPageArea)
        return;
    emit widgetChange(KestrixStudio::WidgetTypeDefault, 0, 0);
}

void DefaultWidget::bootloaderConnected(bool connected)
{
    bootloaderIsConnected = connected;
}

void DefaultWidget::bootloaderConnectTimeout()
{
    if (!bootloaderIsConnected) {
        bootloaderIsConnected = true;
        bootloaderTimedOut = true;
    }
}

void DefaultWidget::avrdisconnected()
{
    bootloaderDevice = nullptr;
}

void DefaultWidget::finished(int status)
{
    processFinished = true;
    processExitCode = status;
}

void DefaultWidget::endProcedure()
{
    // Last step: ask for a fresh overview. The page is kept alive through the
    // page change this causes (deleteWhenReplaced() is false until here).
    s_updating = false;
    if (!leftPageArea) {
        boardUpdate();
    } else {
        // Replaced meanwhile: refresh an overview that is shown now, if any.
        const QList<DefaultWidget*> pages = livePages();
        for (DefaultWidget* page : pages) {
            if (page != this && !page->leftPageArea)
                QMetaObject::invokeMethod(page, "boardUpdate", Qt::QueuedConnection);
        }
    }
    procedureRunning = false;
    s_runningPage = nullptr;
    if (leftPageArea)
        deleteLater();
}

void DefaultWidget::startBootloader(int boardID)
{
    // Once, however often the procedure starts.
    ConnectionManager* manager = ConnectionManager::Instance();
    disconnect(manager, SIGNAL(bootloaderConnected(bool)), this, SLOT(bootloaderConnected(bool)));
    connect(manager, SIGNAL(bootloaderConnected(bool)), this, SLOT(bootloaderConnected(bool)));

    if (s_runningPage || FirmwareUpdate::active()) {
        emit logmessage(KestrixStudio::LogStatus,
            tr("An update is already running. Please wait until it has finished before starting board %1")
                .arg(boardID));
        return;
    }

    procedureRunning = true;
    s_runningPage = this;
    s_updating = true;
    bootloaderIsConnected = false;
    bootloaderTimedOut = false;
    processFinished = false;
    bootloaderDevice = nullptr;
    update->setBootloaderTimeout(s_bootloaderTimeout);

    QPointer<DefaultWidget> self(this);
    update->run(boardID, s_currentFirmwareID);
    if (!self)
        return;
    if (!update->touchedBoard()) {
        // Refused before the board was touched (gone, busy, bad file, another
        // bootloader): no new page either.
        procedureRunning = false;
        s_runningPage = nullptr;
        s_updating = false;
    }
    // Otherwise the engine's ending() ran endProcedure() at the right step.
}
