#pragma once

#include "km4200ctrl_export.h"

#include <QString>

class HexModel;

class KM4200CTRL_EXPORT HexParserFactory
{
public:
    enum Format { FormatIntelHex = 1 };

    // Parses the file into the model. On failure the model is left empty.
    static bool read(const QString& fileName, HexModel* model, int format);
    // The same, handing the fault to the caller: *error names the line and
    // the fault ("line 7: bad checksum ..."), *line is the line (0 when the
    // file as a whole is at fault). Either pointer may be null.
    static bool read(const QString& fileName, HexModel* model, int format, QString* error, int* line = nullptr);
};
