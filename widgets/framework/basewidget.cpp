#include "basewidget.h"

#include "applicationdirectory.h"
#include "boardreservation.h"
#include "connectable.h"
#include "connectionmanager.h"
#include "hexmodel.h"
#include "ktmodule.h"
#include "motherboard.h"

#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTextStream>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QUrl>

// Off by default; QT_LOGGING_RULES="kestrix.basewidget.debug=true" follows
// board binding and every step of the programming sequence.
Q_LOGGING_CATEGORY(lcBaseWidget, "kestrix.basewidget", QtWarningMsg)

namespace
{
constexpr int headingPercent = 140;
constexpr int printFieldWidth = 20;
} // namespace

// Guards for library objects the page talks to. The library may delete a
// board (and its modules) when it goes away, so the plain members that pages
// see are only dereferenced while these still point at a live object.
class BaseWidgetPrivate
{
public:
    QPointer<Connectable> boundBoard;
    QPointer<KTModule> wiredModule;
    std::unique_ptr<ProgrammingEngine> engine; // of the last programHexFile
    ProgrammingEngine::Result result;
    QMetaObject::Connection boardGone;
    QMetaObject::Connection moduleGone;
};

BaseWidget::BaseWidget(QWidget* parent)
    : QWidget(parent)
    , motherBoard(nullptr)
    , board(nullptr)
    , operationFinished(false)
    , operationCanceled(false)
    , progressDialogActive(false)
    , operationSucceeded(false)
    , programmingActive(false)
    , lastProgrammingResult(false)
    , progressDialog(nullptr)
    , programmingState(StateIdle)
    , moduleIndex(0)
    , currentModule(nullptr)
    , d(new BaseWidgetPrivate)
{
    setMaximumWidth(800);
}

BaseWidget::~BaseWidget() = default;

bool BaseWidget::hasUnsavedFiles()
{
    return false;
}

bool BaseWidget::save()
{
    return false;
}

bool BaseWidget::saveAs()
{
    return false;
}

bool BaseWidget::deleteWhenReplaced()
{
    return true;
}

void BaseWidget::leavePage() { }

bool BaseWidget::canSave()
{
    return false;
}

void BaseWidget::setBoard(int boardID)
{
    Connectable* found = ConnectionManager::Instance()->getBoardByID(boardID);

    // A page bound to another board before no longer listens to that one.
    if (d->boundBoard && d->boundBoard != found) {
        disconnect(d->boundBoard, &Connectable::disconnected, this, &BaseWidget::boardDisconnected);
        disconnect(d->boundBoard, &Connectable::progressUpdated, this, &BaseWidget::progressUpdated);
    }

    // The pointers pages see never outlive the library's objects.
    if (d->boundBoard != found) {
        disconnect(d->boardGone);
        if (found) {
            // Only the bound board is watched, and motherBoard is always that board.
            d->boardGone = connect(found, &QObject::destroyed, this, [this, found]() {
                if (board == found)
                    board = nullptr;
                motherBoard = nullptr;
            });
        }
    }

    board = found;
    d->boundBoard = found;
    motherBoard = nullptr;
    qCDebug(lcBaseWidget) << "setBoard" << boardID << "found" << (found != nullptr);
    if (!found)
        return;

    // Unique: the sequence binds the board again on every run.
    connect(found, &Connectable::disconnected, this, &BaseWidget::boardDisconnected, Qt::UniqueConnection);
    connect(found, &Connectable::progressUpdated, this, &BaseWidget::progressUpdated, Qt::UniqueConnection);

    if (found->getTypeConnected() == Connectable::TypeMotherBoard)
        motherBoard = qobject_cast<MotherBoard*>(found);
}

void BaseWidget::setSubtype(quint8) { }

bool BaseWidget::canClose()
{
    return true;
}

bool BaseWidget::hidesLogView()
{
    return false;
}

void BaseWidget::prepareModule(KTModule*) { }

QString BaseWidget::helpKey()
{
    return QStringLiteral("general/doc/index");
}

QString BaseWidget::title()
{
    return QString();
}

void BaseWidget::boardUpdate() { }

void BaseWidget::boardDisconnected()
{
    board = nullptr;
}

void BaseWidget::afterProgramming() { }

// ---------------------------------------------------------------------------
// Progress dialog

