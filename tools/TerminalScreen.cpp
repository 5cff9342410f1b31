#include "tools/TerminalScreen.h"

#include <algorithm>
#include <cstdio>

#include "tools/MonitorLog.h"

namespace clitool {
namespace {

constexpr int kLabelWidth = 4;  // "512:"

int CellWidth(ValueMode mode) {
    return mode == ValueMode::Hex ? 2 : 3;
}

const char* ModeName(ValueMode mode) {
    switch (mode) {
        case ValueMode::Percent:
            return "percent";
        case ValueMode::Hex:
            return "hex";
        case ValueMode::Level:
            break;
    }
    return "level";
}

std::string Cell(std::uint8_t level, ValueMode mode) {
    char text[16];  // room for any int, as the compiler cannot see the ranges
    switch (mode) {
        case ValueMode::Percent:
            // Rounded down, as the window's level field shows it.
            std::snprintf(text, sizeof text, " %3d", level * 100 / 255);
            break;
        case ValueMode::Hex:
            std::snprintf(text, sizeof text, " %02X", level);
            break;
        case ValueMode::Level:
            std::snprintf(text, sizeof text, " %3d", level);
            break;
    }
    return text;
}

// As many cells as fit, in eights from eight on, so that rows start at channels easy to find.
int Columns(ValueMode mode, int width) {
    const int fit = (width - kLabelWidth) / (CellWidth(mode) + 1);
    return fit >= 8 ? fit - fit % 8 : std::max(fit, 1);
}

std::string SourceLine(const monitor::Source& source, bool shown, monitor::Time now) {
    const bool live = source.state == monitor::SourceState::Live;
    char text[160];
    std::snprintf(text, sizeof text, "%c %-15s %s %3.0f frames/s  start-code %d  %s  %d channels",
                  shown ? '>' : ' ', source.addressText.c_str(), live ? "live" : "lost",
                  live ? source.FramesPerSecond(now) : 0.0, source.startCode,
                  FormatWord(source.dataType), source.channelCount);
    return text;
}

// The grid's source: the first live one, else the first.
const monitor::Source* Shown(const monitor::DmxMonitor& model, const monitor::Universe& universe) {
    const monitor::Source* shown = nullptr;
    for (const std::size_t index : universe.sources) {
        const monitor::Source& source = model.Sources()[index];
        if (source.state == monitor::SourceState::Live) return &source;
        if (!shown) shown = &source;
    }
    return shown;
}

std::vector<std::string> GridRows(const monitor::Source& source, ValueMode mode, int columns) {
    std::vector<std::string> rows;
    for (int first = 0; first < source.channelCount; first += columns) {
        char label[16];  // room for any int
        std::snprintf(label, sizeof label, "%3d:", first + 1);
        std::string row = label;
        for (int channel = first; channel < std::min<int>(first + columns, source.channelCount);
             ++channel) {
            row += Cell(source.levels[static_cast<std::size_t>(channel)], mode);
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

std::vector<std::string> ScreenLines(const monitor::DmxMonitor& model, ScreenView& view, int width,
                                     int height, monitor::Time now) {
    const std::vector<int> universes = model.UniverseNumbers();
    std::vector<std::string> lines{"praveltest-cli monitor on " + view.listening + " | " +
                                   std::to_string(universes.size()) + " universes, " +
                                   std::to_string(model.Sources().size()) + " sources, " +
                                   std::to_string(model.Frames()) + " frames, " +
                                   std::to_string(model.Malformed()) + " malformed"};
    std::string heard =
        "Universe " + std::to_string(view.universe) + " in " + ModeName(view.mode) + " | heard:";
    for (const int number : universes) {
        // Appended piece by piece: GCC 12 at -O3 misreads " " + std::to_string(...).
        heard += ' ';
        heard += std::to_string(number);
    }
    if (universes.empty()) heard += " none";
    const monitor::Universe* universe = model.FindUniverse(view.universe);
    if (universe && universe->Conflict(model.Sources())) heard += " | CONFLICT";
    lines.push_back(heard);

    const monitor::Source* shown = universe ? Shown(model, *universe) : nullptr;
    if (!universe) {
        lines.push_back("  no DMX data on this universe yet");
    } else {
        for (const std::size_t index : universe->sources) {
            const monitor::Source& source = model.Sources()[index];
            lines.push_back(SourceLine(source, &source == shown, now));
        }
    }

    const int columns = Columns(view.mode, width);
    const std::vector<std::string> grid =
        shown ? GridRows(*shown, view.mode, columns) : std::vector<std::string>{};
    const int room = std::max(height - static_cast<int>(lines.size()) - 1, 0);
    const int rows = static_cast<int>(grid.size());
    view.firstRow = std::clamp(view.firstRow, 0, std::max(rows - room, 0));
    const int last = std::min(view.firstRow + room, rows);
    lines.insert(lines.end(), grid.begin() + view.firstRow, grid.begin() + last);
    std::string keys = "keys: left/right universe, m level/percent/hex, q quit";
    if (last - view.firstRow < rows) {
        keys = "channels " + std::to_string(view.firstRow * columns + 1) + "-" +
               std::to_string(std::min<int>(last * columns, shown->channelCount)) + " of " +
               std::to_string(shown->channelCount) + ", up/down scroll | " + keys;
    }
    lines.push_back(keys);

    if (static_cast<int>(lines.size()) > height) lines.resize(static_cast<std::size_t>(height));
    for (std::string& line : lines) {
        if (static_cast<int>(line.size()) > width) line.resize(static_cast<std::size_t>(width));
    }
    return lines;
}

bool ApplyKey(const KeyPress& key, ScreenView& view, const std::vector<int>& universes) {
    using Kind = KeyPress::Kind;
    const char c = key.kind == Kind::Character ? key.character : '\0';
    if (c == 'q' || c == 'Q') return false;
    if (key.kind == Kind::Right || c == 'n') {
        const auto next = std::upper_bound(universes.begin(), universes.end(), view.universe);
        if (!universes.empty()) view.universe = next == universes.end() ? universes.front() : *next;
        view.firstRow = 0;
    } else if (key.kind == Kind::Left || c == 'p') {
        const auto before = std::lower_bound(universes.begin(), universes.end(), view.universe);
        if (!universes.empty()) {
            view.universe = before == universes.begin() ? universes.back() : *(before - 1);
        }
        view.firstRow = 0;
    } else if (key.kind == Kind::Up) {
        view.firstRow = std::max(view.firstRow - 1, 0);
    } else if (key.kind == Kind::Down) {
        ++view.firstRow;
    } else if (c == 'm') {
        view.mode = view.mode == ValueMode::Level     ? ValueMode::Percent
                    : view.mode == ValueMode::Percent ? ValueMode::Hex
                                                      : ValueMode::Level;
    }
    return true;
}

}  // namespace clitool
