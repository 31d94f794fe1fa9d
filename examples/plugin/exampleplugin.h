#pragma once

#include "studiopluginbase.h"

// A plug-in in its smallest useful form: an item in the features tree that
// opens a page, a help entry, and a command-line option "-example". Every
// other operation keeps the neutral answer of StudioPluginBase.
class ExamplePlugin : public StudioPluginBase
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID StudioPluginPrototype_iid)

public:
    ExamplePlugin();

    BaseWidget* createWidget(int type, int boardID) override;
    void populateView(int category, QTreeWidgetItem* parent) override;
    QVariant helpResource(QString name) override;
    void populateHelp(QTreeWidgetItem* parent, KestrixStudio::HelpCategory category) override;
    KestrixStudio::CommandlineProcessing processCommandLine(QStringList arguments) override;
    void printUsage(QString applicationName, QString module) override;
};
