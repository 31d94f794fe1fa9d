#include "exampleplugin.h"

#include "basewidget.h"
#include "widgetfactory.h"

#include <QLabel>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

namespace
{
// The page type this plug-in serves.
const int examplePageType = KestrixStudio::WidgetTypeTranslator;
} // namespace

ExamplePlugin::ExamplePlugin()
    : StudioPluginBase(0x4b450001, QStringLiteral("Example plug-in"), 1, 0, 1)
{
}

BaseWidget* ExamplePlugin::createWidget(int type, int boardID)
{
    Q_UNUSED(boardID)
    if (type != examplePageType)
        return nullptr;
    auto* page = new BaseWidget(nullptr);
    auto* layout = new QVBoxLayout(page);
    QLabel* heading = BaseWidget::createHeadingLabel(page);
    heading->setText(tr("Example plug-in"));
    layout->addWidget(heading);
    layout->addWidget(new QLabel(tr("This page comes from a plug-in built against the installed SDK."), page));
    layout->addStretch();
    return page;
}

void ExamplePlugin::populateView(int category, QTreeWidgetItem* parent)
{
    if (category == WidgetFactory::MenuFeaturesRoot)
        BaseWidget::createMenuItem(tr("Example"), parent, examplePageType, 0, 0);
}

QVariant ExamplePlugin::helpResource(QString name)
{
    if (name == QLatin1String("example/doc/index"))
        return QByteArray("<html><body><h1>Example plug-in</h1><p>Built against the SDK.</p></body></html>");
    return QVariant();
}

void ExamplePlugin::populateHelp(QTreeWidgetItem* parent, KestrixStudio::HelpCategory category)
{
    if (category == KestrixStudio::RegularContent)
        parent->addChild(BaseWidget::createHelpItem(tr("Example plug-in"), QStringLiteral("example/doc/index")));
}

KestrixStudio::CommandlineProcessing ExamplePlugin::processCommandLine(QStringList arguments)
{
    if (!arguments.contains(QStringLiteral("-example")))
        return KestrixStudio::ContinueProcessingCommandline;
    BaseWidget::printText(tr("Example plug-in:"), tr("hello from the command line."));
    return KestrixStudio::EndProcessingCommandline;
}

void ExamplePlugin::printUsage(QString applicationName, QString module)
{
    Q_UNUSED(applicationName)
    if (module.isEmpty() || module == QLatin1String("example"))
        BaseWidget::printRow(QStringLiteral("-example"), tr("Prints a greeting from the example plug-in and exits."));
}
