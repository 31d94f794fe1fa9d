#include "batchprogrammer.h"

#include "connectionmanager.h"
#include "motherboard.h"
#include "programmingreport.h"

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
    m_summary = Summary();
    m_summary.boards = boards.size();
    for (int boardID : boards) {
        const QString problem = BatchProgrammer::problem(boardID, slot);
        if (!problem.isEmpty()) {
            ProgrammingEngine::Result refused;
            refused.outcome = ConnectionManager::Instance()->motherBoard(boardID)
                ? ProgrammingEngine::OutcomeFailed
                : ProgrammingEngine::OutcomeDisconnected;
            refused.reason = problem;
            boardEnded(boardID, refused);
            continue;
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
            [this, boardID](
                ProgrammingEngine::Step step, quint32 status) { emit boardStepEnded(boardID, step, status); });
        connect(engine.get(), &ProgrammingEngine::finished, this,
            [this, boardID](const ProgrammingEngine::Result& result) { boardEnded(boardID, result); });
        ProgrammingEngine* started = engine.get();
        if (!started->start(boardID, slot, image))
            boardEnded(boardID, started->result());
    }
    m_starting = false;
    if (m_engines.empty() && m_running) {
        m_running = false;
        emit finished(m_summary);
    }
    return true;
}

void BatchProgrammer::cancel()
{
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
    if (m_engines.empty() && !m_starting && m_running) {
        m_running = false;
        emit finished(m_summary);
    }
}
