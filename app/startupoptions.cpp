#include "startupoptions.h"

StartupOptions StartupOptions::parse(const QStringList& arguments)
{
    StartupOptions options;
    for (const QString& argument : arguments) {
        auto is = [&argument](const char* option) {
            return argument.compare(QLatin1String(option), Qt::CaseInsensitive) == 0;
        };
        if (is("-defaultsettings"))
            options.defaultSettingsMode = true;
        else if (is("-kt3901support") || is("-kt39support") || is("-enablelumo"))
            options.extraChipSupport = true;
    }
    return options;
}
