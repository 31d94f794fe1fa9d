#include "widgetsignalbridge.h"

// Created during static initialisation of the framework library, so it is
// there before any plug-in is loaded; deliberately never deleted.
WidgetSignalBridge* WidgetSignalBridge::bridge = new WidgetSignalBridge(nullptr);

WidgetSignalBridge::WidgetSignalBridge(QObject* parent)
    : QObject(parent)
{
}

WidgetSignalBridge* WidgetSignalBridge::instance()
{
    return bridge;
}

void WidgetSignalBridge::changeWidget(int type, int boardID, int subtype)
{
    emit widgetChange(type, boardID, subtype);
}

void WidgetSignalBridge::requestStartWidget(int type)
{
    emit startWidget(type);
}

void WidgetSignalBridge::log(KestrixStudio::LogLevel level, const QString& message)
{
    emit logmessage(level, message);
}
