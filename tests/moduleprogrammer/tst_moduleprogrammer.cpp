#include "applicationdirectory.h"
#include "basewidget.h"
#include "deviceview.h"
#include "hexmodel.h"
#include "hexwriter.h"
#include "km4200.h"
#include "programmerfixture.h"
#include "studiopluginprototype.h"
#include "testsupport.h"
#include "widgetfactory.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>

using TestSupport::ModalAnswer;

// The plug-in as the shell loads it, against a simulated bench.
class TestModuleProgrammer : public QObject
{
    Q_OBJECT

    QTemporaryDir pluginDir;
    StudioPluginPrototype* plugin = nullptr;
    std::unique_ptr<Bench> bench;
    QPointer<BaseWidget> page;
    Dialogs dialogs; // failures end in a message box

    QString status() const { return page->findChild<QLabel*>("statusLabel")->text(); }
    // A column of the All boards table, "" for an empty cell.
    QStringList column(int column) const
    {
        auto* table = page->findChild<QTableWidget*>("boardTable");
        QStringList texts;
        for (int row = 0; row < table->rowCount(); ++row)
            texts << (table->item(row, column) ? table->item(row, column)->text() : QString());
        return texts;
    }
    QPushButton* programButton() const { return page->findChild<QPushButton*>("programButton"); }
    // Board 1's page, or with index 0 the All boards page.
    void openPage(const QString& hex, int slot = 0, int index = 1)
    {
        page = WidgetFactory::createWidget(KestrixStudio::WidgetTypeFlash, 0, index);
        // As the main window wires the page it shows.
        connect(ConnectionManager::Instance(), &ConnectionManager::updated, page, &BaseWidget::boardUpdate);
        page->show();
        if (auto* combo = page->findChild<QComboBox*>("slotCombo"))
            combo->setCurrentIndex(combo->findData(slot));
        page->findChild<QLineEdit*>("pathEdit")->setText(QDir::toNativeSeparators(hex));
    }

private slots:
    void cleanupTestCase() { WidgetFactory::unloadPlugins(); }

    void initTestCase()
    {
        TestSupport::enterTestMode();
        QVERIFY(QFile::copy(QStringLiteral(MODULEPROGRAMMER_PLUGIN), pluginDir.filePath("moduleprogrammer.so")));
        WidgetFactory::loadPlugins(pluginDir.path());
        QCOMPARE(WidgetFactory::loadedPlugins().size(), 1);
        plugin = WidgetFactory::loadedPlugins().first();
    }

    void init()
    {
        bench = std::make_unique<Bench>();
        // The application folder lies apart from the files, as when installed.
        QVERIFY(QDir().mkpath(bench->filePath("app/bin")));
        ApplicationDirectory::setPathForTesting(bench->filePath("app/bin"));
        bench->open(motherboard(1, "externalModule=true") + motherboard(2));
    }

    void cleanup()
    {
        delete page;
        bench.reset();
    }

    void boardItemsFollowHotPlug_data()
    {
        QTest::addColumn<QString>("devices");
        QTest::addColumn<QString>("items");
        QTest::newRow("board 1 swapped for 3") << motherboard(3) + motherboard(2) << ",Board 2,Board 3";
        QTest::newRow("2 in bootloader") << motherboard(1) + QString("[boot]\nid=2\ntype=4") << ",Board 1";
        QTest::newRow("all boards gone") << QString() << QString();
    }

    void boardItemsFollowHotPlug()
    {
        QFETCH(QString, devices);
        QFETCH(QString, items);
        DeviceView view(DeviceView::ShowMotherboards);
        QTreeWidgetItem* heading = view.categoryItem(WidgetFactory::MenuMotherboards);
        BaseWidget::createMenuItem("Other plug-in's board", heading, KestrixStudio::WidgetTypeBoard, 9, 0);
        WidgetFactory::populateView(WidgetFactory::MenuMotherboards, &view);

        // The selected item leaves the tree but must stay alive for the shared selection.
        emit view.itemPressed(heading->child(3), 0);
        QVERIFY(bench->replug(devices));
        QStringList texts;
        for (int i = 0; i < heading->childCount(); ++i)
            texts << heading->child(i)->text(0);
        QCOMPARE(texts.join(','), "Other plug-in's board,All boards" + items);
        QCOMPARE(MenuView::currentSelectedItem()->text(0), QString("Board 2"));
    }

