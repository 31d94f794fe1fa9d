#pragma once

#include "kestrixengine_export.h"
#include "programmingengine.h"

#include <QDateTime>
#include <QString>

// The one place that turns a programming result into words, for pages, the
// log, plain and JSON output alike.
class KESTRIXENGINE_EXPORT ProgrammingReport
{
public:
    // "programmed", "unchanged", "failed", "cancelled" or "disconnected": the
    // result as the command line and reports name it (a bad file or a busy
    // board counts as failed).
    static QString resultName(const ProgrammingEngine::Result& result);
    // A sentence naming the file and the target, e.g. "demo.hex was
    // programmed into the module of board 1 and verified."
    static QString describe(const ProgrammingEngine::Result& result, const QString& fileName, int boardID, int slot);
    // The reason alone, for a place that shows board and slot already
    // ("While verifying: Verification failed (status 5)."); empty on success.
    static QString reason(const ProgrammingEngine::Result& result);
    // "module of board 1"
    static QString target(int boardID, int slot);
    // ISO 8601 with the offset from UTC, so reports from several sites
    // compare; empty for an invalid time.
    static QString timeStamp(const QDateTime& time);
};
