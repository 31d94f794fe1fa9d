#include "menuview.h"

#include <QLoggingCategory>
#include <QTreeWidgetItem>

Q_LOGGING_CATEGORY(lcMenuView, "kestrix.menuview", QtWarningMsg)

QTreeWidgetItem* MenuView::selectedItem = nullptr;
QTreeWidgetItem* MenuView::startItem = nullptr;
bool MenuView::selectionLocked = false;

MenuView::MenuView(QWidget* parent)
    : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(true);
    invisibleRootItem()->setFlags(Qt::NoItemFlags);
    // Presses only: moving through the tree with the keyboard must not switch pages.
    connect(this, SIGNAL(itemPressed(QTreeWidgetItem*, int)), this, SLOT(items(QTreeWidgetItem*)));
}

MenuView::~MenuView()
{
    disconnect(this, SIGNAL(itemPressed(QTreeWidgetItem*, int)), this, SLOT(items(QTreeWidgetItem*)));
    selectedItem = nullptr;
    startItem = nullptr;
}

QTreeWidgetItem* MenuView::categoryItem(int category)
{
    Q_UNUSED(category)
    return invisibleRootItem();
}

void MenuView::lockSelection()
{
    selectionLocked = true;
}

QTreeWidgetItem* MenuView::currentSelectedItem()
{
    return selectedItem;
}

QTreeWidgetItem* MenuView::currentStartItem()
{
    return startItem;
}

bool MenuView::isSelectionLocked()
{
    return selectionLocked;
}

void MenuView::highlight(QTreeWidgetItem* item, bool on)
{
    if (item && item->treeWidget())
        item->setSelected(on);
}

void MenuView::items(QTreeWidgetItem* item)
{
    if (!item || !(item->flags() & Qt::ItemIsSelectable) || selectionLocked) {
        qCDebug(lcMenuView) << "press ignored:" << (item ? item->text(0) : QString())
                            << (selectionLocked ? "(locked)" : "");
        // The press may already have highlighted the item; the current one keeps it.
        if (item != selectedItem)
            highlight(item, false);
        highlight(selectedItem, true);
        return;
    }

    highlight(selectedItem, false);

    const int type = item->data(0, Qt::UserRole + 1).toInt();
    const int boardID = item->data(0, Qt::UserRole + 2).toInt();
    const int subtype = item->data(0, Qt::UserRole + 3).toInt();

    if (type != 0) {
        if (item != selectedItem) {
            qCDebug(lcMenuView) << "page requested:" << type << boardID << subtype;
            emit itemChange(type, boardID, subtype);
        }
        selectedItem = item;
        highlight(item, true);
        return;
    }

    // A heading leads to no page: the current item keeps the highlight.
    highlight(item, false);
    highlight(selectedItem, true);
}
