#include "benchsimulation.h"

#include "boardfactory.h"
#include "boardlog.h"
#include "bootloaderdevice.h"
#include "connectionmanager.h"
#include "motherboardbench.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace
{
enum Level { Debug = 0, Status = 1, Error = 2 };

// Editors write a file in several steps; wait for the last one.
constexpr int ReloadDelayMs = 40;

const char* slotFileName(int slot)
{
    switch (slot) {
    case 0:
        return "module";
    case 1:
        return "extension";
    case 2:
        return "isp";
    default:
        return "external";
    }
}
} // namespace

BenchSimulation* BenchSimulation::instance()
{
    static BenchSimulation* simulation = new BenchSimulation;
    return simulation;
}

BenchSimulation::BenchSimulation(QObject* parent)
    : QObject(parent)
{
}

void BenchSimulation::log(int level, const QString& text)
{
    qCDebug(lcBoard).noquote() << level << text;
    emit ConnectionManager::Instance()->logmessage(level, text);
}

bool BenchSimulation::isConnected(const Connectable* board) const
{
    return board && m_boards.value(board->getBoardID()) == board;
}

void BenchSimulation::open(const QString& path)
{
    close();
    m_notify = true;
    BoardFactory::setCreatableBoards(Connectable::TypeAll);
    m_initMessages.clear();
    if (path.isEmpty()) {
        m_initMessages << QStringLiteral(
            "%1@No KM4200 bench configured (KM4200_BENCH is not set): no boards connected.")
                              .arg(Status);
        return;
    }
    m_path = QFileInfo(path).absoluteFilePath();
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &BenchSimulation::fileEvent);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &BenchSimulation::fileEvent);
    m_reloadTimer = new QTimer(this);
    m_reloadTimer->setSingleShot(true);
    m_reloadTimer->setInterval(ReloadDelayMs);
    connect(m_reloadTimer, &QTimer::timeout, this, [this] { rescan(false); });
    watch();

    BenchFile file;
    if (!file.load(m_path)) {
        m_initMessages
            << QStringLiteral("%1@KM4200 bench unusable: %2. No boards connected.").arg(Error).arg(file.errorString());
        m_lastProblem = file.errorString();
        return;
    }
    m_initMessages << QStringLiteral("%1@KM4200 bench: %2").arg(Debug).arg(QDir::toNativeSeparators(m_path));
    const QStringList warnings = file.warnings();
    for (const QString& w : warnings)
        m_initMessages << QStringLiteral("%1@KM4200 bench %2").arg(Error).arg(w);
    rescan(false);
    const int count = m_boards.size();
    m_initMessages << QStringLiteral("%1@KM4200 bench: %2")
                          .arg(Status)
                          .arg(count == 0      ? QStringLiteral("no boards connected")
                                  : count == 1 ? QStringLiteral("1 board connected")
                                               : QStringLiteral("%1 boards connected").arg(count));
}

void BenchSimulation::close()
{
    ++m_generation;
    delete m_watcher;
    m_watcher = nullptr;
    delete m_reloadTimer;
    m_reloadTimer = nullptr;
    m_pendingBootloaders.clear();
    m_restarting.clear();
    const QList<int> keys = m_boards.keys();
    for (int key : keys)
        removeBoard(key);
    m_path.clear();
    m_bench = BenchFile();
    m_benchPresent = false;
    m_lastProblem.clear();
}

void BenchSimulation::watch()
{
    if (!m_watcher)
        return;
    const QFileInfo info(m_path);
    if (info.exists() && !m_watcher->files().contains(m_path))
        m_watcher->addPath(m_path);
    const QString dir = info.absolutePath();
    if (QFileInfo::exists(dir) && !m_watcher->directories().contains(dir))
        m_watcher->addPath(dir);
}

void BenchSimulation::fileEvent()
{
    // A file replaced by rename drops out of the watcher; take it up again.
    watch();
    if (m_reloadTimer)
        m_reloadTimer->start();
}

void BenchSimulation::update()
{
    rescan(true);
}

void BenchSimulation::scheduleRescan()
{
    if (m_path.isEmpty())
        return;
    const int generation = m_generation;
    QTimer::singleShot(0, this, [this, generation] {
        if (generation == m_generation)
            rescan(false);
    });
}

void BenchSimulation::removeBoard(int key)
{
    Connectable* board = m_boards.take(key);
    if (!board)
        return;
    qCDebug(lcBoard) << "board" << key << "leaves the bus";
    if (auto* mb = qobject_cast<MotherBoard*>(board))
        mb->abortOperations();
    emit board->disconnected();
    board->deleteLater();
}

