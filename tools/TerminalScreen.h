// praveltest-cli monitor's live screen as text: what it shows of the model at a width and a
// height, and what the keys do. No terminal here, so that it is tested as lines.
#pragma once

#include <string>
#include <vector>

#include "monitor/DmxMonitor.h"

namespace clitool {

enum class ValueMode { Level, Percent, Hex };

struct KeyPress {
    enum class Kind { Character, Left, Right, Up, Down };
    Kind kind = Kind::Character;
    char character = 0;
};

struct ScreenView {
    int universe = 1;
    ValueMode mode = ValueMode::Level;
    int firstRow = 0;       // of the grid, when it does not fit
    std::string listening;  // "lo port 3333"
};

// Header, the universe's sources and its grid of channels fitted to width, then the keys; at
// most height lines, none longer than width. Keeps view.firstRow within the rows there are.
std::vector<std::string> ScreenLines(const monitor::DmxMonitor& model, ScreenView& view, int width,
                                     int height, monitor::Time now);

// Right and n go to the next universe heard, left and p to the previous one, up and down
// scroll the grid, m turns levels into percent, hex and back. False for q: quit.
bool ApplyKey(const KeyPress& key, ScreenView& view, const std::vector<int>& universes);

}  // namespace clitool
