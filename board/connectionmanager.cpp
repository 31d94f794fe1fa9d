#include "connectionmanager.h"

#include "benchsimulation.h"
#include "connectable.h"

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
