#include "flashdefaultsettings.h"

#include "connectable.h"
#include "connectionmanager.h"
#include "hexmodel.h"
#include "infopage.h"
#include "ktmodule.h"
#include "motherboard.h"
#include "programmingengine.h"
#include "ui_flashdefaultsettings.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QStatusBar>

namespace
{

// Connector numbers of `target`, which are also the module slots.
const int targetModule = 0;
const int targetExtensionBoard = 1;
const int targetISP = 2;
const int targetNone = 255;
const int slotExternalModule = 3;

struct ChipEntry {
    const char* text;
    int ispDeviceType;
};

const ChipEntry chipEntries[] = {
    { QT_TRANSLATE_NOOP("FlashDefaultSettings", "KT21 - QFN48"), 13 },
    { QT_TRANSLATE_NOOP("FlashDefaultSettings", "KT21 - QFN32"), 25 },
    { QT_TRANSLATE_NOOP("FlashDefaultSettings", "KT21 - QFN24"), 34 },
    { QT_TRANSLATE_NOOP("FlashDefaultSettings", "KT22+"), 37 },
    { QT_TRANSLATE_NOOP("FlashDefaultSettings", "KT52"), 125 },
    { QT_TRANSLATE_NOOP("FlashDefaultSettings", "KT45 - QFN24"), 4 },
    { QT_TRANSLATE_NOOP("FlashDefaultSettings", "KT45 - QFN28"), 5 },
};

} // namespace

FlashDefaultSettings::FlashDefaultSettings(QWidget* parent)
    : BaseWidget(parent)
    , ui(new Ui::FlashDefaultSettings)
    , programmingSucceeded(false)
    , verifyingSucceeded(false)
    , target(targetNone)
{
    ui->setupUi(this);

    connect(ui->programButton, SIGNAL(clicked()), this, SLOT(startProgramming()));
    connect(ui->exitButton, SIGNAL(clicked()), qApp, SLOT(quit()));
    connect(ui->boardBox, SIGNAL(currentIndexChanged(int)), this, SLOT(chipTypeUpdate()));
    connect(ui->KTModule, SIGNAL(clicked()), this, SLOT(targetChanged()));
    connect(ui->KTISP, SIGNAL(clicked()), this, SLOT(targetChanged()));
    connect(ui->extensionBoard, SIGNAL(clicked()), this, SLOT(targetChanged()));

    for (const ChipEntry& chip : chipEntries)
        ui->deviceTypeSelector->addItem(tr(chip.text), chip.ispDeviceType);

    ui->programDongle->hide();

    boardUpdate();
    targetChanged();
}

FlashDefaultSettings::~FlashDefaultSettings()
{
    delete ui;
}

int FlashDefaultSettings::selectedBoardID() const
{
    return ui->boardBox->currentData().toInt();
}

void FlashDefaultSettings::boardUpdate()
{
    // The user's board stays chosen while it is connected: a refill must not
    // move the next Program (maybe an OTP write) to another board.
    const int chosen = selectedBoardID();
    {
        const QSignalBlocker blocker(ui->boardBox);
        ui->boardBox->clear();
        const QList<int> boards = ConnectionManager::Instance()->motherBoards().keys();
        for (int boardID : boards)
            ui->boardBox->addItem(tr("Board %1").arg(boardID), boardID);
        const int index = ui->boardBox->findData(chosen);
        ui->boardBox->setCurrentIndex(index >= 0 ? index : 0);
        if (chosen != 0 && index < 0) {
            showStatus(ui->boardBox->count() > 0
                    ? tr("Board %1 was disconnected; %2 is selected now.").arg(chosen).arg(ui->boardBox->currentText())
                    : tr("Board %1 was disconnected.").arg(chosen));
        }
    }
    chipTypeUpdate();
}

void FlashDefaultSettings::showStatus(const QString& text)
{
    if (auto* mainWindow = qobject_cast<QMainWindow*>(window()))
        mainWindow->statusBar()->showMessage(text);
    emit logmessage(KestrixStudio::LogStatus, text);
}

