#include "programmingengine.h"

#include "boardreservation.h"
#include "connectable.h"
#include "connectionmanager.h"
#include "hexmodel.h"
#include "hexparserfactory.h"
#include "ktmodule.h"
#include "motherboard.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

// Off by default; QT_LOGGING_RULES="kestrix.programming.debug=true" follows
// every run step by step.
Q_LOGGING_CATEGORY(lcProgramming, "kestrix.programming", QtWarningMsg)

namespace
{
const int resultTypeId = qRegisterMetaType<ProgrammingEngine::Result>();
}

ProgrammingEngine::Result ProgrammingEngine::readHexFile(const QString& path, HexModel* model)
{
    Q_UNUSED(resultTypeId)
    Result result;
    if (model)
        model->reset();
    const QFileInfo info(path);
    const QString shown = QDir::toNativeSeparators(path);
    const auto bad = [&result](const QString& reason) {
        result.outcome = OutcomeBadFile;
        result.reason = reason;
        return result;
    };
    // Checked before opening: a pipe or a device would block or never end.
    if (!info.exists())
        return bad(tr("%1 does not exist.").arg(shown));
    if (info.isDir())
        return bad(tr("%1 is a folder, not a HEX file.").arg(shown));
    if (!info.isFile())
        return bad(tr("%1 is not a regular file (a pipe or a device); only HEX files are read.").arg(shown));
    if (info.size() == 0)
        return bad(tr("%1 is empty.").arg(shown));
    if (info.size() > MaxFileSize)
        return bad(tr("%1 is larger than %2 MiB; no module image is that large.").arg(shown).arg(MaxFileSize >> 20));

    QString error;
    if (!HexParserFactory::read(path, model, HexParserFactory::FormatIntelHex, &error, &result.line))
        return bad(error);
    result.line = 0;
    if (model && model->isEmpty())
        return bad(tr("%1 holds no data records: there is nothing to program.").arg(shown));
    return result;
}

QString ProgrammingEngine::stepName(Step step)
{
    switch (step) {
    case StepComparing:
        return QStringLiteral("comparing");
    case StepProgramming:
        return QStringLiteral("programming");
    case StepVerifying:
        return QStringLiteral("verifying");
    case StepResetting:
        return QStringLiteral("resetting");
    case StepNone:
        break;
    }
    return QString();
}

QString ProgrammingEngine::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case OutcomeUnchanged:
        return QStringLiteral("unchanged");
    case OutcomeProgrammed:
        return QStringLiteral("programmed");
    case OutcomeFailed:
        return QStringLiteral("failed");
    case OutcomeCancelled:
        return QStringLiteral("cancelled");
    case OutcomeDisconnected:
        return QStringLiteral("disconnected");
    case OutcomeBadFile:
        return QStringLiteral("bad file");
    case OutcomeBusy:
        return QStringLiteral("busy");
    case OutcomeNone:
        break;
    }
    return QString();
}

QString ProgrammingEngine::slotName(int slot)
{
    switch (slot) {
    case MotherBoard::SlotModule:
        return tr("module");
    case MotherBoard::SlotExtensionBoard:
        return tr("extension board");
    case MotherBoard::SlotISP:
        return tr("ISP");
    case MotherBoard::SlotExternalModule:
        return tr("external module");
    default:
        return tr("slot %1").arg(slot);
    }
}

ProgrammingEngine::ProgrammingEngine(QObject* parent)
    : QObject(parent)
{
}

ProgrammingEngine::~ProgrammingEngine()
{
    // Nothing keeps running behind an engine that is gone.
    if (isRunning() && m_module) {
        unwire();
        m_module->abort();
    }
    release();
}

void ProgrammingEngine::release()
{
    BoardReservation::release(m_boardID, this);
}

bool ProgrammingEngine::start(int boardID, int slot, const HexModel& image)
{
    MotherBoard* board = ConnectionManager::Instance()->motherBoard(boardID);
    if (!isRunning())
        m_boardID = boardID & 0xff; // named in the result when there is no such board; one byte names a board
    return start(board, board ? board->getModule(slot) : nullptr, slot, image);
}

