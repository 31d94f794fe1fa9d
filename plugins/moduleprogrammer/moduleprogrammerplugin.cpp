#include "moduleprogrammerplugin.h"

#include "allboardspage.h"
#include "basewidget.h"
#include "boarditems.h"
#include "connectable.h"
#include "connectionmanager.h"
#include "moduleprogrammerlog.h"
#include "moduleprogrammerpage.h"
#include "programmingjob.h"
#include "programoptions.h"
#include "widgetfactory.h"
#include "widgetsignalbridge.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QTextStream>
#include <QTreeWidgetItem>

#include <cstdio>

namespace
{

const QString helpOwner = QStringLiteral("moduleprogrammer");
const QString usageModule = QStringLiteral("program");

} // namespace

ModuleProgrammerPlugin::ModuleProgrammerPlugin()
    : StudioPluginBase(UniqueID, tr("Module programmer"), 1, 0, 1)
    , m_boardItems(new BoardItems(this))
{
    setHelpOwner(helpOwner);
}

ModuleProgrammerPlugin::~ModuleProgrammerPlugin()
{
    // Kept between showings; by now the window has let go of it.
    delete m_allBoardsPage.data();
}

BaseWidget* ModuleProgrammerPlugin::createWidget(int type, int boardID)
{
    if (type != KestrixStudio::WidgetTypeFlash)
        return nullptr;
    if (boardID == AllBoardsPage::PageBoardID) {
        // One page, kept while others are shown, so its runs go on.
        if (!m_allBoardsPage)
            m_allBoardsPage = new AllBoardsPage(&m_settings);
        return m_allBoardsPage;
    }
    auto* page = new ModuleProgrammerPage(boardID, &m_settings);
    m_pages.removeAll(nullptr);
    m_pages.append(page);
    return page;
}

void ModuleProgrammerPlugin::populateView(int category, QTreeWidgetItem* parent)
{
    if (category == WidgetFactory::MenuMotherboards && parent)
        m_boardItems->attach(parent);
}

void ModuleProgrammerPlugin::populateMenu(int menuId, QMenu* menu)
{
    if (menuId != WidgetFactory::MenuFileOpen || !menu)
        return;
    QAction* action = menu->addAction(tr("&HEX file..."), this, &ModuleProgrammerPlugin::openHexFile);
    action->setObjectName(QStringLiteral("moduleProgrammerOpenHexFile"));
    action->setStatusTip(tr("Program a HEX file into a module of the first connected motherboard"));
    QAction* all
        = menu->addAction(tr("HEX file for &all boards..."), this, [this]() { showPage(AllBoardsPage::PageBoardID); });
    all->setObjectName(QStringLiteral("moduleProgrammerOpenAllBoards"));
    all->setStatusTip(tr("Program a HEX file into a module of every connected motherboard at once"));
}

void ModuleProgrammerPlugin::populateHelp(QTreeWidgetItem* parent, KestrixStudio::HelpCategory category)
{
    if (!parent)
        return;
    const QString document = QLatin1String(ModuleProgrammerPage::HelpKey);
    if (category == KestrixStudio::RegularContent)
        parent->addChild(BaseWidget::createHelpItem(tr("Module programmer"), document));
    else if (category == KestrixStudio::CommandLineContent)
        parent->addChild(
            BaseWidget::createHelpItem(tr("-program (module programmer)"), document + QStringLiteral("#commandline")));
}

void ModuleProgrammerPlugin::loadSettings(QSettings* settings)
{
    m_settings.load(settings);
}

void ModuleProgrammerPlugin::saveSettings(QSettings* settings)
{
    m_settings.save(settings);
}

