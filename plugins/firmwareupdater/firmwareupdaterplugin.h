#pragma once

#include "studiopluginbase.h"

// The firmware updater: the command-line job
// "-updatefirmware [-board all|N[,N...]] [-json]" and its help document. It
// adds nothing else to the window; the overview page updates boards there.
class FirmwareUpdaterPlugin : public StudioPluginBase
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID StudioPluginPrototype_iid)

public:
    static constexpr quint32 UniqueID = 0x4B550001;

    FirmwareUpdaterPlugin();

    KestrixStudio::CommandlineProcessing processCommandLine(QStringList arguments) override;
    void printUsage(QString applicationName, QString module) override;
    void populateHelp(QTreeWidgetItem* parent, KestrixStudio::HelpCategory category) override;
};
