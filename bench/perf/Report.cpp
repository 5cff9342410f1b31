// The table of bench/perf.sh: each figure with its ratio to the floor, its goal and whether
// it was met.
#include <sys/utsname.h>
#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <fstream>

#include "bench/perf/Harness.h"

namespace perf {
namespace {

std::string Format(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

std::string Machine() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string model;
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    utsname system{};
    uname(&system);
    return Format("%s, %ld cores, Linux %s", model.c_str(), sysconf(_SC_NPROCESSORS_ONLN),
                  system.release);
}

class Table {
public:
    explicit Table(std::FILE* out) : m_out(out) {
        std::fprintf(m_out, "| Figure | Value | Ratio to floor | Goal | Met |\n");
        std::fprintf(m_out, "| --- | --- | --- | --- | --- |\n");
    }
    // A figure without a goal.
    void Row(const std::string& figure, const std::string& value, const std::string& ratio = {}) {
        std::fprintf(m_out, "| %s | %s | %s |  |  |\n", figure.c_str(), value.c_str(),
                     ratio.c_str());
    }
    // A figure with a goal; a figure not taken (NAN) misses it.
    void Goal(const std::string& figure, const std::string& value, const std::string& ratio,
              const std::string& goal, bool met) {
        if (!met) ++m_missed;
        std::fprintf(m_out, "| %s | %s | %s | %s | %s |\n", figure.c_str(), value.c_str(),
                     ratio.c_str(), goal.c_str(), met ? "yes" : "**no**");
    }
    int Missed() const { return m_missed; }

private:
    std::FILE* m_out;
    int m_missed = 0;
};

double F(const std::string& key) {
    return Figure(key);
}

std::string Spread(const std::string& key) {
    return Format("min %.1f, max %.1f", F(key + "_min"), F(key + "_max"));
}

}  // namespace

int Report(const Setup& setup, std::FILE* out) {
    Table table(out);
    const double floorMs = F("floor_start_ms_median");
    const double floorKb = F("floor_hwm_kb");
    table.Row(Format("Floor: bare dialog, start to shown (median of %d)", setup.runs),
              Format("%.1f ms (%s)", floorMs, Spread("floor_start_ms").c_str()), "1");
    table.Row("Floor: peak resident memory", Format("%.1f MiB", floorKb / 1024), "1");
    const double startMs = F("startup_ms_median");
    table.Goal(Format("Start-up: start to first poll on the wire (median of %d)", setup.runs),
               Format("%.1f ms (%s)", startMs, Spread("startup_ms").c_str()),
               Format("%.2f", startMs / floorMs), "≤ 1.5 × floor, < 60 ms",
               startMs <= 1.5 * floorMs && startMs < 60);
    table.Row("Main window alone in a process whose Qt is up: create (ends with the poll) / show",
              Format("%.1f / %.1f ms", F("window_create_ms"), F("window_show_ms")));

    const double floorCpu = F("idle_floor_cpu_percent_schedstat");
    const double cpu = F("idle_cpu_percent");
    const double cpuSched = F("idle_cpu_percent_schedstat");
    const double wake = F("idle_wakeups_per_s");
    table.Row("Floor with an empty 100 ms timer, idle alongside: processor time / wake-ups",
              Format("%.3f %% (%.3f %% by schedstat) / %.2f /s", F("idle_floor_cpu_percent"),
                     floorCpu, F("idle_floor_wakeups_per_s")),
              "1");
    table.Goal(
        Format("Idle processor time over %.0f s, no traffic, utime+stime", F("idle_seconds")),
        Format("%.3f %% of one core (%.3f %% by schedstat)", cpu, cpuSched),
        Format("%.2f by schedstat", cpuSched / floorCpu), "< 0.2 %, by both",
        cpu < 0.2 && cpuSched < 0.2);
    table.Goal(Format("Idle wake-ups: context switches of every thread (%s; %.0f threads at the "
                      "start)",
                      Text("idle_thread_names").c_str(), F("idle_threads_at_start")),
               Format("%.2f /s (voluntary %.2f, main thread %.2f)", wake, F("idle_voluntary_per_s"),
                      F("idle_main_wakeups_per_s")),
               Format("%.2f", wake / F("idle_floor_wakeups_per_s")),
               "≤ 10 /s, the tick (10.5 allowed for jitter)", wake <= 10.5);

    const double startKb = F("startup_hwm_kb");
    const double fullKb = F("memory_full_hwm_kb");
    table.Goal("Peak resident memory after start-up (VmHWM)", Format("%.1f MiB", startKb / 1024),
               Format("%.2f", startKb / floorKb), "≤ 1.25 × floor", startKb <= 1.25 * floorKb);
    table.Goal(Format("Peak resident memory with %d entries (VmHWM)", setup.entries),
               Format("%.1f MiB (VmRSS %.1f MiB)", fullKb / 1024, F("memory_full_rss_kb") / 1024),
               Format("%.2f", fullKb / floorKb), "< 40 MiB", fullKb < 40 * 1024);
    table.Row("Growth per entry (VmRSS)", Format("%.1f KiB", F("memory_per_entry_kb")));
    const double floorDrain = setup.entries / 10.0;
    table.Row(Format("Real program: its kernel queue of %d replies read, from process start",
                     setup.entries),
              Format("%.2f s", F("memory_queue_drained_s")),
              Format("%.3f of %.0f s", F("memory_queue_drained_s") / floorDrain, floorDrain));

    const double lost = F("latency_lost");
    const double wrong = F("latency_wrong");
    for (const char* event : {"press", "release"}) {
        const std::string key = std::string("latency_") + event + "_ms_";
        table.Goal(Format("Slider key %s to its datagram%s, median / p99 of %.0f keys", event,
                          *event == 'r' ? " (the end of the scroll)" : "", F("latency_samples")),
                   Format("%.3f / %.3f ms (max of both %.3f; %.0f lost, %.0f wrong)",
                          F(key + "median"), F(key + "p99"), F("latency_ms_max"), lost, wrong),
                   "", "< 1 ms, none lost or wrong", F(key + "p99") < 1 && lost == 0 && wrong == 0);
    }
    for (const char* kind : {"raw", "painted"}) {
        const std::string key = std::string("drag_") + kind + "_";
        const double rate = F(key + "per_s");
        table.Goal(
            Format("Drag without pause, %s", *kind == 'r' ? "moves only" : "each move painted"),
            Format("%.0f msg/s, %.1f µs each (%.0f moves, %.0f lost, %.0f out of order)", rate,
                   1e6 / rate, F(key + "moves"), F(key + "lost"), F(key + "misordered")),
            "", "< 1 ms each, none lost or reordered",
            rate > 1000 && F(key + "lost") == 0 && F(key + "misordered") == 0);
    }
    for (const int n : setup.counts) {
        const std::string key = "discovery_" + std::to_string(n) + "_";
        const double all = F(key + "all_s");
        const bool everyOne = F(key + "listed") == n && F(key + "distinct") == n &&
                              F(key + "complete") == n && F(key + "message_boxes") == 0;
        table.Goal(Format("Discovery of %d nodes after one poll (floor %.1f s)", n, n / 10.0),
                   Format("%.2f s (%.0f listed)", all, F(key + "listed")),
                   Format("%.3f of the floor", all / (n / 10.0)), "near n/10 s, no node lost",
                   everyOne && all > 0 && all < n / 10.0 + 1);
    }

    table.Goal(Format("DMX flood from another host, %.0f datagrams/s for %.0f s: kernel drops on "
                      "the program's socket",
                      F("flood_rate"), F("flood_seconds")),
               Format("%.0f of %.0f sent (%.0f bytes left queued)", F("flood_drops"),
                      F("flood_sent"), F("flood_queue_left_bytes")),
               "", "none", F("flood_drops") == 0);
    table.Goal("DMX flood: the longest tick's work",
               Format("%.2f ms (median %.2f ms, %.1f ticks/s)", F("flood_longest_tick_ms"),
                      F("flood_median_tick_ms"), F("flood_ticks_per_s")),
               "", "< 5 ms", F("flood_longest_tick_ms") < 5);
    table.Row("DMX flood: processor time of the window's thread",
              Format("%.1f %% of one core", F("flood_cpu_percent")),
              Format("%.0f × the idle floor", F("flood_cpu_percent") / floorCpu));
    const double boxes = F("latency_message_boxes") + F("flood_message_boxes");
    table.Goal("Message boxes during latency, drag and flood", Format("%.0f", boxes), "", "none",
               boxes == 0);

    table.Row("Stripped release binary", Format("%.0f KiB (floor %.0f KiB)", F("size_bytes") / 1024,
                                                F("floor_size_bytes") / 1024));
    table.Row("Linked libraries",
              Format("directly: %s; %.0f in all with ld.so (floor %.0f)",
                     Text("size_needed").c_str(), F("size_libraries"), F("floor_size_libraries")));
    std::fprintf(out, "\nMachine: %s. Libraries of the program: %s.\n", Machine().c_str(),
                 Text("size_library_list").c_str());
    return table.Missed();
}

}  // namespace perf
