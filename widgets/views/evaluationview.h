#pragma once

#include "kestrixframework_export.h"
#include "menuview.h"

// The features tree: one heading per radio technology, filled by plug-ins.
class KESTRIXFRAMEWORK_EXPORT EvaluationView : public MenuView
{
    Q_OBJECT

public:
    explicit EvaluationView(QWidget* parent = nullptr);
    ~EvaluationView() override;

    QTreeWidgetItem* categoryItem(int category) override;

private:
    QTreeWidgetItem* features24GHzItem;
    QTreeWidgetItem* bluetoothItem;
};
