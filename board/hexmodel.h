#pragma once

#include "km4200ctrl_export.h"

#include <QByteArray>
#include <QMap>
#include <QtGlobal>

// The memory image of a HEX file: contiguous runs of bytes keyed by their
// start address. Adjacent runs are merged, so an image of one block is one
// entry however many records it came from. Addresses are 32 bits; a run never
// wraps past 0xFFFFFFFF (bytes beyond it land at address 0 in a run of their own).
class KM4200CTRL_EXPORT HexModel
{
public:
    HexModel();

    void reset();
    bool isEmpty() const;

    // Writes bytes at an address. Returns false when a byte already set
    // there differs (the same value written twice is fine); nothing is
    // written then.
    bool write(quint32 address, const QByteArray& bytes);
    // The same for a raw buffer; on a conflict *conflictAt gets the first
    // address whose byte differs.
    bool write(quint32 address, const char* data, int size, quint32* conflictAt = nullptr);

    QMap<quint32, QByteArray> segments() const;
    qint64 byteCount() const;
    // First and one past the last address that holds data (0, 0 when empty).
    quint32 lowestAddress() const;
    quint64 endAddress() const;

    // Equal images and equal start addresses.
    bool operator==(const HexModel& other) const;
    bool operator!=(const HexModel& other) const { return !(*this == other); }
    // Equal bytes, start addresses ignored.
    bool sameContent(const HexModel& other) const;

    // Start address from record 03 or 05, if the file had one.
    bool hasStartAddress() const;
    quint32 startAddress() const;
    void setStartAddress(quint32 address);

private:
    bool findConflict(quint32 address, const char* data, int size, quint32* conflictAt) const;
    void store(quint32 address, const char* data, int size);

    QMap<quint32, QByteArray> m_segments;
    bool m_hasStart = false;
    quint32 m_start = 0;
};