void BaseWidget::showProgressDialog(QObject* source, const QString& windowTitle, const QString& labelText)
{
    auto* dialog = new QProgressDialog(parentWidget());
    progressDialog = dialog;
    dialog->setWindowTitle(windowTitle);
    dialog->setLabelText(labelText);
    dialog->setMinimumDuration(0);
    dialog->setModal(true);
    dialog->setAttribute(Qt::WA_DeleteOnClose);

    // The dialog deletes itself; never leave the member dangling.
    connect(dialog, &QObject::destroyed, this, [this, dialog]() {
        if (progressDialog == dialog)
            progressDialog = nullptr;
    });

    operationCanceled = false;
    progressDialogActive = true;

    if (source) {
        const QMetaObject* meta = source->metaObject();
        if (meta->indexOfSignal("progressUpdate(int)") >= 0)
            connect(source, SIGNAL(progressUpdate(int)), dialog, SLOT(setValue(int)));
        else if (meta->indexOfSignal("progressUpdated(int)") >= 0)
            connect(source, SIGNAL(progressUpdated(int)), dialog, SLOT(setValue(int)));
        else
            qCWarning(lcBaseWidget) << "progress source" << meta->className() << "has no progress signal";

        // A cancelled dialog hides itself; further progress would show it again.
        QPointer<QObject> guardedSource(source);
        connect(dialog, &QProgressDialog::canceled, dialog, [guardedSource, dialog]() {
            if (guardedSource)
                QObject::disconnect(guardedSource, nullptr, dialog, nullptr);
        });
    }
    connect(dialog, &QProgressDialog::canceled, this, &BaseWidget::progressDialogCancel);

    dialog->show();
}

void BaseWidget::closeProgressDialog()
{
    // Cleared first: closing makes the dialog emit canceled(), which is then
    // not taken for the user's cancel.
    progressDialogActive = false;
    if (progressDialog)
        progressDialog->close();
}

// ---------------------------------------------------------------------------
// HEX programming sequence

bool BaseWidget::programHexFile(const QString& fileName, const QString& folder, const QString& operationText,
    const QString& successMessage, const QString& failureMessage, int boardID, int moduleIndex)
{
    this->operationText = operationText;
    this->successMessage = successMessage;
    this->failureMessage = failureMessage;
    this->moduleIndex = moduleIndex;
    programmingActive = true;

    // A fresh engine per run: reports of an earlier run, cancelled or not,
    // never reach this one.
    if (d->engine) {
        d->engine->disconnect(this);
        d->engine->cancel();
        d->engine.release()->deleteLater(); // this may run inside its last signal
    }
    d->result = ProgrammingEngine::Result();

    setBoard(boardID);
    if (!motherBoard) {
        d->result.outcome = ProgrammingEngine::OutcomeDisconnected;
        d->result.reason = tr("Board %1 is not connected.").arg(boardID & 0xff);
        QMessageBox::information(this, tr("Board not connected"),
            tr("The selected board has been disconnected.\r\nPlease reconnect the board and try "
               "again."),
            QMessageBox::Ok);
        return false;
    }

    currentModule = motherBoard->getModule(moduleIndex);

    // Each connection exists once, however many sequences run. The wiring
    // stays after a sequence: a page may verify again on its own, and its
    // programmingCheck hears of it.
    if (d->wiredModule != currentModule) {
        disconnect(d->moduleGone);
        if (KTModule* module = currentModule) {
            d->moduleGone = connect(module, &QObject::destroyed, this, [this, module]() {
                if (currentModule == module)
                    currentModule = nullptr;
            });
        }
    }
    d->wiredModule = currentModule;
    if (currentModule) {
        disconnect(
            currentModule, SIGNAL(operationDone(quint32, quint32)), this, SLOT(programmingCheck(quint32, quint32)));
        connect(currentModule, SIGNAL(operationDone(quint32, quint32)), this, SLOT(programmingCheck(quint32, quint32)));
        disconnect(currentModule, SIGNAL(progressUpdate(int)), this, SIGNAL(progressUpdated(int)));
        connect(currentModule, SIGNAL(progressUpdate(int)), this, SIGNAL(progressUpdated(int)));
    }
    connect(this, &BaseWidget::programmingDone, this, &BaseWidget::progDone, Qt::UniqueConnection);

    emit logmessage(KestrixStudio::LogStatus, tr("Checking HEX file"));

    if (fileName.isEmpty()) {
        d->result.outcome = ProgrammingEngine::OutcomeBadFile;
        d->result.reason = tr("No filename was supplied");
        emit logmessage(KestrixStudio::LogError, d->result.reason);
        return false;
    }

    const QString connectError = connectErrorText();
    if (!currentModule) {
        qCDebug(lcBaseWidget) << "board" << boardID << "has no module in slot" << moduleIndex;
        d->result.outcome = ProgrammingEngine::OutcomeFailed;
        d->result.reason = connectError;
        emit logmessage(KestrixStudio::LogError, connectError);
        return false;
    }

    // Parsed into an image of the page's own: the module's model is handed
    // over only once the board is this page's (another job may be using it).
    const QString path
        = QDir::cleanPath(QStringLiteral("%1/%2/%3").arg(ApplicationDirectory::path(), folder, fileName));
    HexModel image;
    d->result = ProgrammingEngine::readHexFile(path, &image);
    if (d->result.outcome == ProgrammingEngine::OutcomeBadFile) {
        qCDebug(lcBaseWidget) << "reading" << path << "failed:" << d->result.reason;
        // The folder as passed first, then what was read and what is wrong with it.
        const QString where = QDir::toNativeSeparators(path);
        const QString fault
            = d->result.reason.contains(where) ? d->result.reason : tr("%1: %2").arg(where, d->result.reason);
        emit logmessage(KestrixStudio::LogError,
            tr("Could not parse the HEX file. Please confirm that the file '%1' is in the '%2' folder.")
                    .arg(fileName, folder)
                + QLatin1Char('\n') + fault);
        return false;
    }

    d->engine = std::make_unique<ProgrammingEngine>();
    ProgrammingEngine* engine = d->engine.get();
    const QString pageTitle = title();
    engine->setOwner(pageTitle.isEmpty() ? tr("another page") : tr("the page \"%1\"").arg(pageTitle));
    // The module reports to programmingCheck, which hands the report on.
    engine->setExternalReports(true);
    connect(engine, &ProgrammingEngine::stepStarted, this, &BaseWidget::stepStarted);
    connect(engine, &ProgrammingEngine::finished, this, &BaseWidget::finishOperation);

    // The board and module this page bound, whatever its setBoard chose.
    if (!engine->start(motherBoard, currentModule, moduleIndex, image)) {
        d->result = engine->result();
        qCDebug(lcBaseWidget) << "comparison did not start:" << d->result.reason;
        // No orphan dialog: the comparison never started, so nothing will close it.
        closeProgressDialog();
        // Another job's board is named as such, not as a connection problem.
        emit logmessage(KestrixStudio::LogError,
            d->result.outcome == ProgrammingEngine::OutcomeBusy ? d->result.reason : connectError);
        return false;
    }
    return true;
}

