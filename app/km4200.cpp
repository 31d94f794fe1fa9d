#include "km4200.h"

#include "aboutstudio.h"
#include "basewidget.h"
#include "connectable.h"
#include "connectionmanager.h"
#include "defaultwidget.h"
#include "deviceview.h"
#include "evaluationview.h"
#include "firmwareupdate.h"
#include "helpdialog.h"
#include "km4200controller.h"
#include "ktmodule.h"
#include "logview.h"
#include "menuview.h"
#include "motherboard.h"
#include "pagehost.h"
#include "widgetfactory.h"
#include "widgetsignalbridge.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDataStream>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QShowEvent>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryFile>
#include <QUrl>

// Off by default. QT_LOGGING_RULES="kestrix.mainwindow.debug=true" traces
// page changes, the firmware check and the settings store.
Q_LOGGING_CATEGORY(lcMainWindow, "kestrix.mainwindow", QtWarningMsg)

namespace
{

const char productName[] = "Kestrix Studio";
const char programVersion[] = "1.21.1.3";
const char downloadPage[] = "https://www.arvenholt-labs.example/downloads";

// The store's names differ from the application object's on purpose:
// existing installations keep their settings under these.
const char settingsOrganization[] = "Arvenholt Labs Group";
const char settingsApplication[] = "KesTrix Studio";
const char settingsGroup[] = "mainWindow";
const QSize defaultWindowSize(1024, 768);

// The trees highlight the item of the page shown, however it was asked for.
void followInTrees(const BaseWidget* page, int type, int boardID, int subtype)
{
    if (MenuView::selectionStandsFor(type, boardID, subtype))
        return; // pressed in a tree, or asked for once more
    // The overview is the page of every type that no plug-in serves.
    if (qobject_cast<const DefaultWidget*>(page))
        MenuView::followPage(KestrixStudio::WidgetTypeDefault, 0, 0);
    else
        MenuView::followPage(type, boardID, subtype);
}

} // namespace

KM4200::KM4200(int mode, QWidget* parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
    , mode(mode)
{
    controller = new KM4200Controller(this);

    // The log view does not create folders; a first run must still get its log.
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!QDir().mkpath(dataFolder))
        qCWarning(lcMainWindow) << "cannot create the data folder" << dataFolder;
    logView = new LogView(QStringLiteral("%1/log.txt").arg(dataFolder));

    connectionManager = ConnectionManager::Instance();

    pageHost = new PageHost(this);
    connect(pageHost, SIGNAL(widgetChange(int, int, int)), this, SLOT(widgetChange(int, int, int)));
    connect(pageHost, SIGNAL(titleChanged()), this, SLOT(updateTitle()));
    connect(pageHost, SIGNAL(logmessage(KestrixStudio::LogLevel, QString)), logView,
        SLOT(message(KestrixStudio::LogLevel, QString)));
    connect(pageHost, &PageHost::currentPageChanged, this, [this](BaseWidget* page) { currentPage = page; });
    connect(pageHost, &PageHost::pageChanging, this, &KM4200::adjustFrame);

    // --- plug-in wiring (early start-up) ---
    // Qt's own plug-ins may also come from ./plugins; ours are loaded from the
    // executable's folder by the factory.
    QCoreApplication::addLibraryPath(tr("./plugins"));
    // Connected before loading: a plug-in may name its start page while it is
    // loaded or while it handles the command line.
    WidgetSignalBridge* bridge = WidgetSignalBridge::instance();
    connect(bridge, SIGNAL(widgetChange(int, int, int)), this, SLOT(widgetChange(int, int, int)));
    connect(bridge, SIGNAL(startWidget(int)), this, SLOT(setStartWidget(int)));
    connect(bridge, SIGNAL(logmessage(KestrixStudio::LogLevel, QString)), logView,
        SLOT(message(KestrixStudio::LogLevel, QString)));
    WidgetFactory::loadPlugins();
    if (WidgetFactory::processCommandLine() == KestrixStudio::EndProcessingCommandline) {
        // The job is done: no settings, no docks, never shown.
        qCDebug(lcMainWindow) << "command line consumed, exit status" << WidgetFactory::exitCode();
        commandLineEnded = true;
        return;
    }
    // --- end of plug-in wiring ---

    if (mode == ModeDefaultSettings)
        setupDefaultSettingsMode();
    else
        setupNormalMode();

    firmwareCheckArmed = true;
    updateTitle();
    if (mode == ModeNormal) {
        if (!showLogView)
            logDock->hide();
        // A page asked for while plug-ins were loading: the last one wins.
        if (!earlyRequests.isEmpty()) {
            const PageRequest request = earlyRequests.takeLast();
            earlyRequests.clear();
            widgetChange(request.type, request.boardID, request.subtype);
        }
    }
    earlyRequests.clear();
}

