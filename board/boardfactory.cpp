#include "boardfactory.h"

#include "boardbackend.h"

namespace
{
QFlags<Connectable::TypeConnected> s_kinds = Connectable::TypeAll;
}

void BoardFactory::setCreatableBoards(QFlags<Connectable::TypeConnected> kinds)
{
    const bool widened = (kinds & ~s_kinds) != 0;
    s_kinds = kinds;
    // Devices that waited on the bus for their kind show up now.
    if (widened)
        BoardBackend::instance()->creatableKindsWidened();
}

QFlags<Connectable::TypeConnected> BoardFactory::creatableBoards()
{
    return s_kinds;
}
