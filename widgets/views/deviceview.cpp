#include "deviceview.h"

#include "basewidget.h"
#include "widgetfactory.h"

#include <QTreeWidgetItem>

namespace
{

QTreeWidgetItem* heading(const QString& text, int type = 0)
{
    return BaseWidget::createMenuItem(text, nullptr, type, 0, 0);
}

} // namespace

DeviceView::DeviceView(int categoryMask, QWidget* parent)
    : MenuView(parent)
    , motherboardsItem(heading(tr("Motherboards"), KestrixStudio::WidgetTypeDefault))
    , internalItem(heading(tr("Internal")))
    , ftdiBoardsItem(heading(tr("FTDIBoards")))
    , kt61EvaluationBoardsItem(heading(tr("KT61 evaluation boards")))
    , kt61DevelopmentBoardsItem(heading(tr("KT61 development boards")))
    , kt61DevelopmentDonglesItem(heading(tr("KT61 development dongles")))
    , kt62DevelopmentBoardsItem(heading(tr("KT62 development boards")))
    , kt62DevelopmentDonglesItem(heading(tr("KT62 development dongles")))
    , kt6xProgrammingItem(heading(tr("KT6x Programming")))
{
    const struct {
        QTreeWidgetItem* item;
        int bit;
    } headings[] = {
        { motherboardsItem, ShowMotherboards },
        { internalItem, ShowInternal },
        { ftdiBoardsItem, ShowFtdiBoards },
        { kt61EvaluationBoardsItem, ShowKT61EvaluationBoards },
        { kt61DevelopmentBoardsItem, ShowKT61DevelopmentBoards },
        { kt61DevelopmentDonglesItem, ShowKT61DevelopmentDongles },
        { kt62DevelopmentBoardsItem, ShowKT62DevelopmentBoards },
        { kt62DevelopmentDonglesItem, ShowKT62DevelopmentDongles },
        { kt6xProgrammingItem, ShowKT6xProgramming },
    };

    // Expanded one by one: expandAll() lays the whole tree out at once, which
    // showing it does again.
    for (const auto& h : headings) {
        addTopLevelItem(h.item);
        h.item->setExpanded(true);
    }

    // Only the first device tree takes the selection; its page is the one
    // the window starts with, so nothing is emitted.
    if (!startItem) {
        selectedItem = motherboardsItem;
        highlight(motherboardsItem, true);
        startItem = motherboardsItem;
    }

    for (const auto& h : headings)
        BaseWidget::setItemView(h.item, (categoryMask & h.bit) ? KestrixStudio::WidgetShow : KestrixStudio::WidgetHide);
}

DeviceView::~DeviceView()
{
    // Board items of the plug-ins hang below this heading and go with it.
    delete motherboardsItem;
}

QTreeWidgetItem* DeviceView::categoryItem(int category)
{
    switch (category) {
    case WidgetFactory::MenuMotherboards:
        return motherboardsItem;
    case WidgetFactory::MenuInternal:
        return internalItem;
    case WidgetFactory::MenuKT61EvaluationBoards:
        return kt61EvaluationBoardsItem;
    case WidgetFactory::MenuKT61DevelopmentBoards:
        return kt61DevelopmentBoardsItem;
    case WidgetFactory::MenuKT61DevelopmentDongles:
        return kt61DevelopmentDonglesItem;
    case WidgetFactory::MenuKT6xProgramming:
        return kt6xProgrammingItem;
    case WidgetFactory::MenuKT62DevelopmentBoards:
        return kt62DevelopmentBoardsItem;
    case WidgetFactory::MenuKT62DevelopmentDongles:
        return kt62DevelopmentDonglesItem;
    default:
        return invisibleRootItem();
    }
}
