#include "jobarguments.h"

#include <QCoreApplication>

bool JobArguments::is(const QString& argument, const QString& option)
{
    return argument.compare(option, Qt::CaseInsensitive) == 0;
}

bool JobArguments::contains(const QStringList& arguments, const QString& option)
{
    for (int i = 1; i < arguments.size(); ++i) {
        if (is(arguments.at(i), option))
            return true;
    }
    return false;
}

QString JobArguments::parseBoards(const QString& value, bool* all, QList<int>* ids)
{
    *all = is(value, QStringLiteral("all"));
    ids->clear();
    if (*all)
        return QString();
    const QStringList parts = value.split(QLatin1Char(','));
    for (const QString& part : parts) {
        bool ok = false;
        const int id = part.trimmed().toInt(&ok, 10);
        if (!ok || id < 0) {
            ids->clear();
            return QCoreApplication::translate(
                "JobArguments", "-board needs a board ID, a list such as 1,3,5, or all; not '%1'.")
                .arg(value);
        }
        if (!ids->contains(id))
            ids->append(id);
    }
    return QString();
}
