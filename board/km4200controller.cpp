#include "km4200controller.h"

#include "boardbackend.h"

namespace
{
int s_controllers = 0;
} // namespace

bool KM4200Controller::isOpen()
{
    return s_controllers > 0;
}

KM4200Controller::KM4200Controller(QObject* parent)
    : QObject(parent)
{
    ++s_controllers;
    BoardBackend::instance()->open();
}

KM4200Controller::~KM4200Controller()
{
    --s_controllers;
    BoardBackend::instance()->close();
}
