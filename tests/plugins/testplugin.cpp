// One plug-in source, built many times with different compile definitions
// (testplugin.cmake). Calls land in the application's "kestrixTestJournal"
// property, so a suite sees who was asked what, in which order.

#include "basewidget.h"
#include "studiopluginbase.h"
#include "widgetsignalbridge.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTreeWidgetItem>

namespace
{
void journal(const QString& entry)
{
    if (qApp) {
        const QStringList entries = qApp->property("kestrixTestJournal").toStringList();
        qApp->setProperty("kestrixTestJournal", entries + QStringList(QStringLiteral(TP_NAME ":") + entry));
    }
}

// Destroyed only when the library is really unmapped (or at process end).
struct UnloadSentinel {
    ~UnloadSentinel() { journal(QStringLiteral("unloaded")); }
} sentinel;
} // namespace

#ifndef TP_IID_CURRENT
#ifdef TP_IID_FOREIGN
#define TP_IID "arvenholtlabs.kestrixstudio.someotherinterface/1.0"
#else
// Built against the previous version of the contract.
#define TP_IID "arvenholtlabs.kestrixstudio.studiopluginprototype/1.1"
#endif

// A Qt plug-in the factory must let go without a single call; with the
// variant "none" a plain library that is no Qt plug-in at all.
class TestPlugin : public QObject
{
    Q_OBJECT
#ifndef TP_IID_NONE
    Q_PLUGIN_METADATA(IID TP_IID)
#endif

public:
    ~TestPlugin() override
    {
        journal(QStringLiteral("destroyed"));
    }
};

#else

// Reports what the factory does to a page after creating it.
class TestPage : public BaseWidget
{
public:
    TestPage() { setObjectName(QStringLiteral(TP_NAME)); }
    void setBoard(int boardID) override
    {
        journal(QStringLiteral("page setBoard %1").arg(boardID));
        BaseWidget::setBoard(boardID);
    }
    void boardUpdate() override { journal(QStringLiteral("page boardUpdate")); }
    void setSubtype(quint8 subtype) override { journal(QStringLiteral("page setSubtype %1").arg(uint(subtype))); }
};

// Answers what the suites look at; the rest is the base's neutral answer.
class TestPlugin : public StudioPluginBase
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID StudioPluginPrototype_iid)

public:
    TestPlugin()
        : StudioPluginBase(TP_ID, QStringLiteral(TP_NAME), TP_MAJOR, TP_MINOR, TP_BUILD)
    {
        setExitCode(TP_EXITCODE);
    }
    ~TestPlugin() override { journal(QStringLiteral("destroyed")); }

    BaseWidget* createWidget(int type, int boardID) override
    {
        journal(QStringLiteral("createWidget %1 %2").arg(type).arg(boardID));
        return QList<int> { TP_TYPES }.contains(type) ? new TestPage : nullptr;
    }
    void setSignalBridge(WidgetSignalBridge* bridge) override
    {
        journal(QStringLiteral("setSignalBridge"));
        if (TP_START_WIDGET != -1)
            bridge->requestStartWidget(TP_START_WIDGET);
    }
    void setIdOffset(int offset) override { journal(QStringLiteral("setIdOffset %1").arg(offset)); }
    // Answers keys of its own and of the shell ("general/...").
    QVariant helpResource(QString name) override
    {
        journal(QStringLiteral("helpResource ") + name);
        if (!QStringList { "general", TP_NAME }.contains(name.section(QLatin1Char('/'), 0, 0)))
            return QVariant();
        return QByteArray(TP_NAME ":") + name.toUtf8();
    }
    void populateHelp(QTreeWidgetItem* parent, KestrixStudio::HelpCategory category) override
    {
        parent->addChild(BaseWidget::createHelpItem(
            QStringLiteral(TP_NAME " %1").arg(category), QStringLiteral(TP_NAME "/doc/%1").arg(category)));
    }
    void saveSettings(QSettings* settings) override { settings->setValue(QStringLiteral(TP_NAME "/saved"), true); }
    KestrixStudio::CommandlineProcessing processCommandLine(QStringList arguments) override
    {
        journal(QStringLiteral("processCommandLine ") + arguments.mid(1).join(QLatin1Char(' ')));
        return KestrixStudio::CommandlineProcessing(TP_COMMANDLINE);
    }
    void printUsage(QString, QString module) override
    {
        BaseWidget::printRow(QStringLiteral(TP_USAGE), QStringLiteral(TP_NAME " usage, module '%1'").arg(module));
    }
    KestrixStudio::Features features() override { return KestrixStudio::Features(TP_FEATURES); }
    int closeRequest() override
    {
        journal(QStringLiteral("closeRequest"));
        return TP_CLOSE;
    }
};

#endif

#include "testplugin.moc"