QString BaseWidget::connectErrorText() const
{
    return tr("Could not connect to the device. Please ensure that the device is connected and the motherboard "
              "turned on");
}

ProgrammingEngine::Result BaseWidget::programmingResult() const
{
    return d->result;
}

void BaseWidget::stepStarted(ProgrammingEngine::Step step)
{
    qCDebug(lcBaseWidget) << "step" << step;
    switch (step) {
    case ProgrammingEngine::StepComparing:
        programmingState = StateComparing;
        currentModule = motherBoard ? motherBoard->getModule(moduleIndex) : currentModule;
        prepareModule(currentModule);
        showProgressDialog(currentModule, tr("Checking hexfile"), tr("Comparing hexfile with content on device"));
        break;
    case ProgrammingEngine::StepProgramming:
        programmingState = StateProgramming;
        emit logmessage(KestrixStudio::LogStatus, operationText);
        showProgressDialog(currentModule, tr("Programming hexfile"), operationText);
        break;
    case ProgrammingEngine::StepVerifying:
        programmingState = StateVerifying;
        showProgressDialog(currentModule, tr("Verifying hexfile"), operationText);
        break;
    case ProgrammingEngine::StepResetting:
        // Success: logged before the engine resets the board, then programmingDone.
        programmingState = StateFinished;
        emit logmessage(KestrixStudio::LogStatus, successMessage);
        break;
    default:
        break;
    }
}

void BaseWidget::programmingCheck(quint32 what, quint32 status)
{
    // The wiring stays after a sequence; while another job has the board,
    // its module's reports are not this page's.
    const KTModule* module = d->wiredModule;
    if (module && module->board() && BoardReservation::isHeldByOther(module->board()->getBoardID(), d->engine.get())) {
        qCDebug(lcBaseWidget) << "report" << what << status << "belongs to another job";
        return;
    }
    qCDebug(lcBaseWidget) << "operationDone" << what << status << "in state" << programmingState;
    closeProgressDialog();
    if (what == KTModule::OperationProgramming) {
        operationFinished = true;
    } else if (what == KTModule::OperationVerifying) {
        operationFinished = true;
        operationSucceeded = (status == 0);
    }
    // Advance by the state: the engine takes the report of the step it runs.
    switch (programmingState) {
    case StateComparing:
    case StateProgramming:
    case StateVerifying:
        if (d->engine && d->engine->isRunning())
            d->engine->report(what, status);
        break;
    default:
        break;
    }
}