bool ProgrammingEngine::start(MotherBoard* board, KTModule* module, int slot, const HexModel& image)
{
    const int boardID = board ? board->getBoardID() : m_boardID;
    if (isRunning()) {
        qCDebug(lcProgramming) << "board" << boardID << "slot" << slot << "refused: a run is in progress";
        return false;
    }
    m_result = Result();
    m_boardID = boardID;
    m_slot = slot;
    m_programStatus = 0;
    m_cancelling = false;
    m_board = board;
    m_module = module;
    if (!board) {
        m_result.outcome = OutcomeDisconnected;
        m_result.reason = tr("Board %1 is not connected.").arg(boardID);
        return false;
    }
    if (!module) {
        m_result.outcome = OutcomeFailed;
        m_result.reason = tr("Board %1 has no module slot %2.").arg(boardID).arg(slot);
        return false;
    }
    // Refused before anything of the board is touched: another job's image,
    // memory type and mode stay as that job set them.
    const QString owner = m_owner.isEmpty() ? tr("another job") : m_owner;
    if (!BoardReservation::reserve(
            boardID, this, tr("Board %1's %2 is being programmed by %3").arg(boardID).arg(slotName(slot), owner))) {
        m_result.outcome = OutcomeBusy;
        m_result.reason = BoardReservation::activity(boardID);
        return false;
    }
    if (module->isBusy()) {
        release();
        m_result.outcome = OutcomeBusy;
        m_result.reason
            = tr("Board %1's %2 is busy with an operation that another page started.").arg(boardID).arg(slotName(slot));
        return false;
    }
    if (m_programMemory) {
        board->setDefaultMode(false);
        module->setTargetMemoryType(KTModule::MemoryNormal);
    }
    if (module->getModel() != &image)
        *module->getModel() = image;

    if (!m_externalReports)
        m_wiring << connect(module, &KTModule::operationDone, this, &ProgrammingEngine::moduleReported);
    m_wiring << connect(module, &KTModule::progressUpdate, this,
        [this](int percent) {
            if (isRunning())
                emit progress(m_step, percent);
        }) << connect(module, &QObject::destroyed, this, &ProgrammingEngine::boardLeft)
             << connect(board, &Connectable::disconnected, this, &ProgrammingEngine::boardLeft)
             << connect(board, &QObject::destroyed, this, &ProgrammingEngine::boardLeft);

    qCDebug(lcProgramming) << "board" << boardID << "slot" << slot << "starts";
    if (!m_options.compareFirst) {
        // From here on finished() reports, even when programming cannot start.
        startStep(StepProgramming);
        return true;
    }
    m_step = StepComparing;
    m_result.step = StepComparing;
    emit stepStarted(StepComparing);
    if (m_step != StepComparing)
        return false; // a receiver cancelled
    if (m_module && m_module->startVerifying())
        return true;
    // Refused at once: said by the return value, not by finished().
    unwire();
    release();
    m_step = StepNone;
    m_result.outcome = boardConnected() ? OutcomeFailed : OutcomeDisconnected;
    m_result.reason = m_result.outcome == OutcomeFailed ? tr("The module does not answer: is it in place?")
                                                        : tr("Board %1 left the bus.").arg(boardID);
    return false;
}

void ProgrammingEngine::cancel()
{
    if (!isRunning() || m_cancelling)
        return;
    qCDebug(lcProgramming) << "board" << m_boardID << "cancelled in step" << m_step;
    // The module first: its report of the abort is not taken for the step's
    // end, and whoever hears of the outcome may start anew at once.
    m_cancelling = true;
    const QPointer<KTModule> module = m_module;
    unwire();
    if (module)
        module->abort();
    m_cancelling = false;
    if (isRunning())
        finish(OutcomeCancelled);
}

bool ProgrammingEngine::startStep(Step step)
{
    m_step = step;
    m_result.step = step;
    if (step == StepProgramming)
        m_result.written = true;
    emit stepStarted(step);
    // A receiver may have cancelled.
    if (m_step != step)
        return false;
    if (!m_module) {
        stepDidNotStart(step);
        return false;
    }

    if (step == StepProgramming) {
        // Its result is not looked at: a programming run that cannot start
        // still ends in one report, which says why.
        m_module->startFlag = true;
        m_module->startProgramming();
        return true;
    }
    if (!m_module->startVerifying()) {
        // A report that came before the refusal already settled the step.
        if (m_step == step)
            stepDidNotStart(step);
        return false;
    }
    return true;
}

void ProgrammingEngine::stepDidNotStart(Step step)
{
    qCDebug(lcProgramming) << "board" << m_boardID << "step" << step << "did not start";
    if (!boardConnected()) {
        finish(OutcomeDisconnected, tr("Board %1 left the bus.").arg(m_boardID));
        return;
    }
    if (step == StepProgramming)
        m_result.written = false;
    finish(OutcomeFailed, tr("The module did not start %1.").arg(stepName(step)));
}

