#pragma once

#include <QMap>
#include <QString>

class QSettings;

// What the module programmer remembers per board between runs: the last HEX
// file and module slot. Kept in the shell's settings store, group
// "moduleProgrammer", as board<N>/file and board<N>/slot.
class ProgrammerSettings
{
public:
    static const char* const Group;

    QString lastFile(int boardID) const { return m_files.value(boardID); }
    void setLastFile(int boardID, const QString& fileName);
    // -1 when nothing was stored for the board.
    int lastSlot(int boardID) const { return m_slots.value(boardID, -1); }
    void setLastSlot(int boardID, int slot);

    void load(QSettings* settings);
    void save(QSettings* settings) const;

private:
    QMap<int, QString> m_files;
    QMap<int, int> m_slots;
};
