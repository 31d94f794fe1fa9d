#include "allboardspage.h"

#include "connectable.h"
#include "connectionmanager.h"
#include "hexfilechooser.h"
#include "hexmodel.h"
#include "moduleprogrammerlog.h"
#include "moduleprogrammerpage.h"
#include "motherboard.h"
#include "outcomelabel.h"
#include "programmersettings.h"
#include "programmingreport.h"
#include "statuscolors.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{
QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
} // namespace

AllBoardsPage::AllBoardsPage(ProgrammerSettings* settings, QWidget* parent)
    : BaseWidget(parent)
    , m_settings(settings)
    , m_batch(new BatchProgrammer(this))
{
    m_batch->setOwner(tr("the All boards page"));
    connect(m_batch, &BatchProgrammer::boardStep, this, [this](int boardID, ProgrammingEngine::Step step) {
        Row& row = rowOf(boardID);
        setCell(row.row, ColumnStep, ProgrammingEngine::stepName(step));
        row.bar->setValue(0);
    });
    connect(m_batch, &BatchProgrammer::boardProgress, this,
        [this](int boardID, ProgrammingEngine::Step, int percent) { rowOf(boardID).bar->setValue(percent); });
    connect(m_batch, &BatchProgrammer::boardArrived, this, &AllBoardsPage::boardArrived);
    connect(m_batch, &BatchProgrammer::disarmed, this, &AllBoardsPage::disarmed);
    connect(m_batch, &BatchProgrammer::boardFinished, this, &AllBoardsPage::boardFinished);
    connect(m_batch, &BatchProgrammer::finished, this, &AllBoardsPage::batchFinished);
    setMaximumWidth(QWIDGETSIZE_MAX); // the table needs the room

    QLabel* heading = createHeadingLabel(this);
    heading->setText(tr("Program all boards"));
    auto* intro = new QLabel(tr("Programs one Intel HEX file into the same module slot of every connected "
                                "motherboard at once. Each module is compared first and programmed only when it "
                                "differs, then verified, and its board reset."),
        this);
    intro->setWordWrap(true);

    auto* programBox = new QGroupBox(tr("Program"), this);
    auto* form = new QFormLayout(programBox);
    m_chooser = new HexFileChooser(this, programBox);
    form->addRow(tr("&HEX file:"), m_chooser);
    m_slotCombo = new QComboBox(programBox);
    m_slotCombo->setObjectName(QStringLiteral("slotCombo"));
    for (int slot = MotherBoard::SlotModule; slot <= MotherBoard::SlotExternalModule; ++slot) {
        QString name = ProgrammingEngine::slotName(slot);
        name[0] = name[0].toUpper();
        m_slotCombo->addItem(name, slot);
    }
    form->addRow(tr("Module &slot:"), m_slotCombo);

    m_programButton = new QPushButton(tr("&Program"), programBox);
    m_programButton->setObjectName(QStringLiteral("programButton"));
    m_programButton->setDefault(true);
    // Explicit, visible and bounded: off at every start, never remembered.
    m_productionSwitch = new QCheckBox(tr("Program each board as it is p&lugged in"), programBox);
    m_productionSwitch->setObjectName(QStringLiteral("productionSwitch"));
    m_productionSwitch->setToolTip(tr("Boards connected now are left alone; each board plugged in from now on is "
                                      "programmed once with the file and slot above."));
    m_limitSpin = new QSpinBox(programBox);
    m_limitSpin->setObjectName(QStringLiteral("limitSpin"));
    m_limitSpin->setRange(0, 100000);
    m_limitSpin->setSpecialValueText(tr("no limit"));
    m_limitSpin->setSuffix(tr(" boards"));
    auto* production = new QHBoxLayout;
    production->addWidget(m_productionSwitch);
    production->addStretch(1);
    auto* limitLabel = new QLabel(tr("Stop &after:"), programBox);
    limitLabel->setBuddy(m_limitSpin);
    production->addWidget(limitLabel);
    production->addWidget(m_limitSpin);
    form->addRow(production);
    m_armedLabel = new QLabel(programBox);
    m_armedLabel->setObjectName(QStringLiteral("armedLabel"));
    m_armedLabel->setWordWrap(true);
    m_armedLabel->setStyleSheet(QStringLiteral("font-weight: bold;"));
    m_armedLabel->hide();
    form->addRow(m_armedLabel);

    m_stopButton = new QPushButton(tr("S&top"), programBox);
    m_stopButton->setObjectName(QStringLiteral("stopButton"));
    m_saveButton = new QPushButton(tr("Save &report..."), programBox);
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_saveButton);
    buttons->addStretch(1);
    buttons->addWidget(m_stopButton);
    buttons->addWidget(m_programButton);
    form->addRow(buttons);

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("boardTable"));
    m_table->setAccessibleName(tr("Boards and their results"));
    m_table->setHorizontalHeaderLabels({ tr("Board"), tr("Module"), tr("Step"), tr("Progress"), tr("Result") });
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    // Tab leaves the table (no focus trap); the arrows move through it.
    m_table->setTabKeyNavigation(false);
    // Fixed widths: sizing columns to their contents would measure every row on each progress step.
    QHeaderView* header = m_table->horizontalHeader();
    header->resizeSection(ColumnBoard, 60);
    header->resizeSection(ColumnModule, 180);
    header->resizeSection(ColumnStep, 105);
    header->resizeSection(ColumnProgress, 120);
    header->setStretchLastSection(true);
    m_table->setMinimumHeight(240);

    m_statusLabel = new OutcomeLabel(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(intro);
    layout->addWidget(programBox);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_statusLabel);

    connect(m_programButton, &QPushButton::clicked, this, &AllBoardsPage::program);
    connect(m_stopButton, &QPushButton::clicked, this, &AllBoardsPage::stop);
    connect(m_productionSwitch, &QCheckBox::toggled, this, &AllBoardsPage::setProduction);
    connect(m_saveButton, &QPushButton::clicked, this, &AllBoardsPage::saveReportAs);
    connect(m_chooser, &HexFileChooser::returnPressed, this, &AllBoardsPage::program);

    if (m_settings) {
        m_chooser->setFileName(m_settings->lastFile(PageBoardID));
        const int index = m_slotCombo->findData(m_settings->lastSlot(PageBoardID));
        m_slotCombo->setCurrentIndex(qMax(0, index));
    }
    setRunning(false);
    boardUpdate();
}

