#pragma once

#include "km4200ctrl_export.h"

#include <QString>

class HexModel;

class KM4200CTRL_EXPORT HexParserFactory
{
public:
    enum Format {
        FormatIntelHex = 1
    };

    // Parses the file into the model. On failure the model is left empty
    // and lastError() names the line and the fault.
    static bool read(const QString& fileName, HexModel* model, int format);
    static QString lastError();
};
