#pragma once

#include <QString>

class HexModel;

// The simulated memories of the modules: Intel HEX files beside the bench
// (see BenchSimulation::memoryFile), or a process-wide store without a bench.
class ModuleMemory
{
public:
    static HexModel read(int boardID, int slot, int memoryType);
    static bool write(int boardID, int slot, int memoryType, const HexModel& image, QString* error);
};
