// libFuzzer entry point for the Intel HEX reader.

#include "hexfuzzcheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString problem = HexFuzz::check(reinterpret_cast<const char*>(data), qint64(size));
    if (!problem.isEmpty()) {
        fprintf(stderr, "invariant broken: %s\n", qPrintable(problem));
        abort();
    }
    return 0;
}
