#pragma once

#include <QStringList>

// The options the shell reads itself. Everything else on the command line is
// left for the plug-ins.
class StartupOptions
{
public:
    static StartupOptions parse(const QStringList& arguments);

    bool defaultSettingsMode = false;
    bool extraChipSupport = false;
};
