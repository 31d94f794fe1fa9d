#include "hexwriter.h"

#include "hexmodel.h"

namespace
{

void appendRecord(QByteArray& out, int type, quint32 offset, const char* data, int count, bool crlf)
{
    static const char digits[] = "0123456789ABCDEF";
    unsigned char head[4] = { static_cast<unsigned char>(count), static_cast<unsigned char>(offset >> 8),
        static_cast<unsigned char>(offset), static_cast<unsigned char>(type) };
    unsigned sum = 0;
    out.append(':');
    auto put = [&](unsigned char b) {
        sum += b;
        out.append(digits[b >> 4]);
        out.append(digits[b & 15]);
    };
    for (unsigned char b : head)
        put(b);
    for (int i = 0; i < count; ++i)
        put(static_cast<unsigned char>(data[i]));
    const unsigned char checksum = static_cast<unsigned char>(0x100 - (sum & 0xff));
    out.append(digits[checksum >> 4]);
    out.append(digits[checksum & 15]);
    out.append(crlf ? "\r\n" : "\n");
}

} // namespace

QByteArray HexWriter::write(const HexModel& model, int bytesPerRecord, bool crlf)
{
    bytesPerRecord = qBound(1, bytesPerRecord, 255);
    QByteArray out;
    out.reserve(int(model.byteCount() * 2 + model.byteCount() / bytesPerRecord * 13 + 64));
    quint32 upper = 0;
    const auto segments = model.segments();
    for (auto it = segments.constBegin(); it != segments.constEnd(); ++it) {
        quint64 address = it.key();
        const char* data = it.value().constData();
        qint64 left = it.value().size();
        while (left > 0) {
            const quint32 high = quint32(address >> 16);
            if (high != upper) {
                const char base[2] = { char(high >> 8), char(high) };
                appendRecord(out, 4, 0, base, 2, crlf);
                upper = high;
            }
            const quint32 offset = quint32(address & 0xffff);
            const int count = int(qMin<qint64>(qMin<qint64>(left, bytesPerRecord), 0x10000 - offset));
            appendRecord(out, 0, offset, data, count, crlf);
            data += count;
            left -= count;
            address += quint64(count);
        }
    }
    if (model.hasStartAddress()) {
        const quint32 s = model.startAddress();
        const char start[4] = { char(s >> 24), char(s >> 16), char(s >> 8), char(s) };
        appendRecord(out, 5, 0, start, 4, crlf);
    }
    appendRecord(out, 1, 0, nullptr, 0, crlf);
    return out;
}
