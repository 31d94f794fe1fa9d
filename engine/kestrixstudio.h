#pragma once

#include "kestrixengine_export.h"

#include <QObject>

// The numbers the shell, the plug-ins and every page share. Plug-ins are
// compiled separately, so values and declaration order are part of the ABI.
class KESTRIXENGINE_EXPORT KestrixStudio : public QObject
{
    Q_OBJECT

public:
    enum LogLevel {
        LogDebug = 0,
        LogStatus = 1,
        LogError = 2
    };
    Q_ENUM(LogLevel)

    enum WidgetType {
        WidgetTypeBoard = 1,
        WidgetTypeFlash = 2,
        WidgetTypeTest = 3,
        WidgetTypeSPI = 4,
        WidgetTypeDefault = 5,
        WidgetTypeDefaultSettings = 6,
        WidgetTypeBootloader = 7,
        WidgetTypeUSBDemo = 8,
        WidgetTypeCommunicationTest = 9,
        WidgetTypeSPITest = 10,
        WidgetTypeSTI = 11,
        WidgetTypeDispatcher = 12,
        WidgetTypeProductionTest = 13,
        WidgetTypeEncryptedHexConverter = 14,
        WidgetTypeGattSetup = 15,
        WidgetTypeTranslator = 16
    };
    Q_ENUM(WidgetType)

    enum WidgetView {
        WidgetHide = 0,
        WidgetRootWithVisibleChildren = 1,
        WidgetRootWithoutVisibleChildren = 2,
        WidgetEnable = 3,
        WidgetShow = 4
    };
    Q_ENUM(WidgetView)

    enum HelpCategory {
        RegularContent = 0,
        CommandLineContent = 1,
        ReleaseInformation = 2
    };
    Q_ENUM(HelpCategory)

    enum CommandlineProcessing {
        ContinueProcessingCommandline = 0,
        EndProcessingCommandline = 1,
        NoOptionsProcessedInCommandline = 2
    };
    Q_ENUM(CommandlineProcessing)

    enum Feature {
        FeatureNoFeatures = 0,
        FeatureInternalDeviceMenu = 1,
        FeatureInternalFeatureMenu = 2
    };
    Q_FLAG(Feature)
    Q_DECLARE_FLAGS(Features, Feature)
    Q_FLAG(Features)
};

Q_DECLARE_OPERATORS_FOR_FLAGS(KestrixStudio::Features)
