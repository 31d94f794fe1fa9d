#include "modulememory.h"

#include "benchsimulation.h"
#include "boardlog.h"
#include "hexmodel.h"
#include "hexparser.h"
#include "hexwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cstdio>

namespace
{
QHash<QString, HexModel>& volatileStore()
{
    static QHash<QString, HexModel> store;
    return store;
}

QString storeKey(int boardID, int slot, int memoryType)
{
    return QStringLiteral("%1/%2/%3").arg(boardID).arg(slot).arg(memoryType);
}
} // namespace

HexModel ModuleMemory::read(int boardID, int slot, int memoryType)
{
    const QString file = BenchSimulation::instance()->memoryFile(boardID, slot, memoryType);
    if (file.isEmpty())
        return volatileStore().value(storeKey(boardID, slot, memoryType));
    HexModel image;
    if (!QFileInfo::exists(file))
        return image;
    HexParser parser;
    if (!parser.parseFile(file, &image))
        qCWarning(lcBoard).noquote() << "module memory" << file << "unreadable:" << parser.errorString();
    return image;
}

bool ModuleMemory::write(int boardID, int slot, int memoryType, const HexModel& image, QString* error)
{
    const QString file = BenchSimulation::instance()->memoryFile(boardID, slot, memoryType);
    if (file.isEmpty()) {
        volatileStore().insert(storeKey(boardID, slot, memoryType), image);
        return true;
    }
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        *error = QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(QFileInfo(file).absolutePath()));
        return false;
    }
    // Replaced by a rename, so a reader never sees half a file. Not synced
    // to disk: the bench is a simulation, and a sync per module would stall
    // the event loop of a window programming many boards at once.
    const QString temporary = file + QStringLiteral(".new");
    QFile out(temporary);
    const QByteArray text = HexWriter::write(image);
    const bool written = out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(text) == text.size();
    out.close();
    if (!written || std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(file).constData()) != 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(file), out.errorString());
        QFile::remove(temporary);
        return false;
    }
    return true;
}
