#include "hexparserfactory.h"

#include "benchsimulation.h"
#include "boardlog.h"
#include "hexmodel.h"
#include "hexparser.h"

#include <QDir>

namespace
{
QString s_lastError;
}

bool HexParserFactory::read(const QString& fileName, HexModel* model, int format)
{
    if (format != FormatIntelHex) {
        if (model)
            model->reset();
        s_lastError = QStringLiteral("unsupported file format %1").arg(format);
        return false;
    }
    HexParser parser;
    if (parser.parseFile(fileName, model)) {
        s_lastError.clear();
        return true;
    }
    s_lastError = parser.errorString();
    BenchSimulation::instance()->log(
        0, QStringLiteral("HEX file %1 rejected: %2").arg(QDir::toNativeSeparators(fileName), s_lastError));
    return false;
}

QString HexParserFactory::lastError()
{
    return s_lastError;
}
