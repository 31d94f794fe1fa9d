#include "applicationdirectory.h"
#include "basewidget.h"
#include "deviceview.h"
#include "plugininfo.h"
#include "programmerfixture.h"
#include "studiopluginprototype.h"
#include "testsupport.h"
#include "widgetfactory.h"
#include "widgetsignalbridge.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidgetItem>
#include <QUrl>

using namespace ProgrammerFixture;
using TestSupport::ModalAnswer;

// The plug-in as the shell sees it: loaded from a folder by the widget
// factory and driven through the plug-in interface, against a simulated bench.
class TestModuleProgrammer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void boardItemsFollowHotPlug_data();
    void boardItemsFollowHotPlug();
    void boardItemsOutliveSelectionAndTree();
    void pageProgramsModule_data();
    void pageProgramsModule();
    void pageReportsFailures_data();
    void pageReportsFailures();
    void boardLeavesDuringProgramming_data();
    void boardLeavesDuringProgramming();
    void pageRemembersFilePerBoard();
    void dropOnPage_data();
    void dropOnPage();
    void fileOpenEntry();
    void helpDocuments_data();
    void helpDocuments();
    void closeRequest_data();
    void closeRequest();
    void commandLineLeftToOthers();

private:
    BaseWidget* openPage(int boardID);
    template <typename T> T* child(const char* name) const { return page->findChild<T*>(QLatin1String(name)); }
    bool runProgram(bool* success);
    QStringList itemTexts(QTreeWidgetItem* heading) const;

    QTemporaryDir pluginDir;
    StudioPluginPrototype* plugin = nullptr;
    std::unique_ptr<Bench> bench;
    QPointer<BaseWidget> page;
    QStringList log;
};

void TestModuleProgrammer::initTestCase()
{
    TestSupport::enterTestMode();
    QVERIFY(pluginDir.isValid());
    QVERIFY(QFile::copy(QStringLiteral(MODULEPROGRAMMER_PLUGIN), pluginDir.filePath("moduleprogrammer.so")));
    WidgetFactory::loadPlugins(pluginDir.path());
    QCOMPARE(WidgetFactory::loadedPlugins().size(), 1);
    plugin = WidgetFactory::loadedPlugins().first();
    PluginInfo* info = plugin->pluginInfo();
    QCOMPARE(info->uniquePluginID(), 0x4B500001u);
    QCOMPARE(info->pluginName(), QString("Module programmer"));
    QCOMPARE(info->majorVersion(), quint8(1));
    QCOMPARE(info->minorVersion(), quint8(0));
    QCOMPARE(plugin->features(), KestrixStudio::Features(KestrixStudio::FeatureNoFeatures));
}

void TestModuleProgrammer::cleanupTestCase()
{
    WidgetFactory::unloadPlugins();
}

void TestModuleProgrammer::init()
{
    bench = std::make_unique<Bench>();
    QVERIFY(bench->dir.isValid());
    // The application folder lies elsewhere than the files, as in a real
    // installation: the page hands the sequence a relative folder.
    QVERIFY(QDir(bench->dir.path()).mkpath("app/bin"));
    ApplicationDirectory::setPathForTesting(bench->filePath("app/bin"));
    bench->open(motherboard(1, "externalModule=true") + motherboard(2));
    QSettings empty(bench->filePath("empty.ini"), QSettings::IniFormat);
    plugin->loadSettings(&empty);
    log.clear();
}

void TestModuleProgrammer::cleanup()
{
    delete page;
    bench.reset();
    ApplicationDirectory::setPathForTesting(QString());
}

BaseWidget* TestModuleProgrammer::openPage(int boardID)
{
    delete page;
    page = WidgetFactory::createWidget(KestrixStudio::WidgetTypeFlash, 0, boardID);
    connect(page, &BaseWidget::logmessage, this, [this](KestrixStudio::LogLevel, const QString& text) { log << text; });
    // As the main window wires the page it shows.
    connect(ConnectionManager::Instance(), &ConnectionManager::updated, page, &BaseWidget::boardUpdate);
    page->show();
    return page;
}

bool TestModuleProgrammer::runProgram(bool* success)
{
    QSignalSpy done(page, &BaseWidget::programmingDone);
    child<QPushButton>("programButton")->click();
    if (!done.wait(5000))
        return false;
    *success = done.first().first().toBool();
    return true;
}

