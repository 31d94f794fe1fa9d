#pragma once

#include "connectable.h"

#include <memory>

class KTModule;

// A KM4200 motherboard in normal operation (connection type 1).
class KM4200CTRL_EXPORT MotherBoard : public Connectable
{
    Q_OBJECT

public:
    enum ModuleSlot { SlotModule = 0, SlotExtensionBoard = 1, SlotISP = 2, SlotExternalModule = 3 };
    Q_ENUM(ModuleSlot)

    explicit MotherBoard(int boardID, QObject* parent = nullptr);
    ~MotherBoard() override;

    int getTypeConnected() const override;

    quint16 getBoardFirmwareID() const;
    // Leaves normal operation: the board disconnects and, unless its
    // bootloader is silent, comes back as a BootloaderDevice after the
    // bench's bootloaderDelayMs. False when the board is not on the bus.
    bool jumpToBootloader();
    void resetDevice();
    // In default mode, programming a module with an empty HEX model writes
    // the module's default-settings block (KTModule::defaultSettingsImage).
    void setDefaultMode(bool on);
    void flashSetISPDeviceType(int deviceType);
    QString moduleName() const;
    QString extensionName() const;
    bool hasModuleExternalModuleCapability() const;

    // Slot 0 module, 1 extension board, 2 ISP, 3 external module. The same
    // object for the board's life; null for other slot numbers. A module
    // object exists for every slot; only slots listed in the bench carry a
    // module that answers.
    KTModule* getModule(int slot);

    bool defaultMode() const { return m_defaultMode; }
    int ispDeviceType() const { return m_ispDeviceType; }
    int resetCount() const { return m_resetCount; }
    bool hasModuleInSlot(int slot) const;

    // What the simulated bench says about this board; defined for the
    // library's own simulation only (motherboardbench.h, not installed).
    struct Bench;
    Bench& bench() const;
    // Ends running module operations with a KTModule status.
    void abortOperations(quint32 status);

private:
    std::unique_ptr<Bench> m_bench;
    KTModule* m_modules[4] = {};
    bool m_defaultMode = false;
    int m_ispDeviceType = 0;
    int m_resetCount = 0;
};
