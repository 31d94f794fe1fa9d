#include "basewidget.h"
#include "deviceview.h"
#include "evaluationview.h"
#include "testsupport.h"

#include <QHBoxLayout>
#include <QSignalSpy>
#include <QtTest>

namespace
{

// Reaches the one-way lock so every test starts unlocked.
struct SelectionLockReset : MenuView {
    static void unlock() { selectionLocked = false; }
};

QTreeWidgetItem* topLevel(QTreeWidget* tree, const QString& text)
{
    const QList<QTreeWidgetItem*> found = tree->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.first();
}

using Triple = QList<QVariant>;

} // namespace

class TestMenuView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::enterTestMode(); }
    void init();
    void cleanup();

    void startState();
    void masks_data();
    void masks();
    void pressPageItems();
    void pressIgnored_data();
    void pressIgnored();
    void highlightMovesBetweenTrees();
    void keyboardDoesNotChangePage();
    void headingWithoutSelection();
    void secondDeviceView();
    void categories_data();
    void categories();
    void lockSelection();

private:
    bool press(MenuView* view, QTreeWidgetItem* item);
    QTreeWidgetItem* item(const QString& key) const;

    QWidget* host = nullptr;
    EvaluationView* features = nullptr;
    DeviceView* devices = nullptr;
    QSignalSpy* featureSpy = nullptr;
    QSignalSpy* deviceSpy = nullptr;
    QHash<QString, QTreeWidgetItem*> pluginItems;
};

void TestMenuView::init()
{
    // Built in the main window's order: features first, then devices.
    host = new QWidget;
    auto* layout = new QHBoxLayout(host);
    features = new EvaluationView;
    devices = new DeviceView(1011);
    layout->addWidget(features);
    layout->addWidget(devices);

    // Items as a plug-in would add them through populateView.
    pluginItems.clear();
    pluginItems["board"] = BaseWidget::createMenuItem("Board 3", devices->categoryItem(3), 1, 3, 0);
    pluginItems["flash"] = BaseWidget::createMenuItem("Flash", devices->categoryItem(12), 2, 3, 1);
    pluginItems["deviceDisabled"] = BaseWidget::createMenuItem("Old flash", devices->categoryItem(12), 2, 4, 0);
    pluginItems["deviceRoot"] = BaseWidget::createMenuItem("Group", devices->categoryItem(13), 2, 5, 0);
    pluginItems["deviceHidden"] = BaseWidget::createMenuItem("Secret", devices->categoryItem(13), 2, 6, 0);
    pluginItems["range"] = BaseWidget::createMenuItem("Range test", features->categoryItem(0), 9, 0, 2);
    pluginItems["gatt"] = BaseWidget::createMenuItem("GATT setup", features->categoryItem(4), 15, 0, 0);
    pluginItems["featureDisabled"] = BaseWidget::createMenuItem("Sniffer", features->categoryItem(4), 8, 0, 0);
    BaseWidget::setItemView(pluginItems["deviceDisabled"], KestrixStudio::WidgetEnable);
    BaseWidget::setItemView(pluginItems["deviceRoot"], KestrixStudio::WidgetRootWithVisibleChildren);
    BaseWidget::setItemView(pluginItems["deviceHidden"], KestrixStudio::WidgetHide);
    BaseWidget::setItemView(pluginItems["featureDisabled"], KestrixStudio::WidgetRootWithoutVisibleChildren);
    features->expandAll();
    devices->expandAll();

    host->resize(700, 500);
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host));
    featureSpy = new QSignalSpy(features, &MenuView::itemChange);
    deviceSpy = new QSignalSpy(devices, &MenuView::itemChange);
}

void TestMenuView::cleanup()
{
    delete featureSpy;
    delete deviceSpy;
    delete host;
    host = nullptr;
    SelectionLockReset::unlock();
    QVERIFY(!MenuView::currentSelectedItem());
    QVERIFY(!MenuView::currentStartItem());
}

