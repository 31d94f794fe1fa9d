#include "plugininfo.h"

PluginInfo::PluginInfo(quint32 uniquePluginID, const QString& pluginName, quint8 majorVersion, quint8 minorVersion,
    quint32 buildNumber, QObject* parent)
    : QObject(parent)
    , m_uniquePluginID(uniquePluginID)
    , m_pluginName(pluginName)
    , m_majorVersion(majorVersion)
    , m_minorVersion(minorVersion)
    , m_buildNumber(buildNumber)
    , m_loader(nullptr)
{
}

QString PluginInfo::description() const
{
    // quint8 would be taken for a character by arg(); widen it first.
    return QStringLiteral("%1 ID: %2 Version: %3.%4 Build: %5")
        .arg(m_pluginName)
        .arg(m_uniquePluginID)
        .arg(uint(m_majorVersion))
        .arg(uint(m_minorVersion))
        .arg(m_buildNumber);
}
