// Choosing the format, CSV fields, the closing summary.
#include "output_format.h"

#include <iostream>

#include "driver_library.h"
#include "json_lines.h"
#include "tool_error.h"

namespace zurtool {

OutputFormat chooseOutputFormat(const std::string& format, bool csv) {
    struct Named {
        const char* name;
        OutputFormat format;
    };
    static constexpr Named formats[] = {{"table", OutputFormat::table},
                                        {"lines", OutputFormat::lines},
                                        {"csv", OutputFormat::csv},
                                        {"jsonl", OutputFormat::jsonl}};
    if (format.empty()) {
        if (csv) return OutputFormat::csv;
        return prepareTerminalOutput() ? OutputFormat::table : OutputFormat::lines;
    }
    for (const Named& entry : formats) {
        if (format != entry.name) continue;
        if (csv && entry.format != OutputFormat::csv)
            throw badInput("--csv and --format " + format + " contradict each other");
        if (entry.format == OutputFormat::table) prepareTerminalOutput();
        return entry.format;
    }
    throw badInput("--format " + format + " is none of table, lines, csv, jsonl");
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

void printClosingSummary(const LinkStatistics& statistics, OutputFormat format) {
    if (format == OutputFormat::jsonl) {
        writeSummary(std::cout, statistics);
        std::cout.flush();
        return;
    }
    std::ostream& out = format == OutputFormat::table ? std::cout : std::cerr;
    for (const auto& [station, counts] : statistics.stations()) out << "\n" << stationSummary(station, counts);
    out.flush();
}

}  // namespace zurtool
