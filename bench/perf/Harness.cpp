#include "bench/perf/Harness.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace perf {
namespace {

std::map<std::string, double> g_figures;
std::map<std::string, std::string> g_texts;

std::int64_t Now(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

void Record(const std::string& key, double value) {
    g_figures[key] = value;
    std::fprintf(stderr, "  %s %.6g\n", key.c_str(), value);
}

void RecordText(const std::string& key, const std::string& text) {
    g_texts[key] = text;
    std::fprintf(stderr, "  %s %s\n", key.c_str(), text.c_str());
}

double Figure(const std::string& key) {
    const auto found = g_figures.find(key);
    return found == g_figures.end() ? NAN : found->second;
}

std::string Text(const std::string& key) {
    const auto found = g_texts.find(key);
    return found == g_texts.end() ? std::string() : found->second;
}

void Fail(const std::string& why) {
    std::fprintf(stderr, "praveltest_perf: %s\n", why.c_str());
    std::exit(1);
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

double Median(std::vector<double> values) {
    return Percentile(std::move(values), 0.5);
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    if (fraction == 0.5 && values.size() % 2 == 0) {
        return (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
    }
    // Nearest rank: the smallest value with at least this fraction of samples at or below it.
    const double rank = std::ceil(fraction * static_cast<double>(values.size()));
    const std::size_t index = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
    return values[std::min(index, values.size() - 1)];
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
