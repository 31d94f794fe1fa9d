#include "connectionmanager.h"
#include "defaultwidget.h"
#include "flashdefaultsettings.h"
#include "helpdialog.h"
#include "windowfixture.h"

#include <QDesktopServices>
#include <QDirIterator>
#include <QLabel>
#include <QProcess>
#include <QStatusBar>
#include <QWindow>

using namespace WindowFixture;

// Receives what the window asks the desktop to open.
class UrlCatcher : public QObject
{
    Q_OBJECT

public slots:
    void openUrl(const QUrl& url) { urls.append(url); }

public:
    QList<QUrl> urls;
};

// The real main window on a simulated bench: what the user sees, what lands in
// the settings file and the log, and how pages come and go.
class tst_MainWindow : public QObject
{
    Q_OBJECT

    Environment env;
    KM4200* window = nullptr;
    ShellPlugin* plugin = nullptr;
    QPointer<TestPage> keptPage;

    enum PageType {
        HidingPage = 1,
        SavingPage = 2,
        UntitledPage = 3,
        PlainPage = 4,
        Overview = KestrixStudio::WidgetTypeDefault,
        KeptPage = 7
    };

    KM4200* open(int mode = KM4200::ModeNormal)
    {
        window = new KM4200(mode);
        window->show();
        if (!QTest::qWaitForWindowExposed(window))
            qWarning("window not exposed");
        // Lets the window learn which loop drives it.
        QTest::qWait(1);
        return window;
    }

    static void request(int type) { WidgetSignalBridge::instance()->changeWidget(type, 0, 0); }

    QVariant stored(const QString& key) const
    {
        QSettings settings(env.settingsFile(), QSettings::IniFormat);
        return settings.value(QStringLiteral("mainWindow/") + key);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(env.root.isValid());
        env.enter();
    }

    void init()
    {
        env.forgetRuns();
        env.setFirmware(0);
        env.writeBench(motherboard(1, 12));
        DefaultWidget::resetCurrentFirmwareIDForTesting();
        BaseWidget::setHexPath(QString());

        plugin = new ShellPlugin;
        plugin->served = { HidingPage, SavingPage, UntitledPage, PlainPage, KeptPage };
        plugin->pages = [this](int type) {
            if (type == KeptPage && keptPage)
                return keptPage.data();
            auto* page = new TestPage(type);
            page->hides = type == HidingPage;
            page->saving = type == SavingPage;
            page->kept = type == KeptPage;
            if (type != UntitledPage)
                page->pageTitle = QStringLiteral("page %1").arg(type);
            if (type == KeptPage)
                keptPage = page;
            return page;
        };
        WidgetFactory::addPlugin(plugin);
    }

    void cleanup()
    {
        delete window;
        window = nullptr;
        delete keptPage.data();
        WidgetFactory::unloadPlugins();
        delete plugin;
        plugin = nullptr;
    }

    void firstRun()
    {
        open();
        QCOMPARE(window->size(), QSize(1024, 768));

        QDockWidget* features = dock(window, "evaluationDock");
        QDockWidget* devices = dock(window, "deviceDock");
        QDockWidget* log = dock(window, "logDock");
        QVERIFY(features && devices && log);
        QCOMPARE(features->windowTitle(), QStringLiteral("Features"));
        QCOMPARE(devices->windowTitle(), QStringLiteral("Device Manager"));
        QCOMPARE(log->windowTitle(), QStringLiteral("Log"));
        QCOMPARE(window->dockWidgetArea(features), Qt::LeftDockWidgetArea);
        QCOMPARE(window->dockWidgetArea(devices), Qt::LeftDockWidgetArea);
        QCOMPARE(window->dockWidgetArea(log), Qt::BottomDockWidgetArea);
        QVERIFY(features->geometry().bottom() < devices->geometry().top());
        for (QDockWidget* d : { features, devices, log }) {
            QVERIFY(d->isVisible());
            QVERIFY(!(d->features() & QDockWidget::DockWidgetFloatable));
            QVERIFY(d->features() & QDockWidget::DockWidgetClosable);
        }

        // The blank first page gave way to the overview.
        QVERIFY(qobject_cast<DefaultWidget*>(page(window)));
        QCOMPARE(window->findChildren<BaseWidget*>().size(), 1);
        // The data folder was made, so the first run has its log file.
        QVERIFY(QFile::exists(env.logFile()));

        QVERIFY(window->close());
        QSettings settings(env.settingsFile(), QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("mainWindow"));
        QStringList keys = settings.childKeys();
        keys.sort();
        QCOMPARE(keys, QStringList({ "RCCandidateNumber", "geometry", "hexpath", "showLogView", "state" }));
        QCOMPARE(settings.value("RCCandidateNumber").toInt(), -1);
        QCOMPARE(settings.value("showLogView").toBool(), true);
        QVERIFY(!settings.value("geometry").toByteArray().isEmpty());
        QVERIFY(!settings.value("state").toByteArray().isEmpty());
    }