AllBoardsPage::~AllBoardsPage() = default;

QString AllBoardsPage::title()
{
    return tr("Program module - All boards");
}

QString AllBoardsPage::helpKey()
{
    return QLatin1String(ModuleProgrammerPage::HelpKey) + QStringLiteral("#allboards");
}

bool AllBoardsPage::deleteWhenReplaced()
{
    return false;
}

QString AllBoardsPage::fileName() const
{
    return m_chooser->fileName();
}

void AllBoardsPage::setFileName(const QString& fileName)
{
    m_chooser->setFileName(fileName);
}

QList<int> AllBoardsPage::connectedBoards() const
{
    return ConnectionManager::Instance()->motherBoards().keys();
}

AllBoardsPage::Row& AllBoardsPage::rowOf(int boardID)
{
    return m_rows[m_current.value(boardID, boardID)];
}

AllBoardsPage::Row& AllBoardsPage::rowFor(int boardID, int key)
{
    if (key < 0)
        key = boardID;
    Row& row = m_rows[key];
    row.boardID = boardID;
    m_current.insert(boardID, key);
    if (row.row >= 0)
        return row;
    // Rows in key order: boards of a run by ID, then each production run as it came.
    int index = 0;
    for (const auto& [other, otherRow] : m_rows) {
        if (other < key && otherRow.row >= 0)
            ++index;
    }
    for (auto& [other, otherRow] : m_rows) {
        if (otherRow.row >= index)
            ++otherRow.row;
    }
    m_table->insertRow(index);
    row.row = index;
    setCell(index, ColumnBoard, QString::number(boardID));
    row.bar = new QProgressBar(m_table);
    row.bar->setAccessibleName(tr("Board %1 progress").arg(boardID));
    row.bar->setRange(0, 100);
    row.bar->setValue(0);
    row.bar->setTextVisible(true);
    m_table->setCellWidget(index, ColumnProgress, row.bar);
    return row;
}

