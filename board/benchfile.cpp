#include "benchfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QTextCodec>

namespace
{

const QString BenchGroup = QStringLiteral("bench");

// Position where an inline comment starts in a value, or -1.
int commentStart(const QString& text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char(';') && (i == 0 || text.at(i - 1).isSpace()))
            return i;
    }
    return -1;
}

QString withoutComment(const QString& text)
{
    const int at = commentStart(text);
    return (at < 0 ? text : text.left(at)).trimmed();
}

bool isCommentLine(const QString& trimmed)
{
    return trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'));
}

bool toBool(const QString& text, bool* ok)
{
    const QString t = text.toLower();
    *ok = true;
    if (t == QLatin1String("true") || t == QLatin1String("yes") || t == QLatin1String("1") || t == QLatin1String("on"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("no") || t == QLatin1String("0") || t == QLatin1String("off"))
        return false;
    *ok = false;
    return false;
}

} // namespace

bool BenchFile::Device::sameSettings(const Device& other) const
{
    return id == other.id && type == other.type && firmware == other.firmware && module == other.module
        && extension == other.extension && externalModule == other.externalModule
        && bootloaderSilent == other.bootloaderSilent && programStatus == other.programStatus
        && verifyCompare == other.verifyCompare && verifyStatus == other.verifyStatus && modules == other.modules;
}

bool BenchFile::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_path = path;
        m_lines.clear();
        m_entries.clear();
        m_devices.clear();
        m_error = QStringLiteral("cannot open %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return parse(file.readAll(), path);
}

bool BenchFile::parse(const QByteArray& text, const QString& path)
{
    m_path = path;
    m_error.clear();
    m_warnings.clear();
    m_devices.clear();
    m_entries.clear();
    m_groups.clear();
    m_lines.clear();
    if (text.contains('\0')) {
        m_error = QStringLiteral("%1 is not a text file").arg(QDir::toNativeSeparators(path));
        return false;
    }
    QTextCodec::ConverterState state;
    const QString decoded = QTextCodec::codecForName("UTF-8")->toUnicode(text.constData(), text.size(), &state);
    if (state.invalidChars > 0) {
        m_error = QStringLiteral("%1 is not UTF-8 text").arg(QDir::toNativeSeparators(path));
        return false;
    }
    m_crlf = text.contains("\r\n");
    m_lines = decoded.split(QLatin1Char('\n'));
    for (QString& line : m_lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
    if (!reparse())
        return false;
    readDevices();
    return true;
}

bool BenchFile::reparse()
{
    m_entries.clear();
    m_groups.clear();
    QString group;
    bool inGroup = false;
    for (int i = 0; i < m_lines.size(); ++i) {
        const QString trimmed = m_lines.at(i).trimmed();
        if (isCommentLine(trimmed))
            continue;
        if (trimmed.startsWith(QLatin1Char('['))) {
            const QString header = withoutComment(trimmed);
            if (!header.endsWith(QLatin1Char(']')) || header.size() < 3) {
                m_error = QStringLiteral("%1, line %2: malformed group header")
                              .arg(QDir::toNativeSeparators(m_path))
                              .arg(i + 1);
                return false;
            }
            group = header.mid(1, header.size() - 2).trimmed();
            inGroup = true;
            if (!m_groups.contains(group))
                m_groups.append(group);
            continue;
        }
        const int eq = trimmed.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            m_error = QStringLiteral("%1, line %2: expected a [group], key=value or comment")
                          .arg(QDir::toNativeSeparators(m_path))
                          .arg(i + 1);
            return false;
        }
        if (!inGroup) {
            m_error
                = QStringLiteral("%1, line %2: key outside a group").arg(QDir::toNativeSeparators(m_path)).arg(i + 1);
            return false;
        }
        m_entries.append({ group, trimmed.left(eq).trimmed(), withoutComment(trimmed.mid(eq + 1)), i });
    }
    return true;
}

