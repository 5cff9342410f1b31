// tshark and text2pcap for the dissector's tests: crafted captures written with text2pcap, and
// any capture decoded with the dissector from the source tree.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wireshark_support {

using Payload = std::vector<std::uint8_t>;

// True when tshark, text2pcap and dumpcap are on PATH and no installed copy of the dissector
// would be loaded in place of the source tree's; otherwise false, with the reason in *why.
bool Available(std::string* why);
// CI installs Wireshark's command-line tools, so there a missing one is a failure.
bool Required();

// A directory of its own under the system's temporary directory, removed with the object.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// text2pcap's hex dump of the payloads, one packet each; an empty payload has no packet.
std::string HexDump(const std::vector<Payload>& payloads);

// Writes the payloads as UDP datagrams from 10.1.2.20:3333 to 10.1.2.3:3333 into capture.
// Throws std::runtime_error with text2pcap's errors when it fails.
void WriteUdpCapture(const std::vector<Payload>& payloads, const std::string& capture,
                     const ScratchDirectory& scratch);
// Writes whole Ethernet frames as they stand.
void WriteFrameCapture(const std::vector<Payload>& frames, const std::string& capture,
                       const ScratchDirectory& scratch);

struct Decoded {
    std::string text;                 // tshark's whole standard output
    std::vector<std::string> frames;  // the text of each frame, in order
    std::string errors;
};

// tshark over the capture with the dissector from the source tree loaded, showing it as view
// asks. Personal preferences and plugins are kept out, through a home directory inside scratch.
// Throws std::runtime_error with tshark's errors when it fails.
Decoded Decode(const std::string& capture, const ScratchDirectory& scratch,
               const std::vector<std::string>& view = {"-V", "-O", "praveltest"});

// The lines of a frame's text with their indentation taken off; trailing spaces are kept,
// since a row of the device tree may end in one.
std::vector<std::string> Lines(const std::string& text);

}  // namespace wireshark_support

// For tests that need Wireshark's tools: skips without them, but fails in CI.
#define REQUIRE_TSHARK()                                                      \
    do {                                                                      \
        std::string tsharkUnavailable_;                                       \
        if (!::wireshark_support::Available(&tsharkUnavailable_)) {           \
            if (::wireshark_support::Required()) {                            \
                FAIL() << "tshark required in CI but " << tsharkUnavailable_; \
            }                                                                 \
            GTEST_SKIP() << tsharkUnavailable_;                               \
        }                                                                     \
    } while (false)
