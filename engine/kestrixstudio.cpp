#include "kestrixstudio.h"

// Plug-ins built against older headers pass these values across the library
// boundary: a renumbered key would break them silently, so the build fails.
using K = KestrixStudio;
static_assert(K::LogDebug == 0 && K::LogStatus == 1 && K::LogError == 2, "LogLevel values are fixed");
static_assert(K::WidgetTypeBoard == 1 && K::WidgetTypeFlash == 2 && K::WidgetTypeDefault == 5
        && K::WidgetTypeDefaultSettings == 6 && K::WidgetTypeTranslator == 16,
    "WidgetType values are fixed");
static_assert(K::WidgetHide == 0 && K::WidgetShow == 4, "WidgetView values are fixed");
static_assert(K::RegularContent == 0 && K::CommandLineContent == 1 && K::ReleaseInformation == 2,
    "HelpCategory values are fixed");
static_assert(K::ContinueProcessingCommandline == 0 && K::EndProcessingCommandline == 1
        && K::NoOptionsProcessedInCommandline == 2,
    "CommandlineProcessing values are fixed");
static_assert(K::FeatureNoFeatures == 0 && K::FeatureInternalDeviceMenu == 1 && K::FeatureInternalFeatureMenu == 2,
    "Feature values are fixed");
