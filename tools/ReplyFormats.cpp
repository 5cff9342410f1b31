#include "tools/ReplyFormats.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace clitool {
namespace {

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
        Column column{label, {}};
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

}  // namespace clitool
