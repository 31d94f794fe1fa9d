#include "bootloaderdevice.h"

#include "boardbackend.h"

BootloaderDevice::BootloaderDevice(int boardID, QObject* parent)
    : Connectable(boardID, parent)
{
}

BootloaderDevice::~BootloaderDevice() = default;

int BootloaderDevice::getTypeConnected() const
{
    return TypeBootloader;
}

void BootloaderDevice::renew()
{
    // Leaving the bootloader starts the (possibly new) firmware: the device
    // goes and its motherboard comes back.
    BoardBackend::instance()->renew(this);
}
