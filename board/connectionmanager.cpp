#include "connectionmanager.h"

#include "boardbackend.h"
#include "connectable.h"
#include "motherboard.h"

ConnectionManager::ConnectionManager(QObject* parent)
    : QObject(parent)
{
}

ConnectionManager* ConnectionManager::Instance()
{
    static ConnectionManager* manager = new ConnectionManager;
    return manager;
}

void ConnectionManager::update()
{
    BoardBackend::instance()->update();
}

QStringList ConnectionManager::getLogmessagesFromInit() const
{
    return BoardBackend::instance()->initMessages();
}

QMap<int, Connectable*> ConnectionManager::getBoardIterator() const
{
    return BoardBackend::instance()->boards();
}

Connectable* ConnectionManager::getBoardByID(int boardID) const
{
    return BoardBackend::instance()->boards().value(boardID);
}

QMap<int, MotherBoard*> ConnectionManager::motherBoards() const
{
    QMap<int, MotherBoard*> boards;
    const QMap<int, Connectable*> all = BoardBackend::instance()->boards();
    for (auto it = all.constBegin(); it != all.constEnd(); ++it) {
        if (it.value() && it.value()->getTypeConnected() == Connectable::TypeMotherBoard)
            boards.insert(it.key(), static_cast<MotherBoard*>(it.value()));
    }
    return boards;
}

MotherBoard* ConnectionManager::motherBoard(int boardID) const
{
    return motherBoards().value(boardID);
}

int ConnectionManager::numberOfConnectedDevices() const
{
    return BoardBackend::instance()->boards().size();
}

QList<int> ConnectionManager::boardsJumpingToBootloader() const
{
    return BoardBackend::instance()->boardsJumpingToBootloader();
}

void ConnectionManager::enableAutomaticDeviceUpdateNotifications()
{
    BoardBackend::instance()->setNotificationsEnabled(true);
}

void ConnectionManager::disableAutomaticDeviceUpdateNotifications()
{
    BoardBackend::instance()->setNotificationsEnabled(false);
}
