#pragma once

#include <string>

namespace res {

// The string table; empty for an id it does not hold.
std::string LoadString(int id);

}  // namespace res
