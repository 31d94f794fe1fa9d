#pragma once

// Shared fixture of the main-window suites: a temporary HOME with its own
// settings and data folders, an installation folder with a hex folder, a
// simulated bench, an in-process plug-in that serves test pages, and access
// to what the window shows.

#include "applicationdirectory.h"
#include "basewidget.h"
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
#include <QDockWidget>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidgetItem>

#include <functional>

namespace WindowFixture
{

// Settings, log and bench of one suite, all below one temporary folder.
class Environment
{
public:
    // Call in initTestCase(), before any window or QSettings exists.
    void enter()
    {
        TestSupport::enterTestMode();
        QCoreApplication::setApplicationName(QStringLiteral("Kestrix Studio"));
        QCoreApplication::setOrganizationName(QStringLiteral("Arvenholt Labs"));
        // The data folder follows HOME in test mode; QSettings does not follow
        // test mode at all, so its INI folder is set explicitly.
        qputenv("HOME", QFile::encodeName(root.filePath(QStringLiteral("home"))));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, root.filePath(QStringLiteral("config")));
        QDir().mkpath(installPath() + QStringLiteral("/hex"));
        ApplicationDirectory::setPathForTesting(installPath());
        qputenv("KM4200_BENCH", QFile::encodeName(benchPath()));
    }