    void settingsComeBack()
    {
        open();
        window->resize(900, 650);
        // The user drags the log to the right and works in another folder.
        window->addDockWidget(Qt::RightDockWidgetArea, dock(window, "logDock"));
        BaseWidget::setHexPath(QStringLiteral("/data/hex files"));
        QVERIFY(window->close());
        delete window;
        window = nullptr;
        {
            // Written by another tool meanwhile; the window passes it on.
            QSettings settings(env.settingsFile(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("mainWindow/RCCandidateNumber"), 7);
        }
        BaseWidget::setHexPath(QString());

        open();
        QCOMPARE(window->size(), QSize(900, 650));
        QCOMPARE(window->dockWidgetArea(dock(window, "logDock")), Qt::RightDockWidgetArea);
        QCOMPARE(window->dockWidgetArea(dock(window, "deviceDock")), Qt::LeftDockWidgetArea);
        QCOMPARE(BaseWidget::hexPath(), QStringLiteral("/data/hex files"));
        QVERIFY(window->close());
        QCOMPARE(stored("RCCandidateNumber").toInt(), 7);
    }

    // Steps: H a page that hides the log, N a page that does not, c the user
    // closes the log dock, o the user opens it from the View menu. After each
    // step the dock is shown (1) or not (0); the window closes at the end.
    void logDockFollowsPages_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("savedShowLogView");

        QTest::newRow("hiding page, then another") << "HN"
                                                   << "01" << true;
        QTest::newRow("two hiding pages in a row") << "HHN"
                                                   << "001" << true;
        QTest::newRow("closed by the user, then a hiding page") << "cHN"
                                                                << "000" << false;
        QTest::newRow("closed by the user, then a plain page") << "cN"
                                                               << "01" << true;
        QTest::newRow("reopened on a hiding page") << "cHoN"
                                                   << "0011" << true;
        QTest::newRow("closing on a hiding page") << "H"
                                                  << "0" << true;
        QTest::newRow("closed, closing on a hiding page") << "cH"
                                                          << "00" << false;
        QTest::newRow("closed by the user") << "c"
                                            << "0" << false;
        QTest::newRow("plain page") << "N"
                                    << "1" << true;
    }

    void logDockFollowsPages()
    {
        QFETCH(QString, steps);
        QFETCH(QString, shown);
        QFETCH(bool, savedShowLogView);

        open();
        QDockWidget* log = dock(window, "logDock");
        QVERIFY(log->isVisible());
        for (int i = 0; i < steps.size(); ++i) {
            switch (steps.at(i).toLatin1()) {
            case 'H':
                request(HidingPage);
                break;
            case 'N':
                request(PlainPage);
                break;
            case 'c':
                log->close();
                break;
            case 'o':
                log->toggleViewAction()->trigger();
                break;
            }
            QVERIFY2(log->isVisible() == (shown.at(i) == QLatin1Char('1')), qPrintable(steps.left(i + 1)));
        }
        QVERIFY(window->close());
        QCOMPARE(stored("showLogView").toBool(), savedShowLogView);
    }

    void storedHiddenLogStaysHidden()
    {
        {
            QSettings settings(env.settingsFile(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("mainWindow/showLogView"), false);
        }
        open();
        QVERIFY(!dock(window, "logDock")->isVisible());
        request(PlainPage);
        QVERIFY(!dock(window, "logDock")->isVisible());
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
        {
            QSettings settings(env.settingsFile(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("mainWindow/showLogView"), false);
            settings.setValue(QStringLiteral("mainWindow/RCCandidateNumber"), 3);
        }
        const QByteArray before = env.settingsBytes();
        QVERIFY(!before.isEmpty());
        if (refusingPlugin)
            WidgetFactory::loadPlugins(QStringLiteral(REFUSING_PLUGIN_DIR));

        open(mode);
        auto* status = window->statusBar()->findChild<QLabel*>();
        QVERIFY(status);
        status->setText(QStringLiteral("Board 1 ready"));

        QCOMPARE(window->close(), !refusingPlugin);
        QCOMPARE(window->isVisible(), refusingPlugin);
        QCOMPARE(status->text(), QStringLiteral("Board 1 ready"));
        QCOMPARE(env.settingsBytes(), before);
    }

    void defaultSettingsMode()
    {
        open(KM4200::ModeDefaultSettings);
        QVERIFY(qobject_cast<FlashDefaultSettings*>(page(window)));
        QVERIFY(window->findChildren<QDockWidget*>().isEmpty());
        QVERIFY(!window->menuWidget());
        QVERIFY(window->statusBar()->findChild<QLabel*>());
        QVERIFY(window->windowTitle().startsWith(QStringLiteral("Kestrix Studio - DEFAULT SETTINGS MODE")));
        // Its log is not on screen but still written.
        QVERIFY(QFileInfo(env.logFile()).size() > 0);
    }

    void title_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("title");
        QTest::newRow("overview") << int(Overview) << "Kestrix Studio [*] - Connected boards overview";
        QTest::newRow("page without title") << int(UntitledPage) << "Kestrix Studio [*]";
        QTest::newRow("plug-in page") << int(PlainPage) << "Kestrix Studio [*] - page 4";
    }

    void title()
    {
        QFETCH(int, type);
        QFETCH(QString, title);
        open();
        request(type);
        QCOMPARE(window->windowTitle(), title);
        // The placeholder never shows a mark.
        QVERIFY(!window->isWindowModified());
        QVERIFY(!window->windowHandle()->title().contains(QLatin1Char('*')));

        if (auto* testPage = dynamic_cast<TestPage*>(page(window))) {
            testPage->setPageTitle(QStringLiteral("renamed"));
            QCOMPARE(window->windowTitle(), QStringLiteral("Kestrix Studio [*] - renamed"));
        }
    }

    void saveActions_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("overview") << int(Overview) << false;
        QTest::newRow("page that can save") << int(SavingPage) << true;
        QTest::newRow("page that cannot") << int(PlainPage) << false;
    }

