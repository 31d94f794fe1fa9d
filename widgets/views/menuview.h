#pragma once

#include "kestrixframework_export.h"

#include <QTreeWidget>

class QTreeWidgetItem;

// Base of the navigation trees. A mouse press on a page item becomes one
// itemChange request; the highlighted item is shared by every menu tree of
// the process, so choosing an item in one tree clears the other.
class KESTRIXFRAMEWORK_EXPORT MenuView : public QTreeWidget
{
    Q_OBJECT

public:
    explicit MenuView(QWidget* parent = nullptr);
    ~MenuView() override;

    // Parent under which plug-in items of a menu category go; unknown
    // categories land at the top level.
    virtual QTreeWidgetItem* categoryItem(int category);

    // One-way: once the window is closing, presses no longer change the page.
    static void lockSelection();

    // The page changed by other means than a press (the signal relay, a page,
    // the firmware check): the shared selection moves to the selectable item
    // that stands for the page, or clears when no tree has one. Emits nothing.
    static void followPage(int type, int boardID, int subtype);
    // True when the highlighted item stands for that page (it was pressed).
    static bool selectionStandsFor(int type, int boardID, int subtype);

    // Read access to the shared selection, for the trees and for tests.
    static QTreeWidgetItem* currentSelectedItem();
    static QTreeWidgetItem* currentStartItem();
    static bool isSelectionLocked();

signals:
    void itemChange(int type, int boardID, int subtype);

protected slots:
    void items(QTreeWidgetItem* item);

protected:
    // Return, Enter and Space open the current item, as a press does; the
    // arrow keys only move through the tree.
    void keyPressEvent(QKeyEvent* event) override;
    static void highlight(QTreeWidgetItem* item, bool on);

    // Shared by all menu trees; touched from the GUI thread only.
    static QTreeWidgetItem* selectedItem;
    static QTreeWidgetItem* startItem;
    static bool selectionLocked;

private:
    static QList<MenuView*> views;
};
