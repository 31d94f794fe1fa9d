#include "boarditems.h"

#include "allboardspage.h"
#include "basewidget.h"
#include "connectable.h"
#include "connectionmanager.h"
#include "moduleprogrammerlog.h"

#include <QTreeWidget>
#include <QTreeWidgetItem>

BoardItems::BoardItems(QObject* parent)
    : QObject(parent)
{
    connect(ConnectionManager::Instance(), &ConnectionManager::updated, this, &BoardItems::rebuild);
}

BoardItems::~BoardItems()
{
    // Items in a living tree belong to it; the ones taken out are ours.
    for (auto it = m_items.constBegin(); it != m_items.constEnd(); ++it) {
        if (!m_attached.contains(it.key()))
            delete it.value();
    }
    if (m_allItem && !m_allItem->parent())
        delete m_allItem;
}

QString BoardItems::itemText(int boardID)
{
    return tr("Board %1").arg(boardID);
}

void BoardItems::attach(QTreeWidgetItem* heading)
{
    if (heading == m_heading)
        return;
    // A second device tree takes the items over from the first.
    if (m_heading)
        detachAll();
    if (m_tree)
        disconnect(m_tree, &QObject::destroyed, this, &BoardItems::treeDestroyed);
    m_tree.clear();
    m_heading = heading;
    if (!m_allItem) {
        m_allItem = BaseWidget::createMenuItem(
            tr("All boards"), nullptr, KestrixStudio::WidgetTypeFlash, AllBoardsPage::PageBoardID, 0);
    }
    if (m_heading)
        m_heading->addChild(m_allItem);
    watchTree();
    rebuild();
}

void BoardItems::watchTree()
{
    if (m_tree || !m_heading || !m_heading->treeWidget())
        return;
    m_tree = m_heading->treeWidget();
    connect(m_tree, &QObject::destroyed, this, &BoardItems::treeDestroyed);
}

void BoardItems::treeDestroyed()
{
    // The heading and the items under it are gone already.
    qCDebug(lcModuleProgrammer) << "device tree destroyed; board items forgotten";
    for (int boardID : qAsConst(m_attached))
        m_items.remove(boardID);
    m_attached.clear();
    m_allItem = nullptr;
    m_heading = nullptr;
    m_tree.clear();
}

void BoardItems::detachAll()
{
    if (m_allItem && m_allItem->parent())
        m_allItem->parent()->removeChild(m_allItem);
    for (int boardID : qAsConst(m_attached)) {
        QTreeWidgetItem* item = m_items.value(boardID);
        if (item && item->parent())
            item->parent()->removeChild(item);
    }
    m_attached.clear();
}

void BoardItems::rebuild()
{
    if (!m_heading)
        return;
    watchTree();

    const QList<int> boards = ConnectionManager::Instance()->motherBoards().keys();

    // Boards that left: their items leave the tree.
    const QSet<int> attached = m_attached;
    for (int boardID : attached) {
        if (boards.contains(boardID))
            continue;
        QTreeWidgetItem* item = m_items.value(boardID);
        m_heading->removeChild(item);
        m_attached.remove(boardID);
    }

    // New boards, in board order after the items of lower boards.
    for (int boardID : qAsConst(boards)) {
        if (m_attached.contains(boardID))
            continue;
        // Before the first own item of a higher board; at the end otherwise.
        int index = m_heading->childCount();
        for (int i = 0; i < m_heading->childCount(); ++i) {
            const int other = m_items.key(m_heading->child(i), -1);
            if (other > boardID && m_attached.contains(other)) {
                index = i;
                break;
            }
        }
        QTreeWidgetItem* item = m_items.value(boardID);
        if (!item) {
            item = BaseWidget::createMenuItem(itemText(boardID), nullptr, KestrixStudio::WidgetTypeFlash, boardID, 0);
            m_items.insert(boardID, item);
        }
        m_heading->insertChild(index, item);
        m_attached.insert(boardID);
    }
    qCDebug(lcModuleProgrammer) << "board items:" << boards;
}
