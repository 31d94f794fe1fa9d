#include "studiopluginbase.h"

#include "plugininfo.h"

StudioPluginBase::StudioPluginBase(quint32 uniquePluginID, const QString& pluginName, quint8 majorVersion,
    quint8 minorVersion, quint32 buildNumber)
    : info(new PluginInfo(uniquePluginID, pluginName, majorVersion, minorVersion, buildNumber, this))
{
}

StudioPluginBase::~StudioPluginBase() = default;

BaseWidget* StudioPluginBase::createWidget(int, int)
{
    return nullptr;
}

void StudioPluginBase::populateView(int, QTreeWidgetItem*) { }

void StudioPluginBase::populateMenu(int, QMenu*) { }

void StudioPluginBase::populateMenuBar(int, QMenuBar*) { }

void StudioPluginBase::setSignalBridge(WidgetSignalBridge* signalBridge)
{
    bridge = signalBridge;
}

void StudioPluginBase::setIdOffset(int idOffset)
{
    offset = idOffset;
}

PluginInfo* StudioPluginBase::pluginInfo()
{
    return info;
}

QVariant StudioPluginBase::helpResource(QString)
{
    return QVariant();
}

void StudioPluginBase::populateHelp(QTreeWidgetItem*, KestrixStudio::HelpCategory) { }

void StudioPluginBase::loadSettings(QSettings*) { }

void StudioPluginBase::saveSettings(QSettings*) { }

KestrixStudio::CommandlineProcessing StudioPluginBase::processCommandLine(QStringList)
{
    return KestrixStudio::ContinueProcessingCommandline;
}

int StudioPluginBase::exitCode()
{
    return 0;
}

void StudioPluginBase::printUsage(QString, QString) { }

KestrixStudio::Features StudioPluginBase::features()
{
    return KestrixStudio::FeatureNoFeatures;
}

int StudioPluginBase::closeRequest()
{
    return 0;
}