QString KM4200::version()
{
    return QLatin1String(programVersion);
}

KM4200::~KM4200()
{
    // Release the shown page like on any page change.
    if (setupDone)
        widgetChange(KestrixStudio::WidgetTypeDefault, 0, 0);
    delete controller;
    controller = nullptr;
    connectionManager = nullptr;
    // Replaced pages still waiting for deletion go after the controller.
    delete pageHost;
    pageHost = nullptr;
    // Only placed on screen in the normal mode; otherwise it is ours alone.
    if (logView && !logView->parent())
        delete logView;
}

bool KM4200::parseInitMessage(const QString& entry, int* level, QString* text)
{
    const QStringList parts = entry.split(QLatin1Char('@'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() != 2)
        return false;
    bool ok = false;
    const int value = parts.at(0).toInt(&ok, 10);
    if (!ok)
        return false;
    if (level)
        *level = value;
    if (text)
        *text = parts.at(1);
    return true;
}

// --- Construction --------------------------------------------------------

void KM4200::setupNormalMode()
{
    loadSettings();
    baseTitle = tr("Kestrix Studio [*]");
    setWindowIcon(QIcon(QStringLiteral(":/km4200.ico")));

    createDockWindows();
    createActions();
    createMenus();
    createStatusBar();
    createConnections();

    logView->message(
        KestrixStudio::LogStatus, QStringLiteral("%1 - %2").arg(tr(productName), AboutStudio::copyrightNotice()));
    logView->message(KestrixStudio::LogDebug, tr("Version: %1").arg(QLatin1String(programVersion)));
    if (!settingsProblem.isEmpty())
        logView->message(KestrixStudio::LogError, settingsProblem);

    connectionManager->update();

    setupDone = true;
    widgetChange(-1, -1, 0);
    logInitMessages();
}

void KM4200::setupDefaultSettingsMode()
{
    loadSettings();
    baseTitle = tr("Kestrix Studio - DEFAULT SETTINGS MODE");
    setWindowIcon(QIcon(QStringLiteral(":/km4200.ico")));

    createStatusBar();
    connectionManager->update();

    setupDone = true;
    widgetChange(KestrixStudio::WidgetTypeDefaultSettings, -1, 0);
}

void KM4200::createDockWindows()
{
    currentPage = new BaseWidget;
    setCentralWidget(currentPage);

    evaluationView = new EvaluationView;
    int categoryMask = 1011;
    if (WidgetFactory::features() & KestrixStudio::FeatureInternalDeviceMenu)
        categoryMask += 8;
    deviceView = new DeviceView(categoryMask);

    // The object names key the docks in the saved window state.
    auto makeDock = [this](const QString& title, const char* name, Qt::DockWidgetAreas areas, QWidget* content) {
        auto* dock = new QDockWidget(title, this);
        dock->setObjectName(QLatin1String(name));
        dock->setAllowedAreas(areas);
        dock->setFeatures(dock->features() & ~QDockWidget::DockWidgetFloatable);
        dock->setWidget(content);
        return dock;
    };
    // A dock the stored state knows goes back where the user left it.
    auto place = [this](Qt::DockWidgetArea area, QDockWidget* dock) {
        if (!restoreDockWidget(dock))
            addDockWidget(area, dock);
    };

    evaluationDock
        = makeDock(tr("Features"), "evaluationDock", Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea, evaluationView);
    place(Qt::LeftDockWidgetArea, evaluationDock);
    deviceDock
        = makeDock(tr("Device Manager"), "deviceDock", Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea, deviceView);
    place(Qt::LeftDockWidgetArea, deviceDock);
    logDock = makeDock(
        tr("Log"), "logDock", Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea, logView);
    place(Qt::BottomDockWidgetArea, logDock);

    const int deviceCategories[] = { WidgetFactory::MenuDevicesRoot, WidgetFactory::MenuMotherboards,
        WidgetFactory::MenuKT61EvaluationBoards, WidgetFactory::MenuKT61DevelopmentBoards,
        WidgetFactory::MenuKT61DevelopmentDongles, WidgetFactory::MenuKT6xProgramming,
        WidgetFactory::MenuKT62DevelopmentBoards, WidgetFactory::MenuKT62DevelopmentDongles };
    for (int category : deviceCategories)
        WidgetFactory::populateView(category, deviceView);
    const int featureCategories[]
        = { WidgetFactory::MenuFeatures24GHz, WidgetFactory::MenuFeaturesRoot, WidgetFactory::MenuFeaturesBluetooth };
    for (int category : featureCategories)
        WidgetFactory::populateView(category, evaluationView);
    WidgetFactory::populateView(WidgetFactory::MenuInternal, deviceView);
}

void KM4200::createActions()
{
    const QString name = tr(productName);

    exitAct = new QAction(tr("&Exit"), this);
    exitAct->setShortcuts(QKeySequence::Quit);
    exitAct->setToolTip(tr("Close the application"));

    saveAct = new QAction(tr("&Save"), this);
    saveAct->setShortcuts(QKeySequence::Save);

    saveAsAct = new QAction(tr("Save &As"), this);
    saveAsAct->setShortcuts(QKeySequence::SaveAs);

    aboutAct = new QAction(tr("&About %1").arg(name), this);
    aboutAct->setToolTip(tr("Show %1's About box").arg(name));

    checkForUpdatesAct = new QAction(tr("Check for &Updates"), this);
    checkForUpdatesAct->setToolTip(tr("Opens a new browser window which give you "
                                      "information about new versions of "
                                      "software from Arvenholt Labs"));

    aboutQtAct = new QAction(tr("About &Qt"), this);
    aboutQtAct->setToolTip(tr("Show the Qt library's About box"));

    openHelpAct = new QAction(tr("Open &Help"), this);
    openHelpAct->setShortcuts(QKeySequence::HelpContents);
    openHelpAct->setToolTip(tr("Opens the contentaware helpfiles"));
}

void KM4200::createMenus()
{
    fileMenu = menuBar()->addMenu(tr("&File"));
    newMenu = fileMenu->addMenu(tr("&New"));
    WidgetFactory::populateMenu(WidgetFactory::MenuFileNew, newMenu);
    openMenu = fileMenu->addMenu(tr("&Open"));
    WidgetFactory::populateMenu(WidgetFactory::MenuFileOpen, openMenu);
    fileMenu->addAction(saveAct);
    fileMenu->addAction(saveAsAct);
    fileMenu->addSeparator();
    fileMenu->addAction(exitAct);

    viewMenu = menuBar()->addMenu(tr("&View"));
    viewMenu->addAction(evaluationDock->toggleViewAction());
    viewMenu->addAction(deviceDock->toggleViewAction());
    viewMenu->addAction(logDock->toggleViewAction());
    viewMenu->addSeparator();
    tutorialMenu = viewMenu->addMenu(tr("&Open tutorial ..."));
    WidgetFactory::populateMenu(WidgetFactory::MenuViewTutorial, tutorialMenu);

    // Plug-in menus stand between View and Help.
    WidgetFactory::populateMenuBar(WidgetFactory::MenuMenuBar, menuBar());
    menuBar()->addSeparator();

    helpMenu = menuBar()->addMenu(tr("&Help"));
    helpMenu->addAction(openHelpAct);
    helpMenu->addAction(checkForUpdatesAct);
    helpMenu->addSeparator();
    helpMenu->addAction(aboutAct);
    helpMenu->addAction(aboutQtAct);
}

void KM4200::createStatusBar()
{
    statusLabel = new QLabel;
    statusLabel->setMinimumWidth(100);
    statusBar()->addWidget(statusLabel, 0);
}

void KM4200::createConnections()
{
    connect(exitAct, SIGNAL(triggered()), this, SLOT(close()));
    connect(aboutAct, SIGNAL(triggered()), this, SLOT(aboutStudio()));
    connect(aboutQtAct, SIGNAL(triggered()), this, SLOT(aboutQt()));
    connect(checkForUpdatesAct, SIGNAL(triggered()), this, SLOT(checkForUpdates()));
    connect(openHelpAct, SIGNAL(triggered()), this, SLOT(openHelp()));
    connect(saveAct, SIGNAL(triggered()), this, SLOT(save()));
    connect(saveAsAct, SIGNAL(triggered()), this, SLOT(saveAs()));
    connect(connectionManager, SIGNAL(updated()), this, SLOT(checkFirmware()));
    connect(connectionManager, SIGNAL(logmessage(int, QString)), this, SLOT(message(int, QString)));
    connect(this, SIGNAL(logmessage(KestrixStudio::LogLevel, QString)), logView,
        SLOT(message(KestrixStudio::LogLevel, QString)));
    connect(deviceView, SIGNAL(itemChange(int, int, int)), this, SLOT(widgetChange(int, int, int)));
    connect(evaluationView, SIGNAL(itemChange(int, int, int)), this, SLOT(widgetChange(int, int, int)));
}

void KM4200::logInitMessages()
{
    const QStringList entries = connectionManager->getLogmessagesFromInit();
    for (const QString& entry : entries) {
        int level = 0;
        QString text;
        if (parseInitMessage(entry, &level, &text))
            message(level, text);
        else
            qCDebug(lcMainWindow) << "start-up message of the board library dropped:" << entry;
    }
}

// --- Settings ------------------------------------------------------------

void KM4200::loadSettings()
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QLatin1String(settingsOrganization),
        QLatin1String(settingsApplication));
    qCDebug(lcMainWindow) << "settings from" << settings.fileName();
    settings.beginGroup(QLatin1String(settingsGroup));
    if (mode == ModeNormal)
        restoreWindowGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
    restoreState(settings.value(QStringLiteral("state")).toByteArray(), 0);
    BaseWidget::hexPath = settings.value(QStringLiteral("hexpath")).toString();
    showLogView = settings.value(QStringLiteral("showLogView"), true).toBool();
    rcCandidateNumber = settings.value(QStringLiteral("RCCandidateNumber"), -1).toInt();
    settings.endGroup();

    HelpDialog::loadSettings(&settings);
    WidgetFactory::loadSettings(&settings);
    KTModule::loadSettings(&settings);

    // Only the normal mode saves; better to know now than to lose the layout.
    const QString problem = mode == ModeNormal ? settingsWriteProblem(settings.fileName()) : QString();
    if (!problem.isEmpty())
        settingsProblem
            = tr("Settings cannot be saved to %1: %2").arg(QDir::toNativeSeparators(settings.fileName()), problem);
}

