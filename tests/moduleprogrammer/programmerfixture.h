#pragma once

// A bench and HEX files in a temporary folder, for every suite of the
// programming stack.

#include "../board/benchfixture.h"
#include "hexmodel.h"
#include "ktmodule.h"
#include "motherboard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTimer>

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

// Records every dialog as it shows and answers message boxes with OK;
// questions are the test's own. In the step numbered `interrupt` Cancel is
// pressed; in step -`interrupt` board 1 leaves.
class Dialogs : public QObject
{
public:
    Dialogs() { qApp->installEventFilter(this); }
    QStringList shown; // progress dialogs, then message boxes
    int interrupt = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        if (auto* dialog = qobject_cast<QProgressDialog*>(watched)) {
            shown << dialog->windowTitle() + ": " + dialog->labelText();
            if (shown.size() == interrupt)
                QTimer::singleShot(0, dialog, [dialog]() { dialog->findChild<QAbstractButton*>()->click(); });
            if (shown.size() == -interrupt)
                QTimer::singleShot(0, this, []() { board(1)->jumpToBootloader(); });
        } else if (auto* box = qobject_cast<QMessageBox*>(watched); box && box->button(QMessageBox::Ok)) {
            shown << box->windowTitle() + ": " + box->text();
            QTimer::singleShot(0, box, [box]() { box->button(QMessageBox::Ok)->click(); });
        }
        return false;
    }
};

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
