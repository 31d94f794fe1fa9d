#pragma once

#include "km4200ctrl_export.h"

#include <QObject>

// Opens the library: built first and deleted last by the main window.
//
// The boards come from a simulated bench, an INI file named by the
// environment variable KM4200_BENCH (see BenchFile for its keys):
// - Constructing the controller (re)loads that file into
//   ConnectionManager::Instance(); when the constructor returns,
//   getBoardIterator() already lists the boards (key = board ID). It also
//   resets the library: notifications enabled, every board kind creatable.
//   getLogmessagesFromInit() then holds "level@text" entries (level 0 debug,
//   1 status, 2 error) naming the bench and the number of boards, or why
//   there are none (variable unset, file missing or unreadable).
// - The file is watched: adding, removing or editing a device group plugs,
//   unplugs or changes that board and ends in one updated() (unless
//   notifications are disabled). ConnectionManager::update() re-reads the
//   file at once and always emits updated() (when enabled).
// - Destroying the controller removes every board: each emits disconnected()
//   and is deleted later from the event loop.
// - Module memory persists beside the bench in <bench name>.memory/ (or the
//   folder given by memory= in [bench]) as one Intel HEX file per board,
//   slot and memory type, so a later process sees what an earlier one wrote.
//
// Tests: write the INI file into a QTemporaryDir, qputenv("KM4200_BENCH",
// path), construct a KM4200Controller, and delete it in cleanup().
class KM4200CTRL_EXPORT KM4200Controller : public QObject
{
    Q_OBJECT

public:
    explicit KM4200Controller(QObject* parent = nullptr);
    ~KM4200Controller() override;

    // Extra of this library: a controller exists, so the library is open.
    static bool isOpen();
};
