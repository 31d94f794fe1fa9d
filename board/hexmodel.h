#pragma once

#include "km4200ctrl_export.h"

#include <QByteArray>
#include <QMap>
#include <QtGlobal>

// The memory image of a HEX file: contiguous runs of bytes keyed by their
// start address. Adjacent runs are merged, so an image of one block is one
// entry however many records it came from.
class KM4200CTRL_EXPORT HexModel
{
public:
    HexModel();

    void reset();
    bool isEmpty() const;

    // Writes bytes at an address. Returns false when a byte already set
    // there differs (the same value written twice is fine).
    bool write(quint32 address, const QByteArray& bytes);

    QMap<quint32, QByteArray> segments() const;
    qint64 byteCount() const;
    bool operator==(const HexModel& other) const;
    bool operator!=(const HexModel& other) const { return !(*this == other); }

    // Start address from record 03 or 05, if the file had one.
    bool hasStartAddress() const;
    quint32 startAddress() const;
    void setStartAddress(quint32 address);

private:
    QMap<quint32, QByteArray> m_segments;
    bool m_hasStart = false;
    quint32 m_start = 0;
};
