#include "boardlog.h"

Q_LOGGING_CATEGORY(lcBoard, "kestrix.board", QtWarningMsg)
