#pragma once

#include "studiopluginprototype.h"

#include <QObject>

// A plug-in in its smallest useful form: an item in the features tree that
// opens a page, a help entry, and a command-line option "-example".
class ExamplePlugin : public QObject, public StudioPluginPrototype
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID StudioPluginPrototype_iid)
    Q_INTERFACES(StudioPluginPrototype)

public:
    ExamplePlugin();

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

private:
    PluginInfo* info;
    WidgetSignalBridge* bridge = nullptr;
    int idOffset = 0;
};
