#pragma once

#include "connectable.h"

// A motherboard that jumped into its DFU bootloader (connection type 4).
class KM4200CTRL_EXPORT BootloaderDevice : public Connectable
{
    Q_OBJECT

public:
    explicit BootloaderDevice(int boardID, QObject* parent = nullptr);
    ~BootloaderDevice() override;

    int getTypeConnected() const override;
    void renew() override;
};
