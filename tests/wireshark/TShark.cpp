#include "tests/wireshark/TShark.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "testing/Process.h"

namespace wireshark_support {

namespace {

constexpr std::chrono::seconds kToolTimeout{60};

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream directories(path != nullptr ? path : "");
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        if (!directory.empty() && access((directory + "/" + program).c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

lab::CommandResult Run(const std::vector<std::string>& argv, const ScratchDirectory& scratch) {
    lab::Process process(argv, {"HOME=" + scratch.File("home")});
    lab::CommandResult result;
    if (const auto status = process.Wait(kToolTimeout)) {
        result.status = *status;
    } else {
        result.status = process.Stop(std::chrono::milliseconds(0));
    }
    result.output = process.Output();
    result.errors = process.Errors();
    return result;
}

// The folder that "tshark -G folders" names for the given kind, or "".
std::string Folder(const std::string& folders, const std::string& kind) {
    std::istringstream lines(folders);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(kind + ":", 0) != 0) continue;
        const auto start = line.find_first_not_of(" \t", kind.size() + 1);
        return start == std::string::npos ? "" : line.substr(start);
    }
    return "";
}

std::string CheckAvailable() {
    for (const char* tool : {"tshark", "text2pcap", "dumpcap"}) {
        if (!OnPath(tool)) return std::string(tool) + " is not installed (apt-get install tshark)";
    }
    ScratchDirectory scratch;
    const auto folders = Run({"tshark", "-G", "folders"}, scratch);
    if (!folders.status.Exited(0)) return "tshark -G folders failed: " + folders.errors;
    const std::string global = Folder(folders.output, "Global Lua Plugins");
    if (!global.empty() && std::filesystem::exists(global + "/praveltest.lua")) {
        return "the installed " + global +
               "/praveltest.lua would be loaded instead of the source tree's; purge the package";
    }
    return "";
}

void WriteText2Pcap(const std::vector<std::string>& options, const std::string& dump,
                    const std::string& capture, const ScratchDirectory& scratch) {
    const std::string input = scratch.File("text2pcap-input.txt");
    std::ofstream(input) << dump;
    std::vector<std::string> argv{"text2pcap", "-q"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {input, capture});
    const auto result = Run(argv, scratch);
    if (!result.status.Exited(0)) {
        throw std::runtime_error("text2pcap failed: " + lab::Describe(result.status) + " " +
                                 result.errors);
    }
}

}  // namespace

bool Available(std::string* why) {
    static const std::string problem = CheckAvailable();
    if (why != nullptr) *why = problem;
    return problem.empty();
}

bool Required() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

ScratchDirectory::ScratchDirectory() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "praveltest-ws-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
    std::filesystem::create_directory(File("home"));
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string HexDump(const std::vector<Payload>& payloads) {
    std::string dump;
    char piece[32];
    for (const Payload& payload : payloads) {
        for (std::size_t i = 0; i < payload.size(); ++i) {
            if (i % 16 == 0) {
                std::snprintf(piece, sizeof piece, "%s%06zx", i == 0 ? "" : "\n", i);
                dump += piece;
            }
            std::snprintf(piece, sizeof piece, " %02x", payload[i]);
            dump += piece;
        }
        dump += "\n\n";
    }
    return dump;
}

void WriteUdpCapture(const std::vector<Payload>& payloads, const std::string& capture,
                     const ScratchDirectory& scratch) {
    WriteText2Pcap({"-4", "10.1.2.20,10.1.2.3", "-u", "3333,3333"}, HexDump(payloads), capture,
                   scratch);
}

void WriteFrameCapture(const std::vector<Payload>& frames, const std::string& capture,
                       const ScratchDirectory& scratch) {
    WriteText2Pcap({}, HexDump(frames), capture, scratch);
}

Decoded Decode(const std::string& capture, const ScratchDirectory& scratch,
               const std::vector<std::string>& view) {
    std::vector<std::string> argv{"tshark", "-n", "-X", "lua_script:" PRAVELTEST_DISSECTOR};
    argv.insert(argv.end(), view.begin(), view.end());
    argv.insert(argv.end(), {"-r", capture});
    const auto result = Run(argv, scratch);
    if (!result.status.Exited(0)) {
        throw std::runtime_error("tshark failed: " + lab::Describe(result.status) + " " +
                                 result.errors);
    }
    Decoded decoded{result.output, {}, result.errors};
    std::istringstream lines(result.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("Frame ", 0) == 0) decoded.frames.emplace_back();
        if (!decoded.frames.empty()) decoded.frames.back() += line + "\n";
    }
    return decoded;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream input(text);
    std::string line;
    while (std::getline(input, line)) {
        const auto start = line.find_first_not_of(' ');
        lines.push_back(start == std::string::npos ? "" : line.substr(start));
    }
    return lines;
}

}  // namespace wireshark_support
