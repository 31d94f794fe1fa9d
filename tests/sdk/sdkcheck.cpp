// Uses every class of the installed SDK, each through its own header, so the
// SDK check fails when one is not installed or is not self-contained. The job
// "-sdkcheck" writes a HEX image, reads it back in every way offered and
// lists the boards; it ends with 0 when the image came back unchanged.
#include "basewidget.h"
#include "boardfactory.h"
#include "bootloaderdevice.h"
#include "connectable.h"
#include "connectionmanager.h"
#include "hexmodel.h"
#include "hexparser.h"
#include "hexparserfactory.h"
#include "hexwriter.h"
#include "infopage.h"
#include "kestrixframework_export.h"
#include "kestrixstudio.h"
#include "km4200controller.h"
#include "km4200ctrl_export.h"
#include "ktmodule.h"
#include "motherboard.h"
#include "plugininfo.h"
#include "programmingengine.h"
#include "studiopluginbase.h"
#include "studiopluginprototype.h"
#include "widgetfactory.h"
#include "widgetsignalbridge.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidgetItem>

class SdkCheckPlugin : public StudioPluginBase
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID StudioPluginPrototype_iid)

public:
    SdkCheckPlugin()
        : StudioPluginBase(0x5344000Bu, QStringLiteral("SDK check"), 1, 0, 1)
    {
    }

    void populateView(int category, QTreeWidgetItem* parent) override
    {
        if (category == WidgetFactory::MenuFeaturesRoot)
            BaseWidget::setItemView(BaseWidget::createMenuItem(QStringLiteral("SDK check"), parent,
                                        KestrixStudio::WidgetTypeTranslator, idOffset(), 0),
                KestrixStudio::WidgetShow);
    }

    KestrixStudio::CommandlineProcessing processCommandLine(QStringList arguments) override
    {
        if (!arguments.contains(QStringLiteral("-sdkcheck")))
            return KestrixStudio::ContinueProcessingCommandline;
        result = run() ? 0 : 1;
        return KestrixStudio::EndProcessingCommandline;
    }

    int exitCode() override { return result; }

    void printUsage(QString, QString module) override
    {
        if (module.isEmpty() || module == QLatin1String("sdkcheck"))
            BaseWidget::printRow(QStringLiteral("-sdkcheck"), QStringLiteral("Checks the plug-in SDK and exits."));
    }

private:
    bool run()
    {
        HexModel image;
        image.write(KTModule::DefaultBlockAddress, QByteArray("kestrix"));
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("image.hex"));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(HexWriter::write(image)) < 0)
            return false;
        out.close();

        HexModel viaFactory, viaParser, viaEngine;
        HexParser parser;
        const bool same = HexParserFactory::read(file, &viaFactory, HexParserFactory::FormatIntelHex)
            && parser.parseFile(file, &viaParser) && viaFactory == image && viaParser == image
            && ProgrammingEngine::readHexFile(file, &viaEngine).outcome == ProgrammingEngine::OutcomeNone
            && viaEngine == image;
        BaseWidget::printText(pluginInfo()->description(), same ? QStringLiteral("HEX round trip ok")
                                                                : QStringLiteral("HEX round trip failed"));

        // The boards as a plug-in meets them, from the shell's controller.
        BoardFactory::setCreatableBoards(BoardFactory::creatableBoards());
        const auto boards = ConnectionManager::Instance()->getBoardIterator();
        for (Connectable* board : boards) {
            QString kind = QStringLiteral("bootloader");
            if (auto* motherBoard = qobject_cast<MotherBoard*>(board)) {
                KTModule* module = motherBoard->getModule(MotherBoard::SlotModule);
                module->getModel()->reset();
                module->infopage()->reset();
                kind = motherBoard->moduleName();
            } else if (!qobject_cast<BootloaderDevice*>(board)) {
                kind = QStringLiteral("unknown");
            }
            BaseWidget::printRow(QString::number(board->getBoardID()), kind);
        }
        BaseWidget::printRow(QLatin1String(KM4200Controller::staticMetaObject.className()),
            BaseWidget::extraChipSupport ? QStringLiteral("extra chips") : BaseWidget::hexPath);
        return same && WidgetSignalBridge::instance();
    }

    int result = 0;
};

#include "sdkcheck.moc"
