#pragma once

#include "benchfile.h"
#include "motherboard.h"

// The simulated side of a motherboard: its device group in the bench file,
// which decides its firmware, modules and the statuses of module operations.
struct MotherBoard::Bench {
    BenchFile::Device device;
};