QStringList TestModuleProgrammer::itemTexts(QTreeWidgetItem* heading) const
{
    QStringList texts;
    for (int i = 0; i < heading->childCount(); ++i)
        texts << heading->child(i)->text(0);
    return texts;
}

void TestModuleProgrammer::boardItemsFollowHotPlug_data()
{
    QTest::addColumn<QString>("devices");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("board 2 unplugged") << motherboard(1) << QStringList { "Board 1" };
    QTest::newRow("board 3 plugged in") << motherboard(1) + motherboard(2) + motherboard(3)
                                        << QStringList { "Board 1", "Board 2", "Board 3" };
    QTest::newRow("board 1 swapped for board 3")
        << motherboard(3) + motherboard(2) << QStringList { "Board 2", "Board 3" };
    QTest::newRow("board in its bootloader") << motherboard(1) + "[boot]\nid=2\ntype=4\n" << QStringList { "Board 1" };
    QTest::newRow("all boards gone") << QString() << QStringList {};
}

void TestModuleProgrammer::boardItemsFollowHotPlug()
{
    QFETCH(QString, devices);
    QFETCH(QStringList, items);

    DeviceView view(DeviceView::ShowMotherboards);
    QTreeWidgetItem* heading = view.categoryItem(WidgetFactory::MenuMotherboards);
    BaseWidget::createMenuItem("Other plug-in's board", heading, KestrixStudio::WidgetTypeBoard, 9, 0);
    WidgetFactory::populateView(WidgetFactory::MenuMotherboards, &view);
    QCOMPARE(itemTexts(heading), (QStringList { "Other plug-in's board", "Board 1", "Board 2" }));

    QTreeWidgetItem* board2 = heading->child(2);
    QCOMPARE(board2->data(0, Qt::UserRole + 1).toInt(), int(KestrixStudio::WidgetTypeFlash));
    QCOMPARE(board2->data(0, Qt::UserRole + 2).toInt(), 2);
    QCOMPARE(board2->data(0, Qt::UserRole + 3).toInt(), 0);
    QCOMPARE(board2->type(), 2020);
    QCOMPARE(board2->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);

    QVERIFY(bench->replug(devices));
    QCOMPARE(itemTexts(heading), QStringList { "Other plug-in's board" } + items);
}

void TestModuleProgrammer::boardItemsOutliveSelectionAndTree()
{
    auto* view = new DeviceView(DeviceView::ShowMotherboards);
    QTreeWidgetItem* heading = view->categoryItem(WidgetFactory::MenuMotherboards);
    WidgetFactory::populateView(WidgetFactory::MenuMotherboards, view);
    QTreeWidgetItem* board2 = heading->child(1);
    QSignalSpy pages(view, &MenuView::itemChange);
    emit view->itemPressed(board2, 0);
    QCOMPARE(pages.count(), 1);
    QCOMPARE(MenuView::currentSelectedItem(), board2);

    // The selected board leaves and comes back: its item is taken out, kept
    // alive for the shared selection, and put back in board order.
    QVERIFY(bench->replug(motherboard(1)));
    QCOMPARE(itemTexts(heading), QStringList { "Board 1" });
    emit view->itemPressed(heading->child(0), 0);
    QCOMPARE(pages.count(), 2);
    QVERIFY(bench->replug(motherboard(2)));
    QCOMPARE(itemTexts(heading), QStringList { "Board 2" });
    QCOMPARE(heading->child(0), board2);
    QVERIFY(bench->replug(motherboard(2) + motherboard(1)));
    QCOMPARE(itemTexts(heading), (QStringList { "Board 1", "Board 2" }));
    QCOMPARE(heading->child(1), board2);

    // Once the tree is gone, board changes must not reach its items.
    delete view;
    QVERIFY(bench->replug(motherboard(2)));
    QVERIFY(bench->replug(motherboard(1) + motherboard(4)));
}

void TestModuleProgrammer::pageProgramsModule_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("slotName");
    QTest::newRow("module") << 0 << "module";
    QTest::newRow("extension board") << 1 << "extension board";
    QTest::newRow("external module") << 3 << "external module";
}

