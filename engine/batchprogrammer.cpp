#include "batchprogrammer.h"

#include "connectable.h"
#include "connectionmanager.h"
#include "motherboard.h"
#include "programmingreport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>

bool BatchProgrammer::Summary::allGood() const
{
    return counts.value(QStringLiteral("programmed")) + counts.value(QStringLiteral("unchanged")) == boards;
}

QString BatchProgrammer::Summary::text() const
{
    QStringList parts;
    for (auto it = counts.constBegin(); it != counts.constEnd(); ++it)
        parts << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
    return parts.join(QStringLiteral(", "));
}

BatchProgrammer::BatchProgrammer(QObject* parent)
    : QObject(parent)
{
}

BatchProgrammer::~BatchProgrammer()
{
    // Nothing keeps running behind a batch that is gone.
    for (auto& [boardID, engine] : m_engines) {
        if (engine) {
            engine->disconnect(this);
            engine->cancel();
        }
    }
}

QString BatchProgrammer::problem(int boardID, int slot)
{
    MotherBoard* board = ConnectionManager::Instance()->motherBoard(boardID);
    if (!board)
        return tr("Board %1 is not connected.").arg(boardID);
    if (slot == MotherBoard::SlotExternalModule && !board->hasModuleExternalModuleCapability())
        return tr("Board %1 has no connector for an external module.").arg(boardID);
    if (!board->hasModuleInSlot(slot))
        return tr("Board %1 has no %2 (slot %3).").arg(boardID).arg(ProgrammingEngine::slotName(slot)).arg(slot);
    return QString();
}

bool BatchProgrammer::start(const QList<int>& boards, int slot, const HexModel& image)
{
    if (m_running)
        return false;
    m_running = true;
    m_starting = true;
    m_slot = slot;
    m_image = image;
    m_summary = Summary();
    for (int boardID : boards)
        startBoard(boardID);
    m_starting = false;
    finishWhenIdle();
    return true;
}

void BatchProgrammer::startBoard(int boardID)
{
    ++m_summary.boards;
    const QString problem = BatchProgrammer::problem(boardID, m_slot);
    if (!problem.isEmpty()) {
        ProgrammingEngine::Result refused;
        refused.outcome = ConnectionManager::Instance()->motherBoard(boardID) ? ProgrammingEngine::OutcomeFailed
                                                                              : ProgrammingEngine::OutcomeDisconnected;
        refused.reason = problem;
        boardEnded(boardID, refused);
        return;
    }
    auto& engine = m_engines[boardID];
    engine = std::make_unique<ProgrammingEngine>();
    engine->setOwner(m_owner);
    engine->setProgramMemory(true);
    connect(engine.get(), &ProgrammingEngine::stepStarted, this,
        [this, boardID](ProgrammingEngine::Step step) { emit boardStep(boardID, step); });
    connect(engine.get(), &ProgrammingEngine::progress, this,
        [this, boardID](ProgrammingEngine::Step step, int percent) { emit boardProgress(boardID, step, percent); });
    connect(engine.get(), &ProgrammingEngine::stepEnded, this,
        [this, boardID](ProgrammingEngine::Step step, quint32 status) { emit boardStepEnded(boardID, step, status); });
    connect(engine.get(), &ProgrammingEngine::finished, this,
        [this, boardID](const ProgrammingEngine::Result& result) { boardEnded(boardID, result); });
    ProgrammingEngine* started = engine.get();
    if (!started->start(boardID, m_slot, m_image))
        boardEnded(boardID, started->result());
}

bool BatchProgrammer::arm(const QString& path, int slot, const HexModel& image, int limit)
{
    if (m_running)
        return false;
    m_running = true;
    m_armed = true;
    m_slot = slot;
    m_image = image;
    m_limit = qMax(0, limit);
    m_arrived = 0;
    m_summary = Summary();
    m_path = path;
    m_digest = fileDigest(path);
    m_seen.clear();
    const QMap<int, MotherBoard*> boards = ConnectionManager::Instance()->motherBoards();
    for (MotherBoard* board : boards)
        m_seen << board;
    connect(ConnectionManager::Instance(), &ConnectionManager::updated, this, &BatchProgrammer::busChanged);
    delete m_watcher;
    m_watcher = new QFileSystemWatcher(this);
    m_watcher->addPath(path);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &BatchProgrammer::fileChanged);
    return true;
}

void BatchProgrammer::disarm(const QString& reason)
{
    if (!m_armed)
        return;
    m_armed = false;
    disconnect(ConnectionManager::Instance(), &ConnectionManager::updated, this, &BatchProgrammer::busChanged);
    delete m_watcher;
    m_watcher = nullptr;
    emit disarmed(reason);
    finishWhenIdle();
}

void BatchProgrammer::busChanged()
{
    m_seen.removeAll(nullptr);
    const QMap<int, MotherBoard*> boards = ConnectionManager::Instance()->motherBoards();
    for (MotherBoard* board : boards) {
        if (!m_armed)
            return;
        if (m_seen.contains(board))
            continue;
        m_seen << board;
        // A board that leaves frees its place at once: the same address may come back as a new connection.
        connect(board, &Connectable::disconnected, this, [this, board] { m_seen.removeAll(board); });
        const int boardID = board->getBoardID();
        ++m_arrived;
        emit boardArrived(boardID);
        startBoard(boardID);
        if (m_limit > 0 && m_arrived >= m_limit)
            disarm(tr("%n board(s) programmed: the limit is reached.", nullptr, m_limit));
    }
}

void BatchProgrammer::fileChanged()
{
    // Editors replace a file by rename: watch the new one.
    if (m_watcher && QFileInfo::exists(m_path) && !m_watcher->files().contains(m_path))
        m_watcher->addPath(m_path);
    if (fileDigest(m_path) != m_digest)
        disarm(tr("%1 changed on disk; only the file armed is ever programmed.").arg(QFileInfo(m_path).fileName()));
}

QByteArray BatchProgrammer::fileDigest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

void BatchProgrammer::finishWhenIdle()
{
    if (m_running && !m_armed && !m_starting && m_engines.empty()) {
        m_running = false;
        emit finished(m_summary);
    }
}

void BatchProgrammer::cancel()
{
    disarm(tr("Stopped."));
    // Each cancel ends its board at once and lets its engine go: cancel a copy.
    QList<ProgrammingEngine*> engines;
    for (auto& [boardID, engine] : m_engines) {
        if (engine)
            engines << engine.get();
    }
    for (ProgrammingEngine* engine : qAsConst(engines))
        engine->cancel();
}

void BatchProgrammer::boardEnded(int boardID, const ProgrammingEngine::Result& result)
{
    const auto it = m_engines.find(boardID);
    if (it != m_engines.end()) {
        // Deleted later: this may run inside the engine's own signal.
        it->second->disconnect(this);
        it->second.release()->deleteLater();
        m_engines.erase(it);
    }
    ++m_summary.counts[ProgrammingReport::resultName(result)];
    emit boardFinished(boardID, result);
    finishWhenIdle();
}
