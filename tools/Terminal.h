// The terminal behind praveltest-cli monitor's screen: keys one at a time without echo and
// escape sequences for the cursor, on a POSIX terminal and in a Windows console alike.
#pragma once

#include <string>
#include <vector>

#ifndef _WIN32
#include <termios.h>
#endif

#include "tools/TerminalScreen.h"

namespace clitool {

bool StandardOutputIsTerminal();

// Takes the terminal over on construction, on the alternate screen, and gives it back as it was
// on destruction.
class Terminal {
public:
    Terminal();
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Columns and rows; 80 by 24 when the system cannot say.
    int Width() const;
    int Height() const;
    // The keys typed since the last call; none when standard input is no terminal.
    std::vector<KeyPress> ReadKeys();
    // Replaces what the screen shows.
    void Draw(const std::vector<std::string>& lines);

private:
    bool m_keys = false;    // standard input is a terminal, now in raw mode
    std::string m_pending;  // the start of an escape sequence not complete yet
#ifdef _WIN32
    unsigned long m_inputMode = 0;  // as they were
    unsigned long m_outputMode = 0;
    bool m_outputModeSet = false;
#else
    termios m_saved{};
#endif
};

}  // namespace clitool