void BenchSimulation::rescan(bool explicitUpdate, int forceID)
{
    if (m_path.isEmpty()) {
        if (explicitUpdate && m_notify)
            emit ConnectionManager::Instance()->updated();
        return;
    }
    BenchFile file;
    QList<BenchFile::Device> devices;
    if (file.load(m_path)) {
        if (!m_lastProblem.isEmpty() || file.warnings() != m_bench.warnings()) {
            const QStringList warnings = file.warnings();
            for (const QString& w : warnings)
                log(Error, QStringLiteral("KM4200 bench %1").arg(w));
        }
        m_lastProblem.clear();
        m_bench = file;
        m_benchPresent = true;
        devices = file.devices();
    } else if (!QFileInfo::exists(m_path)) {
        // The bench is gone: as if every cable were pulled.
        if (m_benchPresent)
            log(Status, QStringLiteral("KM4200 bench file %1 removed").arg(QDir::toNativeSeparators(m_path)));
        m_benchPresent = false;
    } else {
        // Half-written or broken: keep the boards as they are until it reads again.
        if (file.errorString() != m_lastProblem)
            log(Error, QStringLiteral("KM4200 bench unusable: %1").arg(file.errorString()));
        m_lastProblem = file.errorString();
        if (explicitUpdate && m_notify)
            emit ConnectionManager::Instance()->updated();
        return;
    }

    QMap<int, BenchFile::Device> wanted;
    for (const BenchFile::Device& d : qAsConst(devices)) {
        if (m_restarting.contains(d.id)
            || (d.type == BenchFile::DeviceBootloader && (d.bootloaderSilent || m_pendingBootloaders.contains(d.id))))
            continue;
        wanted.insert(d.id, d);
    }

    bool changed = false;
    bool bootloaderGone = false;
    bool bootloaderCame = false;
    const QList<int> keys = m_boards.keys();
    for (int key : keys) {
        Connectable* board = m_boards.value(key);
        if (!wanted.contains(key) || wanted.value(key).type != board->getTypeConnected()) {
            bootloaderGone |= board->getTypeConnected() == Connectable::TypeBootloader;
            log(Debug, QStringLiteral("Board %1 disconnected").arg(key));
            removeBoard(key);
            changed = true;
        }
    }
    const auto kinds = BoardFactory::creatableBoards();
    for (const BenchFile::Device& d : qAsConst(wanted)) {
        if (Connectable* board = m_boards.value(d.id)) {
            if (auto* mb = qobject_cast<MotherBoard*>(board)) {
                if (!mb->bench().device.sameSettings(d)) {
                    mb->bench().device = d;
                    changed = true;
                }
            }
            continue;
        }
        const auto kind = Connectable::TypeConnected(d.type);
        if (!kinds.testFlag(kind) && d.id != forceID)
            continue;
        if (d.type == BenchFile::DeviceBootloader) {
            m_boards.insert(d.id, new BootloaderDevice(d.id));
            bootloaderCame = true;
            log(Debug, QStringLiteral("Board %1 connected in its bootloader").arg(d.id));
        } else {
            auto* mb = new MotherBoard(d.id);
            mb->bench().device = d;
            m_boards.insert(d.id, mb);
            log(Debug, QStringLiteral("Board %1 connected, firmware %2").arg(d.id).arg(d.firmware));
        }
        changed = true;
    }
    if ((changed || explicitUpdate) && m_notify)
        emit ConnectionManager::Instance()->updated();
    if (bootloaderGone)
        emit ConnectionManager::Instance()->bootloaderConnected(false);
    if (bootloaderCame)
        emit ConnectionManager::Instance()->bootloaderConnected(true);
}

bool BenchSimulation::jumpToBootloader(MotherBoard* board)
{
    if (!isConnected(board))
        return false;
    const int id = board->getBoardID();
    const BenchFile::Device* device = m_bench.deviceById(id);
    if (!device)
        return false;
    QString error;
    if (!BenchFile::updateKey(m_path, device->group, QStringLiteral("type"), QStringLiteral("4"), &error)) {
        log(Error, QStringLiteral("Board %1 cannot enter its bootloader: %2").arg(id).arg(error));
        return false;
    }
    log(Debug, QStringLiteral("Board %1 jumps to its bootloader").arg(id));
    if (!device->bootloaderSilent) {
        m_pendingBootloaders.insert(id);
        const int generation = m_generation;
        QTimer::singleShot(m_bench.bootloaderDelayMs(), this, [this, generation, id] {
            if (generation != m_generation || !m_pendingBootloaders.remove(id))
                return;
            rescan(false);
        });
    }
    rescan(false);
    return true;
}

void BenchSimulation::renew(Connectable* device)
{
    if (!isConnected(device))
        return;
    const int id = device->getBoardID();
    if (device->getTypeConnected() == Connectable::TypeBootloader) {
        const BenchFile::Device* d = m_bench.deviceById(id);
        QString error;
        if (!d || !BenchFile::updateKey(m_path, d->group, QStringLiteral("type"), QStringLiteral("1"), &error)) {
            log(Error, QStringLiteral("Board %1 cannot leave its bootloader: %2").arg(id).arg(error));
            return;
        }
        log(Debug, QStringLiteral("Board %1 restarts its firmware").arg(id));
    }
    // Restarting, the device leaves the bus now and answers again after the
    // bench's delay, reported like any plugged-in board.
    m_restarting.insert(id);
    rescan(false);
    const int generation = m_generation;
    QTimer::singleShot(m_bench.bootloaderDelayMs(), this, [this, generation, id] {
        if (generation == m_generation && m_restarting.remove(id))
            rescan(false, id);
    });
}

int BenchSimulation::operationMs() const
{
    return m_path.isEmpty() ? BenchFile::DefaultOperationMs : m_bench.operationMs();
}

QString BenchSimulation::memoryFile(int boardID, int slot, int memoryType) const
{
    if (m_path.isEmpty())
        return QString();
    return QStringLiteral("%1/board%2-%3%4.hex")
        .arg(m_bench.memoryFolder())
        .arg(boardID)
        .arg(QLatin1String(slotFileName(slot)))
        .arg(memoryType == 1 ? QStringLiteral("-otp") : QString());
}
