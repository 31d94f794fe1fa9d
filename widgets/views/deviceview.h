#pragma once

#include "kestrixframework_export.h"
#include "menuview.h"

// The device tree: fixed hardware headings under which plug-ins add their
// boards and tools. The first device tree built takes the shared selection
// on "Motherboards".
class KESTRIXFRAMEWORK_EXPORT DeviceView : public MenuView
{
    Q_OBJECT

public:
    // Bits of categoryMask showing the headings.
    enum HeadingBit {
        ShowMotherboards = 1,
        ShowFtdiBoards = 4,
        ShowInternal = 8,
        ShowKT61EvaluationBoards = 16,
        ShowKT61DevelopmentDongles = 32,
        ShowKT6xProgramming = 64,
        ShowKT61DevelopmentBoards = 128,
        ShowKT62DevelopmentBoards = 256,
        ShowKT62DevelopmentDongles = 512
    };

    explicit DeviceView(int categoryMask, QWidget* parent = nullptr);
    ~DeviceView() override;

    QTreeWidgetItem* categoryItem(int category) override;

private:
    QTreeWidgetItem* motherboardsItem;
    QTreeWidgetItem* internalItem;
    QTreeWidgetItem* ftdiBoardsItem;
    QTreeWidgetItem* kt61EvaluationBoardsItem;
    QTreeWidgetItem* kt61DevelopmentBoardsItem;
    QTreeWidgetItem* kt61DevelopmentDonglesItem;
    QTreeWidgetItem* kt62DevelopmentBoardsItem;
    QTreeWidgetItem* kt62DevelopmentDonglesItem;
    QTreeWidgetItem* kt6xProgrammingItem;
};