void BenchFile::readDevices()
{
    m_devices.clear();
    m_warnings.clear();
    QSet<int> seen;
    static const QStringList benchKeys { QStringLiteral("bootloaderDelayMs"), QStringLiteral("operationMs"),
        QStringLiteral("toolMs"), QStringLiteral("memory") };
    static const QStringList deviceKeys { QStringLiteral("id"), QStringLiteral("type"), QStringLiteral("firmware"),
        QStringLiteral("module"), QStringLiteral("extension"), QStringLiteral("externalModule"),
        QStringLiteral("bootloader"), QStringLiteral("programStatus"), QStringLiteral("verifyStatus"),
        QStringLiteral("modules") };
    for (const QString& group : qAsConst(m_groups)) {
        const bool isBench = group.compare(BenchGroup, Qt::CaseInsensitive) == 0;
        const QStringList& known = isBench ? benchKeys : deviceKeys;
        for (const Entry& e : qAsConst(m_entries)) {
            if (e.group == group && !known.contains(e.key, Qt::CaseInsensitive))
                m_warnings << QStringLiteral("[%1]: unknown key '%2' ignored").arg(group, e.key);
        }
        if (isBench)
            continue;

        Device d;
        d.group = group;
        QString problem;
        auto text = [&](const char* key, bool* present = nullptr) {
            const QString v = value(group, QLatin1String(key), QStringLiteral("\x01"));
            if (present)
                *present = v != QStringLiteral("\x01");
            return v == QStringLiteral("\x01") ? QString() : v;
        };
        bool present = false;
        bool ok = false;
        const QString idText = text("id", &present);
        d.id = idText.toInt(&ok, 0);
        if (!present)
            problem = QStringLiteral("no id");
        else if (!ok || d.id < 1 || d.id > 255) // the bus addresses boards by one byte
            problem = QStringLiteral("id '%1' is not a board number from 1 to 255").arg(idText);

        const QString typeText = text("type", &present);
        if (problem.isEmpty() && present) {
            d.type = typeText.toInt(&ok, 0);
            if (!ok || (d.type != DeviceMotherBoard && d.type != DeviceBootloader))
                problem = QStringLiteral("type '%1' is neither 1 (motherboard) nor 4 (bootloader)").arg(typeText);
        }
        const QString fwText = text("firmware", &present);
        if (problem.isEmpty() && present) {
            const uint fw = fwText.toUInt(&ok, 0);
            if (!ok || fw > 0xffff)
                problem = QStringLiteral("firmware '%1' is not a 16-bit number").arg(fwText);
            d.firmware = quint16(fw);
        }
        const QString module = text("module", &present);
        if (present)
            d.module = module;
        const QString extension = text("extension", &present);
        if (present)
            d.extension = extension;
        const QString external = text("externalModule", &present);
        if (problem.isEmpty() && present) {
            d.externalModule = toBool(external, &ok);
            if (!ok)
                problem = QStringLiteral("externalModule '%1' is not true or false").arg(external);
        }
        const QString bootloader = text("bootloader", &present).toLower();
        if (problem.isEmpty() && present) {
            if (bootloader == QLatin1String("silent"))
                d.bootloaderSilent = true;
            else if (bootloader != QLatin1String("responds"))
                problem = QStringLiteral("bootloader '%1' is neither responds nor silent").arg(bootloader);
        }
        const QString programStatus = text("programStatus", &present);
        if (problem.isEmpty() && present) {
            d.programStatus = programStatus.toUInt(&ok, 0);
            if (!ok)
                problem = QStringLiteral("programStatus '%1' is not a number").arg(programStatus);
        }
        const QString verifyStatus = text("verifyStatus", &present);
        if (problem.isEmpty() && present && verifyStatus.compare(QLatin1String("compare"), Qt::CaseInsensitive) != 0) {
            d.verifyCompare = false;
            d.verifyStatus = verifyStatus.toUInt(&ok, 0);
            if (!ok)
                problem = QStringLiteral("verifyStatus '%1' is neither compare nor a number").arg(verifyStatus);
        }
        const QString modules = text("modules", &present);
        if (problem.isEmpty() && present) {
            d.modules.clear();
            const QStringList parts = modules.split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString& part : parts) {
                const int slot = part.trimmed().toInt(&ok);
                if (!ok || slot < 0 || slot > 3) {
                    problem = QStringLiteral("modules: '%1' is not a slot from 0 to 3").arg(part.trimmed());
                    break;
                }
                if (!d.modules.contains(slot))
                    d.modules.append(slot);
            }
        }
        if (problem.isEmpty() && seen.contains(d.id))
            problem = QStringLiteral("board %1 is already described by an earlier group").arg(d.id);
        if (!problem.isEmpty()) {
            m_warnings << QStringLiteral("[%1] skipped: %2").arg(group, problem);
            continue;
        }
        seen.insert(d.id);
        m_devices.append(d);
    }
}

