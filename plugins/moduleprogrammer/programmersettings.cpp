#include "programmersettings.h"

#include <QSettings>

const char* const ProgrammerSettings::Group = "moduleProgrammer";

namespace
{
const QString boardPrefix = QStringLiteral("board");
}

void ProgrammerSettings::setLastFile(int boardID, const QString& fileName)
{
    m_files.insert(boardID, fileName);
}

void ProgrammerSettings::setLastSlot(int boardID, int slot)
{
    m_slots.insert(boardID, slot);
}

void ProgrammerSettings::load(QSettings* settings)
{
    if (!settings)
        return;
    m_files.clear();
    m_slots.clear();
    settings->beginGroup(QLatin1String(Group));
    const QStringList boards = settings->childGroups();
    for (const QString& group : boards) {
        if (!group.startsWith(boardPrefix))
            continue;
        bool ok = false;
        const int boardID = group.mid(boardPrefix.size()).toInt(&ok);
        if (!ok)
            continue;
        settings->beginGroup(group);
        const QString file = settings->value(QStringLiteral("file")).toString();
        if (!file.isEmpty())
            m_files.insert(boardID, file);
        const int slot = settings->value(QStringLiteral("slot"), -1).toInt(&ok);
        if (ok && slot >= 0 && slot <= 3)
            m_slots.insert(boardID, slot);
        settings->endGroup();
    }
    settings->endGroup();
}

void ProgrammerSettings::save(QSettings* settings) const
{
    if (!settings)
        return;
    settings->beginGroup(QLatin1String(Group));
    for (auto it = m_files.constBegin(); it != m_files.constEnd(); ++it)
        settings->setValue(boardPrefix + QString::number(it.key()) + QStringLiteral("/file"), it.value());
    for (auto it = m_slots.constBegin(); it != m_slots.constEnd(); ++it)
        settings->setValue(boardPrefix + QString::number(it.key()) + QStringLiteral("/slot"), it.value());
    settings->endGroup();
}
