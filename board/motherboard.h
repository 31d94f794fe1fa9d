#pragma once

#include "connectable.h"

class KTModule;

// A KM4200 motherboard in normal operation (connection type 1).
class KM4200CTRL_EXPORT MotherBoard : public Connectable
{
    Q_OBJECT

public:
    enum ModuleSlot {
        SlotModule = 0,
        SlotExtensionBoard = 1,
        SlotISP = 2,
        SlotExternalModule = 3
    };
    Q_ENUM(ModuleSlot)

    explicit MotherBoard(int boardID, QObject* parent = nullptr);
    ~MotherBoard() override;

    int getTypeConnected() const override;

    quint16 getBoardFirmwareID() const;
    bool jumpToBootloader();
    void resetDevice();
    void setDefaultMode(bool on);
    void flashSetISPDeviceType(int deviceType);
    QString moduleName() const;
    QString extensionName() const;
    bool hasModuleExternalModuleCapability() const;

    // Slot 0 module, 1 extension board, 2 ISP, 3 external module.
    KTModule* getModule(int slot);
};
