#include "moduleprogrammerpage.h"

#include "applicationdirectory.h"
#include "connectable.h"
#include "connectionmanager.h"
#include "hexfilechooser.h"
#include "hexmodel.h"
#include "ktmodule.h"
#include "moduleprogrammerlog.h"
#include "motherboard.h"
#include "outcomelabel.h"
#include "programmersettings.h"
#include "programmingreport.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

const char* const ModuleProgrammerPage::HelpKey = "moduleprogrammer/doc/index";

ModuleProgrammerPage::ModuleProgrammerPage(int boardID, ProgrammerSettings* settings, QWidget* parent)
    : BaseWidget(parent)
    , m_boardID(boardID)
    , m_settings(settings)
{
    m_heading = createHeadingLabel(this);
    m_heading->setText(title());
    auto* intro = new QLabel(tr("Programs an Intel HEX file into a module of this motherboard. The file is first "
                                "compared with the module's content and programmed only when it differs; the "
                                "module is then verified and the board reset."),
        this);
    intro->setWordWrap(true);

    auto* boardBox = new QGroupBox(tr("Board"), this);
    auto* boardForm = new QFormLayout(boardBox);
    m_boardLabel = new QLabel(boardBox);
    m_firmwareLabel = new QLabel(boardBox);
    m_moduleLabel = new QLabel(boardBox);
    m_extensionLabel = new QLabel(boardBox);
    m_externalLabel = new QLabel(boardBox);
    boardForm->addRow(tr("Board number:"), m_boardLabel);
    boardForm->addRow(tr("Firmware:"), m_firmwareLabel);
    boardForm->addRow(tr("Module:"), m_moduleLabel);
    boardForm->addRow(tr("Extension board:"), m_extensionLabel);
    boardForm->addRow(tr("External module:"), m_externalLabel);

    auto* programBox = new QGroupBox(tr("Program a module"), this);
    auto* programForm = new QFormLayout(programBox);
    m_chooser = new HexFileChooser(this, programBox);
    programForm->addRow(tr("&HEX file:"), m_chooser);

    m_slotCombo = new QComboBox(programBox);
    m_slotCombo->setObjectName(QStringLiteral("slotCombo"));
    programForm->addRow(tr("Module &slot:"), m_slotCombo);

    m_programButton = new QPushButton(tr("&Program"), programBox);
    m_programButton->setObjectName(QStringLiteral("programButton"));
    m_programButton->setDefault(true);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_programButton);
    programForm->addRow(buttonRow);

    m_statusLabel = new OutcomeLabel(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    layout->addWidget(intro);
    layout->addWidget(boardBox);
    layout->addWidget(programBox);
    layout->addWidget(m_statusLabel);
    layout->addStretch(1);

    connect(m_programButton, &QPushButton::clicked, this, &ModuleProgrammerPage::program);
    connect(m_chooser, &HexFileChooser::returnPressed, this, &ModuleProgrammerPage::program);
    connect(m_chooser, &HexFileChooser::chosen, this, [this](const QString& fileName) {
        showStatus(tr("Ready to program %1.").arg(QFileInfo(fileName).fileName()), StatusInfo);
    });

    if (m_settings)
        m_chooser->setFileName(m_settings->lastFile(m_boardID));
    boardUpdate();
    if (m_settings && m_settings->lastSlot(m_boardID) >= 0) {
        const int index = m_slotCombo->findData(m_settings->lastSlot(m_boardID));
        if (index >= 0)
            m_slotCombo->setCurrentIndex(index);
    }
}

ModuleProgrammerPage::~ModuleProgrammerPage() = default;

QString ModuleProgrammerPage::title()
{
    return tr("Program module - Board %1").arg(m_boardID & 0xff);
}

QString ModuleProgrammerPage::helpKey()
{
    return QLatin1String(HelpKey);
}

QString ModuleProgrammerPage::fileName() const
{
    return m_chooser->fileName();
}

void ModuleProgrammerPage::setFileName(const QString& fileName)
{
    m_chooser->setFileName(fileName);
}

MotherBoard* ModuleProgrammerPage::connectedBoard() const
{
    return ConnectionManager::Instance()->motherBoard(m_boardID);
}

void ModuleProgrammerPage::boardUpdate()
{
    MotherBoard* found = connectedBoard();
    const bool wasConnected = m_connected;
    m_connected = found != nullptr;
    const QString none = tr("-");
    m_boardLabel->setText(QString::number(m_boardID & 0xff));
    if (found) {
        m_firmwareLabel->setText(QString::number(found->getBoardFirmwareID()));
        m_moduleLabel->setText(found->moduleName().isEmpty() ? none : found->moduleName());
        m_extensionLabel->setText(found->extensionName().isEmpty() ? none : found->extensionName());
        m_externalLabel->setText(
            found->hasModuleExternalModuleCapability() ? tr("Connector available") : tr("No connector"));
    } else {
        for (QLabel* label : { m_firmwareLabel, m_moduleLabel, m_extensionLabel, m_externalLabel })
            label->setText(none);
    }
    fillSlots(found);
    setRunning(programmingActive);

    // A run cut off by the board leaving keeps its own message.
    const ProgrammingEngine::Result last = programmingResult();
    const bool cutOff
        = last.outcome == ProgrammingEngine::OutcomeDisconnected && last.step != ProgrammingEngine::StepNone;
    if (!found && !programmingActive && !cutOff) {
        showStatus(
            tr("Board %1 is not connected. Connect it to program its modules.").arg(m_boardID & 0xff), StatusError);
    } else if (found && !wasConnected && !programmingActive) {
        showStatus(QString(), StatusInfo);
    }
}