int BenchFile::bootloaderDelayMs() const
{
    bool ok = false;
    const int v = value(BenchGroup, QStringLiteral("bootloaderDelayMs")).toInt(&ok);
    return ok && v >= 0 ? v : DefaultBootloaderDelayMs;
}

int BenchFile::operationMs() const
{
    bool ok = false;
    const int v = value(BenchGroup, QStringLiteral("operationMs")).toInt(&ok);
    return ok && v >= 0 ? v : DefaultOperationMs;
}

int BenchFile::toolMs() const
{
    bool ok = false;
    const int v = value(BenchGroup, QStringLiteral("toolMs")).toInt(&ok);
    return ok && v >= 0 ? v : 0;
}

QString BenchFile::memoryFolder() const
{
    const QFileInfo bench(m_path);
    QString folder = value(BenchGroup, QStringLiteral("memory"));
    if (folder.isEmpty())
        folder = bench.completeBaseName() + QStringLiteral(".memory");
    return QDir::cleanPath(bench.absoluteDir().absoluteFilePath(folder));
}

const BenchFile::Device* BenchFile::deviceById(int id) const
{
    for (const Device& d : m_devices) {
        if (d.id == id)
            return &d;
    }
    return nullptr;
}

const BenchFile::Device* BenchFile::firstReportingBootloader() const
{
    for (const Device& d : m_devices) {
        if (d.isReportingBootloader())
            return &d;
    }
    return nullptr;
}

QString BenchFile::value(const QString& group, const QString& key, const QString& defaultValue) const
{
    // Group names are matched exactly, key names without regard to case; the
    // last occurrence of a key wins, as in most INI readers.
    for (int i = m_entries.size() - 1; i >= 0; --i) {
        const Entry& e = m_entries.at(i);
        if (e.key.compare(key, Qt::CaseInsensitive) == 0
            && (e.group == group || (group == BenchGroup && e.group.compare(group, Qt::CaseInsensitive) == 0)))
            return e.value;
    }
    return defaultValue;
}

void BenchFile::setValue(const QString& group, const QString& key, const QString& value)
{
    int lastLineOfGroup = -1;
    for (int i = m_entries.size() - 1; i >= 0; --i) {
        const Entry& e = m_entries.at(i);
        if (e.group != group)
            continue;
        if (lastLineOfGroup < 0)
            lastLineOfGroup = e.line;
        if (e.key.compare(key, Qt::CaseInsensitive) == 0) {
            const QString old = m_lines.at(e.line);
            const int eq = old.indexOf(QLatin1Char('='));
            const QString rest = old.mid(eq + 1);
            const int comment = commentStart(rest);
            QString line = old.left(eq + 1) + value;
            if (comment >= 0) {
                // Keep the comment where it was when there is room.
                const int column = eq + 1 + comment;
                line = line.leftJustified(qMax(column, line.size() + 1)) + rest.mid(comment);
            }
            m_lines[e.line] = line;
            reparse();
            readDevices();
            return;
        }
    }
    const QString line = key + QLatin1Char('=') + value;
    if (lastLineOfGroup < 0) {
        // No entry yet: after the group's header, or a new group at the end.
        int header = -1;
        for (int i = 0; i < m_lines.size(); ++i) {
            const QString t = withoutComment(m_lines.at(i).trimmed());
            if (t.startsWith(QLatin1Char('[')) && t.mid(1, t.size() - 2).trimmed() == group)
                header = i;
        }
        if (header < 0) {
            if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty())
                m_lines.append(QString());
            m_lines.append(QLatin1Char('[') + group + QLatin1Char(']'));
            m_lines.append(line);
        } else {
            m_lines.insert(header + 1, line);
        }
    } else {
        m_lines.insert(lastLineOfGroup + 1, line);
    }
    reparse();
    readDevices();
}

bool BenchFile::save()
{
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(m_path), file.errorString());
        return false;
    }
    const QString eol = m_crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    file.write((m_lines.join(eol) + eol).toUtf8());
    if (!file.commit()) {
        m_error = QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(m_path), file.errorString());
        return false;
    }
    return true;
}

bool BenchFile::updateKey(
    const QString& path, const QString& group, const QString& key, const QString& value, QString* error)
{
    BenchFile bench;
    if (!bench.load(path)) {
        if (error)
            *error = bench.errorString();
        return false;
    }
    bench.setValue(group, key, value);
    if (!bench.save()) {
        if (error)
            *error = bench.errorString();
        return false;
    }
    return true;
}
