// Reading gate lists from CSV files and the command line.
#include "gate_file.h"

#include <array>
#include <fstream>

#include "tool_error.h"

namespace zurtool {

namespace {

constexpr std::array<const char*, 4> headerFields{"name", "address", "type", "block"};

std::string trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return std::string(text);
}

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool isHeader(const std::vector<std::string>& fields) {
    if (fields.size() != headerFields.size()) return false;
    for (size_t i = 0; i < fields.size(); ++i)
        if (lowered(trimmed(fields[i])) != headerFields[i]) return false;
    return true;
}

}  // namespace

std::vector<std::string> splitCsvLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<std::string> fields(1);
    bool inQuotes = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inQuotes) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            inQuotes = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    if (inQuotes) throw badInput("a quoted field is not closed");
    return fields;
}

std::vector<GateItem> readGateList(std::istream& in, const std::string& source) {
    std::vector<GateItem> gates;
    std::string line;
    int number = 0;
    bool headerSeen = false;
    while (std::getline(in, line)) {
        ++number;
        const std::string content = trimmed(line);
        if (content.empty() || content.front() == '#') continue;
        const std::string where = source + ":" + std::to_string(number) + ": ";
        try {
            const std::vector<std::string> fields = splitCsvLine(line);
            if (!headerSeen) {
                if (!isHeader(fields))
                    throw badInput("expected the header line name,address,type,block");
                headerSeen = true;
                continue;
            }
            if (fields.size() < 2 || fields.size() > headerFields.size())
                throw badInput("expected name,address,type,block, found " + std::to_string(fields.size()) +
                               " field" + (fields.size() == 1 ? "" : "s"));
            const std::string empty;
            GateItem item = makeGateItem(fields[0], fields[1], fields.size() > 2 ? fields[2] : empty,
                                         fields.size() > 3 ? fields[3] : empty);
            gates.push_back(std::move(item));
        } catch (const ToolError& error) {
            throw ToolError(error.status(), where + error.what());
        }
    }
    if (!headerSeen) throw badInput(source + ": no header line name,address,type,block");
    if (gates.empty()) throw badInput(source + ": no gates after the header line");
    return gates;
}

std::vector<GateItem> readGateFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw badInput("cannot open the gate file " + path);
    return readGateList(in, path);
}

std::vector<GateItem> collectGates(const std::vector<std::string>& items, const std::string& gateFile) {
    std::vector<GateItem> gates;
    for (const std::string& text : items) {
        try {
            gates.push_back(parseGateItem(text));
        } catch (const ToolError& error) {
            throw ToolError(error.status(), "gate " + text + ": " + error.what());
        }
    }
    if (!gateFile.empty()) {
        std::vector<GateItem> fromFile = readGateFile(gateFile);
        gates.insert(gates.end(), fromFile.begin(), fromFile.end());
    }
    if (gates.empty()) throw badInput("no gates given: name them as ADDRESS[:TYPE[:BLOCK]] or with --gates FILE");
    return gates;
}

}  // namespace zurtool
