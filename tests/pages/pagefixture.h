#pragma once

// Fixture of the page suites: a temporary application directory (with a blank
// in its name, so quoting matters) holding hex/ and a simulated bench file.

#include "applicationdirectory.h"
#include "basewidget.h"
#include "connectionmanager.h"
#include "defaultwidget.h"
#include "km4200controller.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

inline QString motherboard(int id, int firmware, const QString& extra = QString())
{
    return QStringLiteral("[board%1]\nid=%1\ntype=1\nfirmware=%2\n%3\n").arg(id).arg(firmware).arg(extra);
}

inline QStringList labelTexts(QWidget* page)
{
    QStringList texts;
    for (QLabel* label : page ? page->findChildren<QLabel*>() : QList<QLabel*>())
        texts << label->text();
    return texts;
}

// Records what pages log, errors marked as such.
struct LogRecorder : QObject {
    void attach(BaseWidget* page)
    {
        connect(page, &BaseWidget::logmessage, this, [this](KestrixStudio::LogLevel level, const QString& text) {
            texts << (level == KestrixStudio::LogError ? "error: " + text : text);
        });
    }
    QStringList texts;
};

class Installation
{
public:
    Installation()
        : dir(QDir::tempPath() + "/kestrix app XXXXXX")
    {
        QDir(dir.path()).mkdir("hex");
        ApplicationDirectory::setPathForTesting(dir.path());
    }
    ~Installation()
    {
        controller.reset();
        ApplicationDirectory::setPathForTesting(QString());
    }

    QString path(const QString& name) const { return dir.filePath(name); }
    void write(const QString& name, const QByteArray& content) const
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    void addFirmware(const QString& name) const { write("hex/" + name, ":00000001FF\n"); }
    void writeBench(const QString& devices, int operationMs = 50) const
    {
        const QString bench = QStringLiteral("[bench]\nbootloaderDelayMs=100\noperationMs=%1\n\n%2");
        write("bench.ini", bench.arg(operationMs).arg(devices).toUtf8());
    }
    void openBench(const QString& devices, int operationMs = 50)
    {
        writeBench(devices, operationMs);
        qputenv("KM4200_BENCH", path("bench.ini").toLocal8Bit());
        controller.reset();
        controller = std::make_unique<KM4200Controller>();
    }
    // A shell script standing in for dfu-programmer.
    void writeTool(const QString& body) const
    {
        write("dfu-programmer", "#!/bin/sh\n" + body.toUtf8() + "\n");
        QFile::setPermissions(path("dfu-programmer"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QTemporaryDir dir;
    std::unique_ptr<KM4200Controller> controller;
};
