#pragma once

#include "kestrixengine_export.h"

#include <QString>

class QObject;

// Which job has a motherboard's modules. A job reserves the board before it
// touches any module of it (image, memory type, mode) and releases it when
// it ends; anybody else is refused with the holder's activity as the reason.
// Per board, not per module: a successful run resets the whole board, which
// would cut off a run on another of its modules.
//
// A holder that is destroyed releases its boards by itself.
class KESTRIXENGINE_EXPORT BoardReservation
{
public:
    // False, and nothing changes, when another holder has the board. The
    // same holder may reserve again (the activity is replaced).
    static bool reserve(int boardID, QObject* holder, const QString& activity);
    static void release(int boardID, const QObject* holder);
    // What the holder of the board does, e.g. "Board 1's module is being
    // programmed by the All boards page"; empty when the board is free.
    static QString activity(int boardID);
    static bool isHeldByOther(int boardID, const QObject* holder);
};
