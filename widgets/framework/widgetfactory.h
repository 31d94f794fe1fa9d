#pragma once

#include "kestrixframework_export.h"
#include "kestrixstudio.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

class BaseWidget;
class MenuView;
class PluginInfo;
class QMenu;
class QMenuBar;
class QSettings;
class QTreeWidgetItem;
class StudioPluginPrototype;

// Loads the plug-in libraries beside the executable and is the shell's only
// way to them: pages by type (with the built-in pages as defaults), tree and
// menu entries, help, settings, close requests and the command line.
// Everything is static; the registry lives in this library, once per process.
class KESTRIXFRAMEWORK_EXPORT WidgetFactory : public QObject
{
    Q_OBJECT

public:
    // Where a plug-in's tree items and menu entries go.
    enum MenuCategory {
        MenuFeatures24GHz = 0,
        MenuFeaturesRoot = 1,
        MenuDevicesRoot = 2,
        MenuMotherboards = 3,
        MenuFeaturesBluetooth = 4,
        MenuFileNew = 5,
        MenuFileOpen = 6,
        MenuMenuBar = 9,
        MenuViewTutorial = 10,
        MenuInternal = 11,
        MenuKT61EvaluationBoards = 12,
        MenuKT61DevelopmentBoards = 13,
        MenuKT61DevelopmentDongles = 14,
        MenuKT6xProgramming = 15,
        MenuKT62DevelopmentBoards = 17,
        MenuKT62DevelopmentDongles = 18
    };
    Q_ENUM(MenuCategory)

    // Loads the libraries in the executable's folder, once per process (until
    // unloadPlugins()).
    static void loadPlugins();
    // Loads the libraries of one folder; for tests and tools. The counter for
    // the id offsets starts anew with every call.
    static void loadPlugins(const QString& folder);
    static void addPlugin(StudioPluginPrototype* plugin);
    // Empties the registry and unloads its libraries: the plug-in objects are
    // destroyed, the libraries stay mapped until the process ends (Qt may still
    // hold references to their static data). The main program calls it after
    // the main window is gone, tests in cleanup(). Also resets exitCode().
    static void unloadPlugins();

    // Offers QCoreApplication::arguments(), or the given list, to "-h" and
    // then to the plug-ins.
    static KestrixStudio::CommandlineProcessing processCommandLine();
    static KestrixStudio::CommandlineProcessing processCommandLine(const QStringList& arguments);
    static int exitCode();
    // True for the shell's own start-up options ("-defaultsettings" and the
    // chip-support switches, in any letter case), which a plug-in's job passes over.
    static bool isShellOption(const QString& argument);

    static KestrixStudio::Features features();
    static void populateView(int category, MenuView* view);
    static void populateMenu(int menuId, QMenu* menu);
    static void populateMenuBar(int menuId, QMenuBar* menuBar);
    // Never null; the caller owns the page.
    static BaseWidget* createWidget(int type, quint8 subtype, int boardID);
    static void populateHelp(QTreeWidgetItem* root);
    static QVariant helpResource(const QString& name);
    static QList<PluginInfo*> pluginInfos();
    static bool canClose();
    static void loadSettings(QSettings* settings);
    static void saveSettings(QSettings* settings);

    // The registry in registry order (ascending unique ID).
    static QList<StudioPluginPrototype*> loadedPlugins();

private:
    WidgetFactory() = delete;

    static void unloadPlugin(StudioPluginPrototype* plugin);

    static QMap<quint32, StudioPluginPrototype*> plugins;
    static int exitStatus;
    static bool loadedFromApplicationFolder;
};
