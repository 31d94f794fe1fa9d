#include "hexparser.h"

#include "hexmodel.h"

#include <QFile>

#include <cstring>

namespace
{

// Value of a hex digit, or -1.
struct DigitTable {
    signed char value[256];
    constexpr DigitTable()
        : value()
    {
        for (int i = 0; i < 256; ++i)
            value[i] = -1;
        for (int i = 0; i < 10; ++i)
            value['0' + i] = char(i);
        for (int i = 0; i < 6; ++i) {
            value['A' + i] = char(10 + i);
            value['a' + i] = char(10 + i);
        }
    }
};
constexpr DigitTable digits;

QString hex2(unsigned value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

QString hexAddress(quint32 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

QString describeChar(unsigned char c)
{
    if (c >= 0x21 && c < 0x7f)
        return QStringLiteral("'%1'").arg(QChar::fromLatin1(char(c)));
    return QStringLiteral("byte ") + hex2(c);
}

} // namespace

bool HexParser::fail(Error error, int line, const QString& what, HexModel* model)
{
    m_error = error;
    m_line = line;
    m_message = line > 0 ? QStringLiteral("line %1: %2").arg(line).arg(what) : what;
    if (model)
        model->reset();
    return false;
}

bool HexParser::parseFile(const QString& fileName, HexModel* model)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (model)
            model->reset();
        return fail(FileError, 0, QStringLiteral("cannot open %1: %2").arg(fileName, file.errorString()), model);
    }
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(FileError, 0, QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString()), model);
    return parse(text, model);
}

bool HexParser::parse(const char* data, qint64 size, HexModel* model)
{
    m_error = NoError;
    m_line = 0;
    m_message.clear();
    HexModel scratch;
    if (!model)
        model = &scratch;
    model->reset();

    // Extended segment (02) and linear (04) bases; the later one decides.
    bool segmentMode = false;
    quint32 segmentBase = 0;
    quint32 linearBase = 0;
    bool endSeen = false;
    int line = 0;
    unsigned char record[262];

    const char* p = data;
    const char* const end = data + size;
    while (p < end) {
        ++line;
        const char* newline = static_cast<const char*>(memchr(p, '\n', size_t(end - p)));
        const char* lineEnd = newline ? newline : end;
        const char* next = newline ? newline + 1 : end;
        if (lineEnd > p && lineEnd[-1] == '\r')
            --lineEnd;
        if (lineEnd == p) {
            p = next;
            continue;
        }
        if (endSeen)
            return fail(DataAfterEndOfFile, line, QStringLiteral("data after the end-of-file record"), model);
        if (*p != ':')
            return fail(MissingStartCode, line, QStringLiteral("missing start code ':'"), model);

        const unsigned char* digit = reinterpret_cast<const unsigned char*>(p + 1);
        const qint64 digitCount = lineEnd - (p + 1);
        // Longest record: 255 data bytes plus count, address, type and checksum.
        const qint64 usable = qMin<qint64>(digitCount, qint64(sizeof record) * 2);
        for (qint64 i = 0; i < digitCount; ++i) {
            if (digits.value[digit[i]] < 0) {
                return fail(NonHexDigit, line,
                    QStringLiteral("%1 is not a hex digit (column %2)").arg(describeChar(digit[i])).arg(i + 2), model);
            }
        }
        if (digitCount % 2)
            return fail(OddDigitCount, line, QStringLiteral("odd number of hex digits (%1)").arg(digitCount), model);
        const int byteCount = int(usable / 2);
        for (int i = 0; i < byteCount; ++i)
            record[i] = static_cast<unsigned char>((digits.value[digit[2 * i]] << 4) | digits.value[digit[2 * i + 1]]);

        if (byteCount < 5)
            return fail(LengthMismatch, line, QStringLiteral("record too short (%1 bytes)").arg(digitCount / 2), model);
        const int count = record[0];
        if (digitCount / 2 != count + 5) {
            return fail(LengthMismatch, line,
                QStringLiteral("byte count %1 does not match the %2 data bytes of the record")
                    .arg(hex2(unsigned(count)))
                    .arg(digitCount / 2 - 5),
                model);
        }
        unsigned sum = 0;
        for (int i = 0; i < count + 4; ++i)
            sum += record[i];
        const unsigned expected = (0x100 - (sum & 0xff)) & 0xff;
        const unsigned found = record[count + 4];
        if (expected != found) {
            return fail(BadChecksum, line,
                QStringLiteral("bad checksum (expected %1, found %2)").arg(hex2(expected), hex2(found)), model);
        }

        const quint32 offset = (quint32(record[1]) << 8) | record[2];
        const int type = record[3];
        const unsigned char* payload = record + 4;
        auto needLength = [&](int wanted) {
            if (count == wanted)
                return true;
            fail(LengthMismatch, line,
                QStringLiteral("record type %1 needs %2 data bytes, found %3")
                    .arg(hex2(unsigned(type)))
                    .arg(wanted)
                    .arg(count),
                model);
            return false;
        };
        switch (type) {
        case 0: {
            const char* bytes = reinterpret_cast<const char*>(payload);
            quint32 conflict = 0;
            bool ok = true;
            if (segmentMode) {
                // Within a segment the offset wraps at 64 KiB.
                const int first = int(qMin<quint32>(quint32(count), 0x10000 - offset));
                ok = model->write(segmentBase + offset, bytes, first, &conflict)
                    && model->write(segmentBase, bytes + first, count - first, &conflict);
            } else {
                // Linear addresses wrap at 4 GiB; HexModel splits there.
                ok = model->write(linearBase + offset, bytes, count, &conflict);
            }
            if (!ok) {
                return fail(ConflictingData, line,
                    QStringLiteral("address %1 already holds a different byte").arg(hexAddress(conflict)), model);
            }
            break;
        }
        case 1:
            if (!needLength(0))
                return false;
            endSeen = true;
            break;
        case 2:
            if (!needLength(2))
                return false;
            segmentMode = true;
            segmentBase = ((quint32(payload[0]) << 8) | payload[1]) << 4;
            break;
        case 3:
            if (!needLength(4))
                return false;
            model->setStartAddress(
                ((((quint32(payload[0]) << 8) | payload[1]) << 4) + ((quint32(payload[2]) << 8) | payload[3])));
            break;
        case 4:
            if (!needLength(2))
                return false;
            segmentMode = false;
            linearBase = ((quint32(payload[0]) << 8) | payload[1]) << 16;
            break;
        case 5:
            if (!needLength(4))
                return false;
            model->setStartAddress(
                (quint32(payload[0]) << 24) | (quint32(payload[1]) << 16) | (quint32(payload[2]) << 8) | payload[3]);
            break;
        default:
            return fail(
                UnknownRecordType, line, QStringLiteral("unknown record type %1").arg(hex2(unsigned(type))), model);
        }
        p = next;
    }
    if (!endSeen)
        return fail(MissingEndOfFile, line + 1, QStringLiteral("missing end-of-file record"), model);
    return true;
}