KestrixStudio::CommandlineProcessing ModuleProgrammerPlugin::processCommandLine(QStringList arguments)
{
    if (!ProgramOptions::requested(arguments))
        return KestrixStudio::NoOptionsProcessedInCommandline;

    QTextStream out(stdout);
    ProgramOptions options;
    const bool parsed = options.parse(arguments);
    ProgrammingJob job(&out, options.json());
    if (!parsed) {
        job.error(tr("%1 Usage: %2 -program <file.hex> -board <id>|<id>,<id>...|all|new [-count N] [-slot 0..3] "
                     "[-json]")
                      .arg(options.errorString(),
                          QFileInfo(arguments.value(0, QStringLiteral("kestrix-studio"))).fileName()));
        setExitCode(ProgrammingJob::ExitBadInput);
        return KestrixStudio::EndProcessingCommandline;
    }
    setExitCode(job.run(options));
    qCDebug(lcModuleProgrammer) << "command-line job ended with" << exitCode();
    return KestrixStudio::EndProcessingCommandline;
}

void ModuleProgrammerPlugin::printUsage(QString applicationName, QString module)
{
    Q_UNUSED(applicationName)
    if (!module.isEmpty() && module.compare(usageModule, Qt::CaseInsensitive) != 0)
        return;
    BaseWidget::printRow(QStringLiteral("-program <file>"),
        tr("Module programmer: programs an Intel HEX file into a module without opening the "
           "window. Compares first, programs only when the content differs, verifies and resets "
           "the board; several boards are programmed at once. Exit status 0 when every board "
           "holds the file afterwards, 1 when any board failed, 2 for bad arguments, an unknown "
           "board or a bad file (a regular file of at most 16 MiB), decided before anything is written."));
    BaseWidget::printRow(QStringLiteral("  -board <ids>"),
        tr("Required: a board ID, a list such as 1,3,5, all (every connected motherboard), or new (each "
           "motherboard plugged in from now on, once per connection; boards connected at the start are not "
           "touched; ends on Ctrl+C or after -count boards)."));
    BaseWidget::printRow(QStringLiteral("  -count <n>"), tr("With -board new: end after n boards."));
    BaseWidget::printRow(
        QStringLiteral("  -slot <0..3>"), tr("0 module (default), 1 extension board, 2 ISP, 3 external module."));
    BaseWidget::printRow(QStringLiteral("  -json"),
        tr("One JSON object per line: progress {board, step, percent}; per board at the end "
           "{board, slot, result, message} with result programmed, unchanged, failed, cancelled or "
           "disconnected; bad input {result: error, message}."));
}

int ModuleProgrammerPlugin::closeRequest()
{
    if (m_allBoardsPage && m_allBoardsPage->isProgramming()) {
        const QMessageBox::StandardButton answer
            = QMessageBox::question(QApplication::activeWindow(), tr("Module programming in progress"),
                tr("Modules of several boards are being programmed. Closing now cuts the programming off and may leave "
                   "modules unusable.\n\nClose anyway?"),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return 2;
        m_allBoardsPage->stop();
        return 1;
    }
    m_pages.removeAll(nullptr);
    ModuleProgrammerPage* running = nullptr;
    for (const QPointer<ModuleProgrammerPage>& page : qAsConst(m_pages)) {
        if (page->isProgramming()) {
            running = page;
            break;
        }
    }
    if (!running)
        return 0;
    const QMessageBox::StandardButton answer
        = QMessageBox::question(running->window(), tr("Module programming in progress"),
            tr("The %1 of board %2 is being programmed. Closing now cuts the programming off and may leave the "
               "module unusable.\n\nClose anyway?")
                .arg(ProgrammingEngine::slotName(running->moduleSlot()))
                .arg(running->boardID() & 0xff),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes ? 1 : 2;
}

void ModuleProgrammerPlugin::openHexFile()
{
    const QList<int> boards = ConnectionManager::Instance()->motherBoards().keys();
    if (!boards.isEmpty()) {
        showPage(boards.first());
        return;
    }
    QMessageBox::information(QApplication::activeWindow(), tr("No board connected"),
        tr("Connect a KM4200 motherboard to program a HEX file into one of its modules."));
}

void ModuleProgrammerPlugin::showPage(int boardID)
{
    // Until the shell hands over its relay, the process-wide one.
    WidgetSignalBridge* bridge = signalBridge() ? signalBridge() : WidgetSignalBridge::instance();
    bridge->changeWidget(KestrixStudio::WidgetTypeFlash, boardID, 0);
}
