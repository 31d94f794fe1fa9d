#include "applicationdirectory.h"
#include "basewidget.h"
#include "connectable.h"
#include "connectionmanager.h"
#include "defaultwidget.h"
#include "km4200.h"
#include "logview.h"
#include "plugininfo.h"
#include "studiopluginprototype.h"
#include "testsupport.h"
#include "widgetfactory.h"
#include "widgetsignalbridge.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>

namespace
{

enum PageType { HidingPage = 1, SavingPage, UntitledPage, PlainPage, Overview = KestrixStudio::WidgetTypeDefault };

void request(int type)
{
    WidgetSignalBridge::instance()->changeWidget(type, 0, 0);
}

ConnectionManager* manager()
{
    return ConnectionManager::Instance();
}

QString motherboard(int id, int firmware)
{
    return QStringLiteral("[board%1]\nid=%1\ntype=1\nfirmware=%2\n\n").arg(id).arg(firmware);
}

QStringList questions(const QList<int>& boards)
{
    QStringList texts;
    for (int board : boards)
        texts << QStringLiteral("The firmware on board %1 is older than the current version. It should be updated "
                                "to assure correct functionality.\r\nDo this by pressing the OK button")
                     .arg(board);
    return texts;
}

// A page as plug-ins make them; its type decides what it answers the window.
class TestPage : public BaseWidget
{
public:
    explicit TestPage(int type)
        : type(type)
        , pageTitle(type == UntitledPage ? QString() : QStringLiteral("page %1").arg(type))
    {
    }
    bool hidesLogView() const override { return type == HidingPage; }
    bool canSave() const override { return type == SavingPage; }
    QString title() const override { return pageTitle; }
    bool save() override { return ++saves; }
    void rename(const QString& text)
    {
        pageTitle = text;
        emit titleChanged();
    }

    // Opens a dialog, during which the overview replaces this page; reports
    // whether the page outlived its own nested loop.
    bool replacedWhileDialogOpen()
    {
        QPointer<BaseWidget> self(this);
        QDialog dialog(this);
        QTimer::singleShot(0, [] { request(Overview); });
        QTimer::singleShot(250, &dialog, &QDialog::accept);
        dialog.exec();
        if (self)
            pageTitle = QStringLiteral("after the dialog");
        return self;
    }

    const int type;
    QString pageTitle;
    int saves = 0;
};

// In-process plug-in serving the test pages; may ask for start pages while it
// handles the command line.
class ShellPlugin : public StudioPluginPrototype
{
public:
    QList<int> startRequests;
    QList<int> created;

    BaseWidget* createWidget(int type, int) override
    {
        if (type < HidingPage || type > PlainPage)
            return nullptr;
        created.append(type);
        return new TestPage(type);
    }
    void populateView(int, QTreeWidgetItem*) override { }
    void populateMenu(int, QMenu*) override { }
    void populateMenuBar(int, QMenuBar*) override { }
    void setSignalBridge(WidgetSignalBridge*) override { }
    void setIdOffset(int) override { }
    PluginInfo* pluginInfo() override { return &info; }
    QVariant helpResource(QString) override { return QVariant(); }
    void populateHelp(QTreeWidgetItem*, KestrixStudio::HelpCategory) override { }
    void loadSettings(QSettings*) override { }
    void saveSettings(QSettings*) override { }
    KestrixStudio::CommandlineProcessing processCommandLine(QStringList) override
    {
        for (int type : qAsConst(startRequests))
            WidgetSignalBridge::instance()->requestStartWidget(type);
        return KestrixStudio::NoOptionsProcessedInCommandline;
    }
    int exitCode() override { return 0; }
    void printUsage(QString, QString) override { }
    KestrixStudio::Features features() override { return KestrixStudio::FeatureNoFeatures; }
    int closeRequest() override { return 0; }

private:
    PluginInfo info { 0x4D570001u, QStringLiteral("window test pages"), 1, 0, 1 };
};

// Answers each message box, after 100 ms, with the next of `answers` (Cancel
// once they run out). With `changeBoards` the boards change while a box is open,
// so the check runs again then: it must neither open a second box nor remember
// what it skipped.
class BoxAnswers : public QObject
{
public:
    BoxAnswers(QList<QMessageBox::StandardButton> answers, bool changeBoards)
        : answers(std::move(answers))
        , changeBoards(changeBoards)
    {
        connect(&timer, &QTimer::timeout, this, &BoxAnswers::poll);
        timer.start(10);
    }

