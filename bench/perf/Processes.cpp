// Figures of whole processes: the floor program, and the real program in the lab's tool
// namespace (this harness runs there, under the lab's host name) watched from a node host.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <thread>

#include "bench/perf/Harness.h"
#include "protocol/NodeProtocol.h"
#include "testing/Lab.h"
#include "testing/ProcStatus.h"

namespace perf {
namespace {

const std::vector<std::string> kOffscreen{"QT_QPA_PLATFORM=offscreen"};
// Memory is read this long after the first poll (the program) or the first show (the floor),
// so that both have painted their window once.
constexpr auto kSettle = 500ms;

std::vector<std::string> Words(const std::string& text) {
    std::istringstream stream(text);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    return words;
}

void RecordSpread(const std::string& key, const std::vector<double>& values) {
    Record(key + "_median", Median(values));
    Record(key + "_min", *std::min_element(values.begin(), values.end()));
    Record(key + "_max", *std::max_element(values.begin(), values.end()));
}

// The kernel arrival time of the program's start-up poll at the listener, on the monotonic
// clock; nothing when none came.
std::optional<std::int64_t> AwaitPoll(PeerSocket& listener, std::chrono::milliseconds timeout) {
    const std::int64_t offset = RealtimeMinusMonotonicNs();
    const std::int64_t deadline = MonotonicNs() + timeout.count() * 1'000'000;
    while (MonotonicNs() < deadline) {
        const auto datagram = listener.Receive(100ms);
        if (!datagram || datagram->senderAddress != lab::kToolAddress) continue;
        if (std::equal(datagram->bytes.begin(), datagram->bytes.end(),
                       protocol::kPollMessage.begin(), protocol::kPollMessage.end())) {
            return datagram->kernelRealtimeNs - offset;
        }
    }
    return std::nullopt;
}

std::unique_ptr<PeerSocket> ListenerIn(const std::string& nodeNamespace) {
    lab::NamespaceSwitch inside(nodeNamespace);
    auto listener = std::make_unique<PeerSocket>("0.0.0.0", protocol::kNodePort);
    listener->SetReceiveBuffer(1 << 20);
    return listener;
}

std::unique_ptr<Process> StartNode(const Setup& setup, int count) {
    auto node = std::make_unique<Process>(
        lab::NamespaceCommand(setup.nodeNamespace, {setup.node, "--count", std::to_string(count)}));
    if (!node->WaitForLineStartingWith("ready ", 10s)) Fail("node not ready: " + node->Errors());
    return node;
}

}  // namespace

void MeasureFloor(const Setup& setup) {
    std::vector<double> startMs, hwmKb;
    for (int run = -1; run < setup.runs; ++run) {  // run -1 warms the caches and is not counted
        Process floor({setup.floor, "--hold-ms", std::to_string(kSettle.count())}, kOffscreen);
        const auto shown = floor.WaitForLineStartingWith("shown ", 10s);
        const auto memory = floor.WaitForLineStartingWith("memory ", 10s);
        const auto status = floor.Wait(5s);
        if (!shown || !memory || !status || !status->Exited(0)) {
            Fail("floor_dialog did not report: " + floor.Errors());
        }
        if (run < 0) continue;
        startMs.push_back(static_cast<double>(std::stoll(Words(*shown)[1]) - StartNs(floor)) / 1e6);
        hwmKb.push_back(std::stod(Words(*memory)[1]));
    }
    RecordSpread("floor_start_ms", startMs);
    Record("floor_hwm_kb", Median(hwmKb));
}

void MeasureStartup(const Setup& setup) {
    auto listener = ListenerIn(setup.nodeNamespace);
    std::vector<double> startMs, hwmKb;
    for (int run = -1; run < setup.runs; ++run) {
        listener->Discard();
        Process child({setup.program}, kOffscreen);
        const auto arrival = AwaitPoll(*listener, 10s);
        if (!arrival) Fail("no start-up poll from the program: " + child.Errors());
        std::this_thread::sleep_for(kSettle);  // a settle before reading memory, not a verdict
        if (!child.IsRunning()) Fail("the program ended after its poll: " + child.Errors());
        const lab::ProcMemory memory = lab::ReadMemory(child.Pid());
        child.Stop();
        while (const auto extra = listener->Receive(0ms)) {
            if (extra->senderAddress == lab::kToolAddress)
                Fail("the program sent more than its poll");
        }
        if (run < 0) continue;
        startMs.push_back(static_cast<double>(*arrival - StartNs(child)) / 1e6);
        hwmKb.push_back(static_cast<double>(memory.hwmKb));
    }
    RecordSpread("startup_ms", startMs);
    Record("startup_hwm_kb", Median(hwmKb));
}

void MeasureIdle(const Setup& setup) {
    auto listener = ListenerIn(setup.nodeNamespace);
    Process child({setup.program}, kOffscreen);
    if (!AwaitPoll(*listener, 10s)) Fail("no start-up poll from the program: " + child.Errors());
    // Over the same window: the floor dialog with an empty timer at the tick's period.
    Process floor({setup.floor, "--hold-ms", std::to_string((setup.idleSeconds + 30) * 1000),
                   "--tick-ms", "100"},
                  kOffscreen);
    if (!floor.WaitForLineStartingWith("shown ", 10s)) Fail("floor_dialog: " + floor.Errors());
    std::this_thread::sleep_for(2s);  // past start-up's own work
    const lab::ProcActivity before = lab::ReadActivity(child.Pid());
    const lab::ProcActivity floorBefore = lab::ReadActivity(floor.Pid());
    const std::int64_t from = MonotonicNs();
    std::this_thread::sleep_for(std::chrono::seconds(setup.idleSeconds));
    const lab::ProcActivity after = lab::ReadActivity(child.Pid());
    const lab::ProcActivity floorAfter = lab::ReadActivity(floor.Pid());
    const double elapsed = static_cast<double>(MonotonicNs() - from) / 1e9;
    if (!child.IsRunning()) Fail("the program ended while idle: " + child.Errors());
    if (!floor.IsRunning()) Fail("floor_dialog ended while idle: " + floor.Errors());

    const auto report = [&](const std::string& prefix, const lab::ProcActivity& start,
                            const lab::ProcActivity& end, pid_t pid) {
        const double seconds = static_cast<double>(end.clockTicks - start.clockTicks) /
                               static_cast<double>(sysconf(_SC_CLK_TCK));
        const lab::TaskCounts all = lab::Between(start, end);
        Record(prefix + "cpu_percent", 100.0 * seconds / elapsed);
        Record(prefix + "cpu_percent_schedstat",
               100.0 * static_cast<double>(all.runtimeNs) / 1e9 / elapsed);
        Record(prefix + "wakeups_per_s", static_cast<double>(all.switches) / elapsed);
        Record(prefix + "voluntary_per_s", static_cast<double>(all.voluntary) / elapsed);
        Record(prefix + "main_wakeups_per_s",
               static_cast<double>(lab::Between(start, end, pid).switches) / elapsed);
        Record(prefix + "threads_at_start", static_cast<double>(start.tasks.size()));
        RecordText(prefix + "thread_names", all.name);
    };
    Record("idle_seconds", elapsed);
    report("idle_", before, after, child.Pid());
    report("idle_floor_", floorBefore, floorAfter, floor.Pid());
}

void MeasureMemory(const Setup& setup) {
    const auto node = StartNode(setup, setup.entries);
    Process child({setup.program}, kOffscreen);
    const std::string expected = "poll from=" + std::string(lab::kToolAddress) + ":" +
                                 std::to_string(protocol::kNodePort) +
                                 " replies=" + std::to_string(setup.entries);
    const auto poll = node->WaitForLineStartingWith("poll ", 10s);
    if (!poll || *poll != expected) {
        Fail("node saw " + poll.value_or("no poll") + ": " + child.Errors());
    }
    // The program's kernel receive queue holds the replies once the node has sent them; it is
    // empty again once the program has read every one.
    const std::int64_t deadline = MonotonicNs() + (setup.entries / 10 * 2 + 10) * 1'000'000'000LL;
    std::int64_t emptyAt = 0;
    while (!emptyAt && MonotonicNs() < deadline) {
        const auto socket = lab::ReadUdpSocket(protocol::kNodePort);
        if (!socket) Fail("the program's socket is gone: " + child.Errors());
        if (socket->receiveQueueBytes == 0) emptyAt = MonotonicNs();
        std::this_thread::sleep_for(5ms);
    }
    if (!emptyAt) Fail("the program's receive queue never emptied");
    std::this_thread::sleep_for(kSettle);
    const lab::ProcMemory start = lab::ReadMemory(child.Pid());
    // Each tick lists one reply, so every entry is in the tree one tick per entry after the
    // poll; then two seconds more of ticks and paints with every entry present.
    const auto listed = std::chrono::steady_clock::time_point(
        std::chrono::nanoseconds(StartNs(child) + (setup.entries / 10 + 2) * 1'000'000'000LL));
    std::this_thread::sleep_until(listed);
    if (!child.IsRunning()) Fail("the program ended: " + child.Errors());
    const lab::ProcMemory full = lab::ReadMemory(child.Pid());
    Record("memory_queue_drained_s", static_cast<double>(emptyAt - StartNs(child)) / 1e9);
    Record("memory_full_hwm_kb", static_cast<double>(full.hwmKb));
    Record("memory_full_rss_kb", static_cast<double>(full.rssKb));
    Record("memory_per_entry_kb",
           static_cast<double>(full.rssKb - start.rssKb) / static_cast<double>(setup.entries));
}

void MeasureSize(const Setup& setup) {
    const auto run = [](const std::vector<std::string>& argv) {
        const lab::CommandResult result = lab::RunCommand(argv);
        if (!result.status.Exited(0)) Fail(argv[0] + ": " + result.errors);
        return result.output;
    };
    const auto libraries = [&](const std::string& binary) {
        std::vector<std::string> names;
        std::istringstream lines(run({"ldd", binary}));
        for (std::string line; std::getline(lines, line);) {
            const std::vector<std::string> words = Words(line);
            if (words.empty() || words[0].rfind("linux-vdso", 0) == 0) continue;
            names.push_back(words[0].substr(words[0].rfind('/') + 1));
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    const auto join = [](const std::vector<std::string>& names) {
        std::string text;
        for (const std::string& name : names) text += (text.empty() ? "" : " ") + name;
        return text;
    };
    for (const auto& [key, binary] :
         {std::pair{"size", setup.program}, {"floor_size", setup.floor}}) {
        const std::string stripped = binary + ".stripped";
        run({"strip", "-o", stripped, binary});
        Record(std::string(key) + "_bytes",
               static_cast<double>(std::filesystem::file_size(stripped)));
        Record(std::string(key) + "_libraries", static_cast<double>(libraries(binary).size()));
    }
    RecordText("size_library_list", join(libraries(setup.program)));
    std::vector<std::string> needed;
    std::istringstream dynamic(run({"readelf", "-d", setup.program}));
    for (std::string line; std::getline(dynamic, line);) {
        const std::size_t open = line.find("Shared library: [");
        if (open != std::string::npos) {
            needed.push_back(line.substr(open + 17, line.find(']', open) - open - 17));
        }
    }
    RecordText("size_needed", join(needed));
}

}  // namespace perf