    QString installPath() const { return root.filePath(QStringLiteral("install")); }
    QString benchPath() const { return root.filePath(QStringLiteral("bench/bench.ini")); }
    QString settingsFile() const
    {
        return root.filePath(QStringLiteral("config/Arvenholt Labs Group/KesTrix Studio.ini"));
    }
    static QString dataFolder() { return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation); }
    static QString logFile() { return dataFolder() + QStringLiteral("/log.txt"); }

    // A first run: no settings, no data folder.
    void forgetRuns() const
    {
        QFile::remove(settingsFile());
        QDir(dataFolder()).removeRecursively();
    }

    // Devices as INI groups; fast bootloader so an update ends quickly.
    void writeBench(const QString& devices) const
    {
        QDir().mkpath(QFileInfo(benchPath()).absolutePath());
        QFile file(benchPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QStringLiteral("[bench]\nbootloaderDelayMs=20\noperationMs=20\n\n%1").arg(devices).toUtf8());
    }

    // The newest firmware the overview page finds; 0 removes every file.
    void setFirmware(int number) const
    {
        QDir hex(installPath() + QStringLiteral("/hex"));
        const QStringList old = hex.entryList({ QStringLiteral("*.hex") }, QDir::Files);
        for (const QString& name : old)
            hex.remove(name);
        if (number <= 0)
            return;
        QFile file(hex.filePath(QStringLiteral("KestrixFirmware_%1.hex").arg(number)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(":00000001FF\n");
    }

    QByteArray settingsBytes() const
    {
        QFile file(settingsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Lines of the log file written since its last run header.
    static QStringList logLinesOfThisRun()
    {
        QFile file(logFile());
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        const QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QStringList run;
        for (const QString& line : lines) {
            if (line.size() == 30 && line.startsWith(QLatin1String("=====")))
                run.clear();
            else
                run.append(line);
        }
        return run;
    }

    QTemporaryDir root;
};

inline QString motherboard(int id, int firmware)
{
    return QStringLiteral("[board%1]\nid=%1\ntype=1\nfirmware=%2\n\n").arg(id).arg(firmware);
}

// What the window shows.
inline QDockWidget* dock(KM4200* window, const char* name)
{
    return window->findChild<QDockWidget*>(QLatin1String(name));
}

inline BaseWidget* page(KM4200* window)
{
    auto* area = qobject_cast<QScrollArea*>(window->centralWidget());
    return area ? qobject_cast<BaseWidget*>(area->widget()) : nullptr;
}

inline QStringList logRows(KM4200* window)
{
    QStringList rows;
    if (auto* view = window->findChild<LogView*>()) {
        for (int i = 0; i < view->count(); ++i)
            rows << view->item(i)->text();
    }
    return rows;
}

inline QAction* action(KM4200* window, const QString& text)
{
    const QList<QAction*> actions = window->findChildren<QAction*>();
    for (QAction* a : actions) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

// A page as plug-ins make them, with the answers the window asks for.
class TestPage : public BaseWidget
{
public:
    explicit TestPage(int type)
        : type(type)
    {
    }
    bool hidesLogView() const override { return hides; }
    bool canSave() const override { return saving; }
    bool deleteWhenReplaced() const override { return !kept; }
    QString title() const override { return pageTitle; }
    bool save() override { return ++saves > 0; }
    bool saveAs() override { return ++savesAs > 0; }
    void leavePage() override { ++left; }
    void setPageTitle(const QString& text)
    {
        pageTitle = text;
        emit titleChanged();
    }
    void log(KestrixStudio::LogLevel level, const QString& text) { emit logmessage(level, text); }

    // Runs a nested event loop as a dialog or a wait would; `meanwhile` runs
    // inside it. Reports whether the page outlived the loop.
    bool runNestedLoop(const std::function<void()>& meanwhile, bool asDialog)
    {
        QPointer<BaseWidget> self(this);
        if (asDialog) {
            QDialog dialog(this);
            QTimer::singleShot(0, &dialog, [&] {
                meanwhile();
                QTimer::singleShot(250, &dialog, &QDialog::accept);
            });
            dialog.exec();
        } else {
            QEventLoop loop;
            QTimer::singleShot(0, &loop, [&] {
                meanwhile();
                QTimer::singleShot(250, &loop, &QEventLoop::quit);
            });
            loop.exec();
        }
        if (!self)
            return false;
        // Its own members, after the loop: must still be there.
        ++left;
        pageTitle = QStringLiteral("after the loop");
        return true;
    }

    const int type;
    bool hides = false;
    bool saving = false;
    bool kept = false;
    QString pageTitle;
    int saves = 0;
    int savesAs = 0;
    int left = 0;
};

// In-process plug-in: serves the page types listed in `pages`, may ask for
// start pages while it handles the command line, adds a menu of its own.
class ShellPlugin : public StudioPluginPrototype
{
public:
    std::function<TestPage*(int type)> pages = [](int type) {
        auto* page = new TestPage(type);
        page->pageTitle = QStringLiteral("page %1").arg(type);
        return page;
    };
    QList<int> served;
    QList<int> startRequests;
    QList<int> created;

    BaseWidget* createWidget(int type, int /*boardID*/) override
    {
        if (!served.contains(type))
            return nullptr;
        created.append(type);
        return pages(type);
    }
    void populateView(int, QTreeWidgetItem*) override { }
    void populateMenu(int, QMenu*) override { }
    void populateMenuBar(int, QMenuBar* menuBar) override { menuBar->addMenu(QStringLiteral("&Tools")); }
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

// Answers every message box in turn with the next of `answers` (Cancel when
// they run out) after it has been open for holdMs, and records what it saw.
// `whileOpen` runs once per box when it appears; it must not block (post
// work instead), so a box opened on top of another is seen and counted.
class BoxAnswers : public QObject
{
public:
    explicit BoxAnswers(
        QList<QMessageBox::StandardButton> answers = {}, std::function<void()> whileOpen = {}, int holdMs = 0)
        : answers(std::move(answers))
        , whileOpen(std::move(whileOpen))
        , holdMs(holdMs)
    {
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, &BoxAnswers::poll);
        timer.start();
    }

    QStringList texts;
    QStringList titles;
    QList<QMessageBox::Icon> icons;
    // Boxes that appeared while an earlier one was still open.
    int nested = 0;

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (!seen.contains(box)) {
            for (const QPointer<QMessageBox>& other : qAsConst(seen)) {
                if (other && other->isVisible()) {
                    ++nested;
                    break;
                }
            }
            seen.append(box);
            texts << box->text();
            titles << box->windowTitle();
            icons << box->icon();
            openedAt.restart();
            if (whileOpen)
                whileOpen();
            return;
        }
        if (openedAt.elapsed() < holdMs)
            return;
        const QMessageBox::StandardButton answer = answers.isEmpty() ? QMessageBox::Cancel : answers.takeFirst();
        box->button(answer)->click();
    }

    QList<QMessageBox::StandardButton> answers;
    std::function<void()> whileOpen;
    int holdMs;
    QTimer timer;
    QElapsedTimer openedAt;
    QList<QPointer<QMessageBox>> seen;
};

} // namespace WindowFixture
