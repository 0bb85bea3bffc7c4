// The virtual CPU.
#pragma once

struct scInstance;

// Runs the instance from its instruction pointer with a step budget: yields at
// the n-th marker word for a budget n > 0, at the first for 0, never for a
// negative budget. Returns 1 when the run finished, 0 when it yielded or was
// paused, -1 after a runtime error.
int scvcpuExecute(scInstance* instance, int steps);
