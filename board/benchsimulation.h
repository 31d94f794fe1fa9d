#pragma once

#include "benchfile.h"
#include "boardbackend.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>

class Connectable;
class MotherBoard;
class QFileSystemWatcher;
class QTimer;

// The simulated bus behind ConnectionManager: turns the bench file into board
// objects, follows edits of the file (hot-plug) and plays the bootloader
// jump: the board library's only BoardBackend today.
//
// Receivers of its signals may run event loops (a message box) in which the
// bench is read again and boards come and go. So every change is made to
// the board map first and announced afterwards, and an announcement never
// relies on what another one may have changed.
class BenchSimulation : public QObject, public BoardBackend
{
    Q_OBJECT

public:
    static BenchSimulation* instance();

    // Loads the bench named by KM4200_BENCH, or drops every board.
    void open() override;
    void open(const QString& path);
    void close() override;

    QString benchPath() const { return m_path; }
    const BenchFile& bench() const { return m_bench; }
    QStringList initMessages() const override { return m_initMessages; }
    QMap<int, Connectable*> boards() const override { return m_boards; }
    bool isConnected(const Connectable* board) const override;

    void setNotificationsEnabled(bool on) override { m_notify = on; }
    bool notificationsEnabled() const { return m_notify; }

    // Re-reads the bench and always ends in updated() (when enabled).
    void update() override;
    // Re-reads the bench from the event loop.
    void creatableKindsWidened() override;

    bool jumpToBootloader(MotherBoard* board) override;
    // From the jump until the board is on the bus in its bootloader, or has
    // been unplugged meanwhile.
    QList<int> boardsJumpingToBootloader() const override { return m_jumping.values(); }
    void renew(Connectable* device) override;

    int operationMs() const override;
    // The bench's programStatus, else the image written (OTP takes one content only).
    quint32 programModule(
        MotherBoard* board, int slot, int memoryType, const HexModel& image, QString* problem) override;
    // The bench's verifyStatus, or the memory compared with what is expected.
    quint32 verifyModule(MotherBoard* board, int slot, int memoryType, const HexModel& expected) override;
    HexModel moduleMemory(const MotherBoard* board, int slot, int memoryType) const override;
    // File that keeps one memory of a module, or empty without a bench.
    QString memoryFile(int boardID, int slot, int memoryType) const;

    void log(int level, const QString& text) override;

private:
    // What a rescan has to announce once the board map is settled.
    struct News {
        QList<QPair<int, QString>> log;
        QList<QPointer<Connectable>> gone;
        QList<int> bootloadersGone;
        QList<int> bootloadersCame;
        bool updated = false;
    };

    explicit BenchSimulation(QObject* parent = nullptr);
    void rescan(bool explicitUpdate, int forceID = -1);
    void readBench(bool explicitUpdate, int forceID, News* news);
    void announce(const News& news);
    bool isBootloader(int id) const;
    void rescanLater(int delayMs);
    void watch();
    void fileEvent();

    QString m_path;
    BenchFile m_bench;
    bool m_benchPresent = false;
    QString m_lastProblem;
    QMap<int, Connectable*> m_boards;
    QSet<int> m_pendingBootloaders;
    QSet<int> m_jumping;
    QHash<int, qint64> m_jumpingMissingSince; // jumping boards the last reads lacked
    QSet<int> m_restarting; // renewed devices, off the bus for a while
    QStringList m_initMessages;
    bool m_notify = true;
    int m_generation = 0;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_reloadTimer = nullptr;
    QElapsedTimer m_firstEdit; // oldest edit not yet read
    QElapsedTimer m_clock;
    QHash<int, qint64> m_missingSince; // connected boards the last reads lacked
    bool m_confirmPending = false;
};
