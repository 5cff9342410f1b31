// The command-line reading that praveltest-cli and praveltest-node share, so that both take
// options, numbers and mistakes alike.
#pragma once

#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace tooloptions {

// What a bad command line exits with, after one line on standard error.
inline constexpr int kBadCommandLine = 2;

// Decimal with an optional minus sign, or 0x and hex digits; nothing else, nothing after, and
// within min to max.
std::optional<long long> ReadInteger(std::string_view text, long long min, long long max);

// What is wrong with an option's value, or nothing.
using Problem = std::optional<std::string>;
// Takes an option's value (or the operand's word).
using Setter = std::function<Problem(const std::string& value)>;

// Sets field to what read makes of the value; says expected when read makes nothing of it.
template <typename T, typename Reader>
Setter Parsed(T& field, Reader read, std::string expected) {
    return [&field, read, expected](const std::string& value) -> Problem {
        const auto parsed = read(value);
        if (!parsed) return expected;
        field = static_cast<T>(*parsed);
        return std::nullopt;
    };
}

// Sets field to an integer from min to max (see ReadInteger).
template <typename T>
Setter Integer(T& field, long long min, long long max, std::string expected) {
    const auto read = [min, max](const std::string& value) { return ReadInteger(value, min, max); };
    return Parsed(field, read, std::move(expected));
}

struct Option {
    std::string_view name;  // with its dashes: "--port"
    // Without one, the option is another subcommand's: named as unknown "for" this one.
    Setter set;
    bool flag = false;  // takes no value; set is called with ""
};

// The one word, such as LEVEL, that may stand among the options.
struct Operand {
    std::string_view name;
    Setter set;
};

// The first of args that is one of words. Such words (--help) win wherever they stand, even
// where an option's value is expected.
std::optional<std::string> FindFirst(std::span<const std::string> args,
                                     std::initializer_list<std::string_view> words);

// Reads "--name value", "--name=value" and flags in order; a word that is not an option is the
// operand, once. Returns the first mistake as one line, or nothing; subcommand names it in
// "unknown option '--x' for subcommand".
std::optional<std::string> Read(std::span<const std::string> args, std::span<const Option> options,
                                const Operand& operand = {}, std::string_view subcommand = {});

// Says the mistake on standard error, with where to look, and returns kBadCommandLine.
int ReportBadCommandLine(const std::string& tool, const std::string& program,
                         const std::string& mistake);

}  // namespace tooloptions
