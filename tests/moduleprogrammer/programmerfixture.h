#pragma once

// A bench in a temporary folder, HEX files beside it, and helpers to read
// what a module holds.

#include "connectionmanager.h"
#include "hexmodel.h"
#include "hexparserfactory.h"
#include "km4200controller.h"
#include "ktmodule.h"
#include "motherboard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace ProgrammerFixture
{

inline QString motherboard(int id, const QString& extra = QString())
{
    return QStringLiteral("[board%1]\nid=%1\ntype=1\nfirmware=12\nmodule=KT24 module %1\nextension=KT21 extension "
                          "%1\n%2\n")
        .arg(id)
        .arg(extra);
}

// The first three records of the demo image with the third checksum broken.
inline QByteArray badHex()
{
    return ":020000040000FA\n:1000000000010000080100001001000018010000BC\n"
           ":10001000200100002801000030010000380100002D\n:00000001FF\n";
}

class Bench
{
public:
    QString path() const { return dir.filePath(QStringLiteral("bench.ini")); }
    QString filePath(const QString& name) const { return dir.filePath(name); }

    void write(const QString& devices, int operationMs = 20) const
    {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QStringLiteral("[bench]\noperationMs=%1\nbootloaderDelayMs=30\n\n%2")
                       .arg(operationMs)
                       .arg(devices)
                       .toUtf8());
    }

    // Writes the bench and opens the library on it.
    void open(const QString& devices, int operationMs = 20)
    {
        controller.reset();
        write(devices, operationMs);
        qputenv("KM4200_BENCH", path().toLocal8Bit());
        controller = std::make_unique<KM4200Controller>();
    }

    // Rewrites the bench and waits until the library has taken the change.
    bool replug(const QString& devices)
    {
        QSignalSpy updated(ConnectionManager::Instance(), &ConnectionManager::updated);
        write(devices);
        return updated.wait(5000);
    }

    QString addFile(const QString& name, const QByteArray& content) const
    {
        const QString file = dir.filePath(name);
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        out.write(content);
        return file;
    }

    QString addDemoModule(const QString& name = QStringLiteral("files/demo-module.hex")) const
    {
        QFile demo(QStringLiteral(DEMO_MODULE_HEX));
        return demo.open(QIODevice::ReadOnly) ? addFile(name, demo.readAll()) : QString();
    }

    static MotherBoard* board(int id)
    {
        return qobject_cast<MotherBoard*>(ConnectionManager::Instance()->getBoardByID(id));
    }

    // The module's memory holds exactly the file's content.
    static bool holds(int boardID, int slot, const QString& hexFile)
    {
        MotherBoard* found = board(boardID);
        HexModel image;
        if (!found || !HexParserFactory::read(hexFile, &image, HexParserFactory::FormatIntelHex))
            return false;
        return found->getModule(slot)->memory(KTModule::MemoryNormal).sameContent(image);
    }

    QTemporaryDir dir;
    std::unique_ptr<KM4200Controller> controller;
};

// Presses OK on every message box and records its title; progress dialogs
// are left to run.
class BoxAnswer : public QObject
{
public:
    BoxAnswer()
    {
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                titles << box->windowTitle();
                box->button(QMessageBox::Ok)->click();
            }
        });
        timer.start();
    }
    QStringList titles;

private:
    QTimer timer;
};

} // namespace ProgrammerFixture
