// The command line of praveltest-cli: which subcommand, with which settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output/OutputSettings.h"
#include "protocol/NodeProtocol.h"
#include "tools/CliPattern.h"

namespace clitool {

enum class Action { Poll, Level, Monitor, Pattern, Help, Version, ListInterfaces, Error };
enum class PollFormat { Table, Json, Csv };
// Screen on a terminal, log when piped, unless chosen.
enum class MonitorFormat { Automatic, Screen, Log, Json };

struct PollRequest {
    int waitMilliseconds = 3000;
    std::optional<int> expect;
    PollFormat format = PollFormat::Table;
};

struct LevelRequest {
    std::uint8_t level = 0;
    // As the window holds them at start-up; values out of range are clamped when sent.
    output::OutputSettings settings{.channelCount = 512,
                                    .levelText = {},
                                    .dataFormat = output::kRaw,
                                    .universe = 1,
                                    .startCode = 0};
    bool dryRun = false;
};

struct MonitorRequest {
    MonitorFormat format = MonitorFormat::Automatic;
    // The screen's first universe; the only one log and json report.
    std::optional<int> universe;
    std::optional<int> milliseconds;  // until stopped when absent
};

struct Arguments {
    Action action = Action::Error;
    std::optional<std::string> interfaceChoice;
    std::uint16_t port = protocol::kNodePort;
    PollRequest poll;
    LevelRequest level;
    MonitorRequest monitor;
    PatternRequest pattern;
    std::string error;  // one line, for Action::Error
};

// args excludes the program name. Options take "--name value" or "--name=value".
Arguments ParseArguments(const std::vector<std::string>& args);
std::string HelpText(const std::string& program);

// The --format word of a level message for its radio index: raw, rle, pairs or zero.
const char* DataFormatName(int dataFormat);

}  // namespace clitool
