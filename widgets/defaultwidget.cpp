#include "defaultwidget.h"

#include "applicationdirectory.h"
#include "boardfactory.h"
#include "connectable.h"
#include "connectionmanager.h"
#include "motherboard.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QDir>
#include <QFileSystemWatcher>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

Q_LOGGING_CATEGORY(lcFirmwareUpdate, "kestrix.firmwareupdate", QtWarningMsg)

namespace
{

const int defaultBootloaderTimeout = 20000;
const int toolStartTimeout = 5000;
const QFlags<Connectable::TypeConnected> bootloaderKindsOnly(Connectable::TypeBootloader);
const QFlags<Connectable::TypeConnected> allKinds(Connectable::TypeAll);
const char toolTarget[] = "at90usb1287";
const char toolCommand[] = "flash";
#ifdef Q_OS_WIN
const char toolName[] = "dfu-programmer.exe";
#else
const char toolName[] = "dfu-programmer";
#endif

quint32 s_currentFirmwareID = 0;
bool s_updating = false;
int s_bootloaderTimeout = defaultBootloaderTimeout;

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
    , bootloaderTimer(new QTimer(this))
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

    bootloaderTimer->setSingleShot(true);
    bootloaderTimer->setTimerType(Qt::PreciseTimer);
    connect(bootloaderTimer, SIGNAL(timeout()), this, SLOT(bootloaderConnectTimeout()));
}

DefaultWidget::~DefaultWidget()
{
    livePages().removeAll(this);
    if (s_runningPage == this) {
        // Deleted from inside its own procedure (someone ignored
        // deleteWhenReplaced()): leave the process-wide state usable.
        qCWarning(lcFirmwareUpdate) << "overview page deleted while its update runs";
        s_runningPage = nullptr;
        s_updating = false;
        BoardFactory::setCreatableBoards(allKinds);
        ConnectionManager::Instance()->enableAutomaticDeviceUpdateNotifications();
    }
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
    s_bootloaderTimeout = milliseconds > 0 ? milliseconds : defaultBootloaderTimeout;
}

int DefaultWidget::bootloaderTimeout()
{
    return s_bootloaderTimeout;
}

void DefaultWidget::resetCurrentFirmwareIDForTesting()
{
    s_currentFirmwareID = 0;
}

