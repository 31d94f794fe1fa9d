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
#include <QSaveFile>

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
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(HexWriter::write(image)) < 0 || !out.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(file), out.errorString());
        return false;
    }
    return true;
}