void TestModuleProgrammer::pageProgramsModule()
{
    QFETCH(int, slot);
    QFETCH(QString, slotName);
    const QString hex = bench->addDemoModule();
    MotherBoard* board = Bench::board(1);
    const int resets = board->resetCount();

    openPage(1);
    QCOMPARE(page->title(), QString("Program module - Board 1"));
    QCOMPARE(page->helpKey(), QString("moduleprogrammer/doc/index"));
    auto* slotCombo = child<QComboBox>("slotCombo");
    QCOMPARE(slotCombo->count(), 4);
    slotCombo->setCurrentIndex(slotCombo->findData(slot));
    child<QLineEdit>("pathEdit")->setText(QDir::toNativeSeparators(hex));
    auto* program = child<QPushButton>("programButton");

    // Different content: compared, programmed, verified.
    QSignalSpy done(page, &BaseWidget::programmingDone);
    program->click();
    QVERIFY(!program->isEnabled());
    QVERIFY(done.wait(5000));
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.first().first().toBool(), true);
    QVERIFY(program->isEnabled());
    QVERIFY(Bench::holds(1, slot, hex));
    const QString programming = QString("Programming demo-module.hex into the %1 of board 1").arg(slotName);
    QCOMPARE(log.count(programming), 1);
    QVERIFY(log.contains(QString("The %1 of board 1 holds demo-module.hex").arg(slotName)));
    QVERIFY(child<QLabel>("statusLabel")->text().contains("programmed into the " + slotName));
    QCOMPARE(board->resetCount(), resets + 1);

    // Equal content: compared only, nothing programmed, still reset.
    bool success = false;
    QVERIFY(runProgram(&success));
    QVERIFY(success);
    QCOMPARE(log.count(programming), 1);
    QVERIFY(child<QLabel>("statusLabel")->text().contains("already holds demo-module.hex"));
    QCOMPARE(board->resetCount(), resets + 2);
}

void TestModuleProgrammer::pageReportsFailures_data()
{
    QTest::addColumn<QString>("devices");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("box");

    const QByteArray demo = [] {
        QFile file(QStringLiteral(DEMO_MODULE_HEX));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QTest::newRow("verification fails") << motherboard(1, "verifyStatus=5") << demo
                                        << "Programming demo.hex into the module of board 1 failed."
                                        << "Programming failed";
    QTest::newRow("programming fails") << motherboard(1, "programStatus=4") << demo
                                       << "Programming demo.hex into the module of board 1 failed."
                                       << "Programming failed";
    QTest::newRow("bad checksum") << motherboard(1) << badHex() << "demo.hex is not a valid HEX file: line 3"
                                  << QString();
    QTest::newRow("module does not answer")
        << motherboard(1, "modules=1,2") << demo << "Could not connect to the device" << QString();
}

void TestModuleProgrammer::pageReportsFailures()
{
    QFETCH(QString, devices);
    QFETCH(QByteArray, content);
    QFETCH(QString, status);
    QFETCH(QString, box);

    QVERIFY(bench->replug(devices));
    const QString hex = bench->addFile("files/demo.hex", content);
    openPage(1);
    child<QLineEdit>("pathEdit")->setText(hex);
    QSignalSpy done(page, &BaseWidget::programmingDone);
    BoxAnswer answer;
    child<QPushButton>("programButton")->click();
    if (!box.isEmpty()) {
        QVERIFY(done.wait(5000));
        QCOMPARE(done.first().first().toBool(), false);
        QCOMPARE(answer.titles, QStringList { box });
    } else {
        QCOMPARE(done.count(), 0);
    }
    QVERIFY2(child<QLabel>("statusLabel")->text().startsWith(status), qPrintable(child<QLabel>("statusLabel")->text()));
    // The page is ready for the next attempt.
    QVERIFY(child<QPushButton>("programButton")->isEnabled());
    QVERIFY(log.last().startsWith(status.left(20)));
}

void TestModuleProgrammer::boardLeavesDuringProgramming_data()
{
    QTest::addColumn<int>("progress");
    QTest::newRow("while comparing") << 1;
    QTest::newRow("while programming") << 2;
    QTest::newRow("while verifying") << 3;
}

void TestModuleProgrammer::boardLeavesDuringProgramming()
{
    QFETCH(int, progress);
    bench->open(motherboard(1) + motherboard(2), 150);
    openPage(1);
    child<QLineEdit>("pathEdit")->setText(bench->addDemoModule());
    QSignalSpy done(page, &BaseWidget::programmingDone);
    QSignalSpy steps(page, &BaseWidget::progressUpdated);
    BoxAnswer answer;
    child<QPushButton>("programButton")->click();
    // Each step reports 0 first; unplug once the wanted step has begun.
    QTRY_COMPARE_WITH_TIMEOUT(std::count_if(steps.cbegin(), steps.cend(),
                                  [](const QList<QVariant>& step) { return step.first().toInt() == 0; }),
        long(progress), 5000);

    // The sequence ends instead of waiting for a report that never comes.
    QVERIFY(bench->replug(motherboard(2)));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 5000);
    QCOMPARE(done.first().first().toBool(), false);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!child<QPushButton>("programButton")->isEnabled());
    // Either the page notices the board leaving first, or the sequence finds
    // its next step cannot start and reports the failure itself.
    if (answer.titles.isEmpty())
        QCOMPARE(child<QLabel>("statusLabel")->text(),
            QString("Board 1 was disconnected while its module was being programmed."));
    else
        QCOMPARE(answer.titles, QStringList { "Programming failed" });

    // Back on the bus, the page works again.
    QVERIFY(bench->replug(motherboard(1) + motherboard(2)));
    QVERIFY(child<QPushButton>("programButton")->isEnabled());
    bool success = false;
    QVERIFY(runProgram(&success));
    QVERIFY(success);
}

