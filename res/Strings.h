#pragma once

#include <string>

namespace res {

// The program's name, as its windows and message boxes are captioned.
inline constexpr char kProgramName[] = "PraveltTest";

// The string table; empty for an id it does not hold.
std::string LoadString(int id);

}  // namespace res
