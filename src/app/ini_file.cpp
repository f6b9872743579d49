#include "app/ini_file.h"

#include "app/ascii.h"

#include "services/atomic_file.h"
#include "services/error.h"

#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace tdb::app {
namespace {

struct Line {
    std::size_t begin = 0;      // first byte of the line
    std::size_t contentEnd = 0; // first byte of its line ending (or of the next line)
    std::size_t end = 0;        // first byte of the next line
};

std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t begin = 0;
    // A UTF-8 byte order mark belongs to no line's content.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        begin = 3;
    }
    while (begin < text.size()) {
        auto newline = text.find('\n', begin);
        Line line;
        line.begin = begin;
        if (newline == std::string_view::npos) {
            line.contentEnd = line.end = text.size();
        } else {
            line.end = newline + 1;
            line.contentEnd = newline > begin && text[newline - 1] == '\r' ? newline - 1 : newline;
        }
        lines.push_back(line);
        begin = line.end;
    }
    return lines;
}

std::string_view trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// The name of a section header line, or nothing for any other line.
std::optional<std::string_view> sectionName(std::string_view content) {
    auto trimmed = trim(content);
    if (trimmed.empty() || trimmed.front() != '[') {
        return std::nullopt;
    }
    trimmed.remove_prefix(1);
    return trim(trimmed.substr(0, trimmed.find(']')));
}

std::string lineEnding(std::string_view text) {
    auto newline = text.find('\n');
    if (newline == std::string_view::npos) {
        return "\r\n";
    }
    return newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
}

} // namespace

std::string setIniValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value) {
    const auto lines = splitLines(text);
    const auto eol = lineEnding(text);
    auto content = [&](const Line& line) {
        return text.substr(line.begin, line.contentEnd - line.begin);
    };
    const std::string keyLine = std::string(key) + "=" + std::string(value);

    std::size_t header = 0;
    while (header < lines.size()) {
        auto name = sectionName(content(lines[header]));
        if (name && equalsIgnoringAsciiCase(*name, section)) {
            break;
        }
        ++header;
    }
    if (header == lines.size()) {
        std::string out(text);
        if (!out.empty() && out.back() != '\n') {
            out += eol;
        }
        return out + "[" + std::string(section) + "]" + eol + keyLine + eol;
    }

    // Where a new key goes: after the section's last non-blank line, so that the blank lines
    // that part it from the next section stay in front of that section.
    std::size_t lastFilled = header;
    for (std::size_t i = header + 1; i < lines.size(); ++i) {
        auto lineText = content(lines[i]);
        if (sectionName(lineText)) {
            break;
        }
        auto equals = lineText.find('=');
        if (equals != std::string_view::npos &&
            equalsIgnoringAsciiCase(trim(lineText.substr(0, equals)), key)) {
            auto valueStart = equals + 1;
            while (valueStart < lineText.size() &&
                   (lineText[valueStart] == ' ' || lineText[valueStart] == '\t')) {
                ++valueStart;
            }
            std::string out(text.substr(0, lines[i].begin + valueStart));
            out += value;
            out += text.substr(lines[i].contentEnd);
            return out;
        }
        if (!trim(lineText).empty()) {
            lastFilled = i;
        }
    }
    const Line& after = lines[lastFilled];
    std::string out(text.substr(0, after.end));
    if (after.end == after.contentEnd) {
        // The last line of the file, without a line ending of its own.
        out += eol;
    }
    out += keyLine + eol;
    out += text.substr(after.end);
    return out;
}

void writeIniValue(const std::filesystem::path& file, std::string_view section,
                   std::string_view key, std::string_view value) {
    std::string text;
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream buffer;
        if (in) {
            buffer << in.rdbuf();
        }
        if (!in || std::filesystem::is_directory(file, ec)) {
            throw Error("No se puede leer el archivo de estado " + file.string());
        }
        text = buffer.str();
    } else if (ec) {
        throw Error("No se puede leer el archivo de estado " + file.string() + ": " + ec.message());
    }
    replaceFileAtomically(file, setIniValue(text, section, key, value));
}

} // namespace tdb::app