void FlashDefaultSettings::chipTypeUpdate()
{
    setBoard(selectedBoardID());
    if (motherBoard) {
        ui->chipTypeLabel->setText(motherBoard->moduleName());
        ui->chipTypeExtensionLabel->setText(motherBoard->extensionName());
        ui->programDongle->setVisible(motherBoard->hasModuleExternalModuleCapability());
    } else {
        ui->chipTypeLabel->setText(tr("No board selected"));
        ui->chipTypeExtensionLabel->setText(tr("No board selected"));
        ui->programDongle->hide();
    }
}

void FlashDefaultSettings::targetChanged()
{
    target = targetNone;

    const bool moduleConnector = ui->KTModule->isChecked();
    if (moduleConnector)
        target = targetModule;
    ui->chipTypeLabel->setEnabled(moduleConnector);

    const bool isp = ui->KTISP->isChecked();
    if (isp)
        target = targetISP;
    ui->deviceTypeSelector->setEnabled(isp);

    const bool extension = ui->extensionBoard->isChecked();
    if (extension)
        target = targetExtensionBoard;
    ui->otpSelector->setEnabled(extension);
    ui->chipTypeExtensionLabel->setEnabled(extension);
}

void FlashDefaultSettings::startProgramming()
{
    setBoard(selectedBoardID());
    if (!motherBoard) {
        QMessageBox::information(this, tr("Board not connected"),
            tr("The selected board has been disconnected.\r\nPlease reconnect the board and try again."),
            QMessageBox::Ok);
        return;
    }

    emit logmessage(KestrixStudio::LogStatus, tr("Checking HEX file"));

    const bool isp = ui->KTISP->isChecked();
    const bool otp = !isp && ui->extensionBoard->isChecked() && ui->otpSelector->isChecked();
    const KTModule::MemoryType memoryType = otp ? KTModule::MemoryOTP : KTModule::MemoryNormal;
    const int ispDeviceType = ui->deviceTypeSelector->currentData().toInt();

    // The dongle box counts only where it applies: shown, and the module connector chosen.
    const bool dongle = ui->programDongle->isChecked() && !ui->programDongle->isHidden() && ui->KTModule->isChecked();
    const int slot = dongle ? slotExternalModule : target;
    KTModule* chosen = motherBoard->getModule(slot);
    if (!chosen) {
        emit logmessage(
            KestrixStudio::LogError, tr("Board %1 offers no module on the selected connector").arg(selectedBoardID()));
        return;
    }
    module = chosen;
    programmedBoard = motherBoard;
    programmedBoardID = selectedBoardID();
    programmedConnector = dongle         ? tr("dongle")
        : target == targetISP            ? ui->KTISP->text()
        : target == targetExtensionBoard ? ui->extensionBoard->text()
                                         : ui->KTModule->text();
    programmedOtp = otp;

    disconnect(chosen, SIGNAL(operationDone(quint32, quint32)), this, SLOT(flashCheck(quint32, quint32)));
    connect(chosen, SIGNAL(operationDone(quint32, quint32)), this, SLOT(flashCheck(quint32, quint32)));

    // The engine starts, verifies and aborts; the page keeps its form, its
    // texts and its boxes. A fresh engine per run: an old run's reports never
    // reach this one.
    if (engine) {
        engine->disconnect(this);
        engine->cancel();
        engine.release()->deleteLater(); // this may run inside its last signal
    }
    engine = std::make_unique<ProgrammingEngine>();
    engine->setOwner(tr("the default-settings page"));
    engine->setExternalReports(true);
    ProgrammingEngine::Options options;
    options.compareFirst = false;
    options.verify = !otp; // OTP content cannot be read back: neither verified nor followed by a reset
    options.verifyAfterFailedProgramming = false;
    options.reset = false; // after the box
    engine->setOptions(options);
    connect(engine.get(), &ProgrammingEngine::stepStarted, this, [=](ProgrammingEngine::Step step) {
        if (step == ProgrammingEngine::StepProgramming) {
            // The board is this page's now: set it up for the default settings.
            if (isp)
                motherBoard->flashSetISPDeviceType(ispDeviceType);
            showProgressDialog(chosen, tr("Programming hexfile"), tr("Programming"));
            motherBoard->setDefaultMode(true);
            if (Infopage* page = chosen->infopage())
                page->reset();
            chosen->setTargetMemoryType(memoryType);
            chosen->setMemoryParts(KTModule::MemoryPartProgram);
        } else if (step == ProgrammingEngine::StepVerifying) {
            showProgressDialog(chosen, tr("Verifying hexfile"), tr("Verifying"));
            chosen->setMemoryParts(KTModule::MemoryPartVerify);
        }
    });
    connect(engine.get(), &ProgrammingEngine::finished, this, &FlashDefaultSettings::runFinished);

    // An empty image: in default mode the library programs the default settings.
    if (!engine->start(motherBoard, chosen, slot, HexModel())) {
        const ProgrammingEngine::Result refused = engine->result();
        emit logmessage(KestrixStudio::LogError, refused.reason);
        QMessageBox::information(this, tr("Board busy"), refused.reason, QMessageBox::Ok);
    }
}

