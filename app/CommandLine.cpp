#include "app/CommandLine.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace commandline {
namespace {

// The options Qt reads itself (QGuiApplication, QApplication and the X11 platform); Qt also
// takes each with two dashes.
constexpr std::array<std::string_view, 17> kQtOptionsWithValue = {
    "platform",    "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "style",  "stylesheet",
    "display",     "geometry",           "name",          "title",  "icon",
    "visual",      "inputstyle"};
constexpr std::array<std::string_view, 5> kQtFlags = {"reverse", "widgetcount", "nograb", "dograb",
                                                      "sync"};
// Qt reads these as -option=value too.
constexpr std::array<std::string_view, 3> kQtOptionsWithEquals = {"style", "stylesheet",
                                                                  "qmljsdebugger"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool IsValue(std::size_t index, const std::vector<std::string>& argv) {
    return index < argv.size() && !argv[index].empty() && argv[index][0] != '-';
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& argv) {
    CommandLine line;
    line.qtArguments.push_back(argv.empty() ? "praveltest" : argv[0]);
    bool list = false;
    auto fail = [&line](std::string error) {
        line.action = Action::Error;
        line.error = std::move(error);
        return line;
    };
    for (std::size_t i = 1; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            line.action = Action::Help;
            return line;
        }
        if (arg == "--version") {
            line.action = Action::Version;
            return line;
        }
        if (arg == "--list-interfaces") {
            list = true;
            continue;
        }
        if (arg == "--interface" || arg.rfind("--interface=", 0) == 0) {
            const std::size_t equals = arg.find('=');
            std::string value;
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (IsValue(i + 1, argv)) {
                value = argv[++i];
            }
            if (value.empty()) return fail("option '--interface' needs a value, NAME or A.B.C.D");
            line.interfaceChoice = value;  // the last one given wins, so an alias can be overridden
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-') return fail("unexpected argument '" + arg + "'");
        const std::string_view name = std::string_view(arg).substr(arg[1] == '-' ? 2 : 1);
        const std::size_t equals = name.find('=');
        if (equals != std::string_view::npos &&
            Contains(kQtOptionsWithEquals, name.substr(0, equals))) {
            line.qtArguments.push_back(arg);
        } else if (Contains(kQtFlags, name)) {
            line.qtArguments.push_back(arg);
        } else if (Contains(kQtOptionsWithValue, name)) {
            if (!IsValue(i + 1, argv)) return fail("option '" + arg + "' needs a value");
            line.qtArguments.push_back(arg);
            line.qtArguments.push_back(argv[++i]);
        } else {
            return fail("unknown option '" + arg + "'");
        }
    }
    if (list) line.action = Action::ListInterfaces;
    return line;
}

std::string HelpText(const std::string& program) {
    return "Usage: " + program + R"( [OPTION]...
Finds DMX512 lighting nodes on the local network and sends them DMX test levels,
by UDP broadcast on port 3333.

Options:
  --interface NAME|A.B.C.D  send to the network of this interface, named or given
                            by one of its IPv4 addresses: the broadcast goes to
                            a.b.c.255 of its address. Without it the program takes
                            the address of the host name, or, when that is a
                            loopback address, the first interface that is up and
                            can broadcast. Also --interface=VALUE; the last one
                            given counts.
  --list-interfaces         list this host's IPv4 interfaces that are up, then
                            exit; sends nothing and needs no display
  -h, --help                show this text and exit
  --version                 show the version and exit
Qt's own options, such as -platform NAME and -style NAME, are passed to Qt.

--list-interfaces prints one line per IPv4 address of an interface that is up:
  NAME address=A.B.C.D/PREFIX sends-to=A.B.C.255 can-broadcast=yes|no
The line of the interface the program uses without --interface ends with
  default=host-name                the host name's address, or
  default=first-broadcast-capable  the first interface that is up, not
                                   loopback and can broadcast (the host name
                                   is missing or loopback).
When the host name's address is on no interface that is up, a last line
  - address=A.B.C.D sends-to=A.B.C.255 default=host-name
shows it. NAME is all text before " address=".

Exit status: 0 when the window is closed or after --help, --version and
--list-interfaces; 2 for a bad command line or an interface that does not exist,
is down or has no IPv4 address, or an address that is not this host's (one line
on standard error names the interfaces there are; no window opens and nothing
is sent).
)";
}

}  // namespace commandline
