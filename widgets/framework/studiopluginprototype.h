#pragma once

#include "kestrixstudio.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QtPlugin>

class BaseWidget;
class PluginInfo;
class QMenu;
class QMenuBar;
class QSettings;
class QTreeWidgetItem;
class WidgetSignalBridge;

#define StudioPluginPrototype_iid "arvenholtlabs.kestrixstudio.studiopluginprototype/1.2"

// The contract between the shell and a plug-in library. The root object of
// a plug-in derives from QObject and from this class, names the identifier
// above in Q_PLUGIN_METADATA and lists this class in Q_INTERFACES.
//
// Plug-ins are compiled against this declaration: the operations keep this
// order (their slots in the table of virtual functions); a change of the
// table means a new identifier.
class StudioPluginPrototype
{
public:
    // A page for the type and board, or null when the plug-in does not serve
    // the type. The caller takes the page.
    virtual BaseWidget* createWidget(int type, int boardID) = 0;

    // Tree entries under the item the view gives for a menu category.
    virtual void populateView(int category, QTreeWidgetItem* parent) = 0;

    // Entries in the File/New, File/Open and View/Tutorial sub-menus.
    virtual void populateMenu(int menuId, QMenu* menu) = 0;

    // Whole menus on the menu bar.
    virtual void populateMenuBar(int menuId, QMenuBar* menuBar) = 0;

    // The process-wide relay for page requests; valid for the whole run.
    virtual void setSignalBridge(WidgetSignalBridge* bridge) = 0;

    // 100 times the plug-in's position in the load order.
    virtual void setIdOffset(int offset) = 0;

    // Always the same object for the library's life.
    virtual PluginInfo* pluginInfo() = 0;

    // A help document by key, or an invalid value.
    virtual QVariant helpResource(QString name) = 0;

    // Help contents entries under one of the shell's three top entries.
    virtual void populateHelp(QTreeWidgetItem* parent, KestrixStudio::HelpCategory category) = 0;

    virtual void loadSettings(QSettings* settings) = 0;
    virtual void saveSettings(QSettings* settings) = 0;

    // The full argument list, program path first. EndProcessingCommandline
    // means the job is done and the process ends with exitCode().
    virtual KestrixStudio::CommandlineProcessing processCommandLine(QStringList arguments) = 0;
    virtual int exitCode() = 0;

    // Usage lines for "-h"; module is empty for an overview.
    virtual void printUsage(QString applicationName, QString module) = 0;

    virtual KestrixStudio::Features features() = 0;

    // 2 keeps the main window open; anything else lets it close.
    virtual int closeRequest() = 0;

    // Last, so the operations above keep their slots. The shell never deletes
    // a plug-in through this interface; it unloads the library.
    virtual ~StudioPluginPrototype() = default;
};

Q_DECLARE_INTERFACE(StudioPluginPrototype, StudioPluginPrototype_iid)
