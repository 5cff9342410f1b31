// The window program's command line (praveltest's, not the tools'), read before any window
// system is touched: --help, --version, --list-interfaces and mistakes need no display. Qt's own
// options are handed on to Qt, which is why it does not share the tools' option reader.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace commandline {

enum class Action { Run, Help, Version, ListInterfaces, Error };

struct CommandLine {
    Action action = Action::Run;
    // The value of --interface: an interface name or one of this host's IPv4 addresses.
    std::optional<std::string> interfaceChoice;
    // The program name, then Qt's options with their values, in the order given.
    std::vector<std::string> qtArguments;
    // One line, without the program name, for Action::Error.
    std::string error;
};

// argv includes the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& argv);

std::string HelpText(const std::string& program);

}  // namespace commandline
