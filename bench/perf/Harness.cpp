#include "bench/perf/Harness.h"

#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace perf {
namespace {

struct TableRow {
    std::string figure, value, ratio, goal, met;
};
std::vector<TableRow> g_rows;

std::int64_t Now(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

void Row(const std::string& figure, const std::string& value, const std::string& ratio) {
    Goal(figure, value, ratio, {}, true);
}

void Goal(const std::string& figure, const std::string& value, const std::string& ratio,
          const std::string& goal, bool met) {
    const std::string verdict = goal.empty() ? "" : met ? "yes" : "**no**";
    g_rows.push_back({figure, value, ratio, goal, verdict});
    std::fprintf(stderr, "  %s: %s %s\n", figure.c_str(), value.c_str(), verdict.c_str());
}

int PrintTable(std::FILE* out) {
    std::fprintf(out, "| Figure | Value | Ratio to floor | Goal | Met |\n");
    std::fprintf(out, "| --- | --- | --- | --- | --- |\n");
    for (const TableRow& row : g_rows) {
        std::fprintf(out, "| %s | %s | %s | %s | %s |\n", row.figure.c_str(), row.value.c_str(),
                     row.ratio.c_str(), row.goal.c_str(), row.met.c_str());
    }
    return static_cast<int>(std::count_if(g_rows.begin(), g_rows.end(),
                                          [](const TableRow& row) { return row.met == "**no**"; }));
}

std::string Format(const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

void Fail(const std::string& why) {
    std::fprintf(stderr, "praveltest_perf: %s\n", why.c_str());
    std::exit(1);
}

int GrantedReceiveQueue(int bytes) {
    const int probe = socket(AF_INET, SOCK_DGRAM, 0);
    if (probe < 0) Fail("cannot make a socket to read the receive-queue limit");
    int granted = 0;
    socklen_t length = sizeof granted;
    setsockopt(probe, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    getsockopt(probe, SOL_SOCKET, SO_RCVBUF, &granted, &length);
    close(probe);
    return granted;
}

std::int64_t MonotonicNs() {
    return Now(CLOCK_MONOTONIC);
}

std::int64_t RealtimeNs() {
    return Now(CLOCK_REALTIME);
}

std::int64_t RealtimeMinusMonotonicNs() {
    const std::int64_t before = MonotonicNs();
    const std::int64_t real = RealtimeNs();
    return real - (before + MonotonicNs()) / 2;
}

std::int64_t StartNs(const Process& child) {
    // steady_clock is CLOCK_MONOTONIC on Linux.
    return std::chrono::duration_cast<std::chrono::nanoseconds>(child.Started().time_since_epoch())
        .count();
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const std::size_t count = values.size();
    if (fraction == 0.5 && count % 2 == 0) return (values[count / 2 - 1] + values[count / 2]) / 2;
    const double rank = std::ceil(fraction * static_cast<double>(count));
    return values[std::min(rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1, count - 1)];
}

bool Application::notify(QObject* receiver, QEvent* event) {
    if (!watcher) return QApplication::notify(receiver, event);
    // Read before: handling may delete the event's receiver, which is then only compared.
    const QEvent::Type type = event->type();
    const std::int64_t from = MonotonicNs();
    const bool handled = QApplication::notify(receiver, event);
    watcher(receiver, type, MonotonicNs() - from);
    return handled;
}

}  // namespace perf
