// The version and strings that Windows reads from the resource script, and the version that the
// Linux package's documents carry, must say the same thing as the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "praveltest/Version.h"
#include "res/ResourceIds.h"
#include "res/Strings.h"

namespace {

std::string ReadPath(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string ReadSource(const std::string& relative) {
    return ReadPath(std::string(PRAVELTEST_SOURCE_DIR) + "/" + relative);
}

std::string ReadGenerated(const std::string& relative) {
    return ReadPath(std::string(PRAVELTEST_BINARY_DIR) + "/" + relative);
}

#ifndef _WIN32
std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}
#endif

std::map<std::string, std::string> RcVersionValues() {
    std::map<std::string, std::string> values;
    const std::string rc = ReadGenerated("res/praveltest.rc");
    const std::regex value(R"re(VALUE "(\w+)", "([^"\\]*)\\0")re");
    for (std::sregex_iterator it(rc.begin(), rc.end(), value), end; it != end; ++it) {
        values[(*it)[1]] = (*it)[2];
    }
    return values;
}

// The version's four parts, as the Windows version block joins them.
std::string VersionParts(const std::string& separator) {
    using namespace praveltest;
    return std::to_string(kVersionMajor) + separator + std::to_string(kVersionMinor) + separator +
           std::to_string(kVersionPatch) + separator + std::to_string(kVersionTweak);
}

}  // namespace

TEST(ResourcesTest, VersionBlockHoldsTheProductsValues) {
    const auto values = RcVersionValues();
    EXPECT_EQ(values.at("FileVersion"), VersionParts(", "));
    EXPECT_EQ(values.at("ProductVersion"), VersionParts(", "));
    EXPECT_EQ(values.at("FileDescription"), "PraveltTest MFC Application");
    EXPECT_EQ(values.at("InternalName"), "PraveltTest");
    EXPECT_EQ(values.at("OriginalFilename"), "PraveltTest.EXE");
    EXPECT_EQ(values.at("ProductName"), "PraveltTest Application");

    const std::string rc = ReadGenerated("res/praveltest.rc");
    const std::string parts = VersionParts(",");
    EXPECT_NE(rc.find("\n FILEVERSION " + parts + "\n PRODUCTVERSION " + parts + "\n"),
              std::string::npos);
    // The script is generated away from its icon, so it must name the icon by a path that holds.
    std::smatch icon;
    ASSERT_TRUE(std::regex_search(rc, icon, std::regex(R"re(\n128 ICON "([^"]+)")re")));
    EXPECT_TRUE(std::filesystem::is_regular_file(icon[1].str())) << icon[1];
}

#ifndef _WIN32  // the Debian package's documents are made by Linux builds only
TEST(ResourcesTest, PackageDocumentsCarryTheProjectVersion) {
    const std::string version = praveltest::kVersion;
    const std::string date = praveltest::kReleaseDate;
    const std::string metainfo = ReadGenerated("res/invalid.praveltest.praveltest.metainfo.xml");
    EXPECT_NE(metainfo.find("<release version=\"" + version + "\" date=\"" + date + "\">"),
              std::string::npos);
    EXPECT_EQ(FirstLine(ReadGenerated("packaging/changelog")),
              "praveltest (" + version + ") unstable; urgency=medium");
    EXPECT_NE(ReadGenerated("packaging/praveltest.1")
                  .find("\n.TH PRAVELTEST 1 \"" + date + "\" \"PraveltTest " + version +
                        "\" \"User Commands\"\n"),
              std::string::npos);
}
#endif

TEST(ResourcesTest, EveryDocumentNamesTheSameLicence) {
    EXPECT_EQ(ReadSource("LICENSE").substr(0, 49),
              "\n                                 Apache License\n");
    EXPECT_NE(ReadGenerated("res/invalid.praveltest.praveltest.metainfo.xml")
                  .find("\n  <project_license>Apache-2.0</project_license>\n"),
              std::string::npos);
    const std::string copyright = ReadSource("cmake/debian/copyright");
    EXPECT_NE(copyright.find("\nFiles: *\nCopyright: 2026 PraveltTest developers\n"
                             "License: Apache-2.0\n"),
              std::string::npos);
    EXPECT_NE(copyright.find("\"/usr/share/common-licenses/Apache-2.0\""), std::string::npos);
    EXPECT_EQ(copyright.find("proprietary"), std::string::npos);
}

// The validator accepts X- keys, so only this test keeps the Windows block out of the entry.
TEST(ResourcesTest, DesktopEntryHasNoPrivateKeys) {
    const std::string desktop = ReadSource("res/praveltest.desktop");
    ASSERT_FALSE(desktop.empty());
    EXPECT_EQ(desktop.find("\nX-"), std::string::npos);
    EXPECT_NE(desktop.find("\nExec=praveltest\n"), std::string::npos);
    EXPECT_NE(desktop.find("\nIcon=praveltest\n"), std::string::npos);
}

TEST(ResourcesTest, StringTableMatchesTheProgramsStrings) {
    const std::string rc = ReadGenerated("res/praveltest.rc");
    for (const int id :
         {res::kStringAboutItem, res::kStringSocketsFailed, res::kStringMonitorItem,
          res::kStringChannelCheckItem}) {
        const std::string entry = std::to_string(id) + " \"" + res::LoadString(id) + "\"";
        EXPECT_NE(rc.find(entry), std::string::npos) << entry;
    }
    EXPECT_EQ(res::LoadString(999), "");
}