QTreeWidgetItem* TestMenuView::item(const QString& key) const
{
    if (pluginItems.contains(key))
        return pluginItems.value(key);
    if (QTreeWidgetItem* heading = topLevel(devices, key))
        return heading;
    return topLevel(features, key);
}

bool TestMenuView::press(MenuView* view, QTreeWidgetItem* item)
{
    const QRect rect = view->visualItemRect(item);
    if (!rect.isValid())
        return false;
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, rect.center());
    return true;
}

void TestMenuView::startState()
{
    QTreeWidgetItem* motherboards = item("Motherboards");
    QCOMPARE(MenuView::currentSelectedItem(), motherboards);
    QCOMPARE(MenuView::currentStartItem(), motherboards);
    QVERIFY(motherboards->isSelected());
    QVERIFY(!MenuView::isSelectionLocked());
    QVERIFY(devices->isHeaderHidden());

    // Features: two expanded headings, nothing taken.
    QCOMPARE(features->topLevelItemCount(), 2);
    QCOMPARE(features->topLevelItem(0)->text(0), QString("2.4 GHz"));
    QCOMPARE(features->topLevelItem(1)->text(0), QString("Bluetooth"));
    QVERIFY(features->topLevelItem(0)->isExpanded());
    QVERIFY(features->selectedItems().isEmpty());
    QCOMPARE(deviceSpy->count() + featureSpy->count(), 0);
}

void TestMenuView::masks_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<QStringList>("visible");

    const QStringList standard { "Motherboards", "KT61 evaluation boards", "KT61 development boards",
        "KT61 development dongles", "KT62 development boards", "KT62 development dongles", "KT6x Programming" };
    QTest::newRow("1011") << 1011 << standard;
    QStringList internal = standard;
    internal.insert(1, "Internal");
    QTest::newRow("1019") << 1019 << internal;
    QTest::newRow("ftdi only") << 4 << QStringList { "FTDIBoards" };
}

void TestMenuView::masks()
{
    QFETCH(int, mask);
    QFETCH(QStringList, visible);

    DeviceView view(mask);
    const QStringList order { "Motherboards", "Internal", "FTDIBoards", "KT61 evaluation boards",
        "KT61 development boards", "KT61 development dongles", "KT62 development boards", "KT62 development dongles",
        "KT6x Programming" };
    QCOMPARE(view.topLevelItemCount(), order.size());
    QStringList shown;
    for (int i = 0; i < order.size(); ++i) {
        QTreeWidgetItem* heading = view.topLevelItem(i);
        QCOMPARE(heading->text(0), order.at(i));
        QCOMPARE(heading->data(0, Qt::UserRole + 1).toInt(), i == 0 ? 5 : 0);
        if (!heading->isHidden())
            shown << heading->text(0);
        else
            QCOMPARE(heading->flags(), Qt::NoItemFlags);
    }
    QCOMPARE(shown, visible);
}

void TestMenuView::pressPageItems()
{
    QTreeWidgetItem* motherboards = item("Motherboards");

    QVERIFY(press(devices, motherboards)); // already current
    QCOMPARE(deviceSpy->count(), 0);

    QVERIFY(press(devices, item("board")));
    QCOMPARE(deviceSpy->count(), 1);
    QCOMPARE(deviceSpy->takeFirst(), (Triple { 1, 3, 0 }));
    QVERIFY(item("board")->isSelected());
    QVERIFY(!motherboards->isSelected());

    QVERIFY(press(devices, item("board"))); // second press on the current item
    QCOMPARE(deviceSpy->count(), 0);

    QVERIFY(press(devices, item("flash")));
    QCOMPARE(deviceSpy->takeFirst(), (Triple { 2, 3, 1 }));

    QVERIFY(press(devices, motherboards));
    QCOMPARE(deviceSpy->takeFirst(), (Triple { 5, 0, 0 }));
    QCOMPARE(devices->selectedItems(), QList<QTreeWidgetItem*> { motherboards });
    QCOMPARE(featureSpy->count(), 0);
}