    void saveActions()
    {
        QFETCH(int, type);
        QFETCH(bool, enabled);
        open();
        request(SavingPage);
        request(type);
        QAction* save = action(window, QStringLiteral("&Save"));
        QAction* saveAs = action(window, QStringLiteral("Save &As"));
        QVERIFY(save && saveAs);
        QCOMPARE(save->isEnabled(), enabled);
        QCOMPARE(saveAs->isEnabled(), enabled);
        QCOMPARE(save->shortcut(), QKeySequence(QKeySequence::Save));
        if (!enabled)
            return;
        auto* testPage = dynamic_cast<TestPage*>(page(window));
        save->trigger();
        saveAs->trigger();
        QCOMPARE(testPage->saves, 1);
        QCOMPARE(testPage->savesAs, 1);
    }

    void startPage()
    {
        // Asked for twice while the command line is handled: the last one wins.
        plugin->startRequests = { UntitledPage, PlainPage };
        window = new KM4200(KM4200::ModeNormal);
        QVERIFY(qobject_cast<DefaultWidget*>(page(window)));
        QVERIFY(plugin->created.isEmpty());

        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(plugin->created, QList<int>({ PlainPage }));
        BaseWidget* start = page(window);
        QCOMPARE(dynamic_cast<TestPage*>(start)->type, int(PlainPage));

        // Minimised and restored: no start page again.
        window->hide();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(plugin->created, QList<int>({ PlainPage }));
        QCOMPARE(page(window), start);
    }