void TestModuleProgrammer::pageRemembersFilePerBoard()
{
    const QString hex = bench->addDemoModule();
    openPage(1);
    child<QComboBox>("slotCombo")->setCurrentIndex(1);
    child<QLineEdit>("pathEdit")->setText(hex);
    bool success = false;
    QVERIFY(runProgram(&success));

    const QString store = bench->filePath("settings.ini");
    {
        QSettings settings(store, QSettings::IniFormat);
        plugin->saveSettings(&settings);
    }
    QSettings settings(store, QSettings::IniFormat);
    QCOMPARE(settings.value("moduleProgrammer/board1/file").toString(), QDir::toNativeSeparators(hex));
    QCOMPARE(settings.value("moduleProgrammer/board1/slot").toInt(), 1);

    // A later run starts from the store: each board gets its own file.
    settings.setValue("moduleProgrammer/board2/file", "/elsewhere/other.hex");
    QSettings empty(bench->filePath("empty.ini"), QSettings::IniFormat);
    plugin->loadSettings(&empty);
    QCOMPARE(openPage(1)->findChild<QLineEdit*>("pathEdit")->text(), QString());
    plugin->loadSettings(&settings);
    QCOMPARE(openPage(1)->findChild<QLineEdit*>("pathEdit")->text(), QDir::toNativeSeparators(hex));
    QCOMPARE(child<QComboBox>("slotCombo")->currentData().toInt(), 1);
    QCOMPARE(openPage(2)->findChild<QLineEdit*>("pathEdit")->text(), QString("/elsewhere/other.hex"));
}

void TestModuleProgrammer::dropOnPage_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("hex file") << QUrl::fromLocalFile("/data/module.hex") << true;
    QTest::newRow("ihx in capitals") << QUrl::fromLocalFile("/data/MODULE.IHX") << true;
    QTest::newRow("text file") << QUrl::fromLocalFile("/data/module.txt") << false;
    QTest::newRow("web address") << QUrl("http://example.org/module.hex") << false;
}

void TestModuleProgrammer::dropOnPage()
{
    QFETCH(QUrl, url);
    QFETCH(bool, accepted);
    openPage(1);
    QMimeData mime;
    mime.setUrls({ url });
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &drop);
    QCOMPARE(child<QLineEdit>("pathEdit")->text(), accepted ? QDir::toNativeSeparators(url.toLocalFile()) : QString());
}

