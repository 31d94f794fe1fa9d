#include "applicationdirectory.h"
#include "connectable.h"
#include "connectionmanager.h"
#include "defaultwidget.h"
#include "deviceview.h"
#include "firmwareupdate.h"
#include "helpdialog.h"
#include "km4200.h"
#include "logview.h"
#include "menuview.h"
#include "studiopluginbase.h"
#include "testsupport.h"
#include "widgetfactory.h"
#include "widgetsignalbridge.h"

#include <QAction>
#include <QDialog>
#include <QDockWidget>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBrowser>

#include <algorithm>
#include <functional>

namespace
{

enum PageType { HidingPage = 1, SavingPage, UntitledPage, PlainPage, Overview = KestrixStudio::WidgetTypeDefault };

// A page as plug-ins make them; its type decides what it answers the window.
struct TestPage : BaseWidget {
    bool hidesLogView() override { return type == HidingPage; }
    bool canSave() override { return type == SavingPage; }
    bool save() override { return ++saves > 0; }
    void leavePage() override
    {
        if (onLeave)
            onLeave();
    }
    int saves = 0;
    std::function<void()> onLeave;
    QString title() override { return type == UntitledPage ? QString() : QStringLiteral("page %1").arg(type); }
    int type = 0;
};

// In-process plug-in serving the test pages; may ask for start pages while it
// handles the command line.
struct ShellPlugin : StudioPluginBase {
    ShellPlugin()
        : StudioPluginBase(0x4D570001u, "window test pages", 1, 0, 1)
    {
    }
    QList<int> startRequests, created;

    BaseWidget* createWidget(int type, int) override
    {
        if (type < HidingPage || type > PlainPage)
            return nullptr;
        created.append(type);
        auto* page = new TestPage;
        page->type = type;
        return page;
    }
    void populateView(int category, QTreeWidgetItem* parent) override
    {
        if (category == WidgetFactory::MenuMotherboards)
            BaseWidget::createMenuItem("Plain page", parent, PlainPage, 0, 0);
    }
    KestrixStudio::CommandlineProcessing processCommandLine(QStringList) override
    {
        for (int type : qAsConst(startRequests))
            WidgetSignalBridge::instance()->requestStartWidget(type);
        return KestrixStudio::NoOptionsProcessedInCommandline;
    }
};

// Closing the window locks the trees for the rest of the process.
struct SelectionUnlock : MenuView {
    static void unlock() { selectionLocked = false; }
};

// Answers each message box after 100 ms: the first with `answer`, later ones
// Cancel. With `changeBoards` the boards change while a box is open, so the
// check runs again: it must neither nest a second box nor forget what it
// skipped. Records the board each box asks about.
struct BoxAnswers : QObject {
    QMessageBox::StandardButton answer;
    bool changeBoards = false;
    QList<int> boards;
    int nested = 0, polls = 0;
    QPointer<QMessageBox> current;

    void timerEvent(QTimerEvent*) override
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box != current) {
            nested += current && current->isVisible();
            current = box;
            boards << QRegularExpression("board (\\d+) is older").match(box->text()).captured(1).toInt();
            polls = 0;
            if (changeBoards)
                QTimer::singleShot(0, ConnectionManager::Instance(), &ConnectionManager::update);
        } else if (box && ++polls >= 10) {
            box->button(std::exchange(answer, QMessageBox::Cancel))->click();
        }
    }
};

using namespace TestSupport;

} // namespace

