#include "firmwareupdate.h"

#include "applicationdirectory.h"
#include "boardfactory.h"
#include "boardreservation.h"
#include "connectable.h"
#include "connectionmanager.h"
#include "hexmodel.h"
#include "hexparserfactory.h"
#include "motherboard.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

// Off by default; QT_LOGGING_RULES="kestrix.firmwareupdate.debug=true" traces
// the waits, the tool's command line and its output.
Q_LOGGING_CATEGORY(lcFirmwareUpdate, "kestrix.firmwareupdate", QtWarningMsg)

namespace
{

const int toolStartTimeout = 5000;
const int toolKillTimeout = 5000;
// Output lines kept for the report of a failed run.
const int outputTailLines = 3;
const QFlags<Connectable::TypeConnected> bootloaderKindsOnly(Connectable::TypeBootloader);
const QFlags<Connectable::TypeConnected> allKinds(Connectable::TypeAll);
const char toolTarget[] = "at90usb1287";
const char toolCommand[] = "flash";
#ifdef Q_OS_WIN
const char toolName[] = "dfu-programmer.exe";
#else
const char toolName[] = "dfu-programmer";
#endif
// Names the tool outright (test rigs, the demo); wins over any installed one.
const char toolVariable[] = "KESTRIX_DFU_PROGRAMMER";

FirmwareUpdate* s_active = nullptr;

} // namespace

FirmwareUpdate::FirmwareUpdate(QObject* parent)
    : QObject(parent)
    , timer(new QTimer(this))
{
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, &FirmwareUpdate::onBootloaderTimeout);
}

FirmwareUpdate::~FirmwareUpdate()
{
    if (!running)
        return;
    // Deleted inside its own run(): no tool left behind, the library usable.
    qCWarning(lcFirmwareUpdate) << "update of board" << board << "deleted while it runs";
    cancel();
    s_active = nullptr;
    restoreBus();
}

FirmwareUpdate* FirmwareUpdate::active()
{
    return s_active;
}

QString FirmwareUpdate::hexFolder()
{
    return QStringLiteral("%1/hex/").arg(ApplicationDirectory::path());
}

QString FirmwareUpdate::toolPath()
{
    const QString named = qEnvironmentVariable(toolVariable);
    if (!named.isEmpty())
        return QFileInfo(named).absoluteFilePath();
    // One shipped with the application wins over the distribution's.
    const QString beside = QStringLiteral("%1/%2").arg(ApplicationDirectory::path(), QLatin1String(toolName));
    if (QFileInfo(beside).isFile())
        return beside;
    const QString onPath = QStandardPaths::findExecutable(QLatin1String(toolName));
    return onPath.isEmpty() ? beside : onPath;
}

QString FirmwareUpdate::firmwarePath(quint32 firmware)
{
    return QStringLiteral("%1/hex/KestrixFirmware_%2.hex").arg(ApplicationDirectory::path()).arg(firmware);
}

quint32 FirmwareUpdate::newestFirmware()
{
    const QStringList names
        = QDir(hexFolder())
              .entryList({ QStringLiteral("*.hex") }, QDir::Files, QDir::Name | QDir::Reversed | QDir::IgnoreCase);
    quint32 newest = 0;
    for (QString name : names) {
        // Case-sensitive on purpose: "x.HEX" keeps its extension and counts as 0.
        name.remove(QStringLiteral("KestrixFirmware_"));
        name.remove(QStringLiteral(".hex"));
        newest = qMax(newest, name.toUInt());
    }
    return newest;
}

void FirmwareUpdate::log(KestrixStudio::LogLevel level, const QString& text)
{
    emit logmessage(level, text);
}

void FirmwareUpdate::onBootloaderConnected(bool connected)
{
    bootloaderIsConnected = connected;
}

void FirmwareUpdate::onBootloaderTimeout()
{
    // The caller's slot applies the rule to its own flags.
    if (flags.bootloaderIsConnected == &bootloaderIsConnected && !bootloaderIsConnected) {
        bootloaderIsConnected = true;
        timedOut = true;
    }
    emit bootloaderTimeout();
}

