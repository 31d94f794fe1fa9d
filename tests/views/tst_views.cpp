// The views beside the page area: the shared selection of the device and
// features trees, the log list with its file, and the status colours.

#include "basewidget.h"
#include "deviceview.h"
#include "evaluationview.h"
#include "logview.h"
#include "statuscolors.h"
#include "testsupport.h"

#include <QHBoxLayout>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QtTest>

// Reaches the one-way lock so every test starts unlocked.
struct SelectionLockReset : MenuView {
    static void unlock() { selectionLocked = false; }
};

class TestViews : public QObject
{
    Q_OBJECT

    QScopedPointer<QWidget> host;
    EvaluationView* features = nullptr;
    DeviceView* devices = nullptr;
    QScopedPointer<QSignalSpy> featureSpy, deviceSpy;
    QHash<QString, QTreeWidgetItem*> items;
    QScopedPointer<QTemporaryDir> dir;
    QString logName;

    // Presses an item with the mouse and returns the page request it caused, if any.
    QVariantList press(const QString& key)
    {
        QTreeWidgetItem* target = items.value(key);
        auto* view = static_cast<MenuView*>(target->treeWidget());
        const QRect rect = view->visualItemRect(target);
        if (rect.isValid())
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
        else // a hidden item has no rectangle; deliver what a press would
            emit view->itemPressed(target, 0);
        QVariantList request;
        for (QSignalSpy* spy : { featureSpy.data(), deviceSpy.data() })
            while (!spy->isEmpty())
                request += spy->takeFirst();
        return request;
    }

    // True when the item is the shared selection and the only highlighted item in both trees.
    bool highlighted(const QString& key) const
    {
        const QList<QTreeWidgetItem*> all = features->selectedItems() + devices->selectedItems();
        return MenuView::currentSelectedItem() == items.value(key) && all == QList<QTreeWidgetItem*> { items[key] };
    }

