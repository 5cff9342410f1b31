// "--name value" pairs after a program's first words, for the lab command and the measuring
// programs.
#pragma once

#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace lab {

// A bad command line: the caller prints what() as one line and exits with code 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// With --help or -h as argv[1], prints usage on standard output and returns true.
bool PrintHelp(int argc, char** argv, const char* usage);
// One line on standard error for a bad command line; returns its exit code, 2.
int UsageFailure(const char* program, const UsageError& error);

class Options {
public:
    // argv[first...] as pairs; throws UsageError for a name not in known or a missing value.
    Options(int argc, char** argv, int first, std::initializer_list<const char*> known);
    bool Has(const std::string& name) const { return m_values.count(name) != 0; }
    // The last value given, or fallback.
    std::string Text(const std::string& name, const std::string& fallback = {}) const;
    // Decimal or 0x hex, as the tools read numbers; throws UsageError for anything else.
    int Number(const std::string& name, int fallback) const;
    // Every value given, in order.
    std::vector<std::string> All(const std::string& name) const;

private:
    std::multimap<std::string, std::string> m_values;
};

}  // namespace lab
