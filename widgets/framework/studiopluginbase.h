#pragma once

#include "kestrixframework_export.h"
#include "studiopluginprototype.h"

#include <QObject>

// A plug-in's root object that gives every operation of StudioPluginPrototype
// its neutral answer: no page, no tree, menu or help entries, no documents,
// the command line left to the next plug-in, closing allowed. It keeps the
// plug-in's description, the signal relay and the ID offset. A plug-in
// derives from it and overrides only what it serves:
//
//   class MyPlugin : public StudioPluginBase
//   {
//       Q_OBJECT
//       Q_PLUGIN_METADATA(IID StudioPluginPrototype_iid)
//   public:
//       MyPlugin() : StudioPluginBase(0x12340001, QStringLiteral("My plug-in"), 1, 0, 1) { }
//       BaseWidget* createWidget(int type, int boardID) override;
//   };
class KESTRIXFRAMEWORK_EXPORT StudioPluginBase : public QObject, public StudioPluginPrototype
{
    Q_OBJECT
    Q_INTERFACES(StudioPluginPrototype)

public:
    // The values of the plug-in's PluginInfo (see there).
    StudioPluginBase(quint32 uniquePluginID, const QString& pluginName, quint8 majorVersion, quint8 minorVersion,
        quint32 buildNumber);
    ~StudioPluginBase() override;

    BaseWidget* createWidget(int type, int boardID) override;
    void populateView(int category, QTreeWidgetItem* parent) override;
    void populateMenu(int menuId, QMenu* menu) override;
    void populateMenuBar(int menuId, QMenuBar* menuBar) override;
    void setSignalBridge(WidgetSignalBridge* bridge) override;
    void setIdOffset(int offset) override;
    PluginInfo* pluginInfo() override;
    QVariant helpResource(QString name) override;
    void populateHelp(QTreeWidgetItem* parent, KestrixStudio::HelpCategory category) override;
    void loadSettings(QSettings* settings) override;
    void saveSettings(QSettings* settings) override;
    KestrixStudio::CommandlineProcessing processCommandLine(QStringList arguments) override;
    int exitCode() override;
    void printUsage(QString applicationName, QString module) override;
    KestrixStudio::Features features() override;
    int closeRequest() override;

protected:
    // Help keys "<owner>/<folder>/<name>[#anchor]" are then answered from the
    // plug-in's resources ":/<owner>/<folder>/<name>" (".html" may be left
    // out of the key). Each plug-in has a prefix of its own: the shell's
    // documents live under ":/doc/".
    void setHelpOwner(const QString& owner) { documentOwner = owner; }
    // What exitCode() answers: a command-line job sets its status here.
    void setExitCode(int code) { status = code; }
    // The relay for page requests; null until the shell has loaded the plug-in.
    WidgetSignalBridge* signalBridge() const { return bridge; }
    // 100 times the plug-in's position in the load order; 0 until loaded.
    int idOffset() const { return offset; }

private:
    PluginInfo* info;
    WidgetSignalBridge* bridge = nullptr;
    int offset = 0;
    QString documentOwner;
    int status = 0;
};
