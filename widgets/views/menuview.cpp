#include "menuview.h"

#include <QKeyEvent>
#include <QLoggingCategory>
#include <QTreeWidgetItemIterator>

Q_LOGGING_CATEGORY(lcMenuView, "kestrix.menuview", QtWarningMsg)

QTreeWidgetItem* MenuView::selectedItem = nullptr;
QTreeWidgetItem* MenuView::startItem = nullptr;
bool MenuView::selectionLocked = false;
QList<MenuView*> MenuView::views;

namespace
{

bool standsFor(const QTreeWidgetItem* item, int type, int boardID, int subtype)
{
    return item && type != 0 && (item->flags() & Qt::ItemIsSelectable)
        && item->data(0, Qt::UserRole + 1).toInt() == type && item->data(0, Qt::UserRole + 2).toInt() == boardID
        && quint8(item->data(0, Qt::UserRole + 3).toInt()) == quint8(subtype);
}

} // namespace

MenuView::MenuView(QWidget* parent)
    : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(true);
    invisibleRootItem()->setFlags(Qt::NoItemFlags);
    // Presses only: moving through the tree with the keyboard must not switch pages.
    connect(this, SIGNAL(itemPressed(QTreeWidgetItem*, int)), this, SLOT(items(QTreeWidgetItem*)));
    views.append(this);
}

MenuView::~MenuView()
{
    disconnect(this, SIGNAL(itemPressed(QTreeWidgetItem*, int)), this, SLOT(items(QTreeWidgetItem*)));
    selectedItem = nullptr;
    startItem = nullptr;
    views.removeOne(this);
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

void MenuView::followPage(int type, int boardID, int subtype)
{
    if (selectionStandsFor(type, boardID, subtype))
        return;
    QTreeWidgetItem* found = nullptr;
    for (MenuView* view : qAsConst(views)) {
        for (QTreeWidgetItemIterator it(view); *it && !found; ++it)
            if (standsFor(*it, type, boardID, subtype))
                found = *it;
    }
    qCDebug(lcMenuView) << "selection follows page" << type << boardID << subtype << "to"
                        << (found ? found->text(0) : QStringLiteral("no item"));
    highlight(selectedItem, false);
    selectedItem = found;
    highlight(found, true);
}

bool MenuView::selectionStandsFor(int type, int boardID, int subtype)
{
    return standsFor(selectedItem, type, boardID, subtype);
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

void MenuView::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) && currentItem()
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        items(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
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
        // Selected before the request: the page change that follows finds it.
        const bool newPage = item != selectedItem;
        selectedItem = item;
        highlight(item, true);
        if (newPage) {
            qCDebug(lcMenuView) << "page requested:" << type << boardID << subtype;
            emit itemChange(type, boardID, subtype);
        }
        return;
    }

    // A heading leads to no page: the current item keeps the highlight.
    highlight(item, false);
    highlight(selectedItem, true);
}
