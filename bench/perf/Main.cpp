// praveltest_perf: every figure of bench/perf.sh in one run, then the table; exits 1 when a
// figure misses its goal or cannot be taken, 2 on a bad command line. Runs in the lab's tool
// namespace, with a node host beside it.
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <exception>
#include <fstream>
#include <limits>
#include <sstream>

#include "bench/perf/Harness.h"
#include "testing/MessageRecorder.h"
#include "testing/Options.h"
#include "tools/ToolOptions.h"

namespace {

constexpr char kUsage[] =
    "usage: praveltest_perf --program BIN --node BIN --floor BIN --cli BIN --node-ns NS\n"
    "       [--runs N] [--idle-seconds S] [--entries N] [--samples N] [--drag-ms MS]\n"
    "       [--counts N,N,...] [--flood-seconds S] [--flood-rate N] [--show-seconds S]\n"
    "       [--chase-seconds S] [--rows usual|stock-queue|patterns]\n"
    "--rows patterns takes only the test patterns' rows (a 44 Hz chase).\n"
    "--rows stock-queue takes the show-scale rows instead, which need net.core.rmem_max at\n"
    "212992 (bench/perf.sh sets it for them).\n";

perf::Setup ReadSetup(int argc, char** argv) {
    const lab::Options options(argc, argv, 1,
                               {"program", "node", "floor", "node-ns", "runs", "idle-seconds",
                                "entries", "samples", "drag-ms", "counts", "flood-seconds",
                                "flood-rate", "rows", "show-seconds", "cli", "chase-seconds"});
    perf::Setup setup;
    for (const auto& [name, value] : {std::pair{"program", &setup.program},
                                      {"node", &setup.node},
                                      {"floor", &setup.floor},
                                      {"node-ns", &setup.nodeNamespace},
                                      {"cli", &setup.cli}}) {
        *value = options.Text(name);
        if (value->empty()) throw lab::UsageError(std::string("--") + name + " is needed");
    }
    for (const auto& [name, value] : {std::pair{"runs", &setup.runs},
                                      {"idle-seconds", &setup.idleSeconds},
                                      {"entries", &setup.entries},
                                      {"samples", &setup.samples},
                                      {"drag-ms", &setup.dragMs},
                                      {"flood-seconds", &setup.floodSeconds},
                                      {"flood-rate", &setup.floodRate},
                                      {"show-seconds", &setup.showSeconds},
                                      {"chase-seconds", &setup.chaseSeconds}}) {
        *value = options.Number(name, *value);
    }
    const std::string rows = options.Text("rows", "usual");
    if (rows != "usual" && rows != "stock-queue" && rows != "patterns") {
        throw lab::UsageError("bad --rows " + rows);
    }
    setup.stockQueue = rows == "stock-queue";
    setup.patternsOnly = rows == "patterns";
    if (options.Has("counts")) {
        setup.counts.clear();
        std::istringstream list(options.Text("counts"));
        for (std::string each; std::getline(list, each, ',');) {
            const auto count = tooloptions::ReadInteger(each, 1, std::numeric_limits<int>::max());
            if (!count) throw lab::UsageError("bad --counts " + each);
            setup.counts.push_back(static_cast<int>(*count));
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

void BoxesRow(const char* during, const testing_support::MessageRecorder& boxes) {
    const auto& shown = boxes.Messages();
    perf::Goal(std::string("Message boxes ") + during,
               shown.empty()
                   ? "0"
                   : perf::Format("%zu, the first: %s", shown.size(), shown.front().c_str()),
               "", "none", shown.empty());
}

void RunUsualRows(const perf::Setup& setup, perf::Application& application) {
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
    BoxesRow("during latency, drag, discovery and flood", boxes);
    Phase("size");
    perf::MeasureSize(setup);
    Phase("a 44 Hz chase from praveltest-cli and from the Channel Check window");
    perf::MeasureChase(setup, application);
}

void RunStockQueueRows(const perf::Setup& setup, perf::Application& application) {
    const int granted = perf::GrantedReceiveQueue(4 * 1024 * 1024);
    if (granted != perf::kStockQueueBytes) {
        perf::Fail(
            perf::Format("a 4 MiB receive queue is granted %d bytes here, not the stock "
                         "%d: set net.core.rmem_max to 212992 first, as bench/perf.sh does",
                         granted, perf::kStockQueueBytes));
    }
    std::printf("At a stock receive-queue limit (net.core.rmem_max 212992):\n\n");
    const testing_support::MessageRecorder boxes;
    Phase("show-scale console beside the real program");
    perf::MeasureShowScaleProgram(setup);
    Phase("show-scale console beside the window, in this process");
    perf::MeasureShowScaleWindow(setup, application);
    Phase("show-scale console beside the DMX monitor window, in this process");
    perf::MeasureShowScaleMonitor(setup, application);
    Phase("show-scale console beside praveltest-cli monitor");
    perf::MeasureShowScaleCliMonitor(setup);
    Phase("repeated polls, in this process");
    perf::MeasureRepeatedPolls(setup);
    BoxesRow("beside the console and during repeated polls", boxes);
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
        if (setup.patternsOnly) {
            Phase("a 44 Hz chase from praveltest-cli and from the Channel Check window");
            perf::MeasureChase(setup, application);
        } else if (setup.stockQueue) {
            RunStockQueueRows(setup, application);
        } else {
            RunUsualRows(setup, application);
        }

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