    // Read as text: line ends become '\n'.
    QStringList fileLines() const
    {
        return QString::fromLocal8Bit(TestSupport::readFile(logName)).remove('\r').split('\n');
    }

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }

    void init()
    {
        dir.reset(new QTemporaryDir);
        logName = dir->filePath("log.txt");
        // Built in the main window's order: features first, then devices.
        host.reset(new QWidget);
        auto* layout = new QHBoxLayout(host.data());
        layout->addWidget(features = new EvaluationView);
        layout->addWidget(devices = new DeviceView(1011));
        // Items as a plug-in would add them through populateView.
        items.clear();
        items["board"] = BaseWidget::createMenuItem("Board 3", devices->categoryItem(3), 1, 3, 0);
        items["range"] = BaseWidget::createMenuItem("Range test", features->categoryItem(0), 9, 0, 2);
        items["disabled"] = BaseWidget::createMenuItem("Sniffer", features->categoryItem(4), 8, 0, 0);
        items["hidden"] = BaseWidget::createMenuItem("Secret", devices->categoryItem(13), 2, 6, 0);
        BaseWidget::setItemView(items["disabled"], KestrixStudio::WidgetRootWithoutVisibleChildren);
        BaseWidget::setItemView(items["hidden"], KestrixStudio::WidgetHide);
        for (MenuView* view : QList<MenuView*> { features, devices }) {
            view->expandAll();
            for (int i = 0; i < view->topLevelItemCount(); ++i)
                items[view->topLevelItem(i)->text(0)] = view->topLevelItem(i);
        }
        host->resize(700, 500);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.data()));
        featureSpy.reset(new QSignalSpy(features, &MenuView::itemChange));
        deviceSpy.reset(new QSignalSpy(devices, &MenuView::itemChange));
    }

    void cleanup()
    {
        host.reset();
        SelectionLockReset::unlock();
        // Destroying a menu view resets the shared selection.
        QVERIFY(!MenuView::currentSelectedItem() && !MenuView::currentStartItem());
    }

    void press_data()
    {
        QTest::addColumn<QString>("before"); // pressed first, if any
        QTest::addColumn<bool>("ignored"); // the highlight stays on the item pressed before
        QTest::addColumn<QString>("pressed");
        QTest::addColumn<QVariantList>("request");
        QTest::newRow("start item") << QString() << false << "Motherboards" << QVariantList();
        QTest::newRow("device item") << QString() << false << "board" << QVariantList { 1, 3, 0 };
        QTest::newRow("feature item") << QString() << false << "range" << QVariantList { 9, 0, 2 };
        QTest::newRow("second press") << "board" << false << "board" << QVariantList();
        QTest::newRow("other tree") << "board" << false << "range" << QVariantList { 9, 0, 2 };
        QTest::newRow("back to start") << "range" << false << "Motherboards" << QVariantList { 5, 0, 0 };
        for (const char* before : { "board", "range" })
            for (const char* pressed : { "KT61 evaluation boards", "2.4 GHz", "disabled", "hidden", "Internal" })
                QTest::addRow("%s after %s", pressed, before) << before << true << pressed << QVariantList();
    }

    void press()
    {
        QFETCH(QString, before);
        QFETCH(bool, ignored);
        QFETCH(QString, pressed);
        QFETCH(QVariantList, request);
        if (!before.isEmpty())
            QCOMPARE(press(before).size(), 3);
        QCOMPARE(press(pressed), request);
        QVERIFY(highlighted(ignored ? before : pressed));
    }

    // Arrows only move; Return, Enter and Space open the current item as a press does.
    void keyboard_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QVariantList>("request");
        QTest::newRow("down arrow") << int(Qt::Key_Down) << 0 << QVariantList();
        QTest::newRow("return") << int(Qt::Key_Return) << 0 << QVariantList { 1, 3, 0 };
        QTest::newRow("keypad enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << QVariantList { 1, 3, 0 };
        QTest::newRow("space") << int(Qt::Key_Space) << 0 << QVariantList { 1, 3, 0 };
    }
    void keyboard()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        devices->setFocus();
        devices->setCurrentItem(items["board"], 0, QItemSelectionModel::NoUpdate);
        QTest::keyClick(devices, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVariantList request;
        while (!deviceSpy->isEmpty())
            request += deviceSpy->takeFirst();
        QTEST(request, "request");
        QCOMPARE(MenuView::currentSelectedItem(), items[request.isEmpty() ? "Motherboards" : "board"]);
    }

    void lockSelection()
    {
        MenuView::lockSelection();
        for (const char* key : { "board", "range", "KT61 evaluation boards" })
            QVERIFY(press(key).isEmpty());
        QVERIFY(highlighted("Motherboards"));
    }

    void secondDeviceView()
    {
        press("board");
        QScopedPointer<DeviceView> second(new DeviceView(1011));
        QCOMPARE(MenuView::currentStartItem(), items["Motherboards"]);
        QVERIFY(highlighted("board") && second->selectedItems().isEmpty());
        delete devices;
        QVERIFY(!MenuView::currentStartItem() && !MenuView::currentSelectedItem());
        DeviceView third(1011);
        QCOMPARE(MenuView::currentStartItem(), third.topLevelItem(0));
        QCOMPARE(third.selectedItems(), QList<QTreeWidgetItem*> { third.topLevelItem(0) });
        QVERIFY(second->selectedItems().isEmpty());
    }

    void message_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("line"); // the text follows the first ": "
        QTest::addColumn<QStringList>("rows");
        using L = QStringList;
        QTest::newRow("unknown") << 7 << ": odd" << L { "odd" };
        QTest::newRow("empty status") << 1 << "STATUS: " << L { "" };
        QTest::newRow("placeholders") << 1 << "STATUS: 50%1 of %2" << L { "50%1 of %2" };
        QTest::newRow("non-ASCII") << 2 << "ERROR: Modul übersprungen" << L { "Modul übersprungen" };
        // Every line shows; the ones after the first are indented.
        QTest::newRow("lines") << 2 << "ERROR: Verify failed\nat 0x0040:\r\n\n  expected 00\n"
                               << L { "Verify failed", "    at 0x0040:", "    ", "      expected 00" };
        QTest::newRow("lines, debug") << 0 << "DEBUG: a\nb" << L();
    }

    void message()
    {
        QFETCH(int, level);
        QFETCH(QString, line);
        QFETCH(QStringList, rows);
        const QString text = line.section(": ", 1);
        LogView view(logName, nullptr);
        view.message(static_cast<KestrixStudio::LogLevel>(level), text);
        // Read while the view is alive: every line is flushed at once.
        QCOMPARE(fileLines().mid(2).join('\n'), QString(line).remove('\r') + '\n');
        QStringList shown;
        for (int i = 0; i < view.count(); ++i)
            shown << view.item(i)->text();
        QCOMPARE(shown, rows);
        QCOMPARE(view.currentRow(), view.count() - 1);
    }

    void twoConstructionsAppend()
    {
        for (const char* run : { "first", "second" })
            LogView(logName, nullptr).message(KestrixStudio::LogStatus, run);
        QStringList lines = fileLines();
        lines.replaceInStrings(QRegularExpression("^={5}\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d={6}$"), "header");
        QCOMPARE(lines, (QStringList { "", "header", "STATUS: first", "", "header", "STATUS: second", "" }));
    }

    // A log file that cannot be written: the list says which and why, first
    // or when it happens, once; messages keep coming to the list.
    void unwritable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing folder") << "missing/log.txt";
        QTest::newRow("disk full") << "/dev/full";
    }

    void unwritable()
    {
        QFETCH(QString, name);
        const QString path = dir->filePath(name);
        LogView view(path, nullptr);
        view.message(KestrixStudio::LogError, "still listed");
        view.message(KestrixStudio::LogDebug, "goes nowhere");
        view.message(KestrixStudio::LogStatus, "listed too");
        QCOMPARE(view.count(), 3);
        const QString said = view.item(0)->text();
        QVERIFY2(said.startsWith(QString("The log file %1 cannot be written: ").arg(path)) && !said.endsWith(": "),
            qPrintable(said));
        QCOMPARE(view.item(2)->text(), QStringLiteral("listed too"));
        QVERIFY(!QFileInfo::exists(dir->filePath("missing")));
    }

    // Status colours stay readable (WCAG 4.5:1) on Qt's default light palette
    // and on a dark Fusion palette, against the window and the table cells alike.
    void readable_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::newRow("light") << QStyleFactory::create("Fusion")->standardPalette();
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
        dark.setColor(QPalette::WindowText, Qt::white);
        dark.setColor(QPalette::Base, QColor(0x2a, 0x2a, 0x2a));
        dark.setColor(QPalette::Text, Qt::white);
        QTest::newRow("dark Fusion") << dark;
    }
    void readable()
    {
        QFETCH(QPalette, palette);
        for (const QColor& colour : { StatusColors::success(palette), StatusColors::failure(palette) }) {
            for (QPalette::ColorRole role : { QPalette::Window, QPalette::Base }) {
                const double ratio = StatusColors::contrast(colour, palette.color(role));
                QVERIFY2(ratio >= 4.5,
                    qPrintable(QString("%1 on %2: %3").arg(colour.name(), palette.color(role).name()).arg(ratio)));
            }
        }
        // Still green and red.
        QVERIFY(StatusColors::success(palette).green() > StatusColors::success(palette).red());
        QVERIFY(StatusColors::failure(palette).red() > StatusColors::failure(palette).green());
    }

    void contrastOfKnownPairs()
    {
        QCOMPARE(qRound(StatusColors::contrast(Qt::black, Qt::white) * 10), 210);
        QCOMPARE(qRound(StatusColors::contrast(QColor(0x77, 0x77, 0x77), Qt::white) * 100), 448);
    }
};

QTEST_MAIN(TestViews)
#include "tst_views.moc"