void TestMenuView::pressIgnored_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("pressed");
    QTest::addColumn<bool>("pressable");

    const QStringList currents { "flash", "range" };
    for (const QString& current : currents) {
        auto row = [&](const char* name, const QString& pressed, bool pressable) {
            QTest::addRow("%s, current %s", name, qPrintable(current)) << current << pressed << pressable;
        };
        row("device heading", "KT61 evaluation boards", true);
        row("feature heading", "2.4 GHz", true);
        row("device disabled", "deviceDisabled", true);
        row("feature disabled", "featureDisabled", true);
        row("not selectable", "deviceRoot", true);
        row("device hidden", "deviceHidden", false);
        row("hidden heading", "Internal", false);
    }
}

void TestMenuView::pressIgnored()
{
    QFETCH(QString, current);
    QFETCH(QString, pressed);
    QFETCH(bool, pressable);

    QTreeWidgetItem* currentItem = item(current);
    QTreeWidgetItem* target = item(pressed);
    QVERIFY(currentItem && target);
    auto* currentView = static_cast<MenuView*>(currentItem->treeWidget());
    auto* targetView = static_cast<MenuView*>(target->treeWidget());

    QVERIFY(press(currentView, currentItem));
    QCOMPARE(deviceSpy->count() + featureSpy->count(), 1);
    deviceSpy->clear();
    featureSpy->clear();

    if (pressable) {
        QVERIFY(press(targetView, target));
    } else {
        // A hidden item has no rectangle; deliver what a press would.
        QVERIFY(!targetView->visualItemRect(target).isValid());
        emit targetView->itemPressed(target, 0);
    }

    QCOMPARE(deviceSpy->count() + featureSpy->count(), 0);
    QCOMPARE(MenuView::currentSelectedItem(), currentItem);
    QCOMPARE(currentView->selectedItems(), QList<QTreeWidgetItem*> { currentItem });
    QVERIFY(!target->isSelected());
    if (targetView != currentView)
        QVERIFY(targetView->selectedItems().isEmpty());
}

void TestMenuView::highlightMovesBetweenTrees()
{
    QVERIFY(press(features, item("gatt")));
    QCOMPARE(featureSpy->takeFirst(), (Triple { 15, 0, 0 }));
    QVERIFY(devices->selectedItems().isEmpty());
    QCOMPARE(features->selectedItems(), QList<QTreeWidgetItem*> { item("gatt") });

    QVERIFY(press(devices, item("board")));
    QCOMPARE(deviceSpy->takeFirst(), (Triple { 1, 3, 0 }));
    QVERIFY(features->selectedItems().isEmpty());

    QVERIFY(press(features, item("range")));
    QCOMPARE(featureSpy->takeFirst(), (Triple { 9, 0, 2 }));
    QVERIFY(devices->selectedItems().isEmpty());
    QCOMPARE(deviceSpy->count(), 0);
}

void TestMenuView::keyboardDoesNotChangePage()
{
    devices->setFocus();
    devices->setCurrentItem(item("Motherboards"));
    QTest::keyClick(devices, Qt::Key_Down);
    QTest::keyClick(devices, Qt::Key_Down);
    QVERIFY(devices->currentItem() != item("Motherboards"));
    QCOMPARE(deviceSpy->count(), 0);
    QCOMPARE(MenuView::currentSelectedItem(), item("Motherboards"));
}

void TestMenuView::headingWithoutSelection()
{
    // Destroying any menu view clears the shared selection.
    delete devices;
    devices = nullptr;
    QVERIFY(!MenuView::currentSelectedItem());

    QTreeWidgetItem* heading = topLevel(features, "2.4 GHz");
    QVERIFY(press(features, heading));
    QCOMPARE(featureSpy->count(), 0);
    QVERIFY(!heading->isSelected());
    QVERIFY(!MenuView::currentSelectedItem());
}

