#include "km4200controller.h"

#include "benchsimulation.h"

KM4200Controller::KM4200Controller(QObject* parent)
    : QObject(parent)
{
    BenchSimulation::instance()->open(qEnvironmentVariable("KM4200_BENCH"));
}

KM4200Controller::~KM4200Controller()
{
    BenchSimulation::instance()->close();
}
