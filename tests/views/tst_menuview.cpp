#include "basewidget.h"
#include "deviceview.h"
#include "evaluationview.h"
#include "testsupport.h"

#include <QHBoxLayout>
#include <QSignalSpy>
#include <QtTest>

// Reaches the one-way lock so every test starts unlocked.
struct SelectionLockReset : MenuView {
    static void unlock() { selectionLocked = false; }
};

class TestMenuView : public QObject
{
    Q_OBJECT

    QScopedPointer<QWidget> host;
    EvaluationView* features = nullptr;
    DeviceView* devices = nullptr;
    QScopedPointer<QSignalSpy> featureSpy, deviceSpy;
    QHash<QString, QTreeWidgetItem*> items;

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

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }

    void init()
    {
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
};

QTEST_MAIN(TestMenuView)
#include "tst_menuview.moc"
