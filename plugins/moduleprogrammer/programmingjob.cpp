#include "programmingjob.h"

#include "batchprogrammer.h"
#include "connectionmanager.h"
#include "hexmodel.h"
#include "jobinterrupt.h"
#include "km4200controller.h"
#include "moduleprogrammerlog.h"
#include "motherboard.h"
#include "programmingreport.h"
#include "programoptions.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTextStream>

#include <memory>

ProgrammingJob::ProgrammingJob(QTextStream* out, bool json, QObject* parent)
    : QObject(parent)
    , m_out(out)
    , m_json(json)
{
}

int ProgrammingJob::run(const ProgramOptions& options)
{
    // The shell opens the library before it offers the command line; a host
    // that did not gets it opened for the job.
    std::unique_ptr<KM4200Controller> ownController;
    if (!KM4200Controller::isOpen()) {
        qCDebug(lcModuleProgrammer) << "library not opened by the host; opening it for the job";
        ownController = std::make_unique<KM4200Controller>();
    }
    return runOnLibrary(options);
}

int ProgrammingJob::runOnLibrary(const ProgramOptions& options)
{
    // Ctrl+C or SIGTERM cancels the boards still running; a second one ends at once.
    JobInterrupt interrupt;
    const int slot = options.slot();
    const QString path = QFileInfo(options.fileName()).absoluteFilePath();
    m_fileName = QFileInfo(path).fileName();

    HexModel image;
    const ProgrammingEngine::Result read = ProgrammingEngine::readHexFile(path, &image);
    if (read.outcome == ProgrammingEngine::OutcomeBadFile) {
        error(tr("cannot read the HEX file %1: %2").arg(QDir::toNativeSeparators(path), read.reason));
        return ExitBadInput;
    }
    const QList<int> boards = options.newBoards() ? QList<int>() : chooseBoards(options);
    if (boards.isEmpty() && !options.newBoards())
        return ExitBadInput;
    if (!m_json)
        line(tr("Read %1 (%2 bytes)").arg(QDir::toNativeSeparators(path)).arg(image.byteCount()));

    // All boards at once, each reporting on its own.
    BatchProgrammer batch;
    batch.setOwner(tr("the -program job"));
    connect(&batch, &BatchProgrammer::boardProgress, this, &ProgrammingJob::progress);
    connect(&batch, &BatchProgrammer::boardStepEnded, this, &ProgrammingJob::stepEnded);
    connect(&batch, &BatchProgrammer::boardFinished, this,
        [this, slot](int boardID, const ProgrammingEngine::Result& result) { boardFinished(boardID, slot, result); });
    connect(&interrupt, &JobInterrupt::interrupted, &batch, &BatchProgrammer::cancel);
    QEventLoop loop;
    bool allGood = false;
    connect(&batch, &BatchProgrammer::finished, &loop, [&](const BatchProgrammer::Summary& summary) {
        allGood = summary.allGood();
        if (options.newBoards())
            printSummary(summary);
        loop.quit();
    });
    if (options.newBoards()) {
        // Each connection from now on, until -count boards or Ctrl+C.
        connect(&batch, &BatchProgrammer::disarmed, this, [this](const QString& reason) {
            if (m_json)
                json({ { QStringLiteral("armed"), false }, { QStringLiteral("message"), reason } });
            else
                line(tr("No more boards are taken: %1").arg(reason));
        });
        const QString digest = QString::fromLatin1(BatchProgrammer::fileDigest(path));
        if (m_json) {
            json({ { QStringLiteral("armed"), true }, { QStringLiteral("file"), QDir::toNativeSeparators(path) },
                { QStringLiteral("sha256"), digest }, { QStringLiteral("slot"), slot },
                { QStringLiteral("count"), options.count() } });
        } else {
            line(tr("Armed: each motherboard plugged in from now on gets %1 (SHA-256 %2...) in its %3; %4")
                     .arg(m_fileName, digest.left(12), ProgrammingEngine::slotName(slot),
                         options.count() > 0 ? tr("ends after %n board(s) or on Ctrl+C.", nullptr, options.count())
                                             : tr("Ctrl+C ends.")));
        }
        batch.arm(path, slot, image, options.count());
    } else {
        batch.start(boards, slot, image);
    }
    if (batch.isRunning())
        loop.exec();
    qCDebug(lcModuleProgrammer) << "job on" << boards << "ends; all good:" << allGood;
    return allGood ? ExitSuccess : ExitProgrammingFailed;
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
        // Every board is checked before the first is written.
        const QString problem = BatchProgrammer::problem(boardID, options.slot());
        if (!problem.isEmpty()) {
            error(problem);
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
    json({ { QStringLiteral("board"), boardID }, { QStringLiteral("step"), ProgrammingEngine::stepName(step) },
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
    line(tr("Board %1: %2").arg(boardID).arg(what));
}

void ProgrammingJob::boardFinished(int boardID, int slot, const ProgrammingEngine::Result& result)
{
    const QString message = ProgrammingReport::describe(result, m_fileName, boardID, slot);
    const QString name = ProgrammingReport::resultName(result);
    if (m_json) {
        json({ { QStringLiteral("board"), boardID }, { QStringLiteral("slot"), slot },
            { QStringLiteral("result"), name }, { QStringLiteral("message"), message },
            { QStringLiteral("time"), ProgrammingReport::timeStamp(QDateTime::currentDateTime()) } });
    } else {
        line(tr("Board %1: %2: %3").arg(boardID).arg(name, message));
    }
}

void ProgrammingJob::printSummary(const BatchProgrammer::Summary& summary)
{
    const int programmed = summary.counts.value(QStringLiteral("programmed"));
    const int unchanged = summary.counts.value(QStringLiteral("unchanged"));
    const int failed = summary.boards - programmed - unchanged;
    if (m_json) {
        json({ { QStringLiteral("summary"),
            QJsonObject { { QStringLiteral("programmed"), programmed }, { QStringLiteral("unchanged"), unchanged },
                { QStringLiteral("failed"), failed } } } });
    } else {
        line(tr("Done: %1 programmed, %2 unchanged, %3 failed.").arg(programmed).arg(unchanged).arg(failed));
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
