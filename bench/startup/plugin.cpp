// A small plug-in as a start-up load: one tree item, one menu entry, no page.
// Each library built from this file links its own benchPluginId.

#include "basewidget.h"
#include "plugininfo.h"
#include "studiopluginprototype.h"

#include <QMenu>
#include <QMenuBar>
#include <QTreeWidgetItem>

extern const unsigned int benchPluginId;

class BenchPlugin : public QObject, public StudioPluginPrototype
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID StudioPluginPrototype_iid)
    Q_INTERFACES(StudioPluginPrototype)

public:
    BenchPlugin()
        : info(new PluginInfo(
            benchPluginId, QStringLiteral("Bench plug-in %1").arg(benchPluginId & 0xffff), 1, 0, 1, this))
    {
    }

    BaseWidget* createWidget(int, int) override { return nullptr; }
    void populateView(int category, QTreeWidgetItem* parent) override
    {
        if (category == 3)
            BaseWidget::createMenuItem(info->pluginName(), parent, 16, 0, 0);
    }
    void populateMenu(int menuId, QMenu* menu) override
    {
        if (menuId == 6)
            menu->addAction(info->pluginName());
    }
    void populateMenuBar(int, QMenuBar*) override { }
    void setSignalBridge(WidgetSignalBridge*) override { }
    void setIdOffset(int) override { }
    PluginInfo* pluginInfo() override { return info; }
    QVariant helpResource(QString) override { return QVariant(); }
    void populateHelp(QTreeWidgetItem*, KestrixStudio::HelpCategory) override { }
    void loadSettings(QSettings*) override { }
    void saveSettings(QSettings*) override { }
    KestrixStudio::CommandlineProcessing processCommandLine(QStringList) override
    {
        return KestrixStudio::NoOptionsProcessedInCommandline;
    }
    int exitCode() override { return 0; }
    void printUsage(QString, QString) override { }
    KestrixStudio::Features features() override { return KestrixStudio::FeatureNoFeatures; }
    int closeRequest() override { return 0; }

private:
    PluginInfo* info;
};

#include "plugin.moc"
