// Windows executables of the windows-cross build under Wine, for tests that run them beside
// Linux programs: finding Wine, and a Wine prefix of each test's own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "testing/Process.h"
#include "tests/lab/RequireLab.h"

namespace testing_support {

inline std::string FindWine() {
    for (const char* candidate : {"/usr/bin/wine64", "/usr/lib/wine/wine64", "/usr/bin/wine"}) {
        if (access(candidate, X_OK) == 0) return candidate;
    }
    return {};
}

// A Wine prefix of this test's own, copied from the one scripts/check-windows.sh prepared.
// Wine makes every socket in its wineserver, so the server must start in the test's network
// namespace: a private prefix guarantees a new one. Hard links keep the copy cheap, but the
// registry files at the prefix's top are real copies: Wine saves a registry file that has more
// than one link by writing into it, which would change the prepared prefix every test shares.
class WinePrefix {
public:
    WinePrefix() {
        char pattern[] = "/tmp/praveltest-wine-XXXXXX";
        if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
        m_directory = pattern;
        m_prefix = m_directory + "/prefix";
        const auto copy = lab::RunCommand({"cp", "-al", PRAVELTEST_WINE_PREFIX, m_prefix});
        if (!copy.status.Exited(0)) throw std::runtime_error("cp -al failed: " + copy.errors);
        for (const auto& entry : std::filesystem::directory_iterator(PRAVELTEST_WINE_PREFIX)) {
            if (!entry.is_regular_file() || entry.path().extension() != ".reg") continue;
            const auto own = std::filesystem::path(m_prefix) / entry.path().filename();
            std::filesystem::remove(own);
            std::filesystem::copy_file(entry.path(), own);
        }
    }
    // Ends this prefix's wineserver, which outlives its programs by a few seconds otherwise.
    ~WinePrefix() {
        try {
            const auto server = std::filesystem::canonical(FindWine()).parent_path() / "wineserver";
            if (std::filesystem::exists(server)) {
                lab::Process(std::vector<std::string>{server.string(), "-k"}, Environment())
                    .Wait(std::chrono::seconds(5));
            }
        } catch (const std::exception&) {
            // Left to end by itself.
        }
        std::error_code ignored;
        std::filesystem::remove_all(m_directory, ignored);
    }
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;

    std::vector<std::string> Environment() const {
        return {"WINEPREFIX=" + m_prefix, "WINEDEBUG=-all"};
    }

private:
    std::string m_directory;
    std::string m_prefix;
};

}  // namespace testing_support

// Skips when the Windows build or its Wine prefix is missing (scripts/check-windows.sh makes
// both, then runs these tests); with both there, a missing Wine fails in CI.
#define REQUIRE_WINDOWS_BUILD(exe)                                                             \
    do {                                                                                       \
        if (!std::filesystem::exists(exe) || !std::filesystem::exists(PRAVELTEST_WINE_PREFIX)) { \
            GTEST_SKIP() << exe << " or its Wine prefix is not built; "                       \
                                   "scripts/check-windows.sh builds them";                     \
        }                                                                                      \
        if (::testing_support::FindWine().empty()) {                                           \
            if (::lab::Required()) FAIL() << "Wine required in CI but not installed";          \
            GTEST_SKIP() << "Wine is not installed";                                           \
        }                                                                                      \
    } while (false)
