#pragma once

#include "kestrixframework_export.h"

#include <QObject>
#include <QString>

class QPluginLoader;

// A plug-in's description of itself. The plug-in creates and owns it and
// must hand out the same object for the library's whole life: the shell
// parks the library's loader here and reads it back to unload.
class KESTRIXFRAMEWORK_EXPORT PluginInfo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(quint32 uniquePluginID READ uniquePluginID)
    Q_PROPERTY(QString pluginName READ pluginName)
    Q_PROPERTY(quint8 majorVersion READ majorVersion)
    Q_PROPERTY(quint8 minorVersion READ minorVersion)
    Q_PROPERTY(quint32 buildNumber READ buildNumber)

public:
    PluginInfo(quint32 uniquePluginID, const QString& pluginName, quint8 majorVersion, quint8 minorVersion,
        quint32 buildNumber, QObject* parent = nullptr);

    quint32 uniquePluginID() const { return m_uniquePluginID; }
    QString pluginName() const { return m_pluginName; }
    quint8 majorVersion() const { return m_majorVersion; }
    quint8 minorVersion() const { return m_minorVersion; }
    quint32 buildNumber() const { return m_buildNumber; }

    // Written by the widget factory only.
    QPluginLoader* loader() const { return m_loader; }
    void setLoader(QPluginLoader* loader) { m_loader = loader; }

    // "<name> ID: <id> Version: <major>.<minor> Build: <build>"
    QString description() const;

private:
    quint32 m_uniquePluginID;
    QString m_pluginName;
    quint8 m_majorVersion;
    quint8 m_minorVersion;
    quint32 m_buildNumber;
    QPluginLoader* m_loader;
};
