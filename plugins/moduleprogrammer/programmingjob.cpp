#include "programmingjob.h"

#include "connectable.h"
#include "connectionmanager.h"
#include "hexmodel.h"
#include "km4200controller.h"
#include "moduleprogrammerlog.h"
#include "motherboard.h"
#include "programoptions.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTextStream>

#include <memory>
#include <vector>

ProgrammingJob::ProgrammingJob(QTextStream* out, bool json, QObject* parent)
    : QObject(parent)
    , m_out(out)
    , m_json(json)
{
}

QString ProgrammingJob::resultName(const ProgrammingEngine::Result& result)
{
    if (result.outcome == ProgrammingEngine::OutcomeBadFile || result.outcome == ProgrammingEngine::OutcomeBusy
        || result.outcome == ProgrammingEngine::OutcomeNone)
        return QStringLiteral("failed");
    return ProgrammingEngine::outcomeName(result.outcome);
}

int ProgrammingJob::run(const ProgramOptions& options)
{
    // The shell opens the library before it offers the command line. A host
    // that did not leaves no start-up messages behind; open it for the job.
    std::unique_ptr<KM4200Controller> ownController;
    if (ConnectionManager::Instance()->getLogmessagesFromInit().isEmpty()) {
        qCDebug(lcModuleProgrammer) << "library not opened by the host; opening it for the job";
        ownController = std::make_unique<KM4200Controller>();
    }
    return runOnLibrary(options);
}

int ProgrammingJob::runOnLibrary(const ProgramOptions& options)
{
    const int slot = options.slot();
    const QString path = QFileInfo(options.fileName()).absoluteFilePath();
    m_fileName = QFileInfo(path).fileName();

    HexModel image;
    const ProgrammingEngine::Result read = ProgrammingEngine::readHexFile(path, &image);
    if (read.outcome == ProgrammingEngine::OutcomeBadFile) {
        error(tr("cannot read the HEX file %1: %2").arg(QDir::toNativeSeparators(path), read.reason));
        return ExitBadInput;
    }
    const QList<int> boards = chooseBoards(options);
    if (boards.isEmpty())
        return ExitBadInput;
    if (!m_json)
        line(tr("Read %1 (%2 bytes)").arg(QDir::toNativeSeparators(path)).arg(image.byteCount()));

    // All boards at once; each engine reports on its own.
    QEventLoop loop;
    int running = 0;
    bool failed = false;
    std::vector<std::unique_ptr<ProgrammingEngine>> engines;
    for (int boardID : boards) {
        engines.push_back(std::make_unique<ProgrammingEngine>());
        ProgrammingEngine* engine = engines.back().get();
        engine->setOwner(tr("the -program job"));
        // This job writes program memory, whatever a page set up before.
        engine->setProgramMemory(true);
        connect(engine, &ProgrammingEngine::progress, this,
            [this, boardID](ProgrammingEngine::Step step, int percent) { progress(boardID, step, percent); });
        connect(engine, &ProgrammingEngine::stepEnded, this,
            [this, boardID](ProgrammingEngine::Step step, quint32 status) { stepEnded(boardID, step, status); });
        connect(engine, &ProgrammingEngine::finished, this, [&, boardID](const ProgrammingEngine::Result& result) {
            boardFinished(boardID, slot, result);
            failed = failed || !result.succeeded();
            if (--running == 0)
                loop.quit();
        });
        ++running;
        if (!engine->start(boardID, slot, image)) {
            --running;
            failed = true;
            boardFinished(boardID, slot, engine->result());
        }
    }
    if (running > 0)
        loop.exec();
    qCDebug(lcModuleProgrammer) << "job on" << boards << "ends; failed:" << failed;
    return failed ? ExitProgrammingFailed : ExitSuccess;
}

