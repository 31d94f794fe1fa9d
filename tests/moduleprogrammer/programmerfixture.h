#pragma once

// A bench and HEX files in a temporary folder, for every suite of the
// programming stack.

#include "../board/benchfixture.h"
#include "hexmodel.h"
#include "ktmodule.h"
#include "motherboard.h"

#include <QSaveFile>
#include <QSignalSpy>

inline QString motherboard(int id, const QString& extra = QString())
{
    return QStringLiteral("[board%1]\nid=%1\ntype=1\nfirmware=12\n%2\n").arg(id).arg(extra);
}

inline MotherBoard* board(int id)
{
    return ConnectionManager::Instance()->motherBoard(id);
}

// What the module in slot 0 of a board holds.
inline HexModel memory(int boardID)
{
    return board(boardID)->getModule(0)->memory(KTModule::MemoryNormal);
}

// A data record whose checksum is one off.
const QByteArray badHex = ":0100000000FE\n:00000001FF\n";

struct Bench : BenchFixture {
    QString filePath(const QString& name) const { return dir.filePath(name); }

    void write(const QString& devices, int operationMs = 20) const
    {
        // Replaced at once, as an editor saves: a running library never reads half a file.
        QSaveFile file(path());
        QVERIFY(
            file.open(QIODevice::WriteOnly) && file.write(header(operationMs) + devices.toUtf8()) > 0 && file.commit());
    }

    void open(const QString& devices, int operationMs = 20)
    {
        controller.reset();
        start(header(operationMs) + devices.toUtf8());
    }

    // Rewrites the bench and waits until the library has taken the change.
    bool replug(const QString& devices)
    {
        QSignalSpy updated(manager(), &ConnectionManager::updated);
        write(devices);
        return updated.wait(5000);
    }

    QString addFile(const QString& name, QByteArray content = QByteArray()) const
    {
        QFile demo(QStringLiteral(DEMO_MODULE_HEX));
        if (content.isEmpty() && demo.open(QIODevice::ReadOnly))
            content = demo.readAll();
        QFile out(filePath(name));
        return out.open(QIODevice::WriteOnly) && out.write(content) > 0 ? out.fileName() : QString();
    }
};
