#pragma once

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>

class QTreeWidget;
class QTreeWidgetItem;

// The "All boards" item and the "Board N" items under the device tree's
// "Motherboards" heading, one per connected motherboard, kept current as
// boards come and go.
//
// Items of boards that left are taken out of the tree but not destroyed: the
// trees' shared selection may still point at one. They are put back when
// their board returns and destroyed with this object. The heading belongs to
// the device tree, which deletes it when it goes; from the tree's destroyed()
// on, nothing here touches it.
class BoardItems : public QObject
{
    Q_OBJECT

public:
    explicit BoardItems(QObject* parent = nullptr);
    ~BoardItems() override;

    // Takes the heading the items go under and fills it.
    void attach(QTreeWidgetItem* heading);

    static QString itemText(int boardID);

public slots:
    // Brings the items in line with the connected motherboards.
    void rebuild();

private slots:
    void treeDestroyed();

private:
    void watchTree();
    void detachAll();

    QTreeWidgetItem* m_heading = nullptr;
    QPointer<QTreeWidget> m_tree;
    // Every item made so far, by board ID; m_attached names those in the tree.
    QMap<int, QTreeWidgetItem*> m_items;
    QSet<int> m_attached;
    QTreeWidgetItem* m_allItem = nullptr;
};