// The real main window on a simulated bench, with settings, data and
// installation folders below one temporary folder.
class tst_MainWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir root;
    KM4200* window = nullptr;
    ShellPlugin* plugin = nullptr;

    static void request(int type) { WidgetSignalBridge::instance()->changeWidget(type, 0, 0); }
    QString path(const char* name) const { return root.filePath(QLatin1String(name)); }
    QString settingsFile() const { return path("config/Arvenholt Labs Group/KesTrix Studio.ini"); }
    static QString logFile() { return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/log.txt"; }
    // A fast bootloader so an update ends quickly.
    bool writeBench(const QString& devices) const
    {
        return writeFile(
            path("bench/bench.ini"), "[bench]\nbootloaderDelayMs=20\noperationMs=20\n\n" + devices.toUtf8());
    }
    // The newest firmware file the overview page finds.
    bool addFirmware() const
    {
        return writeFile(path("install/hex/KestrixFirmware_6.hex"), ":0100000000FF\n:00000001FF\n");
    }
    // Log file lines without run headers.
    static QStringList logLines()
    {
        return QString::fromLocal8Bit(readFile(logFile()))
            .split('\n', Qt::SkipEmptyParts)
            .filter(QRegularExpression("^(?!=====)"));
    }
    void open(int mode = KM4200::ModeNormal)
    {
        window = new KM4200(mode);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::qWait(1); // lets the window learn which loop drives it
    }
    QDockWidget* dock(const char* name) const { return window->findChild<QDockWidget*>(QLatin1String(name)); }
    BaseWidget* page() const
    {
        return qobject_cast<BaseWidget*>(qobject_cast<QScrollArea*>(window->centralWidget())->widget());
    }
    QAction* action(const char* text) const
    {
        const QList<QAction*> all = window->findChildren<QAction*>();
        return *std::find_if(all.begin(), all.end(), [&](QAction* a) { return a->text() == QLatin1String(text); });
    }
    void press(const QString& text) const
    {
        for (MenuView* view : window->findChildren<MenuView*>())
            for (QTreeWidgetItem* item : view->findItems(text, Qt::MatchExactly | Qt::MatchRecursive))
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(item).center());
    }
    // The highlighted items of all trees; they must be the shared selection.
    QStringList highlighted() const
    {
        QStringList texts;
        for (MenuView* view : window->findChildren<MenuView*>())
            for (QTreeWidgetItem* item : view->selectedItems())
                texts << item->text(0);
        QTreeWidgetItem* shared = MenuView::currentSelectedItem();
        return texts == (shared ? QStringList { shared->text(0) } : QStringList()) ? texts : QStringList { "drift" };
    }
    int pageType() const
    {
        auto* testPage = dynamic_cast<TestPage*>(page());
        return testPage ? testPage->type : qobject_cast<DefaultWidget*>(page()) ? int(Overview) : -1;
    }
    bool listed(const QString& row) const
    {
        return !window->findChild<LogView*>()->findItems(row, Qt::MatchExactly).isEmpty();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(root.isValid());
        TestSupport::enterTestMode();
        QCoreApplication::setApplicationName("Kestrix Studio");
        QCoreApplication::setOrganizationName("Arvenholt Labs");
        // The data folder follows HOME in test mode; QSettings needs its folder.
        qputenv("HOME", QFile::encodeName(path("home")));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path("config"));
        QVERIFY(QDir().mkpath(path("bench")) && QDir().mkpath(path("install/hex")));
        ApplicationDirectory::setPathForTesting(path("install"));
        // This installation's tool or none, never the distribution's on PATH.
        qputenv("KESTRIX_DFU_PROGRAMMER", QFile::encodeName(path("install/dfu-programmer")));
        qputenv("KM4200_BENCH", QFile::encodeName(path("bench/bench.ini")));
    }

    void init()
    {
        // Every test is a first run.
        QDir(path("config")).removeRecursively();
        QDir(QFileInfo(logFile()).path()).removeRecursively();
        for (const char* name : { "install/hex/KestrixFirmware_6.hex", "install/dfu-programmer", "pid" })
            QFile::remove(path(name));
        // Groups without an ID are reported at start-up; the '@' one makes a malformed message, dropped.
        QVERIFY(writeBench(motherboard(1, 12) + "[nameless]\ntype=1\n\n[odd@group]\ntype=1\n"));
        DefaultWidget::resetCurrentFirmwareIDForTesting();
        BaseWidget::hexPath.clear();
        SelectionUnlock::unlock();
        WidgetFactory::addPlugin(plugin = new ShellPlugin);
    }

    void cleanup()
    {
        delete std::exchange(window, nullptr);
        WidgetFactory::unloadPlugins();
        delete plugin;
    }

    // A first run, then steps: H a page that hides the log, N one that does not,
    // c the user closes the log dock; after each step the dock is shown (1) or
    // not (0). Closing the window stores the rest.
    void firstRun_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("savedShowLogView");
        QTest::addColumn<QString>("shown");
        QTest::newRow("two hiding pages in a row") << "HHN" << true << "001";
        QTest::newRow("closed by the user, then a hiding page") << "cHN" << false << "000";
        QTest::newRow("closing on a hiding page") << "H" << true << "0";
    }

    void firstRun()
    {
        QFETCH(QString, steps);
        QFETCH(bool, savedShowLogView);
        QFETCH(QString, shown);
        open();
        QDockWidget* log = dock("logDock");
        QVERIFY(log->isVisible() && qobject_cast<DefaultWidget*>(page()));
        // The data folder was made before the log view, so the log file has it all.
        const QStringList lines = logLines();
        QVERIFY(lines.value(0).startsWith("STATUS: Kestrix Studio - Copyright"));
        QVERIFY(lines.indexOf("ERROR: KM4200 bench [nameless] skipped: no id") > 1);
        QVERIFY(!lines.join('\n').contains("odd"));
        // Later library messages: level 2 is an error row.
        emit ConnectionManager::Instance()->logmessage(2, "Bus scan on board 3");
        QVERIFY(listed("Bus scan on board 3"));
        QCOMPARE(logLines().last(), QStringLiteral("ERROR: Bus scan on board 3"));

        for (int i = 0; i < steps.size(); ++i) {
            if (steps.at(i) == 'c')
                log->close();
            else
                request(steps.at(i) == 'H' ? HidingPage : PlainPage);
            QVERIFY2(log->isVisible() == (shown.at(i) == '1'), qPrintable(steps.left(i + 1)));
        }
        QVERIFY(window->close());
        QSettings settings(settingsFile(), QSettings::IniFormat);
        settings.beginGroup("mainWindow");
        QCOMPARE(
            settings.childKeys(), QStringList({ "RCCandidateNumber", "geometry", "hexpath", "showLogView", "state" }));
        QCOMPARE(settings.value("showLogView").toBool(), savedShowLogView);
    }

    // Settings that will not be saved are said at start-up and again when
    // closing; a damaged file is written anew without a word.
    void settingsTrouble_data()
    {
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<bool>("saved");
        QTest::newRow("damaged file") << "damaged" << true;
        QTest::newRow("file is a folder") << "folder" << false;
        QTest::newRow("file where the folder should be") << "file" << false;
    }

    void settingsTrouble()
    {
        QFETCH(QString, trouble);
        QFETCH(bool, saved);
        const QString folder = QFileInfo(settingsFile()).path();
        if (trouble == "folder")
            QVERIFY(QDir().mkpath(settingsFile()));
        else if (trouble == "file")
            QVERIFY(QDir().mkpath(path("config")) && writeFile(folder, "a file"));
        open();
        // Damaged while the window runs (another instance, an editor).
        if (trouble == "damaged")
            QVERIFY(QDir().mkpath(folder) && writeFile(settingsFile(), "[mainWindow\n\x01geometry=@ByteArray(\n["));
        const QString row = QString("Settings cannot be saved to %1: ").arg(settingsFile());
        QCOMPARE(window->findChild<LogView*>()->findItems(row, Qt::MatchStartsWith).size(), saved ? 0 : 1);
        static QStringList warnings;
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
        const bool closed = window->close();
        qInstallMessageHandler(previous);
        QVERIFY(closed);
        QCOMPARE(readFile(settingsFile()).contains("RCCandidateNumber=-1"), saved);
        const QStringList said = std::exchange(warnings, {}) + logLines();
        QCOMPARE(said.filter("could not be written", Qt::CaseInsensitive).size(), saved ? 0 : 1);
    }

    // A stored geometry that no screen shows or of absurd size gives the
    // default size; a sensible one is kept; neither is larger than the
    // screen's free area (the offscreen screen is smaller than 1024 x 768).
    void storedGeometry_data()
    {
        QTest::addColumn<QRect>("stored");
        QTest::addColumn<QSize>("size");
        QTest::newRow("on screen") << QRect(10, 20, 1000, 700) << QSize(1000, 700);
        QTest::newRow("off every screen") << QRect(-30000, 40000, 900, 600) << QSize(1024, 768);
        QTest::newRow("absurd size") << QRect(0, 0, 90000, 60000) << QSize(1024, 768);
    }

    void storedGeometry()
    {
        QFETCH(QRect, stored);
        QFETCH(QSize, size);
        QWidget saved;
        saved.setGeometry(stored);
        QSettings(settingsFile(), QSettings::IniFormat).setValue("mainWindow/geometry", saved.saveGeometry());
        open();
        const QSize room = window->screen()->availableGeometry().size();
        QCOMPARE(window->size(), size.boundedTo(room));
        QVERIFY(window->screen()->availableGeometry().intersects(window->frameGeometry()));
    }

    void nothingWritten_data()
    {
        QTest::addColumn<bool>("refusingPlugin");
        QTest::newRow("default-settings mode") << false;
        QTest::newRow("plug-in refuses closing") << true;
    }

    void nothingWritten()
    {
        QFETCH(bool, refusingPlugin);
        QSettings(settingsFile(), QSettings::IniFormat).setValue("mainWindow/showLogView", false);
        const QByteArray before = readFile(settingsFile());
        QVERIFY(!before.isEmpty());
        if (refusingPlugin)
            WidgetFactory::loadPlugins(REFUSING_PLUGIN_DIR);
        open(refusingPlugin ? KM4200::ModeNormal : KM4200::ModeDefaultSettings);
        QCOMPARE(window->close(), !refusingPlugin);
        QCOMPARE(readFile(settingsFile()), before);
    }

    // A plug-in page built from the published declarations: every answer it
    // overrides reaches the window. The subtype carries its wishes: 1 hide the
    // log, 2 can save, 4 keep me.
    void pluginPageOverrides_data()
    {
        QTest::addColumn<int>("wishes");
        QTest::newRow("kept, hides the log, saves") << 7;
        QTest::newRow("deleted, shows the log, cannot save") << 0;
    }

    void pluginPageOverrides()
    {
        QFETCH(int, wishes);
        const bool kept = wishes & 4, hidesLog = wishes & 1, saves = wishes & 2;
        WidgetFactory::loadPlugins(OVERRIDING_PLUGIN_DIR);
        open();
        const int type = KestrixStudio::WidgetTypeGattSetup;
        WidgetSignalBridge::instance()->changeWidget(type, 1, wishes);
        QPointer<BaseWidget> shown = page();
        const QString number = QString::number(wishes);
        QCOMPARE(shown->property("calls").toStringList(),
            QStringList({ "setBoard 1", "boardUpdate", "setSubtype " + number }));
        QCOMPARE(window->windowTitle(), "Kestrix Studio [*] - Overriding page " + number);
        QCOMPARE(dock("logDock")->isHidden(), hidesLog);
        QVERIFY(action("&Save")->isEnabled() == saves && action("Save &As")->isEnabled() == saves);
        if (saves) {
            action("&Save")->trigger();
            action("Save &As")->trigger();
            QCOMPARE(shown->property("calls").toStringList().mid(3), QStringList({ "save", "saveAs" }));
        }
        action("Open &Help")->trigger();
        auto* help = HelpDialog::instance(window)->findChild<QTextBrowser*>();
        QVERIFY(help->source().toString() == "overriding/doc/" + number
            && help->toPlainText() == help->source().toString());
        HelpDialog::discardInstance();

        // Leaving: the overview replaces it; the next change retires the overview.
        request(Overview);
        QPointer<BaseWidget> overview = page();
        QVERIFY(!dock("logDock")->isHidden());
        QVERIFY(shown->property("calls").toStringList().endsWith("leavePage"));
        request(PlainPage);
        QTRY_VERIFY(overview.isNull());
        QCOMPARE(!shown.isNull(), kept);

        // Asked for again: a kept page comes back as it was left.
        WidgetSignalBridge::instance()->changeWidget(type, 1, wishes);
        QCOMPARE(page() == shown, kept);
        QCOMPARE(window->windowTitle(), "Kestrix Studio [*] - Overriding page " + number);
        QCOMPARE(dock("logDock")->isHidden(), hidesLog);
    }

    // A page asked for through the relay moves the highlight to its tree item,
    // or clears it when no item stands for it, without asking for a page; the
    // item highlighted before can then be pressed again.
    void treeFollowsPage_data()
    {
        QTest::addColumn<QString>("before"); // pressed first, and again at the end
        QTest::addColumn<int>("type"); // asked for through the relay
        QTest::addColumn<QStringList>("highlighted");
        QTest::newRow("page with an item") << "Motherboards" << int(PlainPage) << QStringList { "Plain page" };
        QTest::newRow("page without an item") << "Plain page" << int(HidingPage) << QStringList();
        QTest::newRow("overview") << "Plain page" << int(Overview) << QStringList { "Motherboards" };
    }

    void treeFollowsPage()
    {
        QFETCH(QString, before);
        QFETCH(int, type);
        QFETCH(QStringList, highlighted);
        open();
        press(before);
        const int beforeType = pageType();
        QCOMPARE(this->highlighted(), QStringList { before });
        QSignalSpy requests(window->findChild<DeviceView*>(), &MenuView::itemChange);
        request(type);
        QCOMPARE(pageType(), type);
        QCOMPARE(this->highlighted(), highlighted);
        QVERIFY(requests.isEmpty());
        press(before);
        QCOMPARE(pageType(), beforeType);
        QCOMPARE(this->highlighted(), QStringList { before });
    }

    // A page replaced while one of its own slots runs a nested loop stays alive
    // until that slot has returned (AddressSanitizer catches a use after free).
    void pageReplacedInsideItsOwnLoop()
    {
        // Start pages asked for while the command line is handled: the last
        // one wins, once the window is shown, and only once.
        plugin->startRequests = { UntitledPage, PlainPage };
        open();
        window->hide();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(plugin->created, QList<int>({ PlainPage }));
        QPointer<TestPage> testPage = dynamic_cast<TestPage*>(page());
        QVERIFY(testPage);
        int survived = -1;
        // The dialog is the page's child: freeing the page inside exec() would free it twice.
        QTimer::singleShot(0, testPage, [&] {
            QDialog dialog(testPage);
            QTimer::singleShot(0, [] { request(Overview); });
            QTimer::singleShot(250, &dialog, &QDialog::accept);
            dialog.exec();
            survived = !testPage.isNull();
        });
        QTRY_COMPARE(survived, 1);
        QVERIFY(qobject_cast<DefaultWidget*>(page()));
        // Deleted once control is back in the loop that drives the window.
        QTRY_VERIFY(testPage.isNull());
    }

    // The newest firmware is 6; boards run older, equal or newer firmware. The
    // first box gets `answer`, any later one Cancel. After the check at start-up
    // the board list changes and the window is shown again.
    void firmwareCheck_data()
    {
        QTest::addColumn<QString>("bench");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QList<int>>("asked");
        QTest::addColumn<QList<int>>("askedLater");
        using L = QList<int>;
        const QString two = motherboard(1, 5) + motherboard(2, 4);
        QTest::newRow("equal") << motherboard(1, 6) << int(QMessageBox::Cancel) << L() << L();
        QTest::newRow("two, OK: the second waits") << two << int(QMessageBox::Ok) << L { 1 } << L { 1, 2 };
        QTest::newRow("two, Cancel: the second at once") << two << int(QMessageBox::Cancel) << L { 1, 2 } << L { 1, 2 };
    }

    void firmwareCheck()
    {
        QFETCH(QString, bench);
        QFETCH(int, answer);
        QFETCH(QList<int>, asked);
        QFETCH(QList<int>, askedLater);
        BoxAnswers boxes;
        boxes.answer = QMessageBox::StandardButton(answer);
        boxes.changeBoards = answer == QMessageBox::Ok;
        boxes.startTimer(10);
        QVERIFY(addFirmware() && writeBench(bench));
        window = new KM4200(KM4200::ModeNormal);
        window->show();
        QPointer<BaseWidget> first = page();
        QTRY_COMPARE(boxes.boards, asked);
        if (answer == QMessageBox::Ok) {
            // The update runs on a fresh overview page.
            QTRY_VERIFY(listed("Starting bootloader on board 1"));
            QTRY_VERIFY(first.isNull());
            QVERIFY(qobject_cast<DefaultWidget*>(page()));
        } else {
            // The overview may still refresh itself on a late bench
            // notification, but Cancel starts no update.
            QTRY_VERIFY(ConnectionManager::Instance()->getBoardByID(1)->firmwareChecked);
            QTest::qWait(50);
            QVERIFY(qobject_cast<DefaultWidget*>(page()));
            QVERIFY(!listed("Starting bootloader on board 1"));
        }
        // Checked boards are not asked again.
        ConnectionManager::Instance()->update();
        window->hide();
        window->show();
        QTest::qWait(100);
        QVERIFY(boxes.boards == askedLater && boxes.nested == 0);
    }

    // From the moment the factory has made it, the new page is the window's
    // page: Save pressed while the old page leaves reaches the new one.
    void currentPageDuringChange()
    {
        open();
        request(PlainPage);
        auto* old = dynamic_cast<TestPage*>(page());
        QVERIFY(old);
        old->onLeave = [this] { action("&Save")->trigger(); };
        request(SavingPage);
        auto* next = dynamic_cast<TestPage*>(page());
        QCOMPARE(next->type, int(SavingPage));
        QCOMPARE(next->saves, 1);
        QCOMPARE(old->saves, 0);
    }

    // A board left in its bootloader is named once, with how to finish it,
    // and no update starts beside it: the tool would flash that board.
    void boardWaitsInBootloader()
    {
        BoxAnswers boxes;
        boxes.answer = QMessageBox::Ok;
        boxes.startTimer(10);
        QVERIFY(addFirmware() && writeBench(motherboard(1, 5) + "[board2]\nid=2\ntype=4\n"));
        open();
        const QString note = "Board 2 waits in its bootloader. Finish its update with \"tst_mainwindow -updatefirmware "
                             "-board 2\", or toggle its power.";
        QTRY_VERIFY(listed(note));
        QTRY_VERIFY(listed("Board 1 was not updated: another board waits in its bootloader: board 2; update it first "
                           "or toggle its power."));
        ConnectionManager::Instance()->update();
        QTest::qWait(50);
        QCOMPARE(window->findChild<LogView*>()->findItems(note, Qt::MatchExactly).size(), 1);
        QCOMPARE(ConnectionManager::Instance()->getBoardByID(1)->getTypeConnected(), int(Connectable::TypeMotherBoard));
    }

    // Closing while the update's tool runs asks first: No keeps the window and
    // the update, Yes ends the update, logs it and closes; no tool is left behind.
    void closeDuringUpdate()
    {
        QVERIFY(addFirmware() && writeBench(motherboard(1, 6)));
        QVERIFY(writeScript(
            path("install/dfu-programmer"), "echo $$ > \"" + QFile::encodeName(path("pid")) + "\"\nexec sleep 600"));
        open();
        const QString cancelled = "The update of board 1 was cancelled and dfu-programmer was ended: the board may be "
                                  "left without firmware.";
        QList<bool> closed, logged; // logged: the end of the update, before the window has gone
        QTimer closer; // once the tool has started
        connect(&closer, &QTimer::timeout, [&] {
            if (!QFile::exists(path("pid")))
                return;
            closer.stop();
            for (QMessageBox::StandardButton answer : { QMessageBox::No, QMessageBox::Yes }) {
                TestSupport::ModalAnswer box(answer);
                closed << window->close();
                logged << listed(cancelled);
            }
        });
        closer.start(20);
        qobject_cast<DefaultWidget*>(page())->startBootloader(1);
        QVERIFY(closed == QList<bool>({ false, true }) && logged == closed);
        QVERIFY(!FirmwareUpdate::active());
        QVERIFY(logLines().contains("STATUS: Please toggle power of board 1 to reset it."));
        QVERIFY(processEnded(path("pid")));
    }
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