void KM4200::restoreWindowGeometry(const QByteArray& geometry)
{
    // The frame the geometry was saved with follows a magic number and a
    // version. Settings from another desk, or damaged, may name one that no
    // screen shows or that is far larger than all of them together.
    QDataStream stream(geometry);
    stream.skipRawData(8);
    QRect frame;
    stream >> frame;
    QRect desktop;
    bool onScreen = false;
    for (const QScreen* screen : QGuiApplication::screens()) {
        desktop |= screen->availableGeometry();
        onScreen = onScreen || screen->availableGeometry().intersects(frame);
    }
    const bool usable = onScreen && frame.width() >= 100 && frame.height() >= 100
        && frame.width() <= 2 * desktop.width() && frame.height() <= 2 * desktop.height();
    if (!geometry.isEmpty() && !usable)
        qCDebug(lcMainWindow) << "stored geometry not used:" << frame;
    if (!usable || !restoreGeometry(geometry))
        resize(defaultWindowSize);
    // Never larger than the screen's free area: 1024 x 768 does not fit a
    // small screen, nor a large one at a scale factor of 2.
    if (const QScreen* shown = screen()) {
        const QSize room = shown->availableGeometry().size();
        if (size().width() > room.width() || size().height() > room.height())
            resize(size().boundedTo(room));
    }
}