void AllBoardsPage::setCell(int row, Column column, const QString& text)
{
    QTableWidgetItem* item = m_table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        m_table->setItem(row, column, item);
    }
    item->setText(text);
    item->setToolTip(column == ColumnResult ? text : QString());
}

void AllBoardsPage::boardUpdate()
{
    const QList<int> boards = connectedBoards();
    for (int boardID : boards) {
        // Armed, a board that comes gets a row of its own run.
        if (m_batch->isArmed() && !m_current.contains(boardID))
            continue;
        const bool known = m_current.contains(boardID);
        Row& row = m_current.contains(boardID) ? rowOf(boardID) : rowFor(boardID);
        if (row.running || !row.result.isEmpty()) {
            // The row belongs to its run: it keeps the module that was programmed.
            if (row.left) {
                row.left = false;
                setCell(row.row, ColumnStep, tr("reconnected"));
            }
            continue;
        }
        auto* board = ConnectionManager::Instance()->motherBoard(boardID);
        row.module = board ? board->moduleName() : QString();
        setCell(row.row, ColumnModule, row.module);
        if (!known && isProgramming()) {
            row.reason = tr("Plugged in during the run; not programmed.");
            setCell(row.row, ColumnStep, tr("not programmed"));
            setCell(row.row, ColumnResult, row.reason);
        }
    }
    // Idle boards that left and have nothing to report go.
    for (auto it = m_rows.begin(); it != m_rows.end();) {
        Row& row = it->second;
        if (boards.contains(row.boardID) || row.running || !row.result.isEmpty()) {
            if (!boards.contains(row.boardID) && !row.running) {
                row.left = true;
                setCell(row.row, ColumnStep, tr("not connected"));
            }
            ++it;
            continue;
        }
        m_table->removeRow(row.row);
        for (auto& [other, otherRow] : m_rows) {
            if (otherRow.row > row.row)
                --otherRow.row;
        }
        if (m_current.value(row.boardID) == it->first)
            m_current.remove(row.boardID);
        it = m_rows.erase(it);
    }
    if (!isProgramming())
        m_programButton->setEnabled(!boards.isEmpty());
    if (boards.isEmpty() && !isProgramming() && m_statusLabel->text().isEmpty())
        showStatus(tr("No motherboard is connected."), true);
}

QString AllBoardsPage::checkedFile()
{
    const QString typed = fileName();
    if (typed.isEmpty()) {
        showStatus(tr("Choose the HEX file to program first."), true);
        m_chooser->pathEdit()->setFocus();
        return QString();
    }
    const QString path = QFileInfo(QDir::fromNativeSeparators(typed)).absoluteFilePath();
    HexModel image;
    const ProgrammingEngine::Result read = ProgrammingEngine::readHexFile(path, &image);
    if (read.outcome == ProgrammingEngine::OutcomeBadFile) {
        const QString message = tr("Cannot read the HEX file %1: %2").arg(QDir::toNativeSeparators(path), read.reason);
        emit logmessage(KestrixStudio::LogError, message);
        showStatus(message, true);
        return QString();
    }
    return path;
}

void AllBoardsPage::startRun(const QString& path, int slot)
{
    if (m_settings) {
        m_settings->setLastFile(PageBoardID, QDir::toNativeSeparators(path));
        m_settings->setLastSlot(PageBoardID, slot);
    }
    m_runDigest = BatchProgrammer::fileDigest(path);
    m_runFile = QDir::toNativeSeparators(path);
    m_runSlot = slot;
    // A fresh table: the rows of this run only.
    m_rows.clear();
    m_current.clear();
    m_table->setRowCount(0);
    setRunning(true);
}

