#include "testing/Options.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "tools/ToolOptions.h"

namespace lab {

bool PrintHelp(int argc, char** argv, const char* usage) {
    if (argc < 2 || (std::strcmp(argv[1], "--help") != 0 && std::strcmp(argv[1], "-h") != 0)) {
        return false;
    }
    std::fputs(usage, stdout);
    return true;
}

int UsageFailure(const char* program, const UsageError& error) {
    std::fprintf(stderr, "%s: %s; %s --help shows the usage\n", program, error.what(), program);
    return 2;
}

Options::Options(int argc, char** argv, int first, std::initializer_list<const char*> known) {
    for (int i = first; i < argc; i += 2) {
        const std::string word = argv[i];
        const std::string name = word.rfind("--", 0) == 0 ? word.substr(2) : "";
        const bool isKnown =
            std::any_of(known.begin(), known.end(), [&](const char* each) { return name == each; });
        if (!isKnown) throw UsageError("unknown option " + word);
        if (i + 1 >= argc) throw UsageError(word + " needs a value");
        m_values.emplace(name, argv[i + 1]);
    }
}

std::string Options::Text(const std::string& name, const std::string& fallback) const {
    const std::vector<std::string> all = All(name);
    return all.empty() ? fallback : all.back();
}

int Options::Number(const std::string& name, int fallback) const {
    if (!Has(name)) return fallback;
    const std::string text = Text(name);
    const auto value = tooloptions::ReadInteger(text, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max());
    if (value) return static_cast<int>(*value);
    throw UsageError("--" + name + " needs a whole number, not " + text);
}

std::vector<std::string> Options::All(const std::string& name) const {
    std::vector<std::string> values;
    const auto range = m_values.equal_range(name);
    for (auto each = range.first; each != range.second; ++each) values.push_back(each->second);
    return values;
}

}  // namespace lab