    void libraryMessages_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<QString>("fileLine");
        QTest::newRow("debug") << 0 << false << "DEBUG: Bus scan on board 3";
        QTest::newRow("status") << 1 << true << "STATUS: Bus scan on board 3";
        QTest::newRow("error") << 2 << true << "ERROR: Bus scan on board 3";
    }

    void libraryMessages()
    {
        QFETCH(int, level);
        QFETCH(bool, listed);
        QFETCH(QString, fileLine);
        open();
        emit ConnectionManager::Instance()->logmessage(level, QStringLiteral("Bus scan on board 3"));
        QCOMPARE(logRows(window).last() == QStringLiteral("Bus scan on board 3"), listed);
        QCOMPARE(Environment::logLinesOfThisRun().last(), fileLine);
    }

    void startupMessages()
    {
        // Two device groups without an ID: the library reports both at start-up,
        // one of them with an '@' in its name.
        env.writeBench(motherboard(1, 12) + QStringLiteral("[nameless]\ntype=1\n\n[odd@group]\ntype=1\n"));
        open();

        const QStringList rows = logRows(window);
        QVERIFY(rows.first().startsWith(QStringLiteral("Kestrix Studio - Copyright")));
        QVERIFY(rows.contains(QStringLiteral("KM4200 bench [nameless] skipped: no id")));
        QVERIFY(rows.contains(QStringLiteral("KM4200 bench: 1 board connected")));
        QVERIFY(!rows.join(QLatin1Char('\n')).contains(QStringLiteral("odd")));

        const QStringList lines = Environment::logLinesOfThisRun();
        QVERIFY(lines.size() > 3);
        QVERIFY(lines.at(0).startsWith(QStringLiteral("STATUS: Kestrix Studio - Copyright")));
        QCOMPARE(lines.at(1), QStringLiteral("DEBUG: Version: 1.21.1.3"));
        QVERIFY(lines.indexOf(QStringLiteral("ERROR: KM4200 bench [nameless] skipped: no id")) > 1);
        QVERIFY(lines.indexOf(QStringLiteral("DEBUG: KM4200 bench: ") + QDir::toNativeSeparators(env.benchPath())) > 1);
        QVERIFY(!lines.join(QLatin1Char('\n')).contains(QStringLiteral("odd")));
    }

    void initMessageShapes_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("text");
        QTest::newRow("error") << "2@Bench unusable" << true << 2 << "Bench unusable";
        QTest::newRow("empty text") << "1@" << true << 1 << "";
        QTest::newRow("level not a number") << "E@Bench unusable" << false << 0 << "";
        QTest::newRow("no level") << "@Bench unusable" << false << 0 << "";
        QTest::newRow("no separator") << "Bench unusable" << false << 0 << "";
        QTest::newRow("two separators") << "2@user@host" << false << 0 << "";
        QTest::newRow("hexadecimal level") << "0x2@text" << false << 0 << "";
    }

    void initMessageShapes()
    {
        QFETCH(QString, entry);
        QFETCH(bool, kept);
        QFETCH(int, level);
        QFETCH(QString, text);
        int parsedLevel = 0;
        QString parsedText;
        QCOMPARE(KM4200::parseInitMessage(entry, &parsedLevel, &parsedText), kept);
        if (kept) {
            QCOMPARE(parsedLevel, level);
            QCOMPARE(parsedText, text);
        }
    }

    // A page replaced while one of its own slots runs a nested loop stays
    // alive until that slot has returned (AddressSanitizer catches a use of
    // freed memory otherwise).
    void pageReplacedInsideItsOwnLoop_data()
    {
        QTest::addColumn<bool>("asDialog");
        QTest::newRow("event loop") << false;
        QTest::newRow("modal dialog") << true;
    }

    void pageReplacedInsideItsOwnLoop()
    {
        QFETCH(bool, asDialog);
        open();
        request(PlainPage);
        auto* testPage = dynamic_cast<TestPage*>(page(window));
        QPointer<BaseWidget> guard(testPage);
        bool finished = false;
        bool survived = false;
        QTimer::singleShot(0, testPage, [&] {
            survived = testPage->runNestedLoop([] { request(Overview); }, asDialog);
            finished = true;
        });
        QTRY_VERIFY(finished);
        QVERIFY(survived);
        QVERIFY(qobject_cast<DefaultWidget*>(page(window)));
        // Deleted once control is back in the loop that drives the window.
        QTRY_VERIFY(guard.isNull());
    }

    void keptPageIsWiredOnce()
    {
        open();
        request(KeptPage);
        QPointer<TestPage> kept = keptPage;
        request(Overview);
        QTest::qWait(50);
        QVERIFY(kept);
        QCOMPARE(kept->left, 1);
        QVERIFY(!kept->isVisible());

        request(KeptPage);
        QCOMPARE(page(window), kept.data());
        const int rows = logRows(window).size();
        kept->log(KestrixStudio::LogStatus, QStringLiteral("shown again"));
        QCOMPARE(logRows(window).size(), rows + 1);
    }

    void menusAndActions()
    {
        open();
        QStringList titles;
        const QList<QAction*> bar = window->menuBar()->actions();
        for (QAction* a : bar)
            titles << a->text();
        // Plug-in menus stand between View and Help.
        QCOMPARE(titles, QStringList({ "&File", "&View", "&Tools", "", "&Help" }));

        QAction* about = action(window, QStringLiteral("&About Kestrix Studio"));
        QVERIFY(about);
        QCOMPARE(about->toolTip(), QStringLiteral("Show Kestrix Studio's About box"));
        TestSupport::ModalAnswer answer;
        about->trigger();
        QVERIFY(answer.seen().seen);
        QCOMPARE(answer.seen().title, QStringLiteral("About Kestrix Studio"));

        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "openUrl");
        action(window, QStringLiteral("Check for &Updates"))->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls.first().host(), QStringLiteral("www.arvenholt-labs.example"));

        action(window, QStringLiteral("Open &Help"))->trigger();
        auto* help = window->findChild<HelpDialog*>();
        QVERIFY(help && help->isVisible());
    }

    // A plug-in that runs the whole job from the command line: the process
    // ends with its status, shows no window and leaves no settings.
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
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("KM4200_BENCH"), env.benchPath());
        process.setProcessEnvironment(environment);
        process.start(program, { QStringLiteral("--run-job") });
        // A window would keep the process running.
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 6);

        QDirIterator files(home.path(), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = files.next();
            QVERIFY2(!file.endsWith(QLatin1String(".ini")), qPrintable(file));
        }
    }
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
