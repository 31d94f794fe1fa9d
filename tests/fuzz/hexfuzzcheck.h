#pragma once

// What must hold for any input to the HEX reader; shared by the fuzzer and
// the corpus replay test.

#include "hexmodel.h"
#include "hexparser.h"
#include "hexwriter.h"

#include <QString>

namespace HexFuzz
{

// Empty when every invariant holds, else what broke.
inline QString check(const char* data, qint64 size)
{
    HexModel model;
    model.write(0x1234, "stale");
    HexParser parser;
    if (!parser.parse(data, size, &model)) {
        if (!model.isEmpty() || model.hasStartAddress())
            return QStringLiteral("rejected input left data in the model");
        if (parser.error() == HexParser::NoError || parser.errorLine() < 1)
            return QStringLiteral("rejection without a fault or line");
        if (!parser.errorString().startsWith(QStringLiteral("line %1: ").arg(parser.errorLine())))
            return QStringLiteral("message without its line: ") + parser.errorString();
        return QString();
    }
    if (parser.error() != HexParser::NoError)
        return QStringLiteral("accepted input with a fault");
    if (model.byteCount() > size / 2)
        return QStringLiteral("more bytes than the text can hold");
    // What the writer makes of the model reads back the same.
    HexModel again;
    const QByteArray written = HexWriter::write(model);
    if (!parser.parse(written, &again))
        return QStringLiteral("written model rejected: ") + parser.errorString();
    if (!(again == model))
        return QStringLiteral("round trip changed the model");
    return QString();
}

} // namespace HexFuzz