QString DefaultWidget::hexFolder()
{
    return QStringLiteral("%1/hex/").arg(ApplicationDirectory::path());
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
        const QMap<int, Connectable*> boards = manager->getBoardIterator();
        for (Connectable* connectable : boards) {
            if (!connectable || connectable->getTypeConnected() != Connectable::TypeMotherBoard)
                continue;
            auto* motherboard = static_cast<MotherBoard*>(connectable);
            const quint16 fw = motherboard->getBoardFirmwareID();
            const int id = connectable->getBoardID() & 0xff;

            auto* label = new QLabel(tr("Board %1 - Firmware %2").arg(id).arg(fw));
            label->setToolTip(tr("Starts an external application that automatically updates the Kestrix Motherboard"));
            upgradeButton = new QPushButton(tr("Upgrade"));
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
    const QString hex = hexFolder();
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

    const QDir dir(hexFolder());
    const QStringList names
        = dir.entryList({ QStringLiteral("*.hex") }, QDir::Files, QDir::Name | QDir::Reversed | QDir::IgnoreCase);
    quint32 max = 0;
    for (QString name : names) {
        name.remove(QStringLiteral("KestrixFirmware_"));
        name.remove(QStringLiteral(".hex"));
        bool ok = false;
        const quint32 number = name.toUInt(&ok);
        if (ok && number > max)
            max = number;
    }
    if (max != s_currentFirmwareID) {
        qCDebug(lcFirmwareUpdate) << "newest firmware" << s_currentFirmwareID << "->" << max;
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
    qCDebug(lcFirmwareUpdate) << "bootloader device disconnected";
    bootloaderDevice = nullptr;
}

void DefaultWidget::finished(int status)
{
    processFinished = true;
    processExitCode = status;
}

bool DefaultWidget::waitFor(bool DefaultWidget::*flag)
{
    // The flags change only in slots that these passes run. Blocking for the
    // next event keeps the window responsive without burning a core; unlike a
    // nested QEventLoop it also keeps waiting once the application was asked
    // to quit, so the procedure always reaches its end.
    QPointer<DefaultWidget> self(this);
    while (self && !(self->*flag))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return !self.isNull();
}

bool DefaultWidget::endProcedure()
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
    if (leftPageArea) {
        deleteLater();
        return false;
    }
    return true;
}

void DefaultWidget::startBootloader(int boardID)
{
    if (s_runningPage) {
        emit logmessage(KestrixStudio::LogStatus,
            tr("An update is already running. Please wait until it has finished before starting board %1")
                .arg(boardID));
        return;
    }

    ConnectionManager* manager = ConnectionManager::Instance();
    disconnect(manager, SIGNAL(bootloaderConnected(bool)), this, SLOT(bootloaderConnected(bool)));
    connect(manager, SIGNAL(bootloaderConnected(bool)), this, SLOT(bootloaderConnected(bool)));

    Connectable* connectable = manager->getBoardByID(boardID);
    if (!connectable) {
        emit logmessage(
            KestrixStudio::LogStatus, tr("Connection to the board was lost. Please reconnect the board and try again"));
        return;
    }
    if (connectable->getTypeConnected() != Connectable::TypeMotherBoard)
        return;
    auto* motherboard = static_cast<MotherBoard*>(connectable);

    if (QAbstractButton* button = buttonGroup ? buttonGroup->button(boardID) : nullptr) {
        button->setText(tr("Updating..."));
        button->setEnabled(false);
    }
    emit logmessage(KestrixStudio::LogStatus, tr("Starting bootloader on board %1").arg(boardID));

    procedureRunning = true;
    s_runningPage = this;
    s_updating = true;
    bootloaderIsConnected = false;
    bootloaderTimedOut = false;

    manager->disableAutomaticDeviceUpdateNotifications();
    motherboard->jumpToBootloader();
    BoardFactory::setCreatableBoards(bootloaderKindsOnly);
    manager->enableAutomaticDeviceUpdateNotifications();

    qCDebug(lcFirmwareUpdate) << "waiting" << s_bootloaderTimeout << "ms for the bootloader of board" << boardID;
    bootloaderTimer->start(s_bootloaderTimeout);
    if (!waitFor(&DefaultWidget::bootloaderIsConnected))
        return; // the page was deleted; its destructor restored the board kinds
    // An earlier attempt's timer must not end a later attempt's wait.
    bootloaderTimer->stop();

    if (bootloaderTimedOut) {
        emit logmessage(KestrixStudio::LogError, tr("Could not start the bootloader on the KM4200."));
        emit logmessage(KestrixStudio::LogStatus, tr("Please toggle power of board %1 to reset it.").arg(boardID));
        endProcedure();
        BoardFactory::setCreatableBoards(allKinds);
        return;
    }

    bootloaderDevice = nullptr;
    const QMap<int, Connectable*> boards = manager->getBoardIterator();
    for (Connectable* device : boards) {
        if (device && device->getTypeConnected() == Connectable::TypeBootloader) {
            bootloaderDevice = device;
            connect(device, SIGNAL(disconnected()), this, SLOT(avrdisconnected()), Qt::UniqueConnection);
            break;
        }
    }
    qCDebug(lcFirmwareUpdate) << "bootloader reported; device" << bootloaderDevice.data();

    manager->disableAutomaticDeviceUpdateNotifications();

    const QString appDir = ApplicationDirectory::path();
    const QString toolPath = QStringLiteral("%1/%2").arg(appDir, QLatin1String(toolName));
    const QString firmwarePath = QStringLiteral("%1/hex/KestrixFirmware_%2.hex").arg(appDir).arg(s_currentFirmwareID);
    const QString commandLine
        = tr("\"%1\" %2 %3 \"%4\"").arg(toolPath, QLatin1String(toolTarget), QLatin1String(toolCommand), firmwarePath);

    processFinished = false;
    auto process = std::make_unique<QProcess>();
    connect(process.get(), SIGNAL(finished(int, QProcess::ExitStatus)), this, SLOT(finished(int)));
    // The tool's output only matters for diagnostics; read it so it does not pile up.
    process->setProcessChannelMode(QProcess::MergedChannels);
    connect(process.get(), &QProcess::readyReadStandardOutput, process.get(), [p = process.get()] {
        qCDebug(lcFirmwareUpdate).noquote() << "tool:" << QString::fromLocal8Bit(p->readAllStandardOutput()).trimmed();
    });
    QStringList arguments = QProcess::splitCommand(commandLine);
    const QString program = arguments.isEmpty() ? QString() : arguments.takeFirst();
    qCDebug(lcFirmwareUpdate).noquote() << "running" << commandLine;
    process->start(program, arguments, QIODevice::ReadWrite);

    if (!process->waitForStarted(toolStartTimeout)) {
        qCDebug(lcFirmwareUpdate) << "tool did not start:" << process->errorString();
        BoardFactory::setCreatableBoards(allKinds);
        manager->enableAutomaticDeviceUpdateNotifications();
        emit logmessage(KestrixStudio::LogError, tr("Could not start the updating of the KM4200."));
        emit logmessage(KestrixStudio::LogStatus, tr("Please toggle power of board %1 to reset it.").arg(boardID));
        endProcedure();
        return;
    }

    emit logmessage(KestrixStudio::LogStatus, tr("Starting update of board %1").arg(boardID));
    if (!waitFor(&DefaultWidget::processFinished))
        return;
    qCDebug(lcFirmwareUpdate) << "tool ended with exit code" << processExitCode;
    if (bootloaderDevice) {
        Connectable* device = bootloaderDevice;
        bootloaderDevice = nullptr;
        device->renew();
    }
    BoardFactory::setCreatableBoards(allKinds);
    manager->enableAutomaticDeviceUpdateNotifications();

    if (processExitCode == 0)
        emit logmessage(KestrixStudio::LogStatus, tr("Board %1 is updated").arg(boardID));
    else
        emit logmessage(KestrixStudio::LogError, tr("Could not update board %1").arg(boardID));
    endProcedure();
}
