// One plug-in source for the suites. Compile definitions (see
// testplugin.cmake) make each build a different plug-in; every call into the
// plug-in is written to a journal on the application object, so a suite can
// see who was asked what, in which order.

#include "basewidget.h"
#include "plugininfo.h"
#include "studiopluginprototype.h"
#include "widgetsignalbridge.h"

#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTreeWidgetItem>
#include <QVariant>

namespace
{

void journal(const QString& entry)
{
    if (!qApp)
        return;
    QStringList entries = qApp->property("kestrixTestJournal").toStringList();
    entries.append(QStringLiteral(TP_NAME ":") + entry);
    qApp->setProperty("kestrixTestJournal", entries);
}

// Destroyed when the library is really unmapped (or at process end).
struct UnloadSentinel {
    ~UnloadSentinel() { journal(QStringLiteral("unloaded")); }
} sentinel;

} // namespace

#ifdef TP_IID_FOREIGN

// A Qt plug-in of some other kind: it must be skipped.
class TestPlugin : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "arvenholtlabs.kestrixstudio.someotherinterface/1.0")
};

#else

#ifdef TP_IID_PREVIOUS
// The contract as it was one version ago; a plug-in built against it must not
// be taken.
class OlderStudioPluginPrototype
{
public:
    virtual BaseWidget* createWidget(int type, int boardID) = 0;
    virtual void populateView(int category, QTreeWidgetItem* parent) = 0;
    virtual void populateMenu(int menuId, QMenu* menu) = 0;
    virtual void populateMenuBar(int menuId, QMenuBar* menuBar) = 0;
    virtual void setSignalBridge(WidgetSignalBridge* bridge) = 0;
    virtual void setIdOffset(int offset) = 0;
    virtual PluginInfo* pluginInfo() = 0;
    virtual QVariant helpResource(QString name) = 0;
    virtual void populateHelp(QTreeWidgetItem* parent, KestrixStudio::HelpCategory category) = 0;
    virtual void loadSettings(QSettings* settings) = 0;
    virtual void saveSettings(QSettings* settings) = 0;
    virtual KestrixStudio::CommandlineProcessing processCommandLine(QStringList arguments) = 0;
    virtual int exitCode() = 0;
    virtual void printUsage(QString applicationName, QString module) = 0;
    virtual KestrixStudio::Features features() = 0;
    virtual int closeRequest() = 0;
    virtual ~OlderStudioPluginPrototype() = default;
};
Q_DECLARE_INTERFACE(OlderStudioPluginPrototype, "arvenholtlabs.kestrixstudio.studiopluginprototype/1.1")
#define TP_INTERFACE OlderStudioPluginPrototype
#define TP_INTERFACE_IID "arvenholtlabs.kestrixstudio.studiopluginprototype/1.1"
#else
#define TP_INTERFACE StudioPluginPrototype
#define TP_INTERFACE_IID StudioPluginPrototype_iid
#endif

// Reports what the factory does to a page after creating it.
class TestPage : public BaseWidget
{
public:
    void setBoard(int boardID) override
    {
        journal(QStringLiteral("page setBoard %1").arg(boardID));
        BaseWidget::setBoard(boardID);
    }
    void boardUpdate() override { journal(QStringLiteral("page boardUpdate")); }
    void setSubtype(quint8 subtype) override { journal(QStringLiteral("page setSubtype %1").arg(uint(subtype))); }
};

class TestPlugin : public QObject, public TP_INTERFACE
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TP_INTERFACE_IID)
    Q_INTERFACES(TP_INTERFACE)

public:
    TestPlugin()
        : info(new PluginInfo(TP_ID, QStringLiteral(TP_NAME), TP_MAJOR, TP_MINOR, TP_BUILD, this))
    {
    }
    ~TestPlugin() override { journal(QStringLiteral("destroyed")); }

    BaseWidget* createWidget(int type, int boardID) override
    {
        journal(QStringLiteral("createWidget %1 %2").arg(type).arg(boardID));
        const QList<int> served = { TP_TYPES };
        if (!served.contains(type))
            return nullptr;
        auto* page = new TestPage;
        page->setObjectName(QStringLiteral(TP_NAME));
        return page;
    }
    void populateView(int category, QTreeWidgetItem* parent) override
    {
        journal(QStringLiteral("populateView %1").arg(category));
        BaseWidget::createMenuItem(QStringLiteral(TP_NAME), parent, 1, 0, 0);
    }
    void populateMenu(int menuId, QMenu* menu) override
    {
        journal(QStringLiteral("populateMenu %1").arg(menuId));
        menu->addAction(QStringLiteral(TP_NAME));
    }
    void populateMenuBar(int menuId, QMenuBar* menuBar) override
    {
        journal(QStringLiteral("populateMenuBar %1").arg(menuId));
        menuBar->addMenu(QStringLiteral(TP_NAME));
    }
    void setSignalBridge(WidgetSignalBridge* bridge) override
    {
        journal(QStringLiteral("setSignalBridge"));
        if (TP_START_WIDGET != -1)
            bridge->requestStartWidget(TP_START_WIDGET);
    }
    void setIdOffset(int offset) override { journal(QStringLiteral("setIdOffset %1").arg(offset)); }
    PluginInfo* pluginInfo() override { return info; }
    QVariant helpResource(QString name) override
    {
        journal(QStringLiteral("helpResource ") + name);
        const QString owner = name.section(QLatin1Char('/'), 0, 0);
        if (owner == QLatin1String("general") || owner == QLatin1String("any") || owner == QLatin1String(TP_NAME))
            return QByteArray(TP_NAME ":") + name.toUtf8();
        return QVariant();
    }
    void populateHelp(QTreeWidgetItem* parent, KestrixStudio::HelpCategory category) override
    {
        journal(QStringLiteral("populateHelp %1").arg(category));
        parent->addChild(BaseWidget::createHelpItem(
            QStringLiteral(TP_NAME " %1").arg(category), QStringLiteral(TP_NAME "/doc/%1").arg(category)));
    }
    void loadSettings(QSettings* settings) override
    {
        journal(QStringLiteral("loadSettings ") + settings->value(QStringLiteral(TP_NAME "/saved")).toString());
    }
    void saveSettings(QSettings* settings) override
    {
        journal(QStringLiteral("saveSettings"));
        settings->setValue(QStringLiteral(TP_NAME "/saved"), QStringLiteral("yes"));
    }
    KestrixStudio::CommandlineProcessing processCommandLine(QStringList arguments) override
    {
        journal(QStringLiteral("processCommandLine ") + arguments.mid(1).join(QLatin1Char(' ')));
        return KestrixStudio::CommandlineProcessing(TP_COMMANDLINE);
    }
    int exitCode() override
    {
        journal(QStringLiteral("exitCode"));
        return TP_EXITCODE;
    }
    void printUsage(QString applicationName, QString module) override
    {
        journal(QStringLiteral("printUsage %1|%2").arg(applicationName, module));
        BaseWidget::printRow(QStringLiteral(TP_USAGE), QStringLiteral(TP_NAME " usage, module '%1'").arg(module));
    }
    KestrixStudio::Features features() override
    {
        journal(QStringLiteral("features"));
        return KestrixStudio::Features(TP_FEATURES);
    }
    int closeRequest() override
    {
        journal(QStringLiteral("closeRequest"));
        return TP_CLOSE;
    }

private:
    PluginInfo* info;
};

#endif

#include "testplugin.moc"
