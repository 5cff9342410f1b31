// The user's choice of interface, kept between runs in the platform's settings store: the
// registry on Windows, the user's configuration folder elsewhere.
#pragma once

#include <optional>
#include <string>

namespace keptnetwork {

// The interface name kept, if any; needs a Qt application.
std::optional<std::string> Load();
// Nothing forgets the choice.
void Save(const std::optional<std::string>& interfaceName);

}  // namespace keptnetwork
