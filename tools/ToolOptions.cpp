#include "tools/ToolOptions.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace tooloptions {

std::optional<long long> ReadInteger(std::string_view text, long long min, long long max) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) text.remove_prefix(2);
    // from_chars takes a minus sign in any base; after 0x it would read "0x-1" as -1.
    if (text.empty() || (hex && text[0] == '-')) return std::nullopt;
    long long value = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value, hex ? 16 : 10);
    if (error != std::errc{} || end != last || value < min || value > max) return std::nullopt;
    return value;
}

std::optional<std::string> FindFirst(std::span<const std::string> args,
                                     std::initializer_list<std::string_view> words) {
    for (const std::string& arg : args) {
        if (std::find(words.begin(), words.end(), arg) != words.end()) return arg;
    }
    return std::nullopt;
}

std::optional<std::string> Read(std::span<const std::string> args, std::span<const Option> options,
                                const Operand& operand, std::string_view subcommand) {
    bool operandTaken = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            if (!operand.set || operandTaken) return "unexpected argument '" + arg + "'";
            operandTaken = true;
            if (const auto problem = operand.set(arg)) {
                return "bad " + std::string(operand.name) + " '" + arg + "': " + *problem;
            }
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const auto option = std::find_if(options.begin(), options.end(),
                                         [&name](const Option& each) { return each.name == name; });
        if (option == options.end()) return "unknown option '" + name + "'";
        if (!option->set) {
            return "unknown option '" + name + "' for " + std::string(subcommand);
        }
        std::string value;
        if (option->flag) {
            if (equals != std::string::npos) return "option '" + name + "' takes no value";
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return "option '" + name + "' needs a value";
        }
        if (const auto problem = option->set(value)) {
            return "bad value '" + value + "' for " + name + ": " + *problem;
        }
    }
    return std::nullopt;
}

int ReportBadCommandLine(const std::string& tool, const std::string& program,
                         const std::string& mistake) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", tool.c_str(), mistake.c_str(),
                 program.c_str());
    return kBadCommandLine;
}

}  // namespace tooloptions
