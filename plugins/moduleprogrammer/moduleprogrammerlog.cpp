#include "moduleprogrammerlog.h"

Q_LOGGING_CATEGORY(lcModuleProgrammer, "kestrix.moduleprogrammer", QtWarningMsg)
