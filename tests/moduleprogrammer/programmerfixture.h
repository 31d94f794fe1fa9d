#pragma once

// A bench and HEX files in a temporary folder.

#include "connectionmanager.h"
#include "km4200controller.h"
#include "motherboard.h"

#include <QSaveFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

inline QString motherboard(int id, const QString& extra = QString())
{
    return QStringLiteral("[board%1]\nid=%1\ntype=1\nfirmware=12\n%2\n").arg(id).arg(extra);
}

// A data record whose checksum is one off.
const QByteArray badHex = ":0100000000FE\n:00000001FF\n";

struct Bench {
    QString filePath(const QString& name) const { return dir.filePath(name); }

    void write(const QString& devices, int operationMs = 20) const
    {
        // Replaced at once, as an editor saves: a running library never reads half a file.
        QSaveFile file(filePath("bench.ini"));
        const QString text
            = QString("[bench]\noperationMs=%1\nbootloaderDelayMs=30\n\n%2").arg(operationMs).arg(devices);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) > 0 && file.commit());
    }

    void open(const QString& devices, int operationMs = 20)
    {
        controller.reset();
        write(devices, operationMs);
        qputenv("KM4200_BENCH", filePath("bench.ini").toLocal8Bit());
        controller = std::make_unique<KM4200Controller>();
    }

    // Rewrites the bench and waits until the library has taken the change.
    bool replug(const QString& devices)
    {
        QSignalSpy updated(ConnectionManager::Instance(), &ConnectionManager::updated);
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

    QTemporaryDir dir;
    std::unique_ptr<KM4200Controller> controller;
};
