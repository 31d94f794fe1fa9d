#pragma once

// Helpers for the plug-in suites: copies of the test plug-ins in a temporary
// folder, the journal the plug-ins write, and whether a library is mapped.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTest>

namespace PluginFixture
{

inline QString built(const QString& target)
{
    return QStringLiteral(TEST_PLUGIN_DIR "/lib%1.so").arg(target);
}

// Copies the plug-in built as `target` into `folder` under `fileName`.
inline QString copy(const QString& target, const QString& folder, const QString& fileName = QString())
{
    const QString destination
        = folder + QLatin1Char('/') + (fileName.isEmpty() ? QStringLiteral("lib%1.so").arg(target) : fileName);
    QDir().mkpath(folder);
    if (!QFile::copy(built(target), destination))
        qFatal("cannot copy %s to %s", qPrintable(built(target)), qPrintable(destination));
    return destination;
}

inline QStringList journal()
{
    return qApp->property("kestrixTestJournal").toStringList();
}

inline void clearJournal()
{
    qApp->setProperty("kestrixTestJournal", QStringList());
}

// Entries of one plug-in, without its tag.
inline QStringList journalOf(const QString& tag)
{
    QStringList entries;
    const QString prefix = tag + QLatin1Char(':');
    for (const QString& entry : journal()) {
        if (entry.startsWith(prefix))
            entries.append(entry.mid(prefix.size()));
    }
    return entries;
}

// Entries of one operation, in calling order: "tp10:populateView 2" and so on.
inline QStringList calls(const QString& operation)
{
    QStringList entries;
    for (const QString& entry : journal()) {
        if (entry.section(QLatin1Char(':'), 1).startsWith(operation))
            entries.append(entry);
    }
    return entries;
}

// True while the dynamic linker has the file mapped into this process.
inline bool isMapped(const QString& path)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    return maps.readAll().contains(QFile::encodeName(path) + "\n");
}

} // namespace PluginFixture
