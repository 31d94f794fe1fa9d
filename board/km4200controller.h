#pragma once

#include "km4200ctrl_export.h"

#include <QObject>

// Opens the library: built first and deleted last by the main window.
class KM4200CTRL_EXPORT KM4200Controller : public QObject
{
    Q_OBJECT

public:
    explicit KM4200Controller(QObject* parent = nullptr);
    ~KM4200Controller() override;
};
