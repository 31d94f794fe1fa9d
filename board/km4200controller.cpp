#include "km4200controller.h"

#include "benchsimulation.h"

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
    BenchSimulation::instance()->open(qEnvironmentVariable("KM4200_BENCH"));
}

KM4200Controller::~KM4200Controller()
{
    --s_controllers;
    BenchSimulation::instance()->close();
}