void ModuleProgrammerPage::fillSlots(MotherBoard* board)
{
    const QVariant current = m_slotCombo->currentData();
    QList<QPair<QString, int>> entries;
    if (board) {
        const auto named = [](const QString& slot, const QString& name) {
            return name.isEmpty() ? slot : tr("%1 (%2)").arg(slot, name);
        };
        entries.append({ named(tr("Module"), board->moduleName()), MotherBoard::SlotModule });
        entries.append({ named(tr("Extension board"), board->extensionName()), MotherBoard::SlotExtensionBoard });
        entries.append({ tr("ISP"), MotherBoard::SlotISP });
        if (board->hasModuleExternalModuleCapability())
            entries.append({ tr("External module"), MotherBoard::SlotExternalModule });
    } else {
        entries.append({ tr("Module"), MotherBoard::SlotModule });
    }

    bool same = entries.size() == m_slotCombo->count();
    for (int i = 0; same && i < entries.size(); ++i)
        same = m_slotCombo->itemText(i) == entries.at(i).first && m_slotCombo->itemData(i) == entries.at(i).second;
    if (same)
        return;
    m_slotCombo->clear();
    for (const auto& entry : qAsConst(entries))
        m_slotCombo->addItem(entry.first, entry.second);
    const int index = current.isValid() ? m_slotCombo->findData(current) : -1;
    m_slotCombo->setCurrentIndex(index >= 0 ? index : 0);
}

void ModuleProgrammerPage::setRunning(bool running)
{
    m_programButton->setEnabled(!running && m_connected);
    m_chooser->setBusy(running);
    m_slotCombo->setEnabled(!running && m_connected);
}

void ModuleProgrammerPage::showStatus(const QString& text, StatusKind kind)
{
    m_statusLabel->show(text, OutcomeLabel::Kind(kind));
}

void ModuleProgrammerPage::program()
{
    if (programmingActive)
        return;
    const QString typed = fileName();
    if (typed.isEmpty()) {
        showStatus(tr("Choose the HEX file to program first."), StatusError);
        m_chooser->pathEdit()->setFocus();
        return;
    }
    const QFileInfo file(QDir::fromNativeSeparators(typed));
    if (!file.isFile()) {
        const QString message
            = tr("The file %1 does not exist.").arg(QDir::toNativeSeparators(file.absoluteFilePath()));
        emit logmessage(KestrixStudio::LogError, message);
        showStatus(message, StatusError);
        return;
    }

    const int slot = m_slotCombo->currentData().toInt();
    if (m_settings) {
        m_settings->setLastFile(m_boardID, QDir::toNativeSeparators(file.absoluteFilePath()));
        m_settings->setLastSlot(m_boardID, slot);
    }

    // The sequence reads "<application folder>/<folder>/<file>".
    QString folder = QDir(ApplicationDirectory::path()).relativeFilePath(file.absolutePath());
    if (folder.isEmpty())
        folder = QStringLiteral(".");
    m_runFile = file.fileName();
    m_runTarget = ProgrammingReport::target(m_boardID, slot);
    qCDebug(lcModuleProgrammer) << "programming" << file.absoluteFilePath() << "as" << folder << m_runFile
                                << "into board" << m_boardID << "slot" << slot;

    setRunning(true);
    showStatus(tr("Programming %1 into the %2 ...").arg(m_runFile, m_runTarget), StatusBusy);
    const bool started = programHexFile(m_runFile, folder, tr("Programming %1 into the %2").arg(m_runFile, m_runTarget),
        tr("The %1 holds %2").arg(m_runTarget, m_runFile),
        tr("Programming %1 into the %2 failed").arg(m_runFile, m_runTarget), m_boardID, slot);
    if (started)
        return;

    // Stopped before the module was asked: nothing is running.
    programmingActive = false;
    setRunning(false);
    showStatus(outcomeText(programmingResult()), StatusError);
}

void ModuleProgrammerPage::browse()
{
    m_chooser->browse();
}

void ModuleProgrammerPage::prepareModule(KTModule* module)
{
    // Program memory, whatever another page set up on the same module.
    if (module)
        module->setTargetMemoryType(KTModule::MemoryNormal);
    if (motherBoard)
        motherBoard->setDefaultMode(false);
}

QString ModuleProgrammerPage::outcomeText(const ProgrammingEngine::Result& result) const
{
    return ProgrammingReport::describe(result, m_runFile, m_boardID, moduleIndex);
}

void ModuleProgrammerPage::afterProgramming()
{
    setRunning(false);
    const ProgrammingEngine::Result result = programmingResult();
    const QString text = outcomeText(result);
    if (result.outcome == ProgrammingEngine::OutcomeDisconnected || result.outcome == ProgrammingEngine::OutcomeFailed)
        emit logmessage(KestrixStudio::LogError, text);
    showStatus(text, result.succeeded() ? StatusSuccess : StatusError);
    boardUpdate();
}
