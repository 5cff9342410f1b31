// praveltest_perf MODE [--name value]...: one group of figures per run, for bench/perf.sh.
// The lab modes expect to be started inside the lab's tool namespace.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "bench/perf/Modes.h"

namespace {

constexpr char kUsage[] =
    "usage: praveltest_perf MODE [--name value]...\n"
    "  floor     --floor BIN [--runs N]             start-to-shown and peak memory of the floor\n"
    "  startup   --program BIN --node-ns NS [--runs N]  start to first poll on the wire\n"
    "  idle      --program BIN --node-ns NS [--seconds S]  processor time and wake-ups\n"
    "  memory    --program BIN --node BIN --node-ns NS [--count N]  memory with N entries\n"
    "  latency   [--samples N] [--drag-ms MS]       key-to-datagram latency, drag rate\n"
    "  discovery --node BIN --node-ns NS [--counts 10,100,500]  time to list every node\n"
    "  soak      --node BIN --node-ns NS [--minutes 10] [--count 50]  memory, loss, listing\n";

}  // namespace

int Run(int argc, char* argv[]) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const char* mode = argv[1];
    const perf::Options options(argc, argv, 2);
    if (!std::strcmp(mode, "floor")) return perf::RunFloor(options);
    if (!std::strcmp(mode, "startup")) return perf::RunStartup(options);
    if (!std::strcmp(mode, "idle")) return perf::RunIdle(options);
    if (!std::strcmp(mode, "memory")) return perf::RunMemory(options);
    const bool inProcess = !std::strcmp(mode, "latency") || !std::strcmp(mode, "discovery") ||
                           !std::strcmp(mode, "soak");
    if (!inProcess) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    if (!std::strcmp(mode, "soak")) return perf::RunSoak(options);
    return !std::strcmp(mode, "latency") ? perf::RunLatency(options) : perf::RunDiscovery(options);
}

int main(int argc, char* argv[]) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        perf::Fail(error.what());
    }
}
