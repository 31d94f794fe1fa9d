#include "boardbackend.h"

#include "benchsimulation.h"

BoardBackend* BoardBackend::instance()
{
    // The one place that names the implementation.
    return BenchSimulation::instance();
}
