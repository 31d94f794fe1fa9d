#include "applicationdirectory.h"

#include <QCoreApplication>
#include <QDir>

namespace
{
QString& overridePath()
{
    static QString path;
    return path;
}
} // namespace

QString ApplicationDirectory::path()
{
    const QString& forced = overridePath();
    if (!forced.isEmpty())
        return forced;
    return QDir::fromNativeSeparators(QCoreApplication::applicationDirPath());
}

void ApplicationDirectory::setPathForTesting(const QString& path)
{
    overridePath() = QDir::fromNativeSeparators(path);
}
