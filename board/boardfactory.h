#pragma once

#include "connectable.h"
#include "km4200ctrl_export.h"

// Decides which kinds of device the library turns into board objects.
class KM4200CTRL_EXPORT BoardFactory
{
public:
    static void setCreatableBoards(QFlags<Connectable::TypeConnected> kinds);
    static QFlags<Connectable::TypeConnected> creatableBoards();
};
