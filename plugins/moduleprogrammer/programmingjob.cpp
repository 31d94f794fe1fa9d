#include "programmingjob.h"

#include "connectable.h"
#include "connectionmanager.h"
#include "hexmodel.h"
#include "hexparserfactory.h"
#include "km4200controller.h"
#include "moduleprogrammerlog.h"
#include "motherboard.h"
#include "programoptions.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QTextStream>

#include <memory>

ProgrammingJob::ProgrammingJob(QTextStream* out, QObject* parent)
    : QObject(parent)
    , m_out(out)
{
}

QString ProgrammingJob::slotName(int slot)
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
    const int boardID = options.boardID();
    const int slot = options.slot();
    const QString path = QFileInfo(options.fileName()).absoluteFilePath();

    auto* motherBoard = qobject_cast<MotherBoard*>(ConnectionManager::Instance()->getBoardByID(boardID));
    if (!motherBoard || motherBoard->getTypeConnected() != Connectable::TypeMotherBoard) {
        QStringList connected;
        const auto boards = ConnectionManager::Instance()->getBoardIterator();
        for (auto it = boards.constBegin(); it != boards.constEnd(); ++it) {
            if (it.value() && it.value()->getTypeConnected() == Connectable::TypeMotherBoard)
                connected << QString::number(it.key());
        }
        line(tr("Error: no motherboard with ID %1 is connected (connected: %2).")
                 .arg(boardID)
                 .arg(connected.isEmpty() ? tr("none") : connected.join(QStringLiteral(", "))));
        return ExitBadInput;
    }
    if (slot == MotherBoard::SlotExternalModule && !motherBoard->hasModuleExternalModuleCapability()) {
        line(tr("Error: board %1 has no connector for an external module.").arg(boardID & 0xff));
        return ExitBadInput;
    }
    KTModule* module = motherBoard->getModule(slot);
    if (!module) {
        line(tr("Error: board %1 has no module slot %2.").arg(boardID & 0xff).arg(slot));
        return ExitBadInput;
    }

    HexModel* model = module->getModel();
    model->reset();
    if (!HexParserFactory::read(path, model, HexParserFactory::FormatIntelHex)) {
        line(tr("Error: cannot read the HEX file %1: %2").arg(path, HexParserFactory::lastError()));
        return ExitBadInput;
    }
    line(tr("Read %1 (%2 bytes)").arg(path).arg(model->byteCount()));

    // This job writes program memory, whatever a page set up before.
    module->setTargetMemoryType(KTModule::MemoryNormal);
    motherBoard->setDefaultMode(false);
    const QString target = tr("%1 of board %2").arg(slotName(slot)).arg(boardID & 0xff);

    // The board may leave the bus while the job waits; its objects go with it.
    QPointer<MotherBoard> boardGuard(motherBoard);
    QPointer<KTModule> moduleGuard(module);
    auto lost = [&]() {
        if (boardGuard && moduleGuard && ConnectionManager::Instance()->getBoardByID(boardID) == boardGuard)
            return false;
        line(tr("Error: board %1 was disconnected while its %2 was being programmed.")
                 .arg(boardID & 0xff)
                 .arg(slotName(slot)));
        return true;
    };

    quint32 status = 0;
    begin(tr("Comparing with the %1 ...").arg(target));
    if (!runStep(module, KTModule::OperationVerifying, &status)) {
        finish(tr("no answer"));
        line(tr("Error: could not connect to the %1. Please ensure that the module is in place and the motherboard "
                "turned on.")
                 .arg(target));
        return ExitProgrammingFailed;
    }

    const bool upToDate = status == KTModule::StatusSuccess;
    if (upToDate) {
        finish(tr("equal, nothing to program"));
    } else {
        finish(tr("different"));
        if (lost())
            return ExitProgrammingFailed;

        begin(tr("Programming ..."));
        quint32 programStatus = 0;
        if (!runStep(module, KTModule::OperationProgramming, &programStatus))
            finish(tr("did not start"));
        else
            finish(programStatus == KTModule::StatusSuccess ? tr("done") : tr("failed (status %1)").arg(programStatus));

        if (lost())
            return ExitProgrammingFailed;
        // Verified whatever programming reported: the module's content decides.
        begin(tr("Verifying ..."));
        if (!runStep(module, KTModule::OperationVerifying, &status)) {
            finish(tr("no answer"));
            line(tr("Error: programming the %1 failed.").arg(target));
            return ExitProgrammingFailed;
        }
        if (status != KTModule::StatusSuccess) {
            finish(tr("failed (status %1)").arg(status));
            line(tr("Error: programming the %1 failed.").arg(target));
            return ExitProgrammingFailed;
        }
        finish(tr("ok"));
    }
    if (lost())
        return ExitProgrammingFailed;

    begin(tr("Resetting board %1 ...").arg(boardID & 0xff));
    motherBoard->resetDevice();
    finish(tr("done"));
    line(upToDate ? tr("The %1 already held %2.").arg(target, QFileInfo(path).fileName())
                  : tr("The %1 now holds %2.").arg(target, QFileInfo(path).fileName()));
    return ExitSuccess;
}

bool ProgrammingJob::runStep(KTModule* module, KTModule::Operation what, quint32* status)
{
    QEventLoop loop;
    bool reported = false;
    quint32 reportedStatus = KTModule::StatusDeviceLost;
    connect(module, &KTModule::operationDone, &loop, [&](quint32 reportedWhat, quint32 value) {
        if (reportedWhat != quint32(what))
            return;
        reported = true;
        reportedStatus = value;
        loop.quit();
    });
    // A module that goes away never reports.
    connect(module, &QObject::destroyed, &loop, &QEventLoop::quit);

    bool started = false;
    if (what == KTModule::OperationProgramming) {
        module->startFlag = true;
        started = module->startProgramming();
    } else {
        started = module->startVerifying();
    }
    qCDebug(lcModuleProgrammer) << "step" << quint32(what) << "started" << started;
    if (!started)
        return false;
    if (!reported)
        loop.exec();
    *status = reportedStatus;
    return true;
}

void ProgrammingJob::begin(const QString& text)
{
    *m_out << text << ' ';
    m_out->flush();
}

void ProgrammingJob::finish(const QString& text)
{
    *m_out << text << Qt::endl;
}

void ProgrammingJob::line(const QString& text)
{
    *m_out << text << Qt::endl;
}
