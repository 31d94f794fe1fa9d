#include "programmingreport.h"

#include <QCoreApplication>

namespace
{
QString tr(const char* text)
{
    return QCoreApplication::translate("ProgrammingReport", text);
}
} // namespace

QString ProgrammingReport::resultName(const ProgrammingEngine::Result& result)
{
    switch (result.outcome) {
    case ProgrammingEngine::OutcomeBadFile:
    case ProgrammingEngine::OutcomeBusy:
    case ProgrammingEngine::OutcomeNone:
        return QStringLiteral("failed");
    default:
        return ProgrammingEngine::outcomeName(result.outcome);
    }
}

QString ProgrammingReport::target(int boardID, int slot)
{
    return tr("%1 of board %2").arg(ProgrammingEngine::slotName(slot)).arg(boardID);
}

QString ProgrammingReport::timeStamp(const QDateTime& time)
{
    return time.isValid() ? time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs) : QString();
}

QString ProgrammingReport::describe(
    const ProgrammingEngine::Result& result, const QString& fileName, int boardID, int slot)
{
    const QString where = target(boardID, slot);
    switch (result.outcome) {
    case ProgrammingEngine::OutcomeProgrammed:
        return tr("%1 was programmed into the %2 and verified.").arg(fileName, where);
    case ProgrammingEngine::OutcomeUnchanged:
        return tr("The %1 already holds %2; nothing was programmed.").arg(where, fileName);
    case ProgrammingEngine::OutcomeCancelled:
        return result.written ? tr("Cancelled; the %1 may hold incomplete content: program it again.").arg(where)
                              : tr("Cancelled before anything was written; the %1 is unchanged.").arg(where);
    case ProgrammingEngine::OutcomeDisconnected:
        return result.step == ProgrammingEngine::StepNone
            ? tr("Board %1 is not connected.").arg(boardID)
            : tr("Board %1 was disconnected while its %2 was being programmed.")
                  .arg(boardID)
                  .arg(ProgrammingEngine::slotName(slot));
    case ProgrammingEngine::OutcomeBadFile:
        return tr("%1 is not a valid HEX file: %2").arg(fileName, result.reason);
    case ProgrammingEngine::OutcomeBusy:
        return tr("%1. Nothing was changed; program again once it is done.").arg(result.reason);
    default:
        return result.step == ProgrammingEngine::StepNone
            ? tr("Programming %1 into the %2 failed: %3").arg(fileName, where, result.reason)
            : tr("Programming %1 into the %2 failed while %3: %4")
                  .arg(fileName, where, ProgrammingEngine::stepName(result.step), result.reason);
    }
}

QString ProgrammingReport::reason(const ProgrammingEngine::Result& result)
{
    switch (result.outcome) {
    case ProgrammingEngine::OutcomeProgrammed:
    case ProgrammingEngine::OutcomeUnchanged:
        return QString();
    case ProgrammingEngine::OutcomeCancelled:
        return result.written ? tr("Stopped; the module may hold incomplete content.")
                              : tr("Stopped before anything was written.");
    case ProgrammingEngine::OutcomeFailed:
        if (result.step != ProgrammingEngine::StepNone)
            return tr("While %1: %2").arg(ProgrammingEngine::stepName(result.step), result.reason);
        return result.reason;
    default:
        return result.reason;
    }
}