QString KM4200::settingsWriteProblem(const QString& fileName)
{
    // Tried as the store will write it: the folder made, the file opened
    // without changing it, or a new file beside it.
    const QFileInfo info(fileName);
    if (!QDir().mkpath(info.absolutePath()))
        return tr("the folder %1 cannot be made").arg(QDir::toNativeSeparators(info.absolutePath()));
    if (info.exists()) {
        QFile file(fileName);
        return file.open(QIODevice::ReadWrite) ? QString() : file.errorString();
    }
    QTemporaryFile probe(fileName);
    return probe.open() ? QString() : probe.errorString();
}

void KM4200::saveSettings()
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QLatin1String(settingsOrganization),
        QLatin1String(settingsApplication));
    settings.beginGroup(QLatin1String(settingsGroup));
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("state"), saveState(0));
    settings.setValue(QStringLiteral("hexpath"), BaseWidget::hexPath);
    settings.setValue(QStringLiteral("RCCandidateNumber"), rcCandidateNumber);
    // While a page hides the log, the dock's state says nothing of the user's
    // wish.
    const bool logWanted = currentPage && currentPage->hidesLogView() ? showLogView : !logDock->isHidden();
    settings.setValue(QStringLiteral("showLogView"), logWanted);
    settings.endGroup();

    HelpDialog::saveSettings(&settings);
    WidgetFactory::saveSettings(&settings);
    KTModule::saveSettings(&settings);

    settings.sync();
    // A damaged file leaves a format error when read, yet it is written anew;
    // only a failed write is reported.
    QString problem = settingsWriteProblem(settings.fileName());
    if (problem.isEmpty() && settings.status() == QSettings::AccessError)
        problem = tr("access denied");
    if (!problem.isEmpty())
        logView->message(KestrixStudio::LogError,
            tr("Settings could not be written to %1: %2").arg(QDir::toNativeSeparators(settings.fileName()), problem));
}

