#pragma once

#include "programmersettings.h"
#include "studiopluginprototype.h"

#include <QList>
#include <QObject>
#include <QPointer>

class AllBoardsPage;
class BoardItems;
class ModuleProgrammerPage;

// The module programmer: "All boards" and "Board N" items under
// "Motherboards" that open a page programming a HEX file into a module of
// every board or of one, two "File > Open" entries, a help document and the
// command-line job "-program <file.hex> -board <ids>|all [-slot 0..3] [-json]".
class ModuleProgrammerPlugin : public QObject, public StudioPluginPrototype
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID StudioPluginPrototype_iid)
    Q_INTERFACES(StudioPluginPrototype)

public:
    static constexpr quint32 UniqueID = 0x4B500001;

    explicit ModuleProgrammerPlugin(QObject* parent = nullptr);
    ~ModuleProgrammerPlugin() override;

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

private slots:
    // File > Open > HEX file...: the page of the first connected motherboard.
    void openHexFile();

private:
    PluginInfo* m_info;
    BoardItems* m_boardItems;
    WidgetSignalBridge* m_bridge = nullptr;
    int m_idOffset = 0;
    int m_exitCode = 0;
    ProgrammerSettings m_settings;
    QList<QPointer<ModuleProgrammerPage>> m_pages;
    QPointer<AllBoardsPage> m_allBoardsPage;
};
