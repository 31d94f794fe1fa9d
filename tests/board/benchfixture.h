#pragma once

// A simulated bench in a temporary folder for the board-library suites.

#include "connectionmanager.h"
#include "km4200controller.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class BenchFixture
{
public:
    // Fast timings so suites stay quick.
    static QByteArray header(int operationMs = 20, int bootloaderDelayMs = 30)
    {
        return QStringLiteral("[bench]\noperationMs=%1\nbootloaderDelayMs=%2\n\n")
            .arg(operationMs)
            .arg(bootloaderDelayMs)
            .toUtf8();
    }

    static QByteArray board(const QString& group, int id, const QString& extra = QString())
    {
        return QStringLiteral("[%1]\nid=%2\n%3\n").arg(group).arg(id).arg(extra).toUtf8();
    }

    QString path() const { return m_dir.filePath(QStringLiteral("bench.ini")); }
    QString folder() const { return m_dir.path(); }

    void write(const QByteArray& text) const
    {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    QByteArray read() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Writes the bench and starts the library on it.
    void start(const QByteArray& text)
    {
        write(text);
        startOn(path());
    }

    void startOn(const QString& benchPath)
    {
        qputenv("KM4200_BENCH", benchPath.toLocal8Bit());
        controller = std::make_unique<KM4200Controller>();
    }

    void stop() { controller.reset(); }

    static ConnectionManager* manager() { return ConnectionManager::Instance(); }

    std::unique_ptr<KM4200Controller> controller;

private:
    QTemporaryDir m_dir;
};