    // The external module, then the same file again; a file that does not
    // parse never reaches the module. Failing runs are the other suites'.
    void pageProgramsModule()
    {
        const int resets = board(1)->resetCount();
        openPage(bench->addFile("demo.hex"), MotherBoard::SlotExternalModule);
        programButton()->click();
        QVERIFY(!programButton()->isEnabled());
        QTRY_VERIFY2(status().contains("programmed into the external module"), qPrintable(status()));
        QVERIFY(programButton()->isEnabled());
        QCOMPARE(board(1)->resetCount(), resets + 1);

        // Equal content, which proves the module holds the file: the module reports no programming; still reset.
        programButton()->click();
        QTRY_VERIFY(status().contains("already holds demo.hex; nothing was programmed"));
        QCOMPARE(board(1)->resetCount(), resets + 2);

        page->findChild<QLineEdit*>("pathEdit")->setText(bench->addFile("bad.hex", badHex));
        programButton()->click();
        QVERIFY2(status().contains("bad.hex is not a valid HEX file: line 1"), qPrintable(status()));
        QCOMPARE(board(1)->resetCount(), resets + 2);
    }

    void boardLeavesWhileVerifying()
    {
        bench->open(motherboard(1) + motherboard(2), 150);
        openPage(bench->addFile("demo.hex"));
        QSignalSpy progress(page, &BaseWidget::progressUpdated);
        programButton()->click();
        // Each step reports 0 first: the third is verifying.
        QTRY_COMPARE_WITH_TIMEOUT(progress.count(QVariantList { 0 }), 3, 5000);

        // The sequence ends instead of waiting for a report that never comes.
        QVERIFY(bench->replug(motherboard(2)));
        QTRY_VERIFY2(status().contains("disconnected"), qPrintable(status()));
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(!programButton()->isEnabled());

        // Back on the bus, the page works again.
        QVERIFY(bench->replug(motherboard(1) + motherboard(2)));
        programButton()->click();
        QTRY_VERIFY(status().contains("and verified") || status().contains("already holds"));
    }

    // Every connected board at once: one programs, one fails its verification, one leaves mid-run, one comes.
    void allBoardsPage()
    {
        bench->open(
            motherboard(1) + motherboard(3, "verifyStatus=5") + motherboard(4, "modules=1") + motherboard(5), 200);
        const QString hex = bench->addFile("demo.hex");
        openPage(hex, 0, 0);

        programButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(column(2).value(3), QString("programming"), 5000);
        QVERIFY(bench->replug(
            motherboard(1) + motherboard(3, "verifyStatus=5") + motherboard(4, "modules=1") + motherboard(7)));
        QTRY_VERIFY_WITH_TIMEOUT(programButton()->isEnabled(), 10000);
        QCOMPARE(column(0), QStringList({ "1", "3", "4", "5", "7" }));
        QCOMPARE(column(4),
            QStringList({ "programmed", "failed: While verifying: Verification failed (status 5).",
                "failed: Board 4 has no module (slot 0).", "disconnected: Board 5 left the bus.",
                "Plugged in during the run; not programmed." }));
        QCOMPARE(status(), QString("Done: 1 disconnected, 2 failed, 1 programmed."));

        const QString path = bench->filePath("report.csv");
        bool saved = false;
        QVERIFY(QMetaObject::invokeMethod(page, "saveReport", Q_RETURN_ARG(bool, saved), Q_ARG(QString, path)));
        QVERIFY(saved);
        QFile report(path);
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = report.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines.first(), "board,module,slot,file,file SHA-256,result,reason,start,end");
        QFile file(hex);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray digest = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
        const QList<QByteArray> first = lines.at(1).split(',');
        QCOMPARE(first.mid(0, 3), (QList<QByteArray> { "1", "KT24 module", "0" }));
        QCOMPARE(first.mid(4, 3), (QList<QByteArray> { digest, "programmed", "" }));
        QVERIFY(QDateTime::fromString(first.at(7), Qt::ISODateWithMs)
            <= QDateTime::fromString(first.at(8), Qt::ISODateWithMs));
        QVERIFY(lines.at(5).startsWith("7,KT24 module,0,") && lines.at(5).contains(",not programmed,"));
        // Times say their offset from UTC.
        const QRegularExpression offset("[+-]\\d\\d:\\d\\d$|Z$");
        QVERIFY2(offset.match(QString(first.at(7))).hasMatch(), first.at(7).constData());

