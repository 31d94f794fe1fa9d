#include "hexparserfactory.h"

#include "boardbackend.h"
#include "boardlog.h"
#include "hexmodel.h"
#include "hexparser.h"

#include <QDir>

bool HexParserFactory::read(const QString& fileName, HexModel* model, int format)
{
    return read(fileName, model, format, nullptr);
}

bool HexParserFactory::read(const QString& fileName, HexModel* model, int format, QString* error, int* line)
{
    if (format != FormatIntelHex) {
        if (model)
            model->reset();
        if (error)
            *error = QStringLiteral("unsupported file format %1").arg(format);
        if (line)
            *line = 0;
        return false;
    }
    HexParser parser;
    const bool ok = parser.parseFile(fileName, model);
    if (error)
        *error = parser.errorString();
    if (line)
        *line = parser.errorLine();
    if (!ok) {
        BoardBackend::instance()->log(0,
            QStringLiteral("HEX file %1 rejected: %2").arg(QDir::toNativeSeparators(fileName), parser.errorString()));
    }
    return ok;
}