    QStringList texts;
    int nested = 0;

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box != current) {
            nested += current && current->isVisible();
            current = box;
            texts << box->text();
            openedAt.start();
            if (changeBoards)
                QTimer::singleShot(0, manager(), &ConnectionManager::update);
        } else if (box && openedAt.elapsed() >= 100) {
            box->button(answers.isEmpty() ? QMessageBox::Cancel : answers.takeFirst())->click();
        }
    }

    QList<QMessageBox::StandardButton> answers;
    const bool changeBoards;
    QTimer timer;
    QElapsedTimer openedAt;
    QPointer<QMessageBox> current;
};

} // namespace

// The real main window on a simulated bench, with settings, data and
// installation folders below one temporary folder: what the user sees, what
// lands on disk, how pages come and go, and the firmware check at start-up.
class tst_MainWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir root;
    KM4200* window = nullptr;
    ShellPlugin* plugin = nullptr;

    QString path(const char* name) const { return root.filePath(QLatin1String(name)); }
    QString settingsFile() const { return path("config/Arvenholt Labs Group/KesTrix Studio.ini"); }
    static QString logFile()
    {
        return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/log.txt");
    }

    QByteArray settingsBytes() const
    {
        QFile file(settingsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Devices as INI groups; a fast bootloader so an update ends quickly.
    void writeBench(const QString& devices) const
    {
        QFile file(path("bench/bench.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QStringLiteral("[bench]\nbootloaderDelayMs=20\noperationMs=20\n\n%1").arg(devices).toUtf8());
    }

    // Log file lines without run headers; every test is a first run.
    static QStringList logLinesOfThisRun()
    {
        QFile file(logFile());
        file.open(QIODevice::ReadOnly | QIODevice::Text);
        return QString::fromLocal8Bit(file.readAll())
            .split('\n', Qt::SkipEmptyParts)
            .filter(QRegularExpression("^(?!=====)"));
    }

    void open(int mode = KM4200::ModeNormal)
    {
        window = new KM4200(mode);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // Lets the window learn which loop drives it.
        QTest::qWait(1);
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
    bool listed(const QString& row) const
    {
        return !window->findChild<LogView*>()->findItems(row, Qt::MatchExactly).isEmpty();
    }
    bool updateStarted() const { return listed(QStringLiteral("Starting bootloader on board 1")); }

private slots:
    void initTestCase()
    {
        QVERIFY(root.isValid());
        TestSupport::enterTestMode();
        QCoreApplication::setApplicationName(QStringLiteral("Kestrix Studio"));
        QCoreApplication::setOrganizationName(QStringLiteral("Arvenholt Labs"));
        // The data folder follows HOME in test mode; QSettings needs its folder.
        qputenv("HOME", QFile::encodeName(path("home")));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path("config"));
        QVERIFY(QDir().mkpath(path("bench")));
        ApplicationDirectory::setPathForTesting(path("install"));
        qputenv("KM4200_BENCH", QFile::encodeName(path("bench/bench.ini")));
    }

    void init()
    {
        // Every test is a first run.
        QFile::remove(settingsFile());
        QDir(QFileInfo(logFile()).path()).removeRecursively();
        QDir(path("install/hex")).removeRecursively();
        QDir().mkpath(path("install/hex"));
        writeBench(motherboard(1, 12));
        DefaultWidget::resetCurrentFirmwareIDForTesting();
        BaseWidget::setHexPath(QString());
        plugin = new ShellPlugin;
        WidgetFactory::addPlugin(plugin);
    }

    void cleanup()
    {
        delete window;
        window = nullptr;
        WidgetFactory::unloadPlugins();
        delete plugin;
    }

    // A first run, then steps: H a page that hides the log, N one that does not,
    // c the user closes the log dock, o reopens it from the View menu; after each
    // step the dock is shown (1) or not (0). Closing the window stores the rest.
    void firstRun_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("savedShowLogView");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no page") << "" << true << "";
        QTest::newRow("hiding page, then another") << "HN" << true << "01";
        QTest::newRow("two hiding pages in a row") << "HHN" << true << "001";
        QTest::newRow("closed by the user, then a hiding page") << "cHN" << false << "000";
        QTest::newRow("closed by the user, then a plain page") << "cN" << true << "01";
        QTest::newRow("reopened on a hiding page") << "cHoN" << true << "0011";
        QTest::newRow("closing on a hiding page") << "H" << true << "0";
    }

    void firstRun()
    {
        QFETCH(QString, steps);
        QFETCH(bool, savedShowLogView);
        QFETCH(QString, shown);
        open();
        QCOMPARE(window->size(), QSize(1024, 768));
        QDockWidget* features = dock("evaluationDock");
        QDockWidget* devices = dock("deviceDock");
        QDockWidget* log = dock("logDock");
        QCOMPARE(window->dockWidgetArea(features), Qt::LeftDockWidgetArea);
        QCOMPARE(window->dockWidgetArea(devices), Qt::LeftDockWidgetArea);
        QCOMPARE(window->dockWidgetArea(log), Qt::BottomDockWidgetArea);
        QVERIFY(features->geometry().bottom() < devices->geometry().top());
        QVERIFY(log->isVisible());
        QVERIFY(qobject_cast<DefaultWidget*>(page()));
        // The data folder was made before the log view, so the log file is there.
        QVERIFY(QFile::exists(logFile()));

        for (int i = 0; i < steps.size(); ++i) {
            const char step = steps.at(i).toLatin1();
            if (step == 'H' || step == 'N')
                request(step == 'H' ? HidingPage : PlainPage);
            else if (step == 'c')
                log->close();
            else
                log->toggleViewAction()->trigger();
            QVERIFY2(log->isVisible() == (shown.at(i) == '1'), qPrintable(steps.left(i + 1)));
        }
        QVERIFY(window->close());
        QSettings settings(settingsFile(), QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("mainWindow"));
        QStringList keys = settings.childKeys();
        keys.sort();
        QCOMPARE(keys, QStringList({ "RCCandidateNumber", "geometry", "hexpath", "showLogView", "state" }));
        QCOMPARE(settings.value("RCCandidateNumber").toInt(), -1);
        QCOMPARE(settings.value("showLogView").toBool(), savedShowLogView);
    }

    void nothingWritten_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("refusingPlugin");
        QTest::newRow("default-settings mode") << int(KM4200::ModeDefaultSettings) << false;
        QTest::newRow("plug-in refuses closing") << int(KM4200::ModeNormal) << true;
    }

    void nothingWritten()
    {
        QFETCH(int, mode);
        QFETCH(bool, refusingPlugin);
        QSettings(settingsFile(), QSettings::IniFormat).setValue(QStringLiteral("mainWindow/showLogView"), false);
        const QByteArray before = settingsBytes();
        QVERIFY(!before.isEmpty());
        if (refusingPlugin)
            WidgetFactory::loadPlugins(QStringLiteral(REFUSING_PLUGIN_DIR));
        open(mode);
        QCOMPARE(window->close(), !refusingPlugin);
        QCOMPARE(window->isVisible(), refusingPlugin);
        QCOMPARE(settingsBytes(), before);
    }

    // The frame follows the page shown: its title and whether it can save.
    void pageInFrame_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("saving");
        QTest::addColumn<QString>("title");
        QTest::newRow("overview") << int(Overview) << false << "Kestrix Studio [*] - Connected boards overview";
        QTest::newRow("page without title") << int(UntitledPage) << false << "Kestrix Studio [*]";
        QTest::newRow("page that cannot save") << int(PlainPage) << false << "Kestrix Studio [*] - page 4";
        QTest::newRow("page that can save") << int(SavingPage) << true << "Kestrix Studio [*] - page 2";
    }

    void pageInFrame()
    {
        QFETCH(int, type);
        QFETCH(bool, saving);
        QFETCH(QString, title);
        open();
        request(SavingPage);
        request(type);
        QCOMPARE(window->windowTitle(), title);
        QVERIFY(!window->isWindowModified());
        QCOMPARE(action("&Save")->isEnabled(), saving);
        QCOMPARE(action("Save &As")->isEnabled(), saving);
        if (auto* testPage = dynamic_cast<TestPage*>(page())) {
            testPage->rename(QStringLiteral("renamed"));
            QCOMPARE(window->windowTitle(), QStringLiteral("Kestrix Studio [*] - renamed"));
        }
        if (saving) {
            action("&Save")->trigger();
            QCOMPARE(dynamic_cast<TestPage*>(page())->saves, 1);
        }
    }

    void startPage()
    {
        // Asked for twice while the command line is handled: the last one wins,
        // once the window is shown, and only once.
        plugin->startRequests = { UntitledPage, PlainPage };
        open();
        QCOMPARE(plugin->created, QList<int>({ PlainPage }));
        BaseWidget* start = page();
        window->hide();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(plugin->created, QList<int>({ PlainPage }));
        QCOMPARE(page(), start);
    }

    void startupMessages()
    {
        // The library reports two device groups without an ID at start-up; the
        // one with an '@' in its name makes a malformed message, dropped.
        writeBench(motherboard(1, 12) + QStringLiteral("[nameless]\ntype=1\n\n[odd@group]\ntype=1\n"));
        open();
        const QStringList lines = logLinesOfThisRun();
        QVERIFY(lines.size() > 3);
        QVERIFY(lines.at(0).startsWith(QStringLiteral("STATUS: Kestrix Studio - Copyright")));
        QCOMPARE(lines.at(1), QStringLiteral("DEBUG: Version: 1.21.1.3"));
        QVERIFY(lines.indexOf(QStringLiteral("ERROR: KM4200 bench [nameless] skipped: no id")) > 1);
        QVERIFY(!lines.join('\n').contains(QStringLiteral("odd")));
        QVERIFY(listed(QStringLiteral("KM4200 bench [nameless] skipped: no id")));

        // Later library messages: level 2 is an error row.
        emit manager()->logmessage(2, QStringLiteral("Bus scan on board 3"));
        QVERIFY(listed(QStringLiteral("Bus scan on board 3")));
        QCOMPARE(logLinesOfThisRun().last(), QStringLiteral("ERROR: Bus scan on board 3"));
    }

    // A page replaced while one of its own slots runs a nested loop stays alive
    // until that slot has returned (AddressSanitizer catches a use after free).
    void pageReplacedInsideItsOwnLoop()
    {
        open();
        request(PlainPage);
        QPointer<TestPage> testPage = dynamic_cast<TestPage*>(page());
        int survived = -1;
        QTimer::singleShot(0, testPage, [&] { survived = testPage->replacedWhileDialogOpen(); });
        QTRY_VERIFY(survived != -1);
        QCOMPARE(survived, 1);
        QVERIFY(qobject_cast<DefaultWidget*>(page()));
        // Deleted once control is back in the loop that drives the window.
        QTRY_VERIFY(testPage.isNull());
    }

    // A plug-in that runs the whole job from the command line: the process ends
    // with its status, shows no window and leaves no settings file.
    void commandLineJob()
    {
        QTemporaryDir install;
        QVERIFY(QDir(install.path()).mkpath(QStringLiteral("bin")));
        QVERIFY(QFile::link(QStringLiteral(KESTRIX_LIB_DIR), install.filePath(QStringLiteral("lib"))));
        const QString program = install.filePath(QStringLiteral("bin/kestrix-studio"));
        QVERIFY(QFile::copy(QStringLiteral(KESTRIX_STUDIO_EXE), program));
        QVERIFY(QFile::copy(QStringLiteral(ENDING_PLUGIN), install.filePath(QStringLiteral("bin/libmwend.so"))));

        QTemporaryDir home;
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        process.setProcessEnvironment(environment);
        process.start(program, { QStringLiteral("--run-job") });
        // A window would keep the process running.
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 6);
        QDirIterator files(home.path(), { QStringLiteral("*.ini") }, QDir::Files, QDirIterator::Subdirectories);
        QCOMPARE(files.hasNext() ? files.next() : QString(), QString());
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
        const QString outdated = motherboard(1, 5);
        QTest::newRow("outdated, OK") << outdated << int(QMessageBox::Ok) << QList<int> { 1 } << QList<int> { 1 };
        QTest::newRow("outdated, Cancel")
            << outdated << int(QMessageBox::Cancel) << QList<int> { 1 } << QList<int> { 1 };
        QTest::newRow("equal") << motherboard(1, 6) << int(QMessageBox::Cancel) << QList<int>() << QList<int>();
        QTest::newRow("newer") << motherboard(1, 7) << int(QMessageBox::Cancel) << QList<int>() << QList<int>();
        QTest::newRow("two outdated, OK: the second waits")
            << outdated + motherboard(2, 4) << int(QMessageBox::Ok) << QList<int> { 1 } << QList<int> { 1, 2 };
        QTest::newRow("two outdated, Cancel: the second at once")
            << outdated + motherboard(2, 4) << int(QMessageBox::Cancel) << QList<int> { 1, 2 } << QList<int> { 1, 2 };
        // Board 257's low byte names board 1, which gets the update.
        QTest::newRow("ID above 255") << motherboard(1, 6) + motherboard(257, 5) << int(QMessageBox::Ok)
                                      << QList<int> { 1 } << QList<int> { 1 };
    }

    void firmwareCheck()
    {
        QFETCH(QString, bench);
        QFETCH(int, answer);
        QFETCH(QList<int>, asked);
        QFETCH(QList<int>, askedLater);
        // The overview follows board changes, so they would undo a Cancel.
        BoxAnswers boxes({ QMessageBox::StandardButton(answer) }, answer == QMessageBox::Ok);
        // The newest firmware file the overview page finds.
        QFile hex(path("install/hex/KestrixFirmware_6.hex"));
        QVERIFY(hex.open(QIODevice::WriteOnly) && hex.write(":00000001FF\n") > 0);
        hex.close();
        writeBench(bench);
        window = new KM4200(KM4200::ModeNormal);
        window->show();
        QPointer<BaseWidget> first = page();
        QTRY_COMPARE(boxes.texts, questions(asked));
        if (answer == QMessageBox::Ok) {
            // The update runs on a fresh overview page.
            QTRY_VERIFY(updateStarted());
            QTRY_VERIFY(first.isNull());
            QVERIFY(qobject_cast<DefaultWidget*>(page()));
        } else {
            // The overview may still refresh itself on a late bench
            // notification, but Cancel starts no update.
            QTRY_VERIFY(manager()->getBoardByID(1)->firmwareChecked);
            QTest::qWait(50);
            QVERIFY(qobject_cast<DefaultWidget*>(page()));
            QVERIFY(!updateStarted());
        }
        // Checked boards are not asked again.
        manager()->update();
        window->hide();
        window->show();
        QTest::qWait(100);
        QCOMPARE(boxes.texts, questions(askedLater));
        QCOMPARE(boxes.nested, 0);
    }
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
