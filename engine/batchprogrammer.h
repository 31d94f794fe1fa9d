#pragma once

#include "hexmodel.h"
#include "kestrixengine_export.h"
#include "programmingengine.h"

#include <QMap>
#include <QObject>
#include <QPointer>

#include <map>
#include <memory>

class MotherBoard;
class QFileSystemWatcher;

// Programs one image into the same module slot of several motherboards at
// once, one ProgrammingEngine per board, and reports each board's step,
// progress and result as values, then one summary. The All boards page and
// the -program job both adapt it.
class KESTRIXENGINE_EXPORT BatchProgrammer : public QObject
{
    Q_OBJECT

public:
    struct Summary {
        QMap<QString, int> counts; // by ProgrammingReport::resultName
        int boards = 0;
        bool allGood() const;
        // "1 disconnected, 2 failed, 1 programmed"
        QString text() const;
    };

    explicit BatchProgrammer(QObject* parent = nullptr);
    ~BatchProgrammer() override;

    // Why the board cannot take an image into the slot, decided before
    // anything is written: not connected, no connector for an external
    // module, no module in the slot. Empty when it can.
    static QString problem(int boardID, int slot);

    // Who runs the batch, as others are told when they are refused.
    void setOwner(const QString& owner) { m_owner = owner; }

    // Starts every board at once (program memory, whatever a page set up
    // before); a board with a problem ends at once as failed. finished()
    // follows the last board, also when none could start. False, and
    // nothing done, while a batch runs.
    bool start(const QList<int>& boards, int slot, const HexModel& image);
    // Ends every board's run at once (and an armed batch's arming).
    void cancel();
    bool isRunning() const { return m_running; }

    // Production: from now on each new connection of a motherboard is
    // programmed once; boards connected now are left alone, and a board
    // plugged in again (same ID or not) is a new connection. The arming ends
    // on disarm(), after `limit` boards (0: no limit), or when the file at
    // `path` changes on disk (the armed image is never replaced): then
    // disarmed(reason), and finished() once the last board has ended.
    // False, and nothing done, while a batch runs.
    bool arm(const QString& path, int slot, const HexModel& image, int limit = 0);
    void disarm(const QString& reason);
    bool isArmed() const { return m_armed; }
    // The file's SHA-256 in hex, empty when it cannot be read.
    static QByteArray fileDigest(const QString& path);

signals:
    void boardStep(int boardID, ProgrammingEngine::Step step);
    void boardProgress(int boardID, ProgrammingEngine::Step step, int percent);
    void boardStepEnded(int boardID, ProgrammingEngine::Step step, quint32 status);
    void boardFinished(int boardID, const ProgrammingEngine::Result& result);
    void finished(const BatchProgrammer::Summary& summary);
    // Armed batches: a new connection is about to be programmed.
    void boardArrived(int boardID);
    void disarmed(const QString& reason);

private:
    void startBoard(int boardID);
    void boardEnded(int boardID, const ProgrammingEngine::Result& result);
    void busChanged();
    void fileChanged();
    void finishWhenIdle();

    QString m_owner;
    int m_slot = 0;
    HexModel m_image;
    bool m_running = false;
    bool m_armed = false;
    int m_limit = 0;
    int m_arrived = 0;
    QString m_path;
    QByteArray m_digest;
    QList<QPointer<MotherBoard>> m_seen; // connections already met while armed
    QFileSystemWatcher* m_watcher = nullptr;
    bool m_starting = false;
    std::map<int, std::unique_ptr<ProgrammingEngine>> m_engines;
    Summary m_summary;
};
