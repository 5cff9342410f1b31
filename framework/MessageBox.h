// The program's one way of reporting: a modal box with one text and an OK button.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace framework {

// Receives every message box; returns once the box has been answered.
using MessageBoxSink = std::function<void(const std::string& text)>;

// Boxes nest (a timer tick may report while a box is open) up to this depth. Reports beyond it
// are held, identical ones counted, and shown in order as soon as boxes close.
inline constexpr int kMaxNestedBoxes = 4;
inline constexpr std::size_t kMaxHeldReports = 64;

// Shows a warning box through the current sink.
void MessageBox(const std::string& text);

// Replaces the sink (tests watch and answer boxes without blocking); returns the previous one.
MessageBoxSink SetMessageBoxSink(MessageBoxSink sink);

// The real sink: a Qt warning box under the program's caption, in a modal run of its own,
// which a quit request also ends. Until the program installs one, boxes have no caption.
MessageBoxSink QtMessageBoxSink(std::string caption);

}  // namespace framework
