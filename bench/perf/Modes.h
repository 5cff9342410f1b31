// The harness's modes; each prints "RESULT key value" lines and returns the exit code.
#pragma once

#include "bench/perf/Support.h"

namespace perf {

// Whole processes, no window system in this process.
int RunFloor(const Options& options);
int RunStartup(const Options& options);
int RunIdle(const Options& options);
int RunMemory(const Options& options);

// The real main window in this process; need a QApplication.
int RunLatency(const Options& options);
int RunDiscovery(const Options& options);
// The window driven for minutes beside simulated nodes; non-zero when a criterion fails.
int RunSoak(const Options& options);

}  // namespace perf
