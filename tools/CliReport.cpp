#include "tools/CliReport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "protocol/NodeProtocol.h"

namespace clitool {
namespace {

using protocol::DatagramKind;

constexpr std::array<const char*, protocol::kDatagramKinds> kIgnoredNames{
    "empty",       "short",      "oversized",  "poll",        "dmx",
    "short-reply", "unexpected", "never-seen", "unknown-code"};

std::string Counted(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Whether a.b.c.255 is the broadcast address of address/prefixLength; an unknown prefix is
// taken to be /24.
bool IsSubnetBroadcast(const net::Ipv4& address, int prefixLength) {
    if (prefixLength <= 0) return true;
    std::uint32_t host = 0;
    for (const std::uint8_t byte : address) host = host << 8 | byte;
    const std::uint32_t hostBits = prefixLength >= 32 ? 0 : 0xFFFFFFFFu >> prefixLength;
    return (host | hostBits) == (host | 0xFFu);
}

// Node names are single-byte text, which the window shows as Latin-1.
std::string Latin1ToUtf8(const std::string& text) {
    std::string utf8;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | byte >> 6);
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

struct Column {
    std::string title;
    std::string key;
};

// Name, the eleven rows with the port after the address, and the time of the reply.
std::vector<Column> Columns() {
    std::vector<Column> columns{{"Name", "name"}};
    for (const std::string& label : discovery::RowLabels()) {
        Column column{label.substr(0, label.size() - 1), {}};
        for (const char c : column.title) {
            column.key += c == ' ' ? '_' : static_cast<char>(std::tolower(c));
        }
        columns.push_back(column);
        if (columns.size() == 2) columns.push_back({"Port", "port"});
    }
    columns.push_back({"Reply ms", "reply_ms"});
    return columns;
}

// The record's cells in column order, still Latin-1.
std::vector<std::string> Cells(const NodeRecord& node) {
    std::vector<std::string> cells{node.name};
    for (std::size_t i = 0; i < node.values.size(); ++i) {
        cells.push_back(node.values[i]);
        if (i == 0) cells.push_back(std::to_string(node.port));
    }
    cells.push_back(std::to_string(node.milliseconds));
    return cells;
}

bool IsNumberColumn(const Column& column) {
    return column.key == "port" || column.key == "reply_ms";
}

// Control characters would break the table's lines; they show as '?'.
std::string Printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return text;
}

std::string Table(const std::vector<NodeRecord>& nodes) {
    const std::vector<Column> columns = Columns();
    std::vector<std::vector<std::string>> lines;
    std::vector<std::string> header;
    for (const Column& column : columns) header.push_back(column.title);
    lines.push_back(header);
    for (const NodeRecord& node : nodes) {
        std::vector<std::string> cells = Cells(node);
        for (std::string& cell : cells) cell = Printable(cell);
        lines.push_back(cells);
    }
    std::vector<std::size_t> widths(columns.size(), 0);
    for (const auto& line : lines) {
        for (std::size_t i = 0; i < line.size(); ++i)
            widths[i] = std::max(widths[i], line[i].size());
    }
    std::string text;
    for (const auto& line : lines) {
        std::string out;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const bool last = i + 1 == line.size();
            std::string cell = line[i];
            // Latin-1 is one column per byte, so widths are counted before the conversion.
            if (!last) cell.resize(widths[i], ' ');
            out += cell + (last ? "" : "  ");
        }
        text += Latin1ToUtf8(out) + "\n";
    }
    return text;
}

std::string JsonString(const std::string& latin1) {
    std::string text = "\"";
    for (const char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", byte);
            text += escape;
        } else {
            text += Latin1ToUtf8(std::string(1, c));
        }
    }
    return text + "\"";
}

std::string Json(const std::vector<NodeRecord>& nodes) {
    const std::vector<Column> columns = Columns();
    std::string text;
    for (const NodeRecord& node : nodes) {
        const std::vector<std::string> cells = Cells(node);
        std::string line = "{";
        for (std::size_t i = 0; i < columns.size(); ++i) {
            line += (i ? ", " : "") + JsonString(columns[i].key) + ": ";
            line += IsNumberColumn(columns[i]) ? cells[i] : JsonString(cells[i]);
        }
        text += line + "}\n";
    }
    return text;
}

std::string CsvField(const std::string& latin1) {
    const std::string text = Latin1ToUtf8(latin1);
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string Csv(const std::vector<NodeRecord>& nodes) {
    std::string text;
    // Appended piece by piece: GCC 12 at -O3 warns falsely about "literal" + std::string.
    for (const Column& column : Columns()) {
        if (!text.empty()) text += ',';
        text += column.title;
    }
    text += "\n";
    for (const NodeRecord& node : nodes) {
        std::string line;
        for (const std::string& cell : Cells(node)) {
            if (!line.empty()) line += ',';
            line += CsvField(cell);
        }
        text += line + "\n";
    }
    return text;
}

}  // namespace

