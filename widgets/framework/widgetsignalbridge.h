#pragma once

#include "kestrixframework_export.h"
#include "kestrixstudio.h"

#include <QObject>

// The one relay through which plug-ins ask the main window for a page, name
// its start page or write to the log without knowing the window (the log also
// while a plug-in runs a command-line job). It exists before main()
// runs and is never destroyed, so a plug-in may keep the pointer for good.
class KESTRIXFRAMEWORK_EXPORT WidgetSignalBridge : public QObject
{
    Q_OBJECT

public:
    explicit WidgetSignalBridge(QObject* parent);

    static WidgetSignalBridge* instance();

    void changeWidget(int type, int boardID, int subtype);
    void requestStartWidget(int type);
    void log(KestrixStudio::LogLevel level, const QString& message);

signals:
    void widgetChange(int type, int boardID, int subtype);
    void startWidget(int type);
    void logmessage(KestrixStudio::LogLevel level, QString message);

private:
    static WidgetSignalBridge* bridge;
};
