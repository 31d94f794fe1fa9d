#include "connectionmanager.h"

#include "benchsimulation.h"
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
    BenchSimulation::instance()->update();
}

QStringList ConnectionManager::getLogmessagesFromInit() const
{
    return BenchSimulation::instance()->initMessages();
}

QMap<int, Connectable*> ConnectionManager::getBoardIterator() const
{
    return BenchSimulation::instance()->boards();
}

Connectable* ConnectionManager::getBoardByID(int boardID) const
{
    return BenchSimulation::instance()->boards().value(boardID);
}

QMap<int, MotherBoard*> ConnectionManager::motherBoards() const
{
    QMap<int, MotherBoard*> boards;
    const QMap<int, Connectable*> all = BenchSimulation::instance()->boards();
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
    return BenchSimulation::instance()->boards().size();
}

bool ConnectionManager::isJumpingToBootloader(int boardID) const
{
    return BenchSimulation::instance()->isJumping(boardID);
}

void ConnectionManager::enableAutomaticDeviceUpdateNotifications()
{
    BenchSimulation::instance()->setNotificationsEnabled(true);
}

void ConnectionManager::disableAutomaticDeviceUpdateNotifications()
{
    BenchSimulation::instance()->setNotificationsEnabled(false);
}
