// Figures of whole processes: the floor program, and the real program in the lab's tool
// namespace (this harness is started there, with the lab's host name) watched from a node
// namespace on the same bridge.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "bench/perf/Modes.h"
#include "bench/perf/Support.h"
#include "tests/lab/NamespaceSwitch.h"

namespace perf {
namespace {

using namespace std::chrono_literals;

constexpr std::uint16_t kNodePort = 3333;
constexpr char kToolAddress[] = "10.1.2.3";
const std::vector<std::uint8_t> kPoll{'V', 'X', 'P', 'P', 0x01};
const std::vector<std::string> kOffscreen{"QT_QPA_PLATFORM=offscreen"};
// Memory is read this long after the first poll (the program) or the first show (the floor),
// so that both have painted their window once.
constexpr auto kSettle = 500ms;

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (end > at) words.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

// Waits for the program's start-up poll at the listener; its kernel arrival time on the
// monotonic clock, or nothing.
std::optional<std::int64_t> AwaitPoll(PeerSocket& listener, std::chrono::milliseconds timeout) {
    const std::int64_t offset = RealtimeMinusMonotonicNs();
    const std::int64_t deadline = MonotonicNs() + timeout.count() * 1'000'000;
    while (MonotonicNs() < deadline) {
        const auto datagram = listener.Receive(100ms);
        if (!datagram) continue;
        if (datagram->bytes == kPoll && datagram->senderAddress == kToolAddress) {
            return datagram->kernelRealtimeNs - offset;
        }
    }
    return std::nullopt;
}

std::unique_ptr<PeerSocket> ListenerIn(const std::string& nodeNamespace) {
    lab::NamespaceSwitch inside(nodeNamespace);
    auto listener = std::make_unique<PeerSocket>("0.0.0.0", kNodePort);
    listener->SetReceiveBuffer(1 << 20);
    return listener;
}

bool ExitedCleanly(Process& child, std::chrono::milliseconds timeout) {
    const auto status = child.Wait(timeout);
    return status && status->Exited(0);
}

}  // namespace

int RunFloor(const Options& options) {
    const std::string binary = options.Text("floor");
    const int runs = options.Number("runs", 10);
    std::vector<double> startMs, hwmKb, rssKb;
    for (int run = -1; run < runs; ++run) {  // run -1 warms the caches and is not counted
        Process floor({binary, "--hold-ms", std::to_string(kSettle.count())}, kOffscreen);
        const auto shown = floor.WaitForLineStartingWith("shown ", 10s);
        const auto memory = floor.WaitForLineStartingWith("memory ", 10s);
        if (!shown || !memory || !ExitedCleanly(floor, 5s)) {
            Fail("floor_dialog did not report: " + floor.Errors());
        }
        if (run < 0) continue;
        startMs.push_back(static_cast<double>(std::stoll(Split(*shown)[1]) - StartNs(floor)) / 1e6);
        const auto words = Split(*memory);
        hwmKb.push_back(std::stod(words[1]));
        rssKb.push_back(std::stod(words[2]));
    }
    Result("floor_start_ms_median", Median(startMs));
    Result("floor_start_ms_min", *std::min_element(startMs.begin(), startMs.end()));
    Result("floor_start_ms_max", *std::max_element(startMs.begin(), startMs.end()));
    Result("floor_hwm_kb", Median(hwmKb));
    Result("floor_rss_kb", Median(rssKb));
    return 0;
}

int RunStartup(const Options& options) {
    const std::string program = options.Text("program");
    const int runs = options.Number("runs", 10);
    auto listener = ListenerIn(options.Text("node-ns"));
    std::vector<double> startMs, hwmKb, rssKb;
    for (int run = -1; run < runs; ++run) {
        listener->Discard();
        Process child({program}, kOffscreen);
        const auto arrival = AwaitPoll(*listener, 10s);
        if (!arrival) Fail("no start-up poll from the program: " + child.Errors());
        std::this_thread::sleep_for(kSettle);
        if (!child.IsRunning()) Fail("the program ended after its poll: " + child.Errors());
        const ProcMemory memory = ReadMemory(child.Pid());
        child.Stop();
        // Nothing more than the one poll may have gone out.
        while (const auto extra = listener->Receive(0ms)) {
            if (extra->senderAddress == kToolAddress) Fail("the program sent more than its poll");
        }
        if (run < 0) continue;
        startMs.push_back(static_cast<double>(*arrival - StartNs(child)) / 1e6);
        hwmKb.push_back(static_cast<double>(memory.hwmKb));
        rssKb.push_back(static_cast<double>(memory.rssKb));
    }
    Result("startup_ms_median", Median(startMs));
    Result("startup_ms_min", *std::min_element(startMs.begin(), startMs.end()));
    Result("startup_ms_max", *std::max_element(startMs.begin(), startMs.end()));
    Result("startup_hwm_kb", Median(hwmKb));
    Result("startup_rss_kb", Median(rssKb));
    return 0;
}

int RunIdle(const Options& options) {
    const int seconds = options.Number("seconds", 60);
    auto listener = ListenerIn(options.Text("node-ns"));
    Process child({options.Text("program")}, kOffscreen);
    if (!AwaitPoll(*listener, 10s)) Fail("no start-up poll from the program: " + child.Errors());
    // Measured over the same window: the floor dialog with an empty timer at the same period.
    Process floor({options.Text("floor"), "--hold-ms", std::to_string((seconds + 30) * 1000),
                   "--tick-ms", "100"},
                  kOffscreen);
    if (!floor.WaitForLineStartingWith("shown ", 10s)) Fail("floor_dialog: " + floor.Errors());
    std::this_thread::sleep_for(2s);  // past start-up's own work
    const ProcActivity before = ReadActivity(child.Pid());
    const ProcActivity floorBefore = ReadActivity(floor.Pid());
    const ProcMemory memoryBefore = ReadMemory(child.Pid());
    const std::int64_t from = MonotonicNs();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const ProcActivity after = ReadActivity(child.Pid());
    const ProcActivity floorAfter = ReadActivity(floor.Pid());
    const ProcMemory memoryAfter = ReadMemory(child.Pid());
    const double elapsed = static_cast<double>(MonotonicNs() - from) / 1e9;
    if (!child.IsRunning()) Fail("the program ended while idle: " + child.Errors());
    if (!floor.IsRunning()) Fail("floor_dialog ended while idle: " + floor.Errors());
    child.Stop();
    floor.Stop();

    const auto report = [&](const std::string& prefix, const ProcActivity& start,
                            const ProcActivity& end, pid_t pid) {
        const double tickSeconds = static_cast<double>(end.clockTicks - start.clockTicks) /
                                   static_cast<double>(sysconf(_SC_CLK_TCK));
        const TaskCounts all = Between(start, end);
        const TaskCounts main = Between(start, end, pid);
        Result(prefix + "cpu_percent", 100.0 * tickSeconds / elapsed);
        Result(prefix + "cpu_percent_schedstat",
               100.0 * static_cast<double>(all.runtimeNs) / 1e9 / elapsed);
        Result(prefix + "wakeups_per_s", static_cast<double>(all.switches) / elapsed);
        Result(prefix + "voluntary_per_s", static_cast<double>(all.voluntary) / elapsed);
        Result(prefix + "main_wakeups_per_s", static_cast<double>(main.switches) / elapsed);
        Result(prefix + "threads", static_cast<double>(end.tasks.size()));
        Result(prefix + "thread_names", all.name);
        Result(prefix + "threads_at_start", static_cast<double>(start.tasks.size()));
    };
    Result("idle_seconds", elapsed);
    report("idle_", before, after, child.Pid());
    report("idle_floor_", floorBefore, floorAfter, floor.Pid());
    Result("idle_rss_growth_kb", static_cast<double>(memoryAfter.rssKb - memoryBefore.rssKb));
    return 0;
}

int RunMemory(const Options& options) {
    const int count = options.Number("count", 500);
    Process node({"ip", "netns", "exec", options.Text("node-ns"), options.Text("node"), "--count",
                  std::to_string(count)});
    if (!node.WaitForLineStartingWith("ready ", 5s)) Fail("node not ready: " + node.Errors());
    Process child({options.Text("program")}, kOffscreen);
    const std::string expected =
        "poll from=" + std::string(kToolAddress) + ":3333 replies=" + std::to_string(count);
    const auto poll = node.WaitForLineStartingWith("poll ", 10s);
    if (!poll || *poll != expected) {
        Fail("node saw " + poll.value_or("no poll") + ": " + child.Errors());
    }
    std::this_thread::sleep_for(kSettle);
    const ProcMemory start = ReadMemory(child.Pid());

    // The program takes one datagram per tick; once its receive queue is empty it has read
    // every reply (the poll's own loopback copy included).
    const std::int64_t deadline = MonotonicNs() + (count / 10 * 2 + 10) * 1'000'000'000LL;
    bool sawQueue = false;
    std::int64_t emptyAt = 0;
    while (MonotonicNs() < deadline) {
        const auto queue = UdpReceiveQueue(kNodePort);
        if (!queue) Fail("the program's socket is gone: " + child.Errors());
        if (*queue > 0) sawQueue = true;
        if (sawQueue && *queue == 0) {
            emptyAt = MonotonicNs();
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    if (!emptyAt) Fail("the program's receive queue never emptied");
    std::this_thread::sleep_for(1s);  // a few more ticks and paints with every entry present
    if (!child.IsRunning()) Fail("the program ended: " + child.Errors());
    const ProcMemory full = ReadMemory(child.Pid());
    child.Stop();
    node.Stop();
    Result("memory_entries", count);
    Result("memory_queue_drained_s", static_cast<double>(emptyAt - StartNs(child)) / 1e9);
    Result("memory_start_hwm_kb", static_cast<double>(start.hwmKb));
    Result("memory_start_rss_kb", static_cast<double>(start.rssKb));
    Result("memory_full_hwm_kb", static_cast<double>(full.hwmKb));
    Result("memory_full_rss_kb", static_cast<double>(full.rssKb));
    Result("memory_per_entry_kb",
           static_cast<double>(full.rssKb - start.rssKb) / static_cast<double>(count));
    return 0;
}

}  // namespace perf