void BaseWidget::progressDialogCancel()
{
    if (!progressDialogActive)
        return;
    operationCanceled = true;
    operationFinished = true;
    // At once: the module is aborted and nothing follows it.
    if (d->engine && d->engine->isRunning())
        d->engine->cancel();
}

void BaseWidget::finishOperation(const ProgrammingEngine::Result& result)
{
    closeProgressDialog();
    programmingState = StateFinished;
    d->result = result;

    switch (result.outcome) {
    case ProgrammingEngine::OutcomeCancelled:
        // The engine aborted the module before it reported.
        operationCanceled = true;
        emit logmessage(KestrixStudio::LogStatus, tr("User canceled the operation"));
        emit programmingDone(false);
        return;
    case ProgrammingEngine::OutcomeUnchanged:
    case ProgrammingEngine::OutcomeProgrammed:
        // The success message was logged before the reset.
        operationSucceeded = true;
        emit programmingDone(true);
        return;
    case ProgrammingEngine::OutcomeDisconnected:
        emit logmessage(KestrixStudio::LogError, connectErrorText());
        break;
    default:
        break;
    }
    qCDebug(lcBaseWidget) << "failed:" << result.reason;
    operationSucceeded = false;
    emit logmessage(KestrixStudio::LogError, failureMessage);
    QMessageBox::warning(parentWidget(), tr("Programming failed"), failureMessage, QMessageBox::Ok);
    emit programmingDone(false);
}

void BaseWidget::progDone(bool success)
{
    programmingActive = false;
    lastProgrammingResult = success;
    afterProgramming();
}

// ---------------------------------------------------------------------------
// Page helpers

int BaseWidget::askToSave(const QString& title, const QString& text)
{
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, title, text, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    switch (answer) {
    case QMessageBox::Save:
        return save() ? 0 : 2;
    case QMessageBox::Discard:
        return 1;
    default:
        return 2;
    }
}

QLineEdit* BaseWidget::createPathEdit()
{
    auto* edit = new QLineEdit;
    addFileCompleter(edit);
    return edit;
}

void BaseWidget::addFileCompleter(QLineEdit* edit)
{
    auto* completer = new QCompleter(this);
    auto* model = new QFileSystemModel(completer);
    completer->setModel(model);
    model->setRootPath(QString());
    edit->setCompleter(completer);
}

QString BaseWidget::completeFileExtension(const QString& fileName, const QString& nameFilter)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)(?:\\s|\\))"));
    QStringList extensions;
    QRegularExpressionMatchIterator it = pattern.globalMatch(nameFilter);
    while (it.hasNext())
        extensions << it.next().captured(1);

    if (extensions.isEmpty() || extensions.contains(QFileInfo(fileName).suffix(), Qt::CaseSensitive))
        return fileName;
    return fileName + QLatin1Char('.') + extensions.first();
}

QString BaseWidget::fileDialog(QWidget* parent, const QString& caption, const QString& directory,
    const QString& defaultSuffix, const QString& filter, QFileDialog::FileMode fileMode,
    QFileDialog::AcceptMode acceptMode)
{
    QFileDialog dialog(parent, caption);
    dialog.setDirectory(directory);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setFileMode(fileMode);
    dialog.setAcceptMode(acceptMode);

    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return QString();
    return completeFileExtension(chosen.first(), dialog.selectedNameFilter());
}

QString BaseWidget::openFileName(QWidget* parent, const QString& caption, const QString& directory,
    const QString& filter, const QString& defaultSuffix)
{
    if (!directory.isEmpty())
        hexPath = directory;
    const QString result = fileDialog(
        parent, caption, hexPath, defaultSuffix, filter, QFileDialog::ExistingFile, QFileDialog::AcceptOpen);
    if (!result.isEmpty())
        hexPath = QFileInfo(result).absolutePath();
    return result;
}

QString BaseWidget::saveFileName(QWidget* parent, const QString& caption, const QString& directory,
    const QString& filter, const QString& defaultSuffix)
{
    if (!directory.isEmpty())
        hexPath = directory;
    const QString result
        = fileDialog(parent, caption, hexPath, defaultSuffix, filter, QFileDialog::AnyFile, QFileDialog::AcceptSave);
    if (!result.isEmpty())
        hexPath = QFileInfo(result).absolutePath();
    return result;
}