// --- Window events -------------------------------------------------------

void KM4200::closeEvent(QCloseEvent* event)
{
    if (mode == ModeNormal && setupDone) {
        if (!mayEndFirmwareUpdate() || !WidgetFactory::canClose()) {
            qCDebug(lcMainWindow) << "closing refused";
            event->ignore();
            return;
        }
        // The update may have ended while the questions were open.
        if (FirmwareUpdate* update = FirmwareUpdate::active())
            update->cancel();
        statusLabel->setText(tr("Closing..."));
        MenuView::lockSelection();
        saveSettings();
    }
    event->accept();
}

bool KM4200::mayEndFirmwareUpdate()
{
    const FirmwareUpdate* update = FirmwareUpdate::active();
    if (!update)
        return true;
    // Closing ends the tool or the wait for the bootloader: the board may be
    // left without firmware.
    return QMessageBox::warning(this, tr("Firmware update in progress"),
               tr("Board %1 is being updated. Closing now ends the update and can leave the board without "
                  "firmware.\n\nClose anyway?")
                   .arg(update->boardID()),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void KM4200::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    QMetaObject::invokeMethod(this, "checkFirmware", Qt::QueuedConnection);
    if (startWidgetType != -1) {
        widgetChange(startWidgetType, 0, 0);
        startWidgetType = -1;
    }
}

// --- Page area -----------------------------------------------------------

void KM4200::widgetChange(int type, int boardID, int subtype)
{
    if (!setupDone) {
        // Nothing to show a page in yet; applied once the window is built.
        qCDebug(lcMainWindow) << "page request before the window was built:" << type << boardID << subtype;
        earlyRequests.append({ type, boardID, subtype });
        return;
    }
    currentPage = pageHost->change(type, boardID, subtype);
    scrollArea = pageHost->scrollArea();
    followInTrees(currentPage, type, boardID, subtype);
    updateTitle();
}

void KM4200::adjustFrame(BaseWidget* page, BaseWidget* old)
{
    if (mode != ModeNormal)
        return;
    if (page->hidesLogView()) {
        if (!old || !old->hidesLogView())
            showLogView = !logDock->isHidden();
        logDock->hide();
    } else if (showLogView) {
        logDock->show();
    }
    const bool saving = page->canSave();
    saveAct->setEnabled(saving);
    saveAsAct->setEnabled(saving);
}

void KM4200::setStartWidget(int type)
{
    startWidgetType = type;
}

void KM4200::save()
{
    if (currentPage)
        currentPage->save();
    updateTitle();
}

void KM4200::saveAs()
{
    if (currentPage)
        currentPage->saveAs();
    updateTitle();
}

void KM4200::updateTitle()
{
    QString title = baseTitle;
    const QString pageTitle = currentPage ? currentPage->title() : QString();
    if (!pageTitle.isEmpty())
        title += QStringLiteral(" - ") + pageTitle;
    setWindowTitle(title);
}

void KM4200::updateUnsavedFiles() { }

void KM4200::message(int level, QString message)
{
    emit logmessage(KestrixStudio::LogLevel(level), message);
}

void KM4200::message(KestrixStudio::LogLevel level, QString message)
{
    emit logmessage(level, message);
}

void KM4200::textupdate()
{
    if (statusLabel)
        statusLabel->setText(tr("Testing2"));
}

// --- Menu actions --------------------------------------------------------

void KM4200::aboutStudio()
{
    AboutStudio::showAbout(this, tr(productName), QLatin1String(programVersion));
}

void KM4200::aboutQt()
{
    QMessageBox::aboutQt(this, QString());
}

void KM4200::checkForUpdates()
{
    QDesktopServices::openUrl(QUrl(QLatin1String(downloadPage)));
}

void KM4200::openHelp()
{
    HelpDialog* help = HelpDialog::instance(this);
    help->showDocument(currentPage ? currentPage->helpKey() : QStringLiteral("general/doc/index"));
    help->show();
    help->raise();
    help->activateWindow();
}

// --- Firmware check ------------------------------------------------------

void KM4200::checkFirmware()
{
    const QMap<int, Connectable*> boards = connectionManager->getBoardIterator();
    // A board left in its bootloader blocks every update (the tool would
    // flash it first): say once which one and how to finish it. Not while an
    // update runs: that update reports its own board.
    if (!FirmwareUpdate::active()) {
        for (Connectable* board : boards) {
            if (!board || board->firmwareChecked || board->getTypeConnected() != Connectable::TypeBootloader)
                continue;
            board->firmwareChecked = true;
            const int id = board->getBoardID();
            emit logmessage(KestrixStudio::LogError,
                tr("Board %1 waits in its bootloader. Finish its update with \"%2 -updatefirmware -board %1\", or "
                   "toggle its power.")
                    .arg(id)
                    .arg(QFileInfo(QCoreApplication::applicationFilePath()).fileName()));
        }
    }
    const quint16 newest = quint16(DefaultWidget::currentFirmwareID() & 0xffff);
    if (newest == 0)
        return;
    if (!firmwareCheckArmed)
        return;
    firmwareCheckArmed = false;

    // The library may drop boards while the question is open.
    QList<QPointer<Connectable>> walk;
    for (Connectable* board : boards)
        walk.append(board);

    for (const QPointer<Connectable>& board : walk) {
        if (!board || board->firmwareChecked)
            continue;
        if (board->getTypeConnected() != Connectable::TypeMotherBoard)
            continue;
        board->firmwareChecked = true;
        auto* motherboard = qobject_cast<MotherBoard*>(board.data());
        if (!motherboard || motherboard->getBoardFirmwareID() >= newest)
            continue;

        const int boardID = board->getBoardID();
        qCDebug(lcMainWindow) << "board" << boardID << "runs firmware" << motherboard->getBoardFirmwareID() << "of"
                              << newest;
        const QMessageBox::StandardButton answer = QMessageBox::warning(this, tr("Upgrade firmware"),
            tr("The firmware on board %1 is older than the current version. It "
               "should be updated to assure correct "
               "functionality.")
                    .arg(boardID)
                + QStringLiteral("\r\n") + tr("Do this by pressing the OK button"),
            QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::NoButton);
        if (answer != QMessageBox::Ok)
            continue;

        widgetChange(KestrixStudio::WidgetTypeDefault, -1, 0);
        if (auto* overview = qobject_cast<DefaultWidget*>(currentPage))
            overview->startBootloader(boardID);
        break;
    }
    firmwareCheckArmed = true;
}
