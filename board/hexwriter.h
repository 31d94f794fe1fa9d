#pragma once

#include "km4200ctrl_export.h"

#include <QByteArray>

class HexModel;

// Writes a model as Intel HEX: data records that never cross a 64 KiB
// boundary, 04 records where the upper address changes, 05 for a start
// address, and the end-of-file record.
class KM4200CTRL_EXPORT HexWriter
{
public:
    static QByteArray write(const HexModel& model, int bytesPerRecord = 16, bool crlf = false);
};