QList<int> ProgrammingJob::chooseBoards(const ProgramOptions& options)
{
    const QList<int> connected = ConnectionManager::Instance()->motherBoards().keys();
    QStringList connectedText;
    for (int boardID : qAsConst(connected))
        connectedText << QString::number(boardID);
    const QString connectedList = connected.isEmpty() ? tr("none") : connectedText.join(QStringLiteral(", "));

    QList<int> chosen = options.allBoards() ? connected : options.boardIDs();
    if (chosen.isEmpty()) {
        error(tr("no motherboard is connected."));
        return {};
    }
    for (int boardID : qAsConst(chosen)) {
        if (!connected.contains(boardID)) {
            error(tr("no motherboard with ID %1 is connected (connected: %2).").arg(boardID).arg(connectedList));
            return {};
        }
        auto* motherBoard = ConnectionManager::Instance()->motherBoard(boardID);
        if (options.slot() == MotherBoard::SlotExternalModule && !motherBoard->hasModuleExternalModuleCapability()) {
            error(tr("board %1 has no connector for an external module.").arg(boardID & 0xff));
            return {};
        }
        if (!motherBoard->hasModuleInSlot(options.slot())) {
            error(tr("board %1 has no %2 (slot %3).")
                      .arg(boardID & 0xff)
                      .arg(ProgrammingEngine::slotName(options.slot()))
                      .arg(options.slot()));
            return {};
        }
    }
    return chosen;
}

void ProgrammingJob::progress(int boardID, ProgrammingEngine::Step step, int percent)
{
    if (!m_json)
        return;
    const int key = int(step) * 1000 + percent;
    if (m_lastProgress.value(boardID, -1) == key)
        return;
    m_lastProgress.insert(boardID, key);
    json({ { QStringLiteral("board"), boardID & 0xff }, { QStringLiteral("step"), ProgrammingEngine::stepName(step) },
        { QStringLiteral("percent"), percent } });
}

void ProgrammingJob::stepEnded(int boardID, ProgrammingEngine::Step step, quint32 status)
{
    if (m_json)
        return;
    QString what;
    switch (step) {
    case ProgrammingEngine::StepComparing:
        what = status == KTModule::StatusSuccess ? tr("Comparing ... equal, nothing to program")
                                                 : tr("Comparing ... different");
        break;
    case ProgrammingEngine::StepProgramming:
        what = status == KTModule::StatusSuccess ? tr("Programming ... done")
                                                 : tr("Programming ... failed (status %1)").arg(status);
        break;
    default:
        what = status == KTModule::StatusSuccess ? tr("Verifying ... ok")
                                                 : tr("Verifying ... failed (status %1)").arg(status);
        break;
    }
    line(tr("Board %1: %2").arg(boardID & 0xff).arg(what));
}

void ProgrammingJob::boardFinished(int boardID, int slot, const ProgrammingEngine::Result& result)
{
    const QString target = tr("%1 of board %2").arg(ProgrammingEngine::slotName(slot)).arg(boardID & 0xff);
    QString message;
    switch (result.outcome) {
    case ProgrammingEngine::OutcomeProgrammed:
        message = tr("The %1 now holds %2.").arg(target, m_fileName);
        break;
    case ProgrammingEngine::OutcomeUnchanged:
        message = tr("The %1 already held %2.").arg(target, m_fileName);
        break;
    case ProgrammingEngine::OutcomeCancelled:
        message = result.written ? tr("Cancelled; the %1 may hold incomplete content.").arg(target)
                                 : tr("Cancelled before anything was written to the %1.").arg(target);
        break;
    case ProgrammingEngine::OutcomeDisconnected:
        message = tr("Board %1 was disconnected while its %2 was being programmed.")
                      .arg(boardID & 0xff)
                      .arg(ProgrammingEngine::slotName(slot));
        break;
    default:
        message = tr("Programming the %1 failed while %2: %3")
                      .arg(target, ProgrammingEngine::stepName(result.step), result.reason);
        break;
    }
    if (m_json) {
        json({ { QStringLiteral("board"), boardID & 0xff }, { QStringLiteral("slot"), slot },
            { QStringLiteral("result"), resultName(result) }, { QStringLiteral("message"), message } });
    } else {
        line(tr("Board %1: %2: %3").arg(boardID & 0xff).arg(resultName(result), message));
    }
}

void ProgrammingJob::error(const QString& message)
{
    if (m_json)
        json({ { QStringLiteral("result"), QStringLiteral("error") }, { QStringLiteral("message"), message } });
    else
        line(tr("Error: %1").arg(message));
}

void ProgrammingJob::line(const QString& text)
{
    // One line per event, whatever a file name holds.
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QStringLiteral("\\r")).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    *m_out << shown << Qt::endl;
}

void ProgrammingJob::json(const QJsonObject& object)
{
    *m_out << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) << Qt::endl;
}
