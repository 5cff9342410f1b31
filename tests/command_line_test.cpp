// The program's command line, read before Qt starts.
#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace {

using commandline::Action;
using commandline::ParseCommandLine;
using Args = std::vector<std::string>;

TEST(CommandLine, NoOptionsRunsAsBefore) {
    const commandline::CommandLine line = ParseCommandLine({"praveltest"});
    EXPECT_EQ(line.action, Action::Run);
    EXPECT_FALSE(line.interfaceChoice);
    EXPECT_EQ(line.qtArguments, Args{"praveltest"});
}

TEST(CommandLine, InterfaceInEitherFormTheLastOneCounting) {
    EXPECT_EQ(ParseCommandLine({"p", "--interface", "enx00e04c680001"}).interfaceChoice,
              "enx00e04c680001");
    EXPECT_EQ(ParseCommandLine({"p", "--interface=10.7.0.3"}).interfaceChoice, "10.7.0.3");
    const commandline::CommandLine line =
        ParseCommandLine({"p", "--interface", "eth0", "--interface=lo"});
    EXPECT_EQ(line.action, Action::Run);
    EXPECT_EQ(line.interfaceChoice, "lo");
    EXPECT_EQ(line.qtArguments, Args{"p"});
}

TEST(CommandLine, QtOptionsAreHandedOnWithTheirValuesAndOursAreNot) {
    const commandline::CommandLine line =
        ParseCommandLine({"p", "-platform", "offscreen", "--interface", "eth1", "-style=fusion",
                          "--reverse", "-stylesheet", "a.qss", "-qmljsdebugger=port:1234"});
    EXPECT_EQ(line.action, Action::Run);
    EXPECT_EQ(line.interfaceChoice, "eth1");
    EXPECT_EQ(line.qtArguments, (Args{"p", "-platform", "offscreen", "-style=fusion", "--reverse",
                                      "-stylesheet", "a.qss", "-qmljsdebugger=port:1234"}));
}

TEST(CommandLine, HelpVersionAndListStopBeforeAnyWindow) {
    EXPECT_EQ(ParseCommandLine({"p", "--help"}).action, Action::Help);
    EXPECT_EQ(ParseCommandLine({"p", "-h", "--bogus"}).action, Action::Help);
    EXPECT_EQ(ParseCommandLine({"p", "--version"}).action, Action::Version);
    EXPECT_EQ(ParseCommandLine({"p", "--list-interfaces"}).action, Action::ListInterfaces);
    EXPECT_EQ(ParseCommandLine({"p", "--list-interfaces", "--interface", "x"}).action,
              Action::ListInterfaces);
}

struct BadCase {
    Args argv;
    std::string error;
};
void PrintTo(const BadCase& c, std::ostream* os) {
    for (const std::string& each : c.argv) *os << each << ' ';
}

class BadCommandLine : public testing::TestWithParam<BadCase> {};

TEST_P(BadCommandLine, IsOneClearLine) {
    const commandline::CommandLine line = ParseCommandLine(GetParam().argv);
    EXPECT_EQ(line.action, Action::Error);
    EXPECT_EQ(line.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadCommandLine,
    testing::Values(
        BadCase{{"p", "--bogus"}, "unknown option '--bogus'"},
        BadCase{{"p", "-interface", "eth0"}, "unknown option '-interface'"},
        BadCase{{"p", "--list-interfaces", "-x"}, "unknown option '-x'"},
        BadCase{{"p", "-platform=offscreen"}, "unknown option '-platform=offscreen'"},
        BadCase{{"p", "eth0"}, "unexpected argument 'eth0'"},
        BadCase{{"p", "-"}, "unexpected argument '-'"},
        BadCase{{"p", "--interface"}, "option '--interface' needs a value, NAME or A.B.C.D"},
        BadCase{{"p", "--interface="}, "option '--interface' needs a value, NAME or A.B.C.D"},
        BadCase{{"p", "--interface", "--list-interfaces"},
                "option '--interface' needs a value, NAME or A.B.C.D"},
        BadCase{{"p", "-platform"}, "option '-platform' needs a value"},
        BadCase{{"p", "-style", "--interface", "eth0"}, "option '-style' needs a value"}));

}  // namespace
