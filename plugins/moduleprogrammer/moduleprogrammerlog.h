#pragma once

#include <QLoggingCategory>

// Off by default; QT_LOGGING_RULES="kestrix.moduleprogrammer.debug=true"
// traces tree rebuilds, page runs and command-line steps.
Q_DECLARE_LOGGING_CATEGORY(lcModuleProgrammer)
