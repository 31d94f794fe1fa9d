#include "firmwareupdaterplugin.h"

#include "basewidget.h"
#include "firmwareupdatejob.h"
#include "updateoptions.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QTreeWidgetItem>

#include <cstdio>

namespace
{
const char helpKey[] = "firmwareupdater/doc/index";
}

FirmwareUpdaterPlugin::FirmwareUpdaterPlugin()
    : StudioPluginBase(UniqueID, tr("Firmware updater"), 1, 0, 1)
{
    setHelpOwner(QStringLiteral("firmwareupdater"));
}

KestrixStudio::CommandlineProcessing FirmwareUpdaterPlugin::processCommandLine(QStringList arguments)
{
    if (!UpdateOptions::requested(arguments))
        return KestrixStudio::NoOptionsProcessedInCommandline;

    QTextStream out(stdout);
    UpdateOptions options;
    if (!options.parse(arguments)) {
        // -json may come after the faulty argument.
        const bool json = arguments.contains(QStringLiteral("-json"), Qt::CaseInsensitive);
        setExitCode(FirmwareUpdateJob(&out, json).error(tr("Error: %1").arg(options.errorString())));
        if (!json)
            out << tr("Usage: %1 -updatefirmware [-board all|N[,N...]] [-json]")
                       .arg(QFileInfo(arguments.value(0, QStringLiteral("kestrix-studio"))).fileName())
                << Qt::endl;
        return KestrixStudio::EndProcessingCommandline;
    }
    FirmwareUpdateJob job(&out, options.json());
    setExitCode(job.run(options));
    return KestrixStudio::EndProcessingCommandline;
}

void FirmwareUpdaterPlugin::printUsage(QString, QString module)
{
    if (!module.isEmpty() && module.compare(QLatin1String("updatefirmware"), Qt::CaseInsensitive) != 0)
        return;
    BaseWidget::printRow(QStringLiteral("-updatefirmware"),
        tr("Firmware updater: brings motherboards to the newest firmware in the hex folder without opening the "
           "window, one board after another. Exit status 0 when every board ends on the newest firmware, 1 when "
           "an update failed or a board was lost, 2 for bad arguments, an unknown board or no firmware file."));
    BaseWidget::printRow(QStringLiteral("  -board all|N,..."),
        tr("The boards to update, even when current; without it every connected motherboard below the newest "
           "firmware."));
    BaseWidget::printRow(QStringLiteral("  -json"), tr("One JSON object per line instead of plain text."));
}

void FirmwareUpdaterPlugin::populateHelp(QTreeWidgetItem* parent, KestrixStudio::HelpCategory category)
{
    if (parent && category == KestrixStudio::CommandLineContent)
        parent->addChild(BaseWidget::createHelpItem(tr("-updatefirmware (firmware updater)"), QLatin1String(helpKey)));
}
