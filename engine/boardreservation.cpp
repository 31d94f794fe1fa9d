#include "boardreservation.h"

#include <QHash>
#include <QObject>
#include <QPointer>

namespace
{

struct Reservation {
    QPointer<QObject> holder;
    QString activity;
};

QHash<int, Reservation>& reservations()
{
    static QHash<int, Reservation> table;
    return table;
}

// Only the low 8 bits name a board.
int key(int boardID)
{
    return boardID & 0xff;
}

const Reservation* live(int boardID)
{
    const auto it = reservations().constFind(key(boardID));
    return it != reservations().constEnd() && it->holder ? &it.value() : nullptr;
}

} // namespace

bool BoardReservation::reserve(int boardID, QObject* holder, const QString& activity)
{
    if (isHeldByOther(boardID, holder))
        return false;
    reservations().insert(key(boardID), { holder, activity });
    return true;
}

void BoardReservation::release(int boardID, const QObject* holder)
{
    const auto it = reservations().find(key(boardID));
    if (it != reservations().end() && (!it->holder || it->holder == holder))
        reservations().erase(it);
}

QString BoardReservation::activity(int boardID)
{
    const Reservation* reservation = live(boardID);
    return reservation ? reservation->activity : QString();
}

bool BoardReservation::isHeldByOther(int boardID, const QObject* holder)
{
    const Reservation* reservation = live(boardID);
    return reservation && reservation->holder != holder;
}