void FirmwareUpdate::onToolFinished(int exitCode, QProcess::ExitStatus status)
{
    // The exit code alone decides; a crash is only named in the report.
    toolCrashed = status == QProcess::CrashExit;
    if (flags.processFinished == &toolEnded) {
        toolEnded = true;
        toolExitCode = exitCode;
    }
    emit toolFinished(exitCode);
}

void FirmwareUpdate::onToolOutput()
{
    partialLine += process->readAll();
    const int end = partialLine.lastIndexOf('\n');
    if (end < 0)
        return;
    const QList<QByteArray> lines = partialLine.left(end).split('\n');
    partialLine.remove(0, end + 1);
    for (const QByteArray& raw : lines) {
        const QString line = QString::fromLocal8Bit(raw).trimmed();
        if (line.isEmpty())
            continue;
        qCDebug(lcFirmwareUpdate).noquote() << "tool:" << line;
        outputTail.append(line);
        if (outputTail.size() > outputTailLines)
            outputTail.removeFirst();
    }
}

bool FirmwareUpdate::waitUntil(const std::function<bool()>& done)
{
    // Blocks for the next event, so the window stays responsive without
    // burning a core. Unlike a nested QEventLoop it keeps waiting once the
    // application was asked to quit, so the procedure always reaches its end.
    QPointer<FirmwareUpdate> self(this);
    while (self && !cancelled && !done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return !self.isNull();
}

FirmwareUpdate::Result FirmwareUpdate::end(Result result)
{
    // Every exit of a run that touched the board passes here.
    restoreBus();
    timer->stop();
    disconnect(ConnectionManager::Instance(), nullptr, this, nullptr);
    disconnect(deviceConnection);
    delete process;
    process = nullptr;
    running = false;
    s_active = nullptr;
    BoardReservation::release(board, this);
    qCDebug(lcFirmwareUpdate) << "update of board" << board << "ended:" << result;
    if (!endingSent) {
        endingSent = true;
        emit ending();
    }
    return result;
}

void FirmwareUpdate::cancel()
{
    if (!running || cancelled)
        return;
    cancelled = true;
    if (process && process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(toolKillTimeout);
        log(KestrixStudio::LogError,
            tr("The update of board %1 was cancelled and dfu-programmer was ended: the board may be left without "
               "firmware.")
                .arg(board));
    } else {
        log(KestrixStudio::LogError, tr("The update of board %1 was cancelled.").arg(board));
    }
    log(KestrixStudio::LogStatus, tr("Please toggle power of board %1 to reset it.").arg(board));
}

bool FirmwareUpdate::checkFirmwareFile(quint32 firmware, QString* problem)
{
    const QString path = firmwarePath(firmware);
    const QString shown = QDir::toNativeSeparators(path);
    QString error;
    HexModel image;
    if (!QFileInfo::exists(path)) {
        // A zero-padded name ("_013") gives the number, but the tool is handed the plain one.
        error = tr("%1 does not exist (the newest number in %2 is %3: name its file KestrixFirmware_%3.hex)")
                    .arg(shown, QDir::toNativeSeparators(hexFolder()))
                    .arg(firmware);
    } else if (!HexParserFactory::read(path, &image, HexParserFactory::FormatIntelHex, &error)) {
        error = tr("%1: %2").arg(shown, error);
    } else if (image.isEmpty()) {
        error = tr("%1 holds no data records").arg(shown);
    } else {
        return true;
    }
    if (problem)
        *problem = error;
    return false;
}

QList<int> FirmwareUpdate::waitingBootloaders()
{
    QList<int> ids;
    const QMap<int, Connectable*> boards = ConnectionManager::Instance()->getBoardIterator();
    for (Connectable* device : boards) {
        if (device && device->getTypeConnected() == Connectable::TypeBootloader)
            ids << device->getBoardID();
    }
    return ids;
}

QList<int> FirmwareUpdate::otherBootloaders(int boardID)
{
    QList<int> ids = waitingBootloaders();
    const QList<int> jumping = ConnectionManager::Instance()->boardsJumpingToBootloader();
    for (int id : jumping) {
        if (!ids.contains(id))
            ids << id;
    }
    ids.removeAll(boardID & 0xff);
    std::sort(ids.begin(), ids.end());
    return ids;
}

QString FirmwareUpdate::otherBootloaderText(const QList<int>& boards)
{
    QStringList ids;
    for (int id : boards)
        ids << QString::number(id);
    return tr("another board waits in its bootloader: board %1; update it first or toggle its power")
        .arg(ids.join(QStringLiteral(", ")));
}

void FirmwareUpdate::restoreBus()
{
    BoardFactory::setCreatableBoards(allKinds);
    ConnectionManager::Instance()->enableAutomaticDeviceUpdateNotifications();
}

FirmwareUpdate::Result FirmwareUpdate::run(int boardID, quint32 firmware)
{
    if (s_active)
        return Busy;
    board = boardID;
    cancelled = bootloaderIsConnected = timedOut = toolEnded = toolCrashed = deviceLeft = touched = endingSent = false;
    toolExitCode = 0;
    flags = callerFlags.bootloaderIsConnected && callerFlags.bootloaderTimedOut && callerFlags.processFinished
            && callerFlags.processExitCode
        ? callerFlags
        : Flags { &bootloaderIsConnected, &timedOut, &toolEnded, &toolExitCode };
    *flags.bootloaderIsConnected = *flags.bootloaderTimedOut = false;
    outputTail.clear();
    partialLine.clear();
    bootloaderDevice = nullptr;

    ConnectionManager* manager = ConnectionManager::Instance();
    Connectable* connectable = manager->getBoardByID(boardID);
    if (!connectable) {
        log(KestrixStudio::LogStatus, tr("Connection to the board was lost. Please reconnect the board and try again"));
        return BoardLost;
    }
    const bool waiting = connectable->getTypeConnected() == Connectable::TypeBootloader;
    if (connectable->getTypeConnected() != Connectable::TypeMotherBoard && !(waiting && finishWaiting))
        return NotMotherBoard;

    // Everything that can refuse the update is checked while the board still runs its firmware.
    if (BoardReservation::isHeldByOther(boardID, this)) {
        log(KestrixStudio::LogError,
            tr("Board %1 was not updated: %2.").arg(boardID).arg(BoardReservation::activity(boardID)));
        return Busy;
    }
    QString problem;
    if (!checkFirmwareFile(firmware, &problem)) {
        log(KestrixStudio::LogError, tr("The firmware file cannot be used: %1. No board was touched.").arg(problem));
        return BadFirmwareFile;
    }
    const QList<int> others = otherBootloaders(boardID);
    if (!others.isEmpty()) {
        log(KestrixStudio::LogError, tr("Board %1 was not updated: %2.").arg(boardID).arg(otherBootloaderText(others)));
        return OtherBootloader;
    }

    running = true;
    touched = true;
    s_active = this;
    BoardReservation::reserve(boardID, this, tr("Board %1 is being updated to firmware %2").arg(boardID).arg(firmware));
    emit started();
    if (waiting) {
        log(KestrixStudio::LogStatus, tr("Board %1 already waits in its bootloader").arg(boardID));
        BoardFactory::setCreatableBoards(bootloaderKindsOnly);
    } else {
        const Result jumped = jump(static_cast<MotherBoard*>(connectable));
        if (jumped != Updated)
            return jumped;
    }
    return flash(firmware);
}

FirmwareUpdate::Result FirmwareUpdate::jump(MotherBoard* motherBoard)
{
    ConnectionManager* manager = ConnectionManager::Instance();
    const int boardID = board;
    log(KestrixStudio::LogStatus, tr("Starting bootloader on board %1").arg(boardID));

    // A caller with flags of its own has connected its slot to the manager itself.
    if (flags.bootloaderIsConnected == &bootloaderIsConnected)
        connect(manager, &ConnectionManager::bootloaderConnected, this, &FirmwareUpdate::onBootloaderConnected);
    manager->disableAutomaticDeviceUpdateNotifications();
    motherBoard->jumpToBootloader();
    BoardFactory::setCreatableBoards(bootloaderKindsOnly);
    manager->enableAutomaticDeviceUpdateNotifications();

    qCDebug(lcFirmwareUpdate) << "waiting" << bootloaderWait << "ms for the bootloader of board" << boardID;
    timer->start(bootloaderWait);
    // Unplugged during the jump, the board never reports: no need to wait it out.
    const auto unplugged = [manager, boardID] {
        return !manager->boardsJumpingToBootloader().contains(boardID) && !manager->getBoardByID(boardID);
    };
    bool lost = false;
    // A bootloaderConnected(false) meanwhile does not end the wait.
    if (!waitUntil([&] { return *flags.bootloaderIsConnected || (lost = unplugged()); }))
        return Cancelled; // deleted meanwhile; the destructor cleaned up
    timer->stop();
    if (cancelled)
        return end(Cancelled);
    if (lost && !*flags.bootloaderIsConnected) {
        log(KestrixStudio::LogError, tr("Board %1 was unplugged before its bootloader reported.").arg(boardID));
        return end(LostDuringJump);
    }
    if (*flags.bootloaderTimedOut) {
        log(KestrixStudio::LogError, tr("Could not start the bootloader on the KM4200."));
        log(KestrixStudio::LogStatus, tr("Please toggle power of board %1 to reset it.").arg(boardID));
        // The caller's page is replaced before all board kinds come back.
        QPointer<FirmwareUpdate> self(this);
        endingSent = true;
        emit ending();
        restoreBus();
        return self ? end(BootloaderTimedOut) : BootloaderTimedOut;
    }
    return Updated;
}

FirmwareUpdate::Result FirmwareUpdate::flash(quint32 firmware)
{
    ConnectionManager* manager = ConnectionManager::Instance();
    const int boardID = board;
    // The tool flashes the first bootloader it finds: another one on the bus
    // (one that reported late, or waited from the start) would get this firmware.
    const QList<int> others = otherBootloaders(boardID);
    if (!others.isEmpty()) {
        log(KestrixStudio::LogError,
            tr("dfu-programmer was not started for board %1: %2.").arg(boardID).arg(otherBootloaderText(others)));
        log(KestrixStudio::LogStatus, tr("Please toggle power of board %1 to reset it.").arg(boardID));
        return end(OtherBootloader);
    }

    // renew() later brings the device back as a motherboard.
    const QMap<int, Connectable*> boards = manager->getBoardIterator();
    for (Connectable* device : boards) {
        if (device && device->getTypeConnected() == Connectable::TypeBootloader) {
            bootloaderDevice = device;
            deviceConnection = connect(device, &Connectable::disconnected, this, [this] {
                qCDebug(lcFirmwareUpdate) << "bootloader device disconnected";
                bootloaderDevice = nullptr;
                deviceLeft = true;
                emit bootloaderDeviceLost();
            });
            break;
        }
    }
    qCDebug(lcFirmwareUpdate) << "bootloader reported; device" << bootloaderDevice.data();
    emit bootloaderDeviceFound(bootloaderDevice.data());
    manager->disableAutomaticDeviceUpdateNotifications();

    // The newest number now, not the one at the start: the hex folder may have
    // changed during the wait.
    const quint32 chosen = firmwareSource ? firmwareSource() : firmware;
    QString problem;
    if (chosen != firmware && !checkFirmwareFile(chosen, &problem)) {
        log(KestrixStudio::LogError,
            tr("The firmware file cannot be used: %1. dfu-programmer was not started for board %2.")
                .arg(problem)
                .arg(boardID));
        log(KestrixStudio::LogStatus, tr("Please toggle power of board %1 to reset it.").arg(boardID));
        return end(BadFirmwareFile);
    }
    firmware = chosen;
    const QString tool = toolPath();
    // The arguments as a list: no quoting, whatever the folders are called.
    const QStringList arguments { QLatin1String(toolTarget), QLatin1String(toolCommand), firmwarePath(firmware) };
    *flags.processFinished = false;
    process = new QProcess(this);
    connect(
        process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this, &FirmwareUpdate::onToolFinished);
    process->setProcessChannelMode(QProcess::MergedChannels);
    connect(process, &QProcess::readyReadStandardOutput, this, &FirmwareUpdate::onToolOutput);
    qCDebug(lcFirmwareUpdate) << "running" << tool << arguments;
    process->start(tool, arguments, QIODevice::ReadWrite);
    if (!process->waitForStarted(toolStartTimeout))
        return toolNotStarted();
    log(KestrixStudio::LogDebug, tr("Using dfu-programmer at %1").arg(QDir::toNativeSeparators(tool)));

    log(KestrixStudio::LogStatus, tr("Starting update of board %1").arg(boardID));
    if (!waitUntil([this] { return *flags.processFinished; }))
        return Cancelled;
    if (cancelled) {
        // Cut off while flashing: the board stays in its bootloader.
        return end(Cancelled);
    }
    onToolOutput();
    if (!partialLine.isEmpty()) {
        partialLine += '\n';
        onToolOutput();
    }
    const int exitCode = *flags.processExitCode;
    qCDebug(lcFirmwareUpdate) << "tool ended with exit code" << exitCode;
    // Look at the bus once more before judging: a board pulled just before
    // the tool returned may not have been noticed yet.
    if (bootloaderDevice)
        manager->update();
    disconnect(deviceConnection);
    if (Connectable* device = bootloaderDevice.data()) {
        bootloaderDevice = nullptr;
        device->renew();
    }
    restoreBus();

    if (deviceLeft) {
        // Whatever the exit code says, nobody saw the board take the firmware.
        log(KestrixStudio::LogError,
            tr("Board %1 left the bus while dfu-programmer ran; the tool ended with exit code %2 afterwards. Whether "
               "the board holds the new firmware is unknown.")
                .arg(boardID)
                .arg(exitCode));
        log(KestrixStudio::LogStatus, tr("Please toggle power of board %1 to reset it.").arg(boardID));
        return end(LostDuringUpdate);
    }
    if (exitCode == 0) {
        log(KestrixStudio::LogStatus, tr("Board %1 is updated").arg(boardID));
        return end(Updated);
    }
    log(KestrixStudio::LogError, tr("Could not update board %1").arg(boardID));
    const QString how = toolCrashed ? tr("dfu-programmer crashed (exit code %1).").arg(exitCode)
                                    : tr("dfu-programmer ended with exit code %1.").arg(exitCode);
    log(KestrixStudio::LogError,
        outputTail.isEmpty() ? tr("%1 It printed nothing.").arg(how)
                             : tr("%1 Its last output: %2").arg(how, outputTail.join(QStringLiteral(" | "))));
    // What the tool says when it finds no bootloader it may open.
    static const QRegularExpression noAccess(QStringLiteral("no device present|permission denied|access denied|"
                                                            "LIBUSB_ERROR_ACCESS|errno=13|requires write access"),
        QRegularExpression::CaseInsensitiveOption);
    if (outputTail.join(QLatin1Char('\n')).contains(noAccess))
        log(KestrixStudio::LogStatus,
            tr("Either board %1 did not enter its bootloader, or this user may not open the device (the "
               "kestrix-studio package installs a udev rule that allows it): unplug and replug the board.")
                .arg(boardID));
    return end(ToolFailed);
}

FirmwareUpdate::Result FirmwareUpdate::toolNotStarted()
{
    qCDebug(lcFirmwareUpdate) << "tool did not start:" << process->errorString();
    restoreBus();
    log(KestrixStudio::LogError, tr("Could not start the updating of the KM4200."));
    log(KestrixStudio::LogStatus, tr("Please toggle power of board %1 to reset it.").arg(board));
    const QString path = QDir::toNativeSeparators(toolPath());
    if (QFileInfo::exists(toolPath()))
        log(KestrixStudio::LogError,
            tr("dfu-programmer at %1 could not be started: %2").arg(path, process->errorString()));
    else if (qEnvironmentVariableIsEmpty(toolVariable))
        log(KestrixStudio::LogError,
            tr("dfu-programmer is missing: looked for at %1 and on PATH. Install it with: apt install dfu-programmer")
                .arg(QDir::toNativeSeparators(ApplicationDirectory::path())));
    else
        log(KestrixStudio::LogError,
            tr("dfu-programmer is missing: looked for at %1, named by %2.").arg(path, QLatin1String(toolVariable)));
    return end(ToolNotStarted);
}