void FlashDefaultSettings::progressDialogCancel()
{
    if (!progressDialogActive)
        return;
    BaseWidget::progressDialogCancel();
    // Stop the module now, not when it would have finished: it reports the
    // abort at once, with nothing written.
    if (engine && engine->isRunning())
        engine->cancel();
}

void FlashDefaultSettings::flashCheck(quint32 what, quint32 status)
{
    closeProgressDialog();
    lastStatus = status;
    if (what == KTModule::OperationProgramming) {
        operationFinished = true;
        programmingSucceeded = status == 0;
    } else if (what == KTModule::OperationVerifying) {
        operationFinished = true;
        verifyingSucceeded = status == 0;
    }
    if (engine && engine->isRunning())
        engine->report(what, status);
}

void FlashDefaultSettings::runFinished(const ProgrammingEngine::Result& result)
{
    closeProgressDialog();
    if (result.outcome == ProgrammingEngine::OutcomeCancelled) {
        // The engine has aborted the module already.
        QMessageBox::information(this, tr("Operation canceled"), tr("User canceled the operation"), QMessageBox::Ok);
        emit logmessage(KestrixStudio::LogStatus, tr("User canceled the operation"));
        return;
    }
    if (result.step != ProgrammingEngine::StepVerifying) {
        // The programming report ended the run.
        if (!result.succeeded()) {
            logFailure(KTModule::OperationProgramming);
            QMessageBox::warning(this, tr("Programming failed"), tr("Where not able to program"), QMessageBox::Ok);
        } else if (programmedOtp) {
            QMessageBox::information(
                this, tr("Programming done"), tr("Infopage on the OTP circuit is done."), QMessageBox::Ok);
        }
        return;
    }
    if (!result.succeeded()) {
        logFailure(KTModule::OperationVerifying);
        QMessageBox::warning(this, tr("Programming failed"), tr("Where not able to program"), QMessageBox::Ok);
    } else {
        QMessageBox::information(this, tr("Programming done"),
            tr("The programming went well. Everything should work as normal"), QMessageBox::Ok);
    }
    if (programmedBoard)
        programmedBoard->resetDevice();
    if (module)
        module->setMemoryParts(KTModule::MemoryPartVerify);
}

void FlashDefaultSettings::logFailure(quint32 what)
{
    const int id = programmedBoardID;
    QString text;
    switch (lastStatus) {
    case KTModule::StatusDeviceLost:
        text = tr("Board %1 was disconnected.").arg(id);
        break;
    case KTModule::StatusBoardReset:
        text = tr("Board %1 was reset from elsewhere while its %2 was being programmed.")
                   .arg(id)
                   .arg(programmedConnector);
        break;
    case KTModule::StatusNoModule:
        text = tr("Board %1 has no module on the %2 connector.").arg(id).arg(programmedConnector);
        break;
    case KTModule::StatusOTPWritten:
        text = tr("The OTP memory on board %1 already holds other content.").arg(id);
        break;
    case KTModule::StatusMismatch:
        text = tr("The %1 on board %2 does not hold the default settings.").arg(programmedConnector).arg(id);
        break;
    default:
        text = (what == KTModule::OperationProgramming ? tr("Programming board %1 failed with status %2.")
                                                       : tr("Verifying board %1 failed with status %2."))
                   .arg(id)
                   .arg(lastStatus);
    }
    emit logmessage(KestrixStudio::LogError, text);
}
