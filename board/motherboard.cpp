#include "motherboard.h"

#include "boardbackend.h"
#include "boardlog.h"
#include "ktmodule.h"
#include "motherboardbench.h"

#include <QPointer>

MotherBoard::MotherBoard(int boardID, QObject* parent)
    : Connectable(boardID, parent)
    , m_bench(new Bench)
    , m_ispDeviceType(KTModule::defaultISPDeviceType())
{
    m_bench->device.id = boardID;
}

MotherBoard::~MotherBoard() = default;

int MotherBoard::getTypeConnected() const
{
    return TypeMotherBoard;
}

quint16 MotherBoard::getBoardFirmwareID() const
{
    return m_bench->device.firmware;
}

bool MotherBoard::jumpToBootloader()
{
    return BoardBackend::instance()->jumpToBootloader(this);
}

void MotherBoard::resetDevice()
{
    ++m_resetCount;
    qCDebug(lcBoard) << "board" << m_boardID << "reset";
    abortOperations(KTModule::StatusBoardReset);
}

void MotherBoard::setDefaultMode(bool on)
{
    m_defaultMode = on;
}

void MotherBoard::flashSetISPDeviceType(int deviceType)
{
    m_ispDeviceType = deviceType;
    KTModule::setDefaultISPDeviceType(deviceType);
}

QString MotherBoard::moduleName() const
{
    return m_bench->device.module;
}

QString MotherBoard::extensionName() const
{
    return m_bench->device.extension;
}

bool MotherBoard::hasModuleExternalModuleCapability() const
{
    return m_bench->device.externalModule;
}

KTModule* MotherBoard::getModule(int slot)
{
    if (slot < 0 || slot > 3)
        return nullptr;
    if (!m_modules[slot])
        m_modules[slot] = new KTModule(this, slot);
    return m_modules[slot];
}

bool MotherBoard::hasModuleInSlot(int slot) const
{
    return m_bench->device.modules.contains(slot);
}

MotherBoard::Bench& MotherBoard::bench() const
{
    return *m_bench;
}

void MotherBoard::abortOperations(quint32 status)
{
    // A receiver of the reports may run an event loop in which this board
    // is deleted.
    QPointer<MotherBoard> self(this);
    for (int slot = 0; self && slot < 4; ++slot) {
        if (KTModule* module = m_modules[slot])
            module->abortWith(status);
    }
}
