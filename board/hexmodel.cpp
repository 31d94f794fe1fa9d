#include "hexmodel.h"

namespace
{
constexpr quint64 AddressSpace = Q_UINT64_C(0x100000000);

quint64 endOf(QMap<quint32, QByteArray>::const_iterator it)
{
    return quint64(it.key()) + quint64(it.value().size());
}
} // namespace

HexModel::HexModel() = default;

void HexModel::reset()
{
    m_segments.clear();
    m_hasStart = false;
    m_start = 0;
}

bool HexModel::isEmpty() const
{
    return m_segments.isEmpty();
}

bool HexModel::write(quint32 address, const QByteArray& bytes)
{
    return write(address, bytes.constData(), bytes.size());
}

bool HexModel::write(quint32 address, const char* data, int size, quint32* conflictAt)
{
    if (size <= 0)
        return true;
    // Split at the top of the address space so no run wraps.
    const quint64 end = quint64(address) + quint64(size);
    const int first = end > AddressSpace ? int(AddressSpace - address) : size;
    if (findConflict(address, data, first, conflictAt))
        return false;
    if (first < size && findConflict(0, data + first, size - first, conflictAt))
        return false;
    store(address, data, first);
    if (first < size)
        store(0, data + first, size - first);
    return true;
}

bool HexModel::findConflict(quint32 address, const char* data, int size, quint32* conflictAt) const
{
    const quint64 end = quint64(address) + quint64(size);
    auto it = m_segments.upperBound(address);
    if (it != m_segments.constBegin()) {
        auto prev = std::prev(it);
        if (endOf(prev) > address)
            it = prev;
    }
    for (; it != m_segments.constEnd() && it.key() < end; ++it) {
        const quint64 lo = qMax<quint64>(address, it.key());
        const quint64 hi = qMin<quint64>(end, endOf(it));
        const char* mine = data + (lo - address);
        const char* theirs = it.value().constData() + (lo - it.key());
        for (quint64 i = 0; i < hi - lo; ++i) {
            if (mine[i] != theirs[i]) {
                if (conflictAt)
                    *conflictAt = quint32(lo + i);
                return true;
            }
        }
    }
    return false;
}

void HexModel::store(quint32 address, const char* data, int size)
{
    const quint64 end = quint64(address) + quint64(size);
    auto next = m_segments.upperBound(address);
    auto prev = next == m_segments.begin() ? m_segments.end() : std::prev(next);

    // Common case: records arrive in order and extend the run before them.
    if (prev != m_segments.end() && endOf(prev) == address && (next == m_segments.end() || next.key() >= end)) {
        prev.value().append(data, size);
        if (next != m_segments.end() && next.key() == end) {
            prev.value().append(next.value());
            m_segments.erase(next);
        }
        return;
    }

    // General case: merge every run that overlaps or touches [address, end).
    auto first = (prev != m_segments.end() && endOf(prev) >= address) ? prev : next;
    quint64 lo = address;
    quint64 hi = end;
    auto last = first;
    for (; last != m_segments.end() && last.key() <= end; ++last) {
        lo = qMin<quint64>(lo, last.key());
        hi = qMax<quint64>(hi, endOf(last));
    }
    QByteArray merged(int(hi - lo), '\0');
    for (auto it = first; it != last; ++it)
        memcpy(merged.data() + (it.key() - lo), it.value().constData(), size_t(it.value().size()));
    memcpy(merged.data() + (address - lo), data, size_t(size));
    while (first != last)
        first = m_segments.erase(first);
    m_segments.insert(quint32(lo), merged);
}

QMap<quint32, QByteArray> HexModel::segments() const
{
    return m_segments;
}

qint64 HexModel::byteCount() const
{
    qint64 total = 0;
    for (auto it = m_segments.constBegin(); it != m_segments.constEnd(); ++it)
        total += it.value().size();
    return total;
}

quint32 HexModel::lowestAddress() const
{
    return m_segments.isEmpty() ? 0 : m_segments.firstKey();
}

quint64 HexModel::endAddress() const
{
    return m_segments.isEmpty() ? 0 : endOf(std::prev(m_segments.constEnd()));
}

bool HexModel::operator==(const HexModel& other) const
{
    return m_hasStart == other.m_hasStart && (!m_hasStart || m_start == other.m_start)
        && m_segments == other.m_segments;
}

bool HexModel::sameContent(const HexModel& other) const
{
    return m_segments == other.m_segments;
}

bool HexModel::hasStartAddress() const
{
    return m_hasStart;
}

quint32 HexModel::startAddress() const
{
    return m_start;
}

void HexModel::setStartAddress(quint32 address)
{
    m_hasStart = true;
    m_start = address;
}
