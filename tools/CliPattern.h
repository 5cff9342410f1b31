// praveltest-cli pattern check|chase|ramp: its options, and the run that plays the pattern on the
// wall clock until its end, a stop request or --seconds.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "net/SocketCompat.h"
#include "pattern/Pattern.h"
#include "tools/ToolOptions.h"

namespace clitool {

struct PatternRequest {
    pattern::Settings settings{.first = 1, .last = 512, .rate = 2.0};
    int dataFormat = 0;  // the radio index, as --format of level takes it
    double holdSeconds = 1.0;
    std::optional<double> seconds;
    bool keep = false;
    bool dryRun = false;
};

// The pattern subcommand's options, beside the ones every subcommand takes. args starts with
// the pattern's name. Says the first mistake, or nothing.
tooloptions::Problem ReadPatternArguments(std::span<const std::string> args,
                                          std::vector<tooloptions::Option> common,
                                          PatternRequest& request);
// What is out of range, as one line, or empty; checked before anything is sent.
std::string ValidatePattern(const PatternRequest& request);
// The usage line and the section of --help.
std::string PatternUsage(const std::string& program);
const char* PatternHelpSection();

// How the run sends one datagram; throws std::runtime_error when it cannot.
using FrameSender = std::function<void(std::span<const std::uint8_t>)>;

// Plays the request until it ends or stop becomes readable; the last frame sets every channel it
// touched to 0 unless --keep. Writes its lines to out. destination is "A.B.C.D:PORT".
void RunPattern(const PatternRequest& request, const FrameSender& send,
                const std::string& destination, net::SocketHandle stop, std::FILE* out);

}  // namespace clitool
