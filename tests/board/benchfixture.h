#pragma once

// A simulated bench with fast timings in a temporary folder.

#include "connectionmanager.h"
#include "km4200controller.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

inline QByteArray header(int operationMs = 20, int bootloaderDelayMs = 30)
{
    return "[bench]\noperationMs=" + QByteArray::number(operationMs)
        + "\nbootloaderDelayMs=" + QByteArray::number(bootloaderDelayMs) + "\n\n";
}

inline QByteArray group(const QByteArray& name, int id, const QByteArray& extra = {})
{
    return "[" + name + "]\nid=" + QByteArray::number(id) + "\n" + extra + "\n";
}

inline ConnectionManager* manager()
{
    return ConnectionManager::Instance();
}

struct BenchFixture {
    QTemporaryDir dir;
    std::unique_ptr<KM4200Controller> controller;

    QString path() const { return dir.filePath(QStringLiteral("bench.ini")); }
    void write(const QByteArray& text, const QString& name = QStringLiteral("bench.ini")) const
    {
        QVERIFY(TestSupport::writeFile(dir.filePath(name), text));
    }
    QByteArray read() const { return TestSupport::readFile(path()); }
    void start(const QByteArray& text)
    {
        write(text);
        qputenv("KM4200_BENCH", path().toLocal8Bit());
        controller = std::make_unique<KM4200Controller>();
    }
};
