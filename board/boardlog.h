#pragma once

#include <QLoggingCategory>

// Diagnostics of the board library and its simulated bench ("kestrix.board",
// off by default; enable with QT_LOGGING_RULES="kestrix.board.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcBoard)
