// The window menu that Windows itself shows from the title bar's icon. On Windows the dialog's
// own items go there too, so that the menu a Windows user opens holds them; elsewhere the
// window system has no such menu and these do nothing.
#pragma once

#include <optional>
#include <string>

class QWidget;

namespace framework {

// Appends an item to the window's native menu; an empty text appends a separator.
void AppendNativeSystemMenuItem(QWidget& window, unsigned command, const std::string& text);

// The command of a native window-menu choice, when message is one.
std::optional<unsigned> NativeSystemCommand(const void* message);

}  // namespace framework