void ProgrammingEngine::moduleReported(quint32 what, quint32 status)
{
    if (m_cancelling)
        return;
    const Step step = m_step;
    const quint32 expected
        = step == StepProgramming ? quint32(KTModule::OperationProgramming) : quint32(KTModule::OperationVerifying);
    if ((step != StepComparing && step != StepProgramming && step != StepVerifying) || what != expected)
        return;
    qCDebug(lcProgramming) << "board" << m_boardID << "step" << step << "reported" << status;
    m_result.status = status;
    emit stepEnded(step, status);
    if (m_step != step)
        return;

    if (status == KTModule::StatusDeviceLost || !boardConnected()) {
        finish(OutcomeDisconnected, tr("Board %1 left the bus.").arg(m_boardID));
        return;
    }
    if (status == KTModule::StatusAborted) {
        // Nobody here cancelled: not the user's cancel.
        finish(OutcomeFailed, tr("The module's operation was aborted from elsewhere."));
        return;
    }
    if (status == KTModule::StatusBoardReset) {
        // The board never left: say what happened instead of blaming the connection.
        finish(OutcomeFailed,
            tr("Board %1 was reset from elsewhere while its %2 was %3.")
                .arg(m_boardID)
                .arg(slotName(m_slot), stepName(step)));
        return;
    }

    switch (step) {
    case StepComparing:
        if (status == KTModule::StatusSuccess)
            resetAndFinish(OutcomeUnchanged);
        else
            startStep(StepProgramming);
        return;
    case StepProgramming:
        m_programStatus = status;
        if (status != KTModule::StatusSuccess && !m_options.verifyAfterFailedProgramming) {
            finish(OutcomeFailed, tr("Programming failed (status %1).").arg(status));
            return;
        }
        if (!m_options.verify) {
            resetAndFinish(status == KTModule::StatusSuccess ? OutcomeProgrammed : OutcomeFailed);
            return;
        }
        // The module's content decides, so the verification runs whatever programming reported.
        startStep(StepVerifying);
        return;
    default:
        break;
    }

    if (status == KTModule::StatusSuccess) {
        resetAndFinish(OutcomeProgrammed);
        return;
    }
    if (m_programStatus != KTModule::StatusSuccess) {
        m_result.step = StepProgramming;
        m_result.status = m_programStatus;
        finish(OutcomeFailed, tr("Programming failed (status %1).").arg(m_programStatus));
    } else if (status == KTModule::StatusMismatch) {
        finish(OutcomeFailed, tr("The module's content differs from the file after programming."));
    } else {
        finish(OutcomeFailed, tr("Verification failed (status %1).").arg(status));
    }
}

void ProgrammingEngine::resetAndFinish(Outcome outcome)
{
    if (!m_options.reset || outcome == OutcomeFailed) {
        finish(
            outcome, outcome == OutcomeFailed ? tr("Programming failed (status %1).").arg(m_programStatus) : QString());
        return;
    }
    m_step = StepResetting;
    m_result.step = StepResetting;
    emit stepStarted(StepResetting);
    if (m_step != StepResetting)
        return;
    // The reset ends module operations of the board; ours is no longer listening.
    unwire();
    if (m_board)
        m_board->resetDevice();
    finish(outcome);
}

void ProgrammingEngine::boardLeft()
{
    if (!isRunning())
        return;
    qCDebug(lcProgramming) << "board" << m_boardID << "left in step" << m_step;
    const QPointer<KTModule> module = m_module;
    unwire();
    finish(OutcomeDisconnected, tr("Board %1 left the bus.").arg(m_boardID));
    if (module)
        module->abort();
}

void ProgrammingEngine::finish(Outcome outcome, const QString& reason)
{
    unwire();
    release();
    m_step = StepNone;
    m_result.outcome = outcome;
    m_result.reason = reason;
    qCDebug(lcProgramming) << "board" << m_boardID << "slot" << m_slot << "ends:" << outcomeName(outcome) << reason;
    emit finished(m_result);
}

bool ProgrammingEngine::boardConnected() const
{
    return m_board && ConnectionManager::Instance()->getBoardByID(m_boardID) == m_board.data();
}

void ProgrammingEngine::unwire()
{
    for (const QMetaObject::Connection& connection : qAsConst(m_wiring))
        disconnect(connection);
    m_wiring.clear();
}