void AllBoardsPage::program()
{
    if (isProgramming())
        return;
    const QString path = checkedFile();
    if (path.isEmpty())
        return;
    const QList<int> boards = connectedBoards();
    if (boards.isEmpty()) {
        showStatus(tr("No motherboard is connected."), true);
        return;
    }
    HexModel image;
    ProgrammingEngine::readHexFile(path, &image);
    const int slot = m_slotCombo->currentData().toInt();
    startRun(path, slot);
    emit logmessage(KestrixStudio::LogStatus,
        tr("Programming %1 into the %2 of %n board(s)", nullptr, boards.size())
            .arg(QFileInfo(path).fileName(), ProgrammingEngine::slotName(slot)));
    showStatus(tr("Programming %1 ...").arg(QFileInfo(path).fileName()));
    for (int boardID : boards) {
        Row& row = rowFor(boardID);
        row.slot = slot;
        row.module = ConnectionManager::Instance()->motherBoard(boardID)->moduleName();
        row.started = QDateTime::currentDateTime();
        row.running = true;
        setCell(row.row, ColumnModule, row.module);
    }
    m_batch->start(boards, slot, image);
}

void AllBoardsPage::boardFinished(int boardID, const ProgrammingEngine::Result& result)
{
    Row& row = rowOf(boardID);
    row.running = false;
    const QString reason = ProgrammingReport::reason(result);
    if (result.outcome == ProgrammingEngine::OutcomeFailed || result.outcome == ProgrammingEngine::OutcomeDisconnected)
        emit logmessage(KestrixStudio::LogError, tr("Board %1: %2").arg(boardID).arg(reason));
    endRow(row, ProgrammingReport::resultName(result), reason);
    if (result.succeeded())
        row.bar->setValue(100);
    ++m_counts[ProgrammingReport::resultName(result)];
    showArmed();
}

void AllBoardsPage::batchFinished(const BatchProgrammer::Summary& summary)
{
    setRunning(false);
    const QString done = summary.boards == 0 ? tr("No board was programmed.") : tr("Done: %1.").arg(summary.text());
    emit logmessage(summary.allGood() ? KestrixStudio::LogStatus : KestrixStudio::LogError, done);
    // Why an armed session ended stays in view.
    showStatus(m_disarmReason.isEmpty() ? done : tr("%1 %2").arg(m_disarmReason, done), !summary.allGood());
    m_disarmReason.clear();
}

void AllBoardsPage::endRow(Row& row, const QString& result, const QString& reason)
{
    row.result = result;
    row.reason = reason;
    row.ended = QDateTime::currentDateTime();
    setCell(row.row, ColumnStep, tr("done"));
    setCell(row.row, ColumnResult, reason.isEmpty() ? result : tr("%1: %2").arg(result, reason));
    const bool ok = result == QLatin1String("programmed") || result == QLatin1String("unchanged");
    m_table->item(row.row, ColumnResult)
        ->setForeground(ok ? StatusColors::success(m_table->palette()) : StatusColors::failure(m_table->palette()));
}

void AllBoardsPage::stop()
{
    m_batch->cancel();
}

void AllBoardsPage::setProduction(bool on)
{
    if (!on) {
        m_batch->disarm(tr("Switched off."));
        return;
    }
    if (isProgramming())
        return;
    const QString path = checkedFile();
    if (path.isEmpty()) {
        const QSignalBlocker blocker(m_productionSwitch);
        m_productionSwitch->setChecked(false);
        return;
    }
    HexModel image;
    ProgrammingEngine::readHexFile(path, &image);
    const int slot = m_slotCombo->currentData().toInt();
    startRun(path, slot);
    m_counts.clear();
    m_batch->arm(path, slot, image, m_limitSpin->value());
    m_productionSwitch->setEnabled(true); // switching it off ends the arming
    emit logmessage(KestrixStudio::LogStatus,
        tr("Armed: each motherboard plugged in from now on gets %1 in its %2")
            .arg(QFileInfo(path).fileName(), ProgrammingEngine::slotName(slot)));
    showArmed();
}

