#pragma once

// The labelled ingredient lines of the shared corpus are CSV files; both the evaluation tool
// and the speed benchmark read them with this.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace miravel::bench {

using CsvRow = std::vector<std::string>;

// RFC 4180 with the usual leniencies: a quote opens a quoted field only at the start of a
// field, CRLF and LF both end a record, and a final record without a newline counts.
inline std::vector<CsvRow> readCsv(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::vector<CsvRow> rows;
    CsvRow row;
    std::string field;
    bool quoted = false;
    bool fieldWasQuoted = false;
    auto endField = [&] {
        row.push_back(std::move(field));
        field.clear();
        fieldWasQuoted = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == '"' && field.empty() && !fieldWasQuoted) {
            quoted = fieldWasQuoted = true;
        } else if (c == ',') {
            endField();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            endField();
            rows.push_back(std::move(row));
            row.clear();
        } else {
            field += c;
        }
    }
    if (!field.empty() || !row.empty() || fieldWasQuoted) {
        endField();
        rows.push_back(std::move(row));
    }
    return rows;
}

inline std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return std::move(text).str();
}

// A CSV file with a header row, read by column name.
struct Table {
    std::vector<std::string> header;
    std::vector<CsvRow> rows;

    static std::optional<Table> load(const std::filesystem::path& path) {
        auto text = readFile(path);
        if (!text)
            return std::nullopt;
        auto rows = readCsv(*text);
        if (rows.empty())
            return std::nullopt;
        Table table{std::move(rows.front()), {}};
        rows.erase(rows.begin());
        table.rows = std::move(rows);
        return table;
    }
    std::optional<std::size_t> column(std::string_view name) const {
        auto found = std::find(header.begin(), header.end(), name);
        if (found == header.end())
            return std::nullopt;
        return static_cast<std::size_t>(found - header.begin());
    }
    static std::string_view get(const CsvRow& row, std::optional<std::size_t> column) {
        return column && *column < row.size() ? std::string_view(row[*column]) : "";
    }
};

// One line of a label file as a cook would have typed it: the NYT export turned some line
// breaks into a literal backslash-n, and the parser reads one line at a time.
inline std::string cleanInput(std::string_view input) {
    std::string out;
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == '\\' && i + 1 < input.size() && input[i + 1] == 'n') {
            out += ' ';
            ++i;
        } else {
            out += (input[i] == '\n' || input[i] == '\r') ? ' ' : input[i];
        }
    }
    return out;
}

// The "input" column of a labelled file, one cleaned line per record; empty lines dropped.
inline std::vector<std::string> inputLines(std::string_view text) {
    std::vector<CsvRow> rows = readCsv(text);
    std::vector<std::string> lines;
    if (rows.empty()) {
        return lines;
    }
    std::size_t column = 0;
    while (column < rows.front().size() && rows.front()[column] != "input") {
        ++column;
    }
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (column < rows[i].size()) {
            std::string line = cleanInput(rows[i][column]);
            if (!line.empty()) {
                lines.push_back(std::move(line));
            }
        }
    }
    return lines;
}

}  // namespace miravel::bench
