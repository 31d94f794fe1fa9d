#include "connectable.h"

#include "boardbackend.h"

Connectable::Connectable(int boardID, QObject* parent)
    : QObject(parent)
    , m_boardID(boardID)
{
}

Connectable::~Connectable() = default;

int Connectable::getBoardID() const
{
    return m_boardID;
}

void Connectable::renew()
{
    BoardBackend::instance()->renew(this);
}
