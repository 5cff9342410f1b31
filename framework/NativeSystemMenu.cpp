#include "framework/NativeSystemMenu.h"

#include <QWidget>

#ifdef _WIN32
#include <windows.h>
#endif

namespace framework {

#ifdef _WIN32
void AppendNativeSystemMenuItem(QWidget& window, unsigned command, const std::string& text) {
    HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(window.winId()), FALSE);
    if (menu == nullptr) return;
    if (text.empty()) {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    } else {
        AppendMenuA(menu, MF_STRING, command, text.c_str());
    }
}

std::optional<unsigned> NativeSystemCommand(const void* message) {
    const auto* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_SYSCOMMAND) return std::nullopt;
    return static_cast<unsigned>(msg->wParam);
}
#else
void AppendNativeSystemMenuItem(QWidget&, unsigned, const std::string&) {}

std::optional<unsigned> NativeSystemCommand(const void*) {
    return std::nullopt;
}
#endif

}  // namespace framework