void TestModuleProgrammer::fileOpenEntry()
{
    QMenu others;
    plugin->populateMenu(WidgetFactory::MenuFileNew, &others);
    QVERIFY(others.actions().isEmpty());

    QMenu open;
    plugin->populateMenu(WidgetFactory::MenuFileOpen, &open);
    QCOMPARE(open.actions().size(), 1);
    QAction* action = open.actions().first();
    QCOMPARE(action->text(), QString("HEX file..."));

    QSignalSpy requests(WidgetSignalBridge::instance(), &WidgetSignalBridge::widgetChange);
    QVERIFY(bench->replug("[boot]\nid=2\ntype=4\n" + motherboard(7) + motherboard(5)));
    action->trigger();
    QCOMPARE(requests.count(), 1);
    QCOMPARE(requests.first(), (QVariantList { int(KestrixStudio::WidgetTypeFlash), 5, 0 }));

    // No motherboard: the user is told, no page is requested.
    QVERIFY(bench->replug(QString()));
    ModalAnswer answer(QMessageBox::Ok);
    action->trigger();
    QCOMPARE(requests.count(), 1);
    QVERIFY(answer.seen().seen);
    QCOMPARE(answer.seen().title, QString("No board connected"));
}

void TestModuleProgrammer::helpDocuments_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("contains");
    QTest::newRow("document") << "moduleprogrammer/doc/index"
                              << "<title>Kestrix Studio - Module programmer</title>";
    QTest::newRow("document with suffix") << "moduleprogrammer/doc/index.html"
                                          << "<h1>Module programmer</h1>";
    QTest::newRow("command-line anchor") << "moduleprogrammer/doc/index#commandline"
                                         << "<a name=\"commandline\">";
    QTest::newRow("style sheet") << "moduleprogrammer/css/moduleprogrammer.css"
                                 << "h1";
    QTest::newRow("unknown document") << "moduleprogrammer/doc/missing" << QString();
    QTest::newRow("the shell's document") << "general/doc/index" << QString();
    QTest::newRow("two parts") << "moduleprogrammer/index" << QString();
}

void TestModuleProgrammer::helpDocuments()
{
    QFETCH(QString, key);
    QFETCH(QString, contains);
    const QVariant answer = plugin->helpResource(key);
    QCOMPARE(answer.isValid(), !contains.isEmpty());
    if (!contains.isEmpty())
        QVERIFY(answer.toByteArray().contains(contains.toUtf8()));

    // The document links its style sheet by a key the plug-in answers.
    if (key == "moduleprogrammer/doc/index") {
        QVERIFY(answer.toByteArray().contains("href=\"moduleprogrammer/css/moduleprogrammer.css\""));
        QTreeWidgetItem root;
        WidgetFactory::populateHelp(&root);
        QCOMPARE(root.child(0)->childCount(), 1);
        QCOMPARE(root.child(0)->child(0)->text(0), QString("Module programmer"));
        QCOMPARE(root.child(0)->child(0)->data(0, Qt::UserRole).toString(), key);
        QCOMPARE(root.child(1)->childCount(), 1);
        QCOMPARE(root.child(1)->child(0)->data(0, Qt::UserRole).toString(), key + "#commandline");
        QCOMPARE(root.child(2)->childCount(), 0);
    }
}

void TestModuleProgrammer::closeRequest_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("result");
    QTest::newRow("idle") << false << int(QMessageBox::NoButton) << 0;
    QTest::newRow("programming, user stays") << true << int(QMessageBox::No) << 2;
    QTest::newRow("programming, user closes") << true << int(QMessageBox::Yes) << 1;
}

void TestModuleProgrammer::closeRequest()
{
    QFETCH(bool, running);
    QFETCH(int, button);
    QFETCH(int, result);

    bench->open(motherboard(1), 400);
    openPage(1);
    child<QLineEdit>("pathEdit")->setText(bench->addDemoModule());
    QSignalSpy done(page, &BaseWidget::programmingDone);
    if (running)
        child<QPushButton>("programButton")->click();

    ModalAnswer answer { QMessageBox::StandardButton(button) };
    QCOMPARE(plugin->closeRequest(), result);
    QCOMPARE(answer.seen().seen, running);
    if (running) {
        QCOMPARE(answer.seen().title, QString("Module programming in progress"));
        QVERIFY(answer.seen().text.contains("board 1"));
        QVERIFY(done.wait(5000));
    }
    QCOMPARE(plugin->closeRequest(), 0);
}

void TestModuleProgrammer::commandLineLeftToOthers()
{
    const QStringList arguments { "kestrix-studio", "-kt39support", "-board", "1" };
    QCOMPARE(plugin->processCommandLine(arguments), KestrixStudio::NoOptionsProcessedInCommandline);
}

QTEST_MAIN(TestModuleProgrammer)
#include "tst_moduleprogrammer.moc"
