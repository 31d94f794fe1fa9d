// A plug-in whose page overrides every named virtual operation of BaseWidget,
// spelled as plug-in authors find them in basewidget.h and marked override,
// so a signature that drifts from the published one fails this build. The
// subtype decides the page's answers (bits of OverridingPage::Wish); every
// call the shell makes is recorded in the dynamic property "calls".
#include "basewidget.h"
#include "studiopluginbase.h"

#include <QPointer>

class OverridingPage : public BaseWidget
{
    Q_OBJECT

public:
    enum Wish { HideLog = 1, Save = 2, Keep = 4 };

    bool save() override { return record(QStringLiteral("save")); }
    bool saveAs() override { return record(QStringLiteral("saveAs")); }
    bool deleteWhenReplaced() override { return !(wishes & Keep); }
    void leavePage() override { record(QStringLiteral("leavePage")); }
    bool canSave() override { return wishes & Save; }
    void setBoard(int boardID) override
    {
        record(QStringLiteral("setBoard %1").arg(boardID));
        BaseWidget::setBoard(boardID);
    }
    void setSubtype(quint8 subtype) override
    {
        wishes = subtype;
        record(QStringLiteral("setSubtype %1").arg(subtype));
    }
    bool hidesLogView() override { return wishes & HideLog; }
    void prepareModule(KTModule*) override { record(QStringLiteral("prepareModule")); }
    QString helpKey() override { return QStringLiteral("overriding/doc/%1").arg(wishes); }
    QString title() override { return QStringLiteral("Overriding page %1").arg(wishes); }

public slots:
    void boardUpdate() override { record(QStringLiteral("boardUpdate")); }
    void boardDisconnected() override
    {
        record(QStringLiteral("boardDisconnected"));
        BaseWidget::boardDisconnected();
    }

protected slots:
    void progressDialogCancel() override
    {
        record(QStringLiteral("progressDialogCancel"));
        BaseWidget::progressDialogCancel();
    }

protected:
    void afterProgramming() override { record(QStringLiteral("afterProgramming")); }

private:
    bool record(const QString& call)
    {
        setProperty("calls", property("calls").toStringList() << call);
        return true;
    }

    int wishes = 0;
};

// Built on the convenience base, which answers everything else neutrally.
class OverridingPlugin : public StudioPluginBase
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID StudioPluginPrototype_iid)

public:
    OverridingPlugin()
        : StudioPluginBase(0x4F560001u, QStringLiteral("overriding page"), 1, 0, 1)
    {
    }
    ~OverridingPlugin() override { delete page; }

    // Serves one page type; a page that asks to be kept is handed out again.
    BaseWidget* createWidget(int type, int) override
    {
        if (type != KestrixStudio::WidgetTypeGattSetup)
            return nullptr;
        if (!page || page->deleteWhenReplaced())
            page = new OverridingPage;
        return page;
    }
    QVariant helpResource(QString name) override
    {
        if (!name.startsWith(QLatin1String("overriding/")))
            return QVariant();
        return QByteArray("<html><body><p>") + name.toUtf8() + "</p></body></html>";
    }

private:
    QPointer<OverridingPage> page;
};

#include "overridingplugin.moc"
