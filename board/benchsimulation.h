#pragma once

#include "benchfile.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QStringList>

class Connectable;
class MotherBoard;
class QFileSystemWatcher;
class QTimer;

// The simulated bus behind ConnectionManager: turns the bench file into board
// objects, follows edits of the file (hot-plug) and plays the bootloader
// jump. A hardware back end would replace this class and nothing else.
class BenchSimulation : public QObject
{
    Q_OBJECT

public:
    static BenchSimulation* instance();

    // Loads the bench (KM4200Controller's constructor) or drops every board.
    void open(const QString& path);
    void close();

    QString benchPath() const { return m_path; }
    const BenchFile& bench() const { return m_bench; }
    QStringList initMessages() const { return m_initMessages; }
    QMap<int, Connectable*> boards() const { return m_boards; }
    bool isConnected(const Connectable* board) const;

    void setNotificationsEnabled(bool on) { m_notify = on; }
    bool notificationsEnabled() const { return m_notify; }

    // Re-reads the bench and always ends in updated() (when enabled).
    void update();
    // Re-reads the bench from the event loop.
    void scheduleRescan();

    bool jumpToBootloader(MotherBoard* board);
    void renew(Connectable* device);

    int operationMs() const;
    // File that keeps one memory of a module, or empty without a bench.
    QString memoryFile(int boardID, int slot, int memoryType) const;

    void log(int level, const QString& text);

private:
    explicit BenchSimulation(QObject* parent = nullptr);
    void rescan(bool explicitUpdate, int forceID = -1);
    void removeBoard(int key);
    void watch();
    void fileEvent();

    QString m_path;
    BenchFile m_bench;
    bool m_benchPresent = false;
    QString m_lastProblem;
    QMap<int, Connectable*> m_boards;
    QSet<int> m_pendingBootloaders;
    QSet<int> m_restarting; // renewed devices, off the bus for a while
    QStringList m_initMessages;
    bool m_notify = true;
    int m_generation = 0;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_reloadTimer = nullptr;
};
