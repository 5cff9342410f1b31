// Static routing tables: each row maps an event kind, a notification code and a control id
// to a member handler of the window. The first matching row wins; unmatched events get the
// window's default handling.
#pragma once

#include <span>

namespace framework {

enum class EventKind {
    Command,  // a control's notification: button clicked, field text changed
    Notify,   // a rich control's notification: tree selection changed
    Timer,    // a timer by id ran out
    VerticalScroll,
    SystemCommand,  // a command from the window menu
};

// Notification codes, numbered as the window system numbers them.
inline constexpr int kButtonClicked = 0;                            // BN_CLICKED
inline constexpr int kEditChanged = 0x0300;                         // EN_CHANGE
inline constexpr int kTreeNotifyFirst = -400;                       // TVN_FIRST
inline constexpr int kTreeSelectionChanged = kTreeNotifyFirst - 2;  // TVN_SELCHANGED

// Scroll codes of a vertical scroll notification.
enum ScrollCode : int {
    kLineUp = 0,
    kLineDown = 1,
    kPageUp = 2,
    kPageDown = 3,
    kThumbPosition = 4,
    kThumbTrack = 5,
    kTop = 6,
    kBottom = 7,
    kEndScroll = 8,
};

// System commands; the low four bits are the window system's own, so commands compare under
// this mask.
inline constexpr unsigned kSystemCommandMask = 0xFFF0u;
inline constexpr unsigned kSystemCommandClose = 0xF060;  // SC_CLOSE

// Matches every code or control id in a route.
inline constexpr int kAny = -0x7fffffff;

struct Event {
    EventKind kind;
    int code = 0;       // notification or scroll code
    int controlId = 0;  // the control that raised it; the timer id for Timer
    int position = 0;   // scroll position
    unsigned command = 0;
};

// A SystemCommand event's command without the window system's own bits.
inline unsigned SystemCommandOf(const Event& event) {
    return event.command & kSystemCommandMask;
}

template <class Window>
struct Route {
    EventKind kind;
    int code;
    int controlId;
    void (Window::*handler)(Event&);
};

template <class Window>
bool RouteEvent(std::span<const Route<Window>> table, Window& window, Event& event) {
    for (const Route<Window>& route : table) {
        if (route.kind != event.kind) continue;
        if (route.code != kAny && route.code != event.code) continue;
        if (route.controlId != kAny && route.controlId != event.controlId) continue;
        (window.*route.handler)(event);
        return true;
    }
    return false;
}

}  // namespace framework
