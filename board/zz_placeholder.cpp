// Temporary definitions so the spine links; replaced by the simulated bench.
#include "boardfactory.h"
#include "bootloaderdevice.h"
#include "connectionmanager.h"
#include "hexmodel.h"
#include "hexparserfactory.h"
#include "infopage.h"
#include "km4200controller.h"
#include "ktmodule.h"
#include "motherboard.h"

Connectable::Connectable(int boardID, QObject* parent) : QObject(parent), m_boardID(boardID) {}
Connectable::~Connectable() = default;
int Connectable::getBoardID() const { return m_boardID; }
void Connectable::renew() {}
MotherBoard::MotherBoard(int boardID, QObject* parent) : Connectable(boardID, parent) {}
MotherBoard::~MotherBoard() = default;
int MotherBoard::getTypeConnected() const { return TypeMotherBoard; }
quint16 MotherBoard::getBoardFirmwareID() const { return 0; }
bool MotherBoard::jumpToBootloader() { return false; }
void MotherBoard::resetDevice() {}
void MotherBoard::setDefaultMode(bool) {}
void MotherBoard::flashSetISPDeviceType(int) {}
QString MotherBoard::moduleName() const { return {}; }
QString MotherBoard::extensionName() const { return {}; }
bool MotherBoard::hasModuleExternalModuleCapability() const { return false; }
KTModule* MotherBoard::getModule(int) { return nullptr; }
BootloaderDevice::BootloaderDevice(int boardID, QObject* parent) : Connectable(boardID, parent) {}
BootloaderDevice::~BootloaderDevice() = default;
int BootloaderDevice::getTypeConnected() const { return TypeBootloader; }
void BootloaderDevice::renew() {}
ConnectionManager::ConnectionManager(QObject* parent) : QObject(parent) {}
ConnectionManager* ConnectionManager::Instance() { static auto* m = new ConnectionManager; return m; }
void ConnectionManager::update() {}
QStringList ConnectionManager::getLogmessagesFromInit() const { return {}; }
QMap<int, Connectable*> ConnectionManager::getBoardIterator() const { return {}; }
Connectable* ConnectionManager::getBoardByID(int) const { return nullptr; }
int ConnectionManager::numberOfConnectedDevices() const { return 0; }
void ConnectionManager::enableAutomaticDeviceUpdateNotifications() {}
void ConnectionManager::disableAutomaticDeviceUpdateNotifications() {}
KM4200Controller::KM4200Controller(QObject* parent) : QObject(parent) {}
KM4200Controller::~KM4200Controller() = default;
Infopage::Infopage() = default;
Infopage::~Infopage() = default;
void Infopage::reset() { m_content.clear(); }
QByteArray Infopage::content() const { return m_content; }
void Infopage::setContent(const QByteArray& content) { m_content = content; }
KTModule::KTModule(QObject* parent) : QObject(parent) {}
KTModule::~KTModule() = default;
HexModel* KTModule::getModel() { return nullptr; }
Infopage* KTModule::infopage() { return nullptr; }
void KTModule::setMemoryParts(QFlags<ProgrammableMemoryPart>) {}
void KTModule::setTargetMemoryType(MemoryType) {}
bool KTModule::startProgramming() { return false; }
bool KTModule::startVerifying() { return false; }
void KTModule::abort() {}
void KTModule::loadSettings(QSettings*) {}
void KTModule::saveSettings(QSettings*) {}
HexModel::HexModel() = default;
void HexModel::reset() { m_segments.clear(); }
bool HexParserFactory::read(const QString&, HexModel*, int) { return false; }
QString HexParserFactory::lastError() { return {}; }
static QFlags<Connectable::TypeConnected> s_kinds = Connectable::TypeAll;
void BoardFactory::setCreatableBoards(QFlags<Connectable::TypeConnected> kinds) { s_kinds = kinds; }
QFlags<Connectable::TypeConnected> BoardFactory::creatableBoards() { return s_kinds; }
