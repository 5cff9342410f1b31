// The command-line reader that praveltest-cli and praveltest-node share.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/ToolOptions.h"

namespace {

using Args = std::vector<std::string>;
using tooloptions::Problem;

TEST(ToolOptions, IntegersAreDecimalOrHexWithinTheirRange) {
    const struct {
        std::string text;
        long long min, max;
        std::optional<long long> value;
    } cases[]{
        {"0", 0, 255, 0},
        {"255", 0, 255, 255},
        {"0x1F", 0, 255, 31},
        {"0XfF", 0, 255, 255},
        {"-4", -10, 10, -4},
        {"0x7FFFFFFF", 0, 2147483647, 2147483647},
        {"256", 0, 255, std::nullopt},
        {"-1", 0, 255, std::nullopt},
        {"", 0, 255, std::nullopt},
        {"0x", 0, 255, std::nullopt},
        {"0x-1", -10, 10, std::nullopt},
        {"-0x1", -10, 10, std::nullopt},
        {"+1", 0, 255, std::nullopt},
        {" 1", 0, 255, std::nullopt},
        {"12abc", 0, 255, std::nullopt},
        {"1.5", 0, 255, std::nullopt},
        {"99999999999999999999", 0, 255, std::nullopt},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(tooloptions::ReadInteger(each.text, each.min, each.max), each.value)
            << "'" << each.text << "'";
    }
}

// A small command line of every kind of option: what it set, or the one line of its mistake.
std::string Outcome(const Args& args) {
    std::string set;
    const auto record = [&set](const char* name) {
        return [&set, name](const std::string& value) -> Problem {
            if (value == "bad") return "not that";
            set += std::string(set.empty() ? "" : " ") + name + "=" + value;
            return std::nullopt;
        };
    };
    const std::vector<tooloptions::Option> options{
        {"--name", record("name")},
        {"--quiet", record("quiet"), true},
        {"--elsewhere", {}},
    };
    const tooloptions::Operand operand{"LEVEL", record("LEVEL")};
    const auto mistake = tooloptions::Read(args, options, operand, "poll");
    return mistake ? "error: " + *mistake : set;
}

// The mistakes each tool makes of these are pinned, line for line, in its own tests.
TEST(ToolOptions, OptionsAreReadInOrderAndTheFirstMistakeIsOneLine) {
    const struct {
        Args args;
        std::string outcome;
    } cases[]{
        {{}, ""},
        {{"--name", "a", "--name=b=c", "--quiet", "7"}, "name=a name=b=c quiet= LEVEL=7"},
        {{"--name", "--quiet"}, "name=--quiet"},
        {{"--name="}, "name="},
        {{"--bogus=1"}, "error: unknown option '--bogus'"},
        {{"--"}, "error: unknown option '--'"},
        {{"--elsewhere", "1"}, "error: unknown option '--elsewhere' for poll"},
        {{"--name", "bad", "--bogus"}, "error: bad value 'bad' for --name: not that"},
        {{"bad"}, "error: bad LEVEL 'bad': not that"},
        {{"1", "-2"}, "error: unexpected argument '-2'"},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(Outcome(each.args), each.outcome) << testing::PrintToString(each.args);
    }
    EXPECT_EQ(tooloptions::Read(Args{"x"}, {}), "unexpected argument 'x'");
}

TEST(ToolOptions, TheFirstStopWordIsFoundWhereverItStands) {
    const struct {
        Args args;
        std::optional<std::string> found;
    } cases[]{
        {{"poll", "--wait", "-h", "--version"}, "-h"},
        {{"--name", "--list-interfaces"}, "--list-interfaces"},
        {{"--help=1", "-help", "help"}, std::nullopt},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(tooloptions::FindFirst(each.args, {"--help", "-h", "--list-interfaces"}),
                  each.found)
            << testing::PrintToString(each.args);
    }
}

}  // namespace
