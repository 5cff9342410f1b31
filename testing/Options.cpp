#include "testing/Options.h"

#include <algorithm>

namespace lab {

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
    const auto range = m_values.equal_range(name);
    return range.first == range.second ? fallback : std::prev(range.second)->second;
}

int Options::Number(const std::string& name, int fallback) const {
    if (!Has(name)) return fallback;
    const std::string text = Text(name);
    std::size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size()) {
        throw UsageError("--" + name + " needs a whole number, not " + text);
    }
    return value;
}

std::vector<std::string> Options::All(const std::string& name) const {
    std::vector<std::string> values;
    const auto range = m_values.equal_range(name);
    for (auto each = range.first; each != range.second; ++each) values.push_back(each->second);
    return values;
}

}  // namespace lab
