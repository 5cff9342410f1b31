// Wireshark's command-line tools for the dissector's tests: captures written with text2pcap,
// read back by tshark with the dissector from the source tree.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/lab/RequireLab.h"
#include "testing/Process.h"

namespace wireshark_support {

using Payload = std::vector<std::uint8_t>;

// Empty when the tools are here and no installed copy of the dissector would be loaded in
// place of the source tree's; otherwise why the tests cannot run.
inline std::string Unavailable() {
    for (const char* tool : {"tshark", "text2pcap", "dumpcap"}) {
        if (!lab::RunCommand({"sh", "-c", std::string("command -v ") + tool}).status.Exited(0)) {
            return std::string(tool) + " is not installed (apt-get install tshark)";
        }
    }
    std::istringstream folders(lab::RunCommand({"tshark", "-G", "folders"}).output);
    for (std::string line; std::getline(folders, line);) {
        const std::string kind = "Global Lua Plugins:";
        if (!line.starts_with(kind)) continue;
        const std::string installed = line.substr(line.find('/')) + "/praveltest.lua";
        if (std::filesystem::exists(installed)) return installed + " is installed; purge it";
    }
    return "";
}

// A directory of its own, removed with the object. It is tshark's home too, so that personal
// preferences and plugins stay out.
class Scratch {
public:
    Scratch() : m_path((std::filesystem::temp_directory_path() / "praveltest-ws-XXXXXX").string()) {
        if (mkdtemp(m_path.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string File(const std::string& name) const { return m_path + "/" + name; }

    // Throws with standard error when the tool fails.
    lab::CommandResult Run(std::vector<std::string> argv) const {
        argv.insert(argv.begin(), {"env", "HOME=" + m_path});
        const auto result = lab::RunCommand(argv, std::chrono::seconds(60));
        if (!result.status.Exited(0)) throw std::runtime_error(argv[2] + ": " + result.errors);
        return result;
    }

    // One packet a payload; text2pcap wraps each in UDP from 10.1.2.20:3333 to 10.1.2.3:3333
    // unless options say otherwise.
    std::string Capture(const std::vector<Payload>& payloads,
                        std::vector<std::string> options = {"-4", "10.1.2.20,10.1.2.3", "-u",
                                                            "3333,3333"}) const {
        std::ofstream dump(File("dump.txt"));
        for (const Payload& payload : payloads) {
            dump << "000000";
            char hex[4];
            for (const std::uint8_t byte : payload) {
                std::snprintf(hex, sizeof hex, " %02x", byte);
                dump << hex;
            }
            dump << "\n\n";
        }
        dump.close();
        options.insert(options.begin(), {"text2pcap", "-q"});
        options.insert(options.end(), {File("dump.txt"), File("capture.pcap")});
        Run(options);
        return File("capture.pcap");
    }

private:
    std::string m_path;
};

// tshark's text of each frame in the capture, or its whole output when view asks for fields;
// whatever the bytes, the dissector must neither fail nor leave a packet undecoded.
inline std::vector<std::string> Decode(const Scratch& scratch, const std::string& capture,
                                       const std::vector<std::string>& view = {"-V", "-O",
                                                                               "praveltest"}) {
    std::vector<std::string> argv{"tshark", "-n", "-X", "lua_script:" PRAVELTEST_DISSECTOR};
    argv.insert(argv.end(), view.begin(), view.end());
    argv.insert(argv.end(), {"-r", capture});
    const auto [status, text, errors] = scratch.Run(argv);
    for (const char* fault : {"Lua Error", "[Malformed Packet", "Dissector bug"}) {
        EXPECT_EQ((text + errors).find(fault), std::string::npos) << text << errors;
    }
    if (view.front() != "-V") return {text};
    std::vector<std::string> frames;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("Frame ")) frames.emplace_back();
        if (!frames.empty()) frames.back() += line + "\n";
    }
    return frames;
}

// The wanted lines that are not among the frame's lines, indentation aside (trailing spaces
// count: a row of the device tree may end in one).
inline std::vector<std::string> Missing(const std::string& frame,
                                        const std::vector<std::string>& wanted) {
    std::vector<std::string> lines, missing;
    std::istringstream input(frame);
    for (std::string line; std::getline(input, line);) {
        lines.push_back(line.substr(std::min(line.find_first_not_of(' '), line.size())));
    }
    for (const std::string& each : wanted) {
        if (std::find(lines.begin(), lines.end(), each) == lines.end()) missing.push_back(each);
    }
    return missing;
}

}  // namespace wireshark_support

// Skips without Wireshark's tools, but fails in CI, which installs them.
#define REQUIRE_TSHARK()                                                                         \
    do {                                                                                         \
        static const std::string tsharkUnavailable_ = ::wireshark_support::Unavailable();        \
        if (!tsharkUnavailable_.empty()) {                                                       \
            if (::lab::Required()) FAIL() << "tshark required in CI but " << tsharkUnavailable_; \
            GTEST_SKIP() << tsharkUnavailable_;                                                  \
        }                                                                                        \
    } while (false)
