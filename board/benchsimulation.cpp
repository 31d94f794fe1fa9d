#include "benchsimulation.h"

#include "boardfactory.h"
#include "boardlog.h"
#include "bootloaderdevice.h"
#include "connectionmanager.h"
#include "hexmodel.h"
#include "ktmodule.h"
#include "modulememory.h"
#include "motherboardbench.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <algorithm>

namespace
{
enum Level { Debug = 0, Status = 1, Error = 2 };

// Editors write a file in several steps: read it once they have been quiet
// for a moment, but never later than the second delay after the first edit.
constexpr int ReloadDelayMs = 40;
constexpr int MaxReloadDelayMs = 150;
// A file being rewritten reads empty or cut short for a moment. Boards that
// such a read lacks leave the bus only when reads this far apart agree.
constexpr int RemovalSettleMs = 250;

// Notes that a board is missing from this read and says whether it is still
// within the settle time (the file may be in the middle of a write).
bool stillSettling(QHash<int, qint64>& missingSince, int id, qint64 now)
{
    const qint64 since = missingSince.value(id, now);
    missingSince.insert(id, since);
    return now - since < RemovalSettleMs;
}

QByteArray readFile(const QString& path, bool* opened)
{
    QFile file(path);
    *opened = file.open(QIODevice::ReadOnly);
    return *opened ? file.readAll() : QByteArray();
}

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
    m_clock.start();
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

void BenchSimulation::open()
{
    open(qEnvironmentVariable("KM4200_BENCH"));
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
    m_jumping.clear();
    m_jumpingMissingSince.clear();
    m_restarting.clear();
    m_missingSince.clear();
    m_confirmPending = false;
    News news;
    for (Connectable* board : qAsConst(m_boards))
        news.gone << board;
    m_boards.clear();
    m_path.clear();
    m_bench = BenchFile();
    m_benchPresent = false;
    m_lastProblem.clear();
    announce(news);
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
    if (!m_reloadTimer)
        return;
    if (!m_reloadTimer->isActive())
        m_firstEdit.start();
    const qint64 left = MaxReloadDelayMs - m_firstEdit.elapsed();
    m_reloadTimer->start(int(qBound<qint64>(0, left, ReloadDelayMs)));
}

void BenchSimulation::update()
{
    rescan(true);
}

void BenchSimulation::creatableKindsWidened()
{
    rescanLater(0);
}

void BenchSimulation::rescanLater(int delayMs)
{
    if (m_path.isEmpty())
        return;
    const int generation = m_generation;
    QTimer::singleShot(delayMs, this, [this, generation] {
        if (generation == m_generation)
            rescan(false);
    });
}

void BenchSimulation::rescan(bool explicitUpdate, int forceID)
{
    News news;
    readBench(explicitUpdate, forceID, &news);
    announce(news);
}

void BenchSimulation::readBench(bool explicitUpdate, int forceID, News* news)
{
    news->updated = explicitUpdate;
    if (m_path.isEmpty())
        return;
    BenchFile file;
    QList<BenchFile::Device> devices;
    bool opened = false;
    const QByteArray text = readFile(m_path, &opened);
    // A writer may be between truncating and writing, or halfway through:
    // trust a read that lacks boards only when it looks whole and a second
    // read agrees; otherwise wait until reads settle.
    const bool whole = opened && text.endsWith('\n') && readFile(m_path, &opened) == text;
    if (opened ? file.parse(text, m_path) : file.load(m_path)) {
        if (!m_lastProblem.isEmpty() || file.warnings() != m_bench.warnings()) {
            const QStringList warnings = file.warnings();
            for (const QString& w : warnings)
                news->log.append({ Error, QStringLiteral("KM4200 bench %1").arg(w) });
        }
        m_lastProblem.clear();
        m_bench = file;
        m_benchPresent = true;
        devices = file.devices();
    } else if (!QFileInfo::exists(m_path)) {
        // The bench is gone: as if every cable were pulled.
        if (m_benchPresent)
            news->log.append(
                { Status, QStringLiteral("KM4200 bench file %1 removed").arg(QDir::toNativeSeparators(m_path)) });
        m_benchPresent = false;
    } else {
        // Half-written or broken: keep the boards as they are until it reads again.
        if (file.errorString() != m_lastProblem)
            news->log.append({ Error, QStringLiteral("KM4200 bench unusable: %1").arg(file.errorString()) });
        m_lastProblem = file.errorString();
        return;
    }

    QMap<int, BenchFile::Device> listed;
    QMap<int, BenchFile::Device> wanted;
    for (const BenchFile::Device& d : qAsConst(devices)) {
        listed.insert(d.id, d);
        if (m_restarting.contains(d.id)
            || (d.type == BenchFile::DeviceBootloader && (d.bootloaderSilent || m_pendingBootloaders.contains(d.id))))
            continue;
        wanted.insert(d.id, d);
    }

    const qint64 now = m_clock.elapsed();
    bool unsettled = false;
    const QList<int> keys = m_boards.keys();
    for (int key : keys) {
        Connectable* board = m_boards.value(key);
        if (listed.contains(key) || whole) {
            m_missingSince.remove(key);
        } else if (stillSettling(m_missingSince, key, now)) {
            // Not in this read: gone, or the file is being written.
            unsettled = true;
            continue;
        }
        if (!wanted.contains(key) || wanted.value(key).type != board->getTypeConnected()) {
            m_missingSince.remove(key);
            if (board->getTypeConnected() == Connectable::TypeBootloader)
                news->bootloadersGone << key;
            news->log.append({ Debug, QStringLiteral("Board %1 disconnected").arg(key) });
            news->gone << m_boards.take(key);
            news->updated = true;
        }
    }
    // A board unplugged during its bootloader jump never reports; say so at once.
    const QList<int> jumping = m_jumping.values();
    for (int id : jumping) {
        if (listed.contains(id) || whole) {
            m_jumpingMissingSince.remove(id);
            if (listed.contains(id))
                continue;
        } else if (stillSettling(m_jumpingMissingSince, id, now)) {
            unsettled = true;
            continue;
        } else {
            m_jumpingMissingSince.remove(id);
        }
        m_jumping.remove(id);
        m_pendingBootloaders.remove(id);
        news->log.append({ Debug, QStringLiteral("Board %1 was unplugged during its bootloader jump").arg(id) });
    }
    if (unsettled && !m_confirmPending) {
        // Timers may fire a little early; look again once surely settled.
        m_confirmPending = true;
        const int generation = m_generation;
        QTimer::singleShot(RemovalSettleMs + RemovalSettleMs / 10, this, [this, generation] {
            if (generation != m_generation)
                return;
            m_confirmPending = false;
            rescan(false);
        });
    }

    const auto kinds = BoardFactory::creatableBoards();
    for (const BenchFile::Device& d : qAsConst(wanted)) {
        if (Connectable* board = m_boards.value(d.id)) {
            if (auto* mb = qobject_cast<MotherBoard*>(board)) {
                if (!mb->bench().device.sameSettings(d)) {
                    mb->bench().device = d;
                    news->updated = true;
                }
            }
            continue;
        }
        const auto kind = Connectable::TypeConnected(d.type);
        if (!kinds.testFlag(kind) && d.id != forceID)
            continue;
        if (d.type == BenchFile::DeviceBootloader) {
            m_jumping.remove(d.id);
            m_boards.insert(d.id, new BootloaderDevice(d.id));
            news->bootloadersCame << d.id;
            news->log.append({ Debug, QStringLiteral("Board %1 connected in its bootloader").arg(d.id) });
        } else {
            m_jumping.remove(d.id); // powered up again in normal operation
            auto* mb = new MotherBoard(d.id);
            mb->bench().device = d;
            m_boards.insert(d.id, mb);
            news->log.append({ Debug, QStringLiteral("Board %1 connected, firmware %2").arg(d.id).arg(d.firmware) });
        }
        news->updated = true;
    }
}

bool BenchSimulation::isBootloader(int id) const
{
    const Connectable* board = m_boards.value(id);
    return board && board->getTypeConnected() == Connectable::TypeBootloader;
}

void BenchSimulation::announce(const News& news)
{
    // Receivers may run event loops that rescan, close or delete boards:
    // each step stands on its own and looks at the state as it is then.
    const int generation = m_generation;
    for (const auto& entry : news.log)
        log(entry.first, entry.second);
    for (const QPointer<Connectable>& board : news.gone) {
        qCDebug(lcBoard) << "board" << (board ? board->getBoardID() : -1) << "leaves the bus";
        if (auto* mb = qobject_cast<MotherBoard*>(board.data()))
            mb->abortOperations(KTModule::StatusDeviceLost);
        if (board)
            emit board->disconnected();
        if (board)
            board->deleteLater();
    }
    if (generation != m_generation)
        return;
    if (news.updated && m_notify)
        emit ConnectionManager::Instance()->updated();
    const auto there = [this](int id) { return isBootloader(id); };
    if (!news.bootloadersGone.isEmpty() && generation == m_generation
        && std::none_of(news.bootloadersGone.begin(), news.bootloadersGone.end(), there))
        emit ConnectionManager::Instance()->bootloaderConnected(false);
    if (generation == m_generation && std::any_of(news.bootloadersCame.begin(), news.bootloadersCame.end(), there))
        emit ConnectionManager::Instance()->bootloaderConnected(true);
}

bool BenchSimulation::jumpToBootloader(MotherBoard* board)
{
    if (!isConnected(board))
        return false;
    const int id = board->getBoardID();
    const BenchFile::Device* found = m_bench.deviceById(id);
    if (!found)
        return false;
    // A copy: a receiver of the log may read the bench again meanwhile.
    const BenchFile::Device device = *found;
    QString error;
    if (!BenchFile::updateKey(m_path, device.group, QStringLiteral("type"), QStringLiteral("4"), &error)) {
        log(Error, QStringLiteral("Board %1 cannot enter its bootloader: %2").arg(id).arg(error));
        return false;
    }
    log(Debug, QStringLiteral("Board %1 jumps to its bootloader").arg(id));
    m_jumping.insert(id);
    if (!device.bootloaderSilent) {
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

quint32 BenchSimulation::programModule(
    MotherBoard* board, int slot, int memoryType, const HexModel& image, QString* problem)
{
    const BenchFile::Device device = board->bench().device;
    if (device.programStatus != 0)
        return device.programStatus;
    if (memoryType == KTModule::MemoryOTP) {
        const HexModel current = moduleMemory(board, slot, memoryType);
        if (!current.isEmpty() && !current.sameContent(image))
            return KTModule::StatusOTPWritten;
    }
    HexModel stored;
    const auto segments = image.segments();
    for (auto it = segments.constBegin(); it != segments.constEnd(); ++it)
        stored.write(it.key(), it.value());
    QString error;
    if (!ModuleMemory::write(board->getBoardID(), slot, memoryType, stored, &error)) {
        *problem = QStringLiteral("Module memory not saved: %1").arg(error);
        return KTModule::StatusWriteFailed;
    }
    return KTModule::StatusSuccess;
}

quint32 BenchSimulation::verifyModule(MotherBoard* board, int slot, int memoryType, const HexModel& expected)
{
    const BenchFile::Device device = board->bench().device;
    if (!device.verifyCompare)
        return device.verifyStatus;
    return moduleMemory(board, slot, memoryType).sameContent(expected) ? KTModule::StatusSuccess
                                                                       : KTModule::StatusMismatch;
}

HexModel BenchSimulation::moduleMemory(const MotherBoard* board, int slot, int memoryType) const
{
    return board ? ModuleMemory::read(board->getBoardID(), slot, memoryType) : HexModel();
}
