#include "tools/Terminal.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace clitool {
namespace {

// The alternate screen without a cursor, so that the shell's lines are back as they were after.
constexpr char kEnter[] = "\x1b[?1049h\x1b[?25l";
constexpr char kLeave[] = "\x1b[?25h\x1b[?1049l";

void Put(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

#ifdef _WIN32

// A console, not merely a character device: _isatty says yes to NUL too.
bool StandardOutputIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

Terminal::Terminal() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(output, &mode)) {
        m_outputMode = mode;
        m_outputModeSet = SetConsoleMode(output, mode | ENABLE_PROCESSED_OUTPUT |
                                                     ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    }
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (GetConsoleMode(input, &mode)) {
        m_inputMode = mode;
        // Ctrl+C stays a stop request: processed input is kept.
        const DWORD raw = (mode | ENABLE_PROCESSED_INPUT) &
                          ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                                              ENABLE_VIRTUAL_TERMINAL_INPUT);
        m_keys = SetConsoleMode(input, raw) != 0;
    }
    Put(kEnter);
}

Terminal::~Terminal() {
    Put(kLeave);
    if (m_keys) SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), m_inputMode);
    if (m_outputModeSet) SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), m_outputMode);
}

int Terminal::Width() const {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 80;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

int Terminal::Height() const {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 24;
    return info.srWindow.Bottom - info.srWindow.Top + 1;
}

std::vector<KeyPress> Terminal::ReadKeys() {
    std::vector<KeyPress> keys;
    if (!m_keys) return keys;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD waiting = 0;
    while (GetNumberOfConsoleInputEvents(input, &waiting) && waiting > 0) {
        INPUT_RECORD record;
        DWORD read = 0;
        if (!ReadConsoleInputW(input, &record, 1, &read) || read == 0) break;
        if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
        const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
        using Kind = KeyPress::Kind;
        switch (key.wVirtualKeyCode) {
            case VK_LEFT:
                keys.push_back({Kind::Left, 0});
                break;
            case VK_RIGHT:
                keys.push_back({Kind::Right, 0});
                break;
            case VK_UP:
                keys.push_back({Kind::Up, 0});
                break;
            case VK_DOWN:
                keys.push_back({Kind::Down, 0});
                break;
            default:
                if (key.uChar.UnicodeChar > 0 && key.uChar.UnicodeChar < 0x80) {
                    keys.push_back({Kind::Character, static_cast<char>(key.uChar.UnicodeChar)});
                }
        }
    }
    return keys;
}

#else

bool StandardOutputIsTerminal() {
    return isatty(STDOUT_FILENO) != 0;
}

Terminal::Terminal() {
    if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &m_saved) == 0) {
        termios raw = m_saved;
        // Signals stay on: Ctrl+C is a stop request as everywhere else.
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        m_keys = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    Put(kEnter);
}

Terminal::~Terminal() {
    Put(kLeave);
    if (m_keys) tcsetattr(STDIN_FILENO, TCSANOW, &m_saved);
}

int Terminal::Width() const {
    winsize size{};
    return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

int Terminal::Height() const {
    winsize size{};
    return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 ? size.ws_row : 24;
}

std::vector<KeyPress> Terminal::ReadKeys() {
    std::vector<KeyPress> keys;
    if (!m_keys) return keys;
    char buffer[64];
    for (ssize_t count; (count = read(STDIN_FILENO, buffer, sizeof buffer)) > 0;) {
        m_pending.append(buffer, static_cast<std::size_t>(count));
    }
    using Kind = KeyPress::Kind;
    std::size_t at = 0;
    while (at < m_pending.size()) {
        if (m_pending[at] != '\x1b') {
            keys.push_back({Kind::Character, m_pending[at++]});
            continue;
        }
        // The arrows: ESC [ A to D, or ESC O A to D in application mode.
        const bool introducer =
            at + 1 < m_pending.size() && (m_pending[at + 1] == '[' || m_pending[at + 1] == 'O');
        if (at + 1 < m_pending.size() && !introducer) {
            ++at;  // the Esc key alone
            continue;
        }
        if (m_pending.size() - at < 3) break;
        const char final = m_pending[at + 2];
        if (final >= 'A' && final <= 'D') {
            constexpr Kind kArrows[]{Kind::Up, Kind::Down, Kind::Right, Kind::Left};
            keys.push_back({kArrows[final - 'A'], 0});
            at += 3;
        } else {
            ++at;  // another sequence: its other bytes count as keys of no meaning here
        }
    }
    m_pending.erase(0, at);
    return keys;
}

#endif

void Terminal::Draw(const std::vector<std::string>& lines) {
    // Home, each line with the rest of its row cleared, then everything below.
    std::string text = "\x1b[H";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += lines[i] + "\x1b[K" + (i + 1 < lines.size() ? "\r\n" : "");
    }
    Put(text + "\x1b[J");
}

}  // namespace clitool
