#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class Connectable;
class HexModel;
class MotherBoard;

// What the board classes ask of the bus. The simulated bench
// (BenchSimulation) is the only back end today; USB access would be another
// implementation, and no other class of the library would change.
class BoardBackend
{
public:
    // The back end in use.
    static BoardBackend* instance();

    virtual ~BoardBackend() = default;

    // KM4200Controller: enumerate the bus, and let go of every board again.
    virtual void open() = 0;
    virtual void close() = 0;
    // "level@text" entries collected by open().
    virtual QStringList initMessages() const = 0;

    // Board key to board, in key order.
    virtual QMap<int, Connectable*> boards() const = 0;
    virtual bool isConnected(const Connectable* board) const = 0;
    // Enumerates again at once; ends in updated() when notifications are on.
    virtual void update() = 0;
    virtual void setNotificationsEnabled(bool on) = 0;
    // Devices of kinds that were not creatable may be waiting on the bus.
    virtual void creatableKindsWidened() = 0;
    virtual bool jumpToBootloader(MotherBoard* board) = 0;
    virtual QList<int> boardsJumpingToBootloader() const = 0;
    virtual void renew(Connectable* device) = 0;
    // A message for ConnectionManager::logmessage.
    virtual void log(int level, const QString& text) = 0;

    // Module operations: how long one takes, then what the module answers.
    virtual int operationMs() const = 0;
    virtual quint32 programModule(MotherBoard* board, int slot, int memoryType, const HexModel& image, QString* problem)
        = 0;
    virtual quint32 verifyModule(MotherBoard* board, int slot, int memoryType, const HexModel& expected) = 0;
    // What a module's memory of that type holds now.
    virtual HexModel moduleMemory(const MotherBoard* board, int slot, int memoryType) const = 0;
};