        // Board 5 returns with another module: its row still names the module of the run.
        QVERIFY(bench->replug(motherboard(1) + motherboard(3, "verifyStatus=5") + motherboard(4, "modules=1")
            + motherboard(5, "module=KT99 module") + motherboard(7)));
        QCOMPARE(column(1).value(3), QString("KT24 module"));
        QCOMPARE(column(2).value(3), QString("reconnected"));

        // Stop ends every run at once; nothing was written while comparing.
        programButton()->click();
        page->findChild<QPushButton*>("stopButton")->click();
        QVERIFY(programButton()->isEnabled());
        QCOMPARE(column(4).value(3), QString("cancelled: Stopped before anything was written."));
    }

    // While the All boards page programs board 1, Board 1's page is refused
    // before it touches the module: the run goes on with its own image.
    void refusedWhileAllBoardsRuns()
    {
        bench->open(motherboard(1) + motherboard(2), 300);
        const QString hex = bench->addFile("demo.hex");
        openPage(hex, 0, 0);
        QPointer<BaseWidget> allBoards = page;
        programButton()->click();

        HexModel other;
        other.write(0x40, QByteArray(500, 'O'));
        openPage(bench->addFile("other.hex", HexWriter::write(other)));
        programButton()->click();
        QTRY_VERIFY2(
            status().contains("Board 1's module is being programmed by the All boards page"), qPrintable(status()));
        QVERIFY(programButton()->isEnabled());

        page = allBoards;
        QTRY_VERIFY_WITH_TIMEOUT(programButton()->isEnabled(), 10000);
        QCOMPARE(status(), QString("Done: 2 programmed."));
        HexModel image;
        QCOMPARE(ProgrammingEngine::readHexFile(hex, &image).outcome, ProgrammingEngine::OutcomeNone);
        QVERIFY(memory(1).sameContent(image));
    }

    // Armed, the page programs each connection once as it comes (the same ID
    // twice is two runs), leaves connected boards alone and ends at its limit.
    // Ending on a changed file is the command-line suite's.
    void allBoardsProduction()
    {
        const QString hex = bench->addFile("demo.hex");
        bench->open(motherboard(1));
        openPage(hex, 0, 0);
        // Runs only, as board=result; idle boards are listed too once the arming has ended.
        const auto listed = [this] {
            QStringList texts;
            for (int row = 0; row < column(4).size(); ++row) {
                if (!column(4).at(row).isEmpty())
                    texts << column(0).at(row) + "=" + column(4).at(row).section(':', 0, 0);
            }
            return texts;
        };
        page->findChild<QSpinBox*>("limitSpin")->setValue(2);
        auto* armed = page->findChild<QCheckBox*>("productionSwitch");
        armed->click();
        QVERIFY(armed->isChecked());
        QVERIFY(page->findChild<QLabel*>("armedLabel")->text().startsWith("Armed: demo.hex"));
        QVERIFY(listed().isEmpty()); // board 1 was there before: left alone

        QVERIFY(bench->replug(motherboard(1) + motherboard(2)));
        QTRY_COMPARE(listed(), QStringList { "2=programmed" });
        QVERIFY(armed->isChecked());
        QVERIFY(bench->replug(motherboard(1)));
        QVERIFY(bench->replug(motherboard(1) + motherboard(2)));
        QTRY_VERIFY(!armed->isChecked());
        QVERIFY2(status().contains("limit"), qPrintable(status()));
        QTRY_VERIFY(programButton()->isEnabled());
        QCOMPARE(listed(), (QStringList { "2=programmed", "2=unchanged" }));
        QVERIFY(memory(1).isEmpty());
    }

    // Every control a screen reader can reach has a name; the board's own say which board.
    void accessibleNames_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("index");
        QTest::newRow("Board 1's page") << int(KestrixStudio::WidgetTypeFlash) << 1;
        QTest::newRow("All boards page") << int(KestrixStudio::WidgetTypeFlash) << 0;
        QTest::newRow("overview") << int(KestrixStudio::WidgetTypeDefault) << 0;
        QTest::newRow("default settings") << int(KestrixStudio::WidgetTypeDefaultSettings) << 0;
    }
    void accessibleNames()
    {
        QFETCH(int, type);
        QFETCH(int, index);
        if (type == KestrixStudio::WidgetTypeFlash) {
            openPage(bench->addFile("demo.hex"), 0, index);
        } else {
            page = WidgetFactory::createWidget(type, 0, 1);
            page->show();
        }
        QStringList unnamed;
        for (QWidget* widget : page->findChildren<QWidget*>()) {
            // A spin box's own field is part of the spin box.
            if (widget->focusPolicy() == Qt::NoFocus || !widget->isVisibleTo(page)
                || qobject_cast<QAbstractSpinBox*>(widget->parentWidget()))
                continue;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            if (accessible && accessible->text(QAccessible::Name).trimmed().isEmpty())
                unnamed << QString("%1 %2").arg(widget->metaObject()->className(), widget->objectName());
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
        if (type == KestrixStudio::WidgetTypeFlash && index == 0)
            QCOMPARE(page->findChild<QProgressBar*>()->accessibleName(), QString("Board 1 progress"));
    }

    // A .hex or .ihx file dropped anywhere on either programmer page becomes its file; not while it programs.
    void dropFile_data()
    {
        QTest::addColumn<int>("index"); // 1 Board 1's page, 0 the All boards page
        QTest::addColumn<QString>("dropped");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("taken");
        QTest::newRow("hex on the board page") << 1 << "b.hex" << false << true;
        QTest::newRow("ihx on the All boards page") << 0 << "b.IHX" << false << true;
        QTest::newRow("not a HEX file") << 1 << "b.txt" << false << false;
        QTest::newRow("while programming") << 0 << "b.hex" << true << false;
    }
    void dropFile()
    {
        QFETCH(int, index);
        QFETCH(QString, dropped);
        QFETCH(bool, busy);
        bench->open(motherboard(1), 400);
        openPage(bench->addFile("a.hex"), 0, index);
        if (busy)
            programButton()->click();
        QMimeData mime;
        mime.setUrls({ QUrl::fromLocalFile(bench->filePath(dropped)) });
        // As a drag arrives: entered first, then dropped.
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(page, &enter);
        QCOMPARE(enter.isAccepted(), !busy && !dropped.endsWith(".txt"));
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(page, &drop);
        const QString path = page->findChild<QLineEdit*>("pathEdit")->text();
        QTEST(path == QDir::toNativeSeparators(bench->filePath(dropped)), "taken");
        if (busy)
            page->findChild<QPushButton*>("stopButton")->click();
    }

    // The whole way with the keyboard alone, in the real window: from
    // start-up to Board 2's module programmed.
    void keyboardOnly()
    {
        bench->open(motherboard(1) + motherboard(2));
        const QString hex = QDir::toNativeSeparators(bench->addFile("demo.hex"));
        KM4200 window(KM4200::ModeNormal);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto press = [&](Qt::Key key) {
            QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &window;
            QTest::keyClick(target, key);
        };
        auto* tree = window.findChild<DeviceView*>();
        for (int i = 0; i < 40 && !tree->hasFocus(); ++i)
            press(Qt::Key_Tab);
        QVERIFY(tree->hasFocus());
        for (int i = 0; i < 40 && (!tree->currentItem() || tree->currentItem()->text(0) != "Board 2"); ++i) {
            if (tree->currentItem() && tree->currentItem()->childCount() && !tree->currentItem()->isExpanded())
                press(Qt::Key_Right);
            press(Qt::Key_Down);
        }
        QCOMPARE(tree->currentItem()->text(0), QString("Board 2"));
        press(Qt::Key_Return);
        QLineEdit* path = nullptr;
        QTRY_VERIFY((path = window.findChild<QLineEdit*>("pathEdit")) && path->isVisible());
        for (int i = 0; i < 40 && !path->hasFocus(); ++i)
            press(Qt::Key_Tab);
        QVERIFY(path->hasFocus());
        path->selectAll();
        QTest::keyClicks(path, hex);
        press(Qt::Key_Return);
        auto* status = window.findChild<QLabel*>("statusLabel");
        QTRY_VERIFY_WITH_TIMEOUT(status->text().contains("programmed into the module of board 2"), 10000);
        QVERIFY(memory(2).byteCount() > 0);
    }

    void closeRequestWhileProgramming()
    {
        bench->open(motherboard(1), 400);
        openPage(bench->addFile("demo.hex"));
        programButton()->click();
        ModalAnswer stay(QMessageBox::No);
        QCOMPARE(plugin->closeRequest(), 2);
        ModalAnswer leave(QMessageBox::Yes);
        QCOMPARE(plugin->closeRequest(), 1);
        // Either answer lets the run finish.
        QTRY_VERIFY(status().contains("programmed into the module"));
        QCOMPARE(plugin->closeRequest(), 0);
    }
};

QTEST_MAIN(TestModuleProgrammer)
#include "tst_moduleprogrammer.moc"
