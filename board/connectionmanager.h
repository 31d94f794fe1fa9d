#pragma once

#include "km4200ctrl_export.h"

#include <QMap>
#include <QObject>
#include <QStringList>

class Connectable;
class MotherBoard;

// The library's view of the bus. One per process; never deleted.
class KM4200CTRL_EXPORT ConnectionManager : public QObject
{
    Q_OBJECT

public:
    static ConnectionManager* Instance();

    // Enumerates the boards again; ends in updated() when notifications are on.
    void update();

    // "level@text" entries collected while the controller was built.
    QStringList getLogmessagesFromInit() const;

    // Board key to board, walked in key order.
    QMap<int, Connectable*> getBoardIterator() const;
    Connectable* getBoardByID(int boardID) const;
    int numberOfConnectedDevices() const;
    // Extras of this library: the motherboards in normal operation, by board
    // ID in key order, and one of them (null when that ID is no motherboard).
    QMap<int, MotherBoard*> motherBoards() const;
    MotherBoard* motherBoard(int boardID) const;

    // Extra of this library: the boards from MotherBoard::jumpToBootloader()
    // until they are on the bus in their bootloader, or known to have been
    // unplugged meanwhile (then they never report).
    QList<int> boardsJumpingToBootloader() const;

    void enableAutomaticDeviceUpdateNotifications();
    void disableAutomaticDeviceUpdateNotifications();

signals:
    void updated();
    void logmessage(int level, QString message);
    void bootloaderConnected(bool connected);

private:
    explicit ConnectionManager(QObject* parent = nullptr);
};
