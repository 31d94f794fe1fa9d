#pragma once

#include "km4200ctrl_export.h"

#include <QFlags>
#include <QObject>

// A device the library found on the bus: a motherboard or a board that
// sits in its bootloader. The library owns every Connectable.
class KM4200CTRL_EXPORT Connectable : public QObject
{
    Q_OBJECT

public:
    enum TypeConnected { TypeNone = 0, TypeMotherBoard = 1, TypeBootloader = 4, TypeAll = 0xffff };
    Q_DECLARE_FLAGS(TypeConnectedFlags, TypeConnected)
    Q_FLAG(TypeConnectedFlags)

    explicit Connectable(int boardID, QObject* parent = nullptr);
    ~Connectable() override;

    virtual int getTypeConnected() const = 0;
    virtual int getBoardID() const;

    // Re-reads the device from the bus; a bootloader device turns back into
    // its motherboard this way.
    virtual void renew();

    // Written only by the shell: set once the start-up firmware check has
    // looked at this board. Lives as long as the board object.
    bool firmwareChecked = false;

signals:
    void disconnected();
    void progressUpdated(int progress);

protected:
    int m_boardID;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Connectable::TypeConnectedFlags)