void TestMenuView::secondDeviceView()
{
    QTreeWidgetItem* first = item("Motherboards");
    QVERIFY(press(devices, item("board")));

    auto* second = new DeviceView(1011);
    QCOMPARE(MenuView::currentStartItem(), first);
    QCOMPARE(MenuView::currentSelectedItem(), item("board"));
    QVERIFY(second->selectedItems().isEmpty());

    delete devices;
    devices = nullptr;
    QVERIFY(!MenuView::currentStartItem());
    QVERIFY(!MenuView::currentSelectedItem());

    DeviceView third(1011);
    QCOMPARE(MenuView::currentStartItem(), third.topLevelItem(0));
    QCOMPARE(MenuView::currentSelectedItem(), third.topLevelItem(0));
    QVERIFY(third.topLevelItem(0)->isSelected());
    QVERIFY(second->selectedItems().isEmpty());
    delete second; // clears what the third took, as any menu view's end does
    QVERIFY(!MenuView::currentStartItem());
}

void TestMenuView::categories_data()
{
    QTest::addColumn<bool>("deviceTree");
    QTest::addColumn<int>("category");
    QTest::addColumn<QString>("parent"); // empty: top level

    const QList<QPair<int, QString>> deviceHeadings {
        { 3, "Motherboards" },
        { 11, "Internal" },
        { 12, "KT61 evaluation boards" },
        { 13, "KT61 development boards" },
        { 14, "KT61 development dongles" },
        { 15, "KT6x Programming" },
        { 17, "KT62 development boards" },
        { 18, "KT62 development dongles" },
    };
    for (const auto& h : deviceHeadings)
        QTest::addRow("device %d", h.first) << true << h.first << h.second;
    for (int category : { 0, 1, 2, 4, 7, 16, 19, -1 })
        QTest::addRow("device %d", category) << true << category << QString();
    QTest::newRow("features 0") << false << 0 << "2.4 GHz";
    QTest::newRow("features 4") << false << 4 << "Bluetooth";
    for (int category : { 1, 2, 3, 11, 12, -1 })
        QTest::addRow("features %d", category) << false << category << QString();
}

void TestMenuView::categories()
{
    QFETCH(bool, deviceTree);
    QFETCH(int, category);
    QFETCH(QString, parent);

    MenuView* view = deviceTree ? static_cast<MenuView*>(devices) : features;
    QTreeWidgetItem* added = BaseWidget::createMenuItem("Added", view->categoryItem(category), 2, 1, 0);
    if (parent.isEmpty()) {
        QVERIFY(!added->parent());
        QVERIFY(view->indexOfTopLevelItem(added) >= 0);
    } else {
        QVERIFY(added->parent());
        QCOMPARE(added->parent()->text(0), parent);
    }

    // Wherever it lands, a visible page item works like any other.
    if (!added->parent() || !added->parent()->isHidden()) {
        view->expandAll();
        QVERIFY(press(view, added));
        QCOMPARE(deviceSpy->count() + featureSpy->count(), 1);
    }
}

// Keep last: the lock is one-way in the product.
void TestMenuView::lockSelection()
{
    MenuView::lockSelection();
    QVERIFY(MenuView::isSelectionLocked());

    QVERIFY(press(devices, item("board")));
    QVERIFY(press(features, item("gatt")));
    QVERIFY(press(devices, item("KT61 evaluation boards")));
    QCOMPARE(deviceSpy->count() + featureSpy->count(), 0);
    QCOMPARE(MenuView::currentSelectedItem(), item("Motherboards"));
    QCOMPARE(devices->selectedItems(), QList<QTreeWidgetItem*> { item("Motherboards") });
    QVERIFY(features->selectedItems().isEmpty());
}

QTEST_MAIN(TestMenuView)
#include "tst_menuview.moc"