void PollCollector::Take(std::span<const std::uint8_t> datagram, const std::string& senderAddress,
                         std::uint16_t senderPort, long long milliseconds) {
    const DatagramKind kind = protocol::ClassifyDatagram(datagram);
    if (kind == DatagramKind::Poll && senderPort == m_ownPort &&
        std::equal(datagram.begin(), datagram.end(), protocol::kPollMessage.begin(),
                   protocol::kPollMessage.end()) &&
        std::find(m_ownAddresses.begin(), m_ownAddresses.end(), senderAddress) !=
            m_ownAddresses.end()) {
        m_ownPollCameBack = true;
    }
    if (kind != DatagramKind::PollReply) {
        Count(kind);
        return;
    }
    const auto reply = protocol::ReadPollReply(datagram);
    if (!reply) {
        Count(DatagramKind::PollReply);
        return;
    }
    const discovery::RowTexts rows = discovery::FormatRows(*reply, senderAddress);
    NodeRecord record{reply->name, {}, senderPort, milliseconds};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        record.values[i] = rows[i].substr(discovery::RowLabels()[i].size() + 1);
    }
    const auto found = std::find_if(m_nodes.begin(), m_nodes.end(), [&](const NodeRecord& each) {
        return each.name == reply->name;
    });
    if (found == m_nodes.end()) {
        m_nodes.push_back(std::move(record));
    } else {
        *found = std::move(record);
    }
}

std::string FormatNodes(const std::vector<NodeRecord>& nodes, PollFormat format) {
    switch (format) {
        case PollFormat::Json:
            return Json(nodes);
        case PollFormat::Csv:
            return Csv(nodes);
        case PollFormat::Table:
            break;
    }
    return Table(nodes);
}

std::string IgnoredText(const KindCounts& counts) {
    int total = 0;
    std::string kinds;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] == 0) continue;
        total += counts[i];
        kinds.append(" ").append(kIgnoredNames[i]).append("=").append(std::to_string(counts[i]));
    }
    if (total == 0) return {};
    std::string text = "ignored ";
    text.append(std::to_string(total)).append(total == 1 ? " datagram:" : " datagrams:");
    return text.append(kinds);
}

std::vector<std::string> NoAnswerLines(const NoAnswer& facts) {
    const std::string port = std::to_string(facts.port);
    std::string from = net::FormatAddress(facts.address);
    // Appended piece by piece here and below: GCC 12 at -O3 warns falsely about "literal" +
    // std::string.
    if (facts.prefixLength > 0) from.append("/").append(std::to_string(facts.prefixLength));
    const std::string where = facts.interfaceName.empty()
                                  ? "from " + from
                                  : "on " + facts.interfaceName + " (" + from + ")";
    std::vector<std::string> lines{"no node answered the poll sent " + where + " to " +
                                   facts.destination + ":" + port};

    std::string cameBack = "its own poll came back: ";
    if (facts.ownPollCameBack) {
        cameBack += "yes, so the broadcast went out";
    } else if (!IsSubnetBroadcast(facts.address, facts.prefixLength)) {
        cameBack += "no; " + facts.destination + " is not a broadcast address " + where;
    } else {
        cameBack += "no; a firewall on this host may be dropping UDP port " + port;
    }
    lines.push_back(cameBack);

    std::string owners = "other programs on UDP port " + port + " on this host: ";
    if (!facts.owners.known) {
        owners += "unknown, the system does not tell";
    } else if (facts.owners.others.empty() && facts.owners.hidden == 0) {
        owners += "none";
    } else {
        std::string names;
        for (const net::PortOwner& each : facts.owners.others) {
            if (!names.empty()) names += ", ";
            if (!each.name.empty()) names.append(each.name).append(" ");
            names.append("(pid ").append(std::to_string(each.pid)).append(")");
        }
        if (facts.owners.hidden > 0) {
            if (!names.empty()) names += ", and ";
            names += Counted(facts.owners.hidden, "socket", "sockets") +
                     " whose program is not shown to this user";
        }
        owners += names;
    }
    lines.push_back(owners);

    const auto heard = [&facts](DatagramKind kind) {
        return facts.heard[static_cast<std::size_t>(kind)];
    };
    int total = 0;
    for (const int count : facts.heard) total += count;
    const struct {
        int count;
        const char* one;
        const char* many;
    } kinds[]{
        {heard(DatagramKind::DmxData), "DMX data message", "DMX data messages"},
        {heard(DatagramKind::Poll) - (facts.ownPollCameBack ? 1 : 0), "other poll", "other polls"},
        {total - heard(DatagramKind::DmxData) - heard(DatagramKind::Poll), "other datagram",
         "other datagrams"},
    };
    std::string also;
    for (const auto& kind : kinds) {
        if (kind.count == 0) continue;
        also += (also.empty() ? "" : ", ") + Counted(kind.count, kind.one, kind.many);
    }
    lines.push_back(std::string("also heard: ").append(also.empty() ? "nothing" : also));

    lines.push_back("usual causes: a firewall blocking UDP port " + port +
                    ", the wrong adapter (see --list-interfaces) or another program on the port");
    return lines;
}

std::string LevelLine(const LevelRequest& request, std::span<const std::uint8_t> datagram,
                      const std::string& destination, std::uint16_t port) {
    output::OutputSettings sent = request.settings;
    output::ClampSettings(sent);
    return std::string(request.dryRun ? "would-send" : "sent") +
           " level=" + std::to_string(request.level) +
           " universe=" + std::to_string(sent.universe) +
           " start-code=" + std::to_string(sent.startCode) +
           " format=" + DataFormatName(sent.dataFormat) +
           " type=" + std::to_string(output::DataTypeByte(sent.dataFormat)) +
           " channels=" + std::to_string(sent.channelCount) +
           " bytes=" + std::to_string(datagram.size()) + " to=" + destination + ":" +
           std::to_string(port);
}

std::string HexLines(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%.2X", bytes[i]);
        text += pair;
        text += (i % 16 == 15 || i + 1 == bytes.size()) ? "\n" : " ";
    }
    return text;
}

}  // namespace clitool
