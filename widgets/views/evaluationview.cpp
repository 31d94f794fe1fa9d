#include "evaluationview.h"

#include "basewidget.h"
#include "widgetfactory.h"

#include <QTreeWidgetItem>

EvaluationView::EvaluationView(QWidget* parent)
    : MenuView(parent)
    , features24GHzItem(BaseWidget::createMenuItem(tr("2.4 GHz"), nullptr, 0, 0, 0))
    , bluetoothItem(BaseWidget::createMenuItem(tr("Bluetooth"), nullptr, 0, 0, 0))
{
    // The features tree never takes the selection, it only lets go of it.
    highlight(selectedItem, false);

    // Expanded one by one: expandAll() lays the whole tree out at once, which
    // showing it does again.
    addTopLevelItem(features24GHzItem);
    addTopLevelItem(bluetoothItem);
    features24GHzItem->setExpanded(true);
    bluetoothItem->setExpanded(true);
}

EvaluationView::~EvaluationView() = default;

QTreeWidgetItem* EvaluationView::categoryItem(int category)
{
    switch (category) {
    case WidgetFactory::MenuFeatures24GHz:
        return features24GHzItem;
    case WidgetFactory::MenuFeaturesBluetooth:
        return bluetoothItem;
    default:
        return invisibleRootItem();
    }
}
