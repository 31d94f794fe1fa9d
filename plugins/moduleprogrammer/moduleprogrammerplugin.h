#pragma once

#include "programmersettings.h"
#include "studiopluginbase.h"

#include <QList>
#include <QPointer>

class AllBoardsPage;
class BoardItems;
class ModuleProgrammerPage;

// The module programmer: "All boards" and "Board N" items under
// "Motherboards" that open a page programming a HEX file into a module of
// every board or of one, two "File > Open" entries, a help document and the
// command-line job "-program <file.hex> -board <ids>|all [-slot 0..3] [-json]".
class ModuleProgrammerPlugin : public StudioPluginBase
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID StudioPluginPrototype_iid)

public:
    static constexpr quint32 UniqueID = 0x4B500001;

    ModuleProgrammerPlugin();
    ~ModuleProgrammerPlugin() override;

    BaseWidget* createWidget(int type, int boardID) override;
    void populateView(int category, QTreeWidgetItem* parent) override;
    void populateMenu(int menuId, QMenu* menu) override;
    void populateHelp(QTreeWidgetItem* parent, KestrixStudio::HelpCategory category) override;
    void loadSettings(QSettings* settings) override;
    void saveSettings(QSettings* settings) override;
    KestrixStudio::CommandlineProcessing processCommandLine(QStringList arguments) override;
    void printUsage(QString applicationName, QString module) override;
    int closeRequest() override;

private slots:
    // File > Open > HEX file...: the page of the first connected motherboard.
    void openHexFile();

private:
    // Asks the window to show the programming page of a board, or the All boards page.
    void showPage(int boardID);

    BoardItems* m_boardItems;
    ProgrammerSettings m_settings;
    QList<QPointer<ModuleProgrammerPage>> m_pages;
    QPointer<AllBoardsPage> m_allBoardsPage;
};
