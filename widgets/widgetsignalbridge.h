#pragma once

#include "kestrixframework_export.h"

#include <QObject>

// The one relay through which plug-ins ask the main window for a page or
// name its start page without knowing the window. It exists before main()
// runs and is never destroyed, so a plug-in may keep the pointer for good.
class KESTRIXFRAMEWORK_EXPORT WidgetSignalBridge : public QObject
{
    Q_OBJECT

public:
    explicit WidgetSignalBridge(QObject* parent);

    static WidgetSignalBridge* instance();

    void changeWidget(int type, int boardID, int subtype);
    void requestStartWidget(int type);

signals:
    void widgetChange(int type, int boardID, int subtype);
    void startWidget(int type);

private:
    static WidgetSignalBridge* bridge;
};
