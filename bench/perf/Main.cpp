// praveltest_perf: every figure of bench/perf.sh in one run, then the table; exits 1 when a
// figure misses its goal or cannot be taken, 2 on a bad command line. Runs in the lab's tool
// namespace, with a node host beside it.
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <exception>
#include <fstream>
#include <sstream>

#include "bench/perf/Harness.h"
#include "testing/MessageRecorder.h"
#include "testing/Options.h"

namespace {

constexpr char kUsage[] =
    "usage: praveltest_perf --program BIN --node BIN --floor BIN --node-ns NS [--runs N]\n"
    "       [--idle-seconds S] [--entries N] [--samples N] [--drag-ms MS] [--counts N,N,...]\n"
    "       [--flood-seconds S] [--flood-rate N]\n";

perf::Setup ReadSetup(int argc, char** argv) {
    const lab::Options options(
        argc, argv, 1,
        {"program", "node", "floor", "node-ns", "runs", "idle-seconds", "entries", "samples",
         "drag-ms", "counts", "flood-seconds", "flood-rate"});
    perf::Setup setup;
    for (const auto& [name, value] : {std::pair{"program", &setup.program},
                                      {"node", &setup.node},
                                      {"floor", &setup.floor},
                                      {"node-ns", &setup.nodeNamespace}}) {
        *value = options.Text(name);
        if (value->empty()) throw lab::UsageError(std::string("--") + name + " is needed");
    }
    for (const auto& [name, value] : {std::pair{"runs", &setup.runs},
                                      {"idle-seconds", &setup.idleSeconds},
                                      {"entries", &setup.entries},
                                      {"samples", &setup.samples},
                                      {"drag-ms", &setup.dragMs},
                                      {"flood-seconds", &setup.floodSeconds},
                                      {"flood-rate", &setup.floodRate}}) {
        *value = options.Number(name, *value);
    }
    if (options.Has("counts")) {
        setup.counts.clear();
        std::istringstream list(options.Text("counts"));
        for (std::string each; std::getline(list, each, ',');) {
            char* end = nullptr;
            const long count = std::strtol(each.c_str(), &end, 10);
            if (each.empty() || *end || count < 1) throw lab::UsageError("bad --counts " + each);
            setup.counts.push_back(static_cast<int>(count));
        }
    }
    return setup;
}

std::string Load() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::string Machine() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string model;
    for (std::string line; model.empty() && std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0) model = line.substr(line.find(':') + 2);
    }
    utsname system{};
    uname(&system);
    return perf::Format("%s, %ld cores, Linux %s", model.c_str(), sysconf(_SC_NPROCESSORS_ONLN),
                        system.release);
}

void Phase(const char* what) {
    std::fprintf(stderr, "== %s (load %s)\n", what, Load().c_str());
}

}  // namespace

int main(int argc, char* argv[]) {
    if (lab::PrintHelp(argc, argv, kUsage)) return 0;
    perf::Setup setup;
    try {
        setup = ReadSetup(argc, argv);
    } catch (const lab::UsageError& error) {
        return lab::UsageFailure("praveltest_perf", error);
    }
    try {
        int qtArgc = 1;
        perf::Application application(qtArgc, argv);
        const std::string loadBefore = Load();
        const std::time_t start = std::time(nullptr);
        perf::Floor floor;
        Phase("floor: start to shown and memory");
        perf::MeasureFloor(setup, floor);
        Phase("start-up: start to first poll on the wire");
        perf::MeasureStartup(setup, floor);
        Phase("idle: the program and the floor with a tick, side by side");
        perf::MeasureIdle(setup, floor);
        Phase("memory with every entry listed");
        perf::MeasureMemory(setup, floor);
        // Every box the window opens from here on is answered at once, and counted.
        const testing_support::MessageRecorder boxes;
        Phase("latency and drag rate, in this process on loopback");
        perf::MeasureLatency(setup);
        Phase("discovery, in this process");
        perf::MeasureDiscovery(setup);
        Phase("DMX flood from the node host, in this process");
        perf::MeasureFlood(setup, floor, application);
        const auto& shown = boxes.Messages();
        perf::Goal("Message boxes during latency, drag, discovery and flood",
                   shown.empty()
                       ? "0"
                       : perf::Format("%zu, the first: %s", shown.size(), shown.front().c_str()),
                   "", "none", shown.empty());
        Phase("size");
        perf::MeasureSize(setup);

        const int missed = perf::PrintTable(stdout);
        char date[64];
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&start));
        std::printf("\nMachine: %s. Run %s, %lld s; load average %s before, %s after.\n",
                    Machine().c_str(), date, static_cast<long long>(std::time(nullptr) - start),
                    loadBefore.c_str(), Load().c_str());
        if (missed) std::printf("%d goal%s missed.\n", missed, missed == 1 ? "" : "s");
        return missed ? 1 : 0;
    } catch (const std::exception& error) {
        perf::Fail(error.what());
    }
}