void AllBoardsPage::boardArrived(int boardID)
{
    Row& row = rowFor(boardID, RunKeyBase + ++m_runNumber);
    row.slot = m_runSlot;
    row.module = ConnectionManager::Instance()->motherBoard(boardID)->moduleName();
    row.started = QDateTime::currentDateTime();
    row.running = true;
    setCell(row.row, ColumnModule, row.module);
    m_table->scrollToItem(m_table->item(row.row, ColumnBoard));
}

void AllBoardsPage::disarmed(const QString& reason)
{
    {
        const QSignalBlocker blocker(m_productionSwitch);
        m_productionSwitch->setChecked(false);
    }
    m_armedLabel->hide();
    m_disarmReason = tr("No more boards are programmed as they are plugged in: %1").arg(reason);
    emit logmessage(KestrixStudio::LogStatus, m_disarmReason);
    showStatus(m_disarmReason);
}

void AllBoardsPage::showArmed()
{
    if (!m_batch->isArmed())
        return;
    m_armedLabel->setText(
        tr("Armed: %1 (SHA-256 %2...) into the %3 of each board plugged in. Programmed %4, "
           "unchanged %5, failed %6.")
            .arg(QFileInfo(m_runFile).fileName(), QString::fromLatin1(m_runDigest.left(12)),
                ProgrammingEngine::slotName(m_runSlot))
            .arg(m_counts.value(QStringLiteral("programmed")))
            .arg(m_counts.value(QStringLiteral("unchanged")))
            .arg(m_counts.value(QStringLiteral("failed")) + m_counts.value(QStringLiteral("cancelled"))
                + m_counts.value(QStringLiteral("disconnected"))));
    m_armedLabel->show();
}

void AllBoardsPage::setRunning(bool running)
{
    // Armed or running: one file, one slot, until it ends.
    m_productionSwitch->setEnabled(!running || m_batch->isArmed());
    m_limitSpin->setEnabled(!running);
    m_programButton->setEnabled(!running && !connectedBoards().isEmpty());
    m_stopButton->setEnabled(running);
    m_saveButton->setEnabled(!running && !m_rows.empty());
    m_chooser->setBusy(running);
    m_slotCombo->setEnabled(!running);
}

void AllBoardsPage::showStatus(const QString& text, bool error)
{
    m_statusLabel->show(text, error ? OutcomeLabel::Error : OutcomeLabel::Info);
}

QString AllBoardsPage::report() const
{
    QStringList lines { QStringLiteral("board,module,slot,file,file SHA-256,result,reason,start,end") };
    for (const auto& [key, row] : m_rows) {
        const QStringList fields { QString::number(row.boardID), row.module, QString::number(row.slot), m_runFile,
            QString::fromLatin1(m_runDigest), row.result.isEmpty() ? QStringLiteral("not programmed") : row.result,
            row.reason, ProgrammingReport::timeStamp(row.started), ProgrammingReport::timeStamp(row.ended) };
        QStringList quoted;
        for (const QString& field : fields)
            quoted << csvField(field);
        lines << quoted.join(QLatin1Char(','));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool AllBoardsPage::saveReport(const QString& path)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(report().toUtf8()) >= 0 && file.commit()) {
        emit logmessage(KestrixStudio::LogStatus, tr("Report saved to %1").arg(QDir::toNativeSeparators(path)));
        return true;
    }
    const QString message
        = tr("The report could not be saved to %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
    emit logmessage(KestrixStudio::LogError, message);
    showStatus(message, true);
    return false;
}

void AllBoardsPage::saveReportAs()
{
    const QString path
        = saveFileName(this, tr("Save report"), QString(), tr("CSV files (*.csv)"), QStringLiteral("csv"));
    if (!path.isEmpty())
        saveReport(path);
}

void AllBoardsPage::browse()
{
    m_chooser->browse();
}
