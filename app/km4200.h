#pragma once

#include "kestrixstudio.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>

class BaseWidget;
class ConnectionManager;
class DeviceView;
class PageHost;
class EvaluationView;
class KM4200Controller;
class LogView;
class QAction;
class QCloseEvent;
class QDockWidget;
class QLabel;
class QMenu;
class QScrollArea;
class QShowEvent;

// The main window: three docks (features, devices, log) around a page area
// (PageHost) that shows one page at a time, the menus the plug-ins add to,
// the settings store and the firmware check at start-up. In the default-settings mode it
// only shows the default-settings page and a status bar.
class KM4200 : public QMainWindow
{
    Q_OBJECT

public:
    enum WindowMode { ModeNormal = 0, ModeDefaultSettings = 1 };
    Q_ENUM(WindowMode)

    explicit KM4200(int mode, QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    // "1.21.1.3"
    static QString version();
    ~KM4200() override;

    int windowMode() const { return mode; }

    // True when "-h" or a plug-in consumed the command line during
    // construction: the window is then not to be shown, and main() ends with
    // WidgetFactory::exitCode().
    bool commandLineConsumed() const { return commandLineEnded; }

    // The board library's start-up entries look like "2@text": a decimal
    // level, one '@', the text. False for any other shape.
    static bool parseInitMessage(const QString& entry, int* level, QString* text);

signals:
    void logmessage(KestrixStudio::LogLevel level, QString message);

public slots:
    void textupdate();
    void checkFirmware();
    void message(int level, QString message);
    void message(KestrixStudio::LogLevel level, QString message);

private slots:
    void aboutStudio();
    void aboutQt();
    void widgetChange(int type, int boardID, int subtype);
    void checkForUpdates();
    void openHelp();
    void save();
    void saveAs();
    void updateTitle();
    void updateUnsavedFiles();
    void setStartWidget(int type);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void setupNormalMode();
    void setupDefaultSettingsMode();
    void createDockWindows();
    void createActions();
    void createMenus();
    void createStatusBar();
    void createConnections();
    void loadSettings();
    void saveSettings();
    void restoreWindowGeometry(const QByteArray& geometry);
    static QString settingsWriteProblem(const QString& fileName);
    void logInitMessages();
    // Asks before a close would cut a running firmware update off.
    bool mayEndFirmwareUpdate();
    // The log dock and the Save actions follow the page shown.
    void adjustFrame(BaseWidget* page, BaseWidget* old);

    QAction* saveAct = nullptr;
    QAction* saveAsAct = nullptr;
    QAction* exitAct = nullptr;
    QAction* aboutAct = nullptr;
    QAction* aboutQtAct = nullptr;
    QAction* checkForUpdatesAct = nullptr;
    QAction* openHelpAct = nullptr;

    QMenu* fileMenu = nullptr;
    QMenu* newMenu = nullptr;
    QMenu* openMenu = nullptr;
    QMenu* viewMenu = nullptr;
    QMenu* tutorialMenu = nullptr;
    QMenu* helpMenu = nullptr;

    QLabel* statusLabel = nullptr;
    KM4200Controller* controller = nullptr;
    ConnectionManager* connectionManager = nullptr;
    DeviceView* deviceView = nullptr;
    EvaluationView* evaluationView = nullptr;
    LogView* logView = nullptr;
    BaseWidget* currentPage = nullptr;
    QDockWidget* deviceDock = nullptr;
    QDockWidget* evaluationDock = nullptr;
    QDockWidget* logDock = nullptr;
    int mode;
    QScrollArea* scrollArea = nullptr;
    bool firmwareCheckArmed = false;
    QString baseTitle;
    bool showLogView = true;
    int rcCandidateNumber = -1;
    // Why the settings will not be saved; logged at start-up.
    QString settingsProblem;
    int startWidgetType = -1;

    bool commandLineEnded = false;
    // Set once the mode's setup has run; page requests that come earlier
    // (plug-ins while loading or handling the command line) wait for it.
    bool setupDone = false;
    struct PageRequest {
        int type;
        int boardID;
        int subtype;
    };
    QList<PageRequest> earlyRequests;

    // Shows the pages; currentPage and scrollArea follow it.
    PageHost* pageHost = nullptr;
};
