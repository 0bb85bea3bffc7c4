// The virtual CPU.
#pragma once

#include <cstdint>

struct scInstance;

// Runs the instance from its instruction pointer with a step budget: yields at
// the n-th marker word for a budget n > 0, at the first for 0, never for a
// negative budget. Returns 1 when the run finished, 0 when it yielded or was
// paused, -1 after a runtime error.
int scvcpuExecute(scInstance* instance, int steps);

namespace zedi {

// Runs every instruction the long way, decoded from the code bytes each time it
// runs, instead of through the translated code. The two give the same results;
// the long way is the reference the translated code is compared against.
void SetVcpuLongWay(bool on);
bool VcpuLongWay();

// Called before each instruction the long way runs, with the instance and the
// instruction's code address (profiling tools). Null for none.
using VcpuTrace = void (*)(const scInstance* instance, uint32_t ip);
void SetVcpuTrace(VcpuTrace trace);

}  // namespace zedi
