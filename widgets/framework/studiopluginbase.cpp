#include "studiopluginbase.h"

#include "plugininfo.h"

#include <QFile>

StudioPluginBase::StudioPluginBase(
    quint32 uniquePluginID, const QString& pluginName, quint8 majorVersion, quint8 minorVersion, quint32 buildNumber)
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

QVariant StudioPluginBase::helpResource(QString name)
{
    const QStringList parts = name.section(QLatin1Char('#'), 0, 0).split(QLatin1Char('/'));
    if (documentOwner.isEmpty() || parts.size() < 3 || parts.at(0) != documentOwner)
        return QVariant();
    QFile file(QStringLiteral(":/%1/%2/%3").arg(documentOwner, parts.at(1), parts.at(2)));
    if (!file.open(QIODevice::ReadOnly)) {
        file.setFileName(file.fileName() + QStringLiteral(".html"));
        if (!file.open(QIODevice::ReadOnly))
            return QVariant();
    }
    return file.readAll();
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
    return status;
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