QTreeWidgetItem* BaseWidget::createMenuItem(
    const QString& text, QTreeWidgetItem* parent, int type, int boardID, int subtype)
{
    auto* item = new QTreeWidgetItem(parent, type * 1000 + boardID * 10 + subtype);
    setItemRoles(item, type, boardID, subtype);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setText(0, text);
    return item;
}

void BaseWidget::setItemRoles(QTreeWidgetItem* item, int type, int boardID, int subtype)
{
    if (!item)
        return;
    item->setData(0, Qt::UserRole + 1, type);
    item->setData(0, Qt::UserRole + 2, boardID);
    item->setData(0, Qt::UserRole + 3, subtype);
}

void BaseWidget::setItemView(QTreeWidgetItem* item, KestrixStudio::WidgetView view)
{
    if (!item)
        return;
    const bool inTree = item->treeWidget() != nullptr;
    Qt::ItemFlags flags = item->flags();
    switch (view) {
    case KestrixStudio::WidgetHide:
        if (inTree)
            item->setHidden(true);
        item->setFlags(Qt::NoItemFlags);
        return;
    case KestrixStudio::WidgetRootWithVisibleChildren:
        flags &= ~Qt::ItemIsSelectable;
        flags |= Qt::ItemIsEnabled;
        break;
    case KestrixStudio::WidgetRootWithoutVisibleChildren:
    case KestrixStudio::WidgetEnable:
        flags &= ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        break;
    default:
        flags |= Qt::ItemIsSelectable | Qt::ItemIsEnabled;
        break;
    }
    if (inTree)
        item->setHidden(false);
    item->setFlags(flags);
}

void BaseWidget::removeItemsOfType(QTreeWidgetItem* parent, int type)
{
    if (!parent)
        return;
    const QList<QTreeWidgetItem*> children = parent->takeChildren();
    QList<QTreeWidgetItem*> kept;
    kept.reserve(children.size());
    for (QTreeWidgetItem* child : children) {
        if (child->type() / 1000 != type)
            kept << child;
    }
    parent->addChildren(kept);
}

QTreeWidgetItem* BaseWidget::createHelpItem(const QString& text, const QString& key)
{
    auto* item = new QTreeWidgetItem;
    item->setText(0, text);
    item->setData(0, Qt::UserRole, key);
    return item;
}

QVariant BaseWidget::helpDocument(const QString& prefix, const QUrl& url)
{
    const QStringList parts = url.toString().split(QLatin1Char('/'), Qt::KeepEmptyParts);
    if (parts.size() < 3 || parts.at(0) != prefix)
        return QVariant();

    QFile file(QStringLiteral(":/%1/%2").arg(parts.at(1), parts.at(2)));
    if (!file.open(QIODevice::ReadOnly)) {
        file.setFileName(file.fileName() + QStringLiteral(".html"));
        if (!file.open(QIODevice::ReadOnly))
            return QVariant();
    }
    const QByteArray content = file.readAll();
    file.close();
    return QVariant(content);
}

bool BaseWidget::hasProperty(QObject* object, const QString& name)
{
    return object && object->property(name.toLatin1().constData()).isValid();
}

QLabel* BaseWidget::createHeadingLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    applyHeadingFont(label);
    return label;
}

void BaseWidget::applyHeadingFont(QWidget* widget)
{
    if (!widget)
        return;
    QFont font = widget->font();
    if (font.pointSize() > 0)
        font.setPointSize(font.pointSize() * headingPercent / 100);
    else if (font.pixelSize() > 0) // a pixel-sized font has no point size to scale
        font.setPixelSize(font.pixelSize() * headingPercent / 100);
    font.setWeight(QFont::Bold);
    widget->setFont(font);
}

void BaseWidget::printRow(const QString& first, const QString& second)
{
    QTextStream out(stdout);
    out << Qt::left << qSetFieldWidth(printFieldWidth) << first << second << Qt::reset << Qt::endl;
    out.flush();
}

void BaseWidget::printText(const QString& first, const QString& second)
{
    QTextStream out(stdout);
    out << first << ' ' << second << "\n\n";
    out.flush();
}

bool BaseWidget::extraChipSupport = false;
QString BaseWidget::hexPath;

void BaseWidget::setExtraChipSupport(bool on)
{
    if (on)
        extraChipSupport = true;
}
