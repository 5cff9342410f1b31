// The version and strings that Windows reads from the resource script and Linux from the
// desktop entry must say the same thing as the program.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "res/ResourceIds.h"
#include "res/Strings.h"

namespace {

std::string ReadFile(const std::string& relative) {
    std::ifstream file(std::string(PRAVELTEST_SOURCE_DIR) + "/" + relative);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::map<std::string, std::string> RcVersionValues() {
    std::map<std::string, std::string> values;
    const std::string rc = ReadFile("res/praveltest.rc");
    const std::regex value(R"re(VALUE "(\w+)", "([^"\\]*)\\0")re");
    for (std::sregex_iterator it(rc.begin(), rc.end(), value), end; it != end; ++it) {
        values[(*it)[1]] = (*it)[2];
    }
    return values;
}

}  // namespace

TEST(ResourcesTest, VersionBlockHoldsTheProductsValues) {
    const auto values = RcVersionValues();
    EXPECT_EQ(values.at("FileVersion"), "1, 0, 0, 1");
    EXPECT_EQ(values.at("ProductVersion"), "1, 0, 0, 1");
    EXPECT_EQ(values.at("FileDescription"), "PraveltTest MFC Application");
    EXPECT_EQ(values.at("InternalName"), "PraveltTest");
    EXPECT_EQ(values.at("OriginalFilename"), "PraveltTest.EXE");
    EXPECT_EQ(values.at("ProductName"), "PraveltTest Application");
}

TEST(ResourcesTest, DesktopEntryShowsTheSameVersion) {
    const std::string desktop = ReadFile("res/praveltest.desktop");
    ASSERT_FALSE(desktop.empty());
    for (const auto& [key, value] : RcVersionValues()) {
        EXPECT_NE(desktop.find("X-PraveltTest-" + key + "=" + value + "\n"), std::string::npos)
            << key;
    }
    EXPECT_NE(desktop.find("\nExec=praveltest\n"), std::string::npos);
    EXPECT_NE(desktop.find("\nIcon=praveltest\n"), std::string::npos);
}

TEST(ResourcesTest, StringTableMatchesTheProgramsStrings) {
    const std::string rc = ReadFile("res/praveltest.rc");
    for (const int id : {res::kStringAboutItem, res::kStringSocketsFailed}) {
        const std::string entry = std::to_string(id) + " \"" + res::LoadString(id) + "\"";
        EXPECT_NE(rc.find(entry), std::string::npos) << entry;
    }
    EXPECT_EQ(res::LoadString(999), "");
}
