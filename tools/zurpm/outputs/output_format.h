// How a subcommand shows its results: an aligned table, plain lines, CSV, or JSON lines; and the
// closing summary of a run's link statistics in each.
#pragma once

#include <string>

#include "link_stats.h"

namespace zurtool {

enum class OutputFormat { table, lines, csv, jsonl };

// The format named by --format (empty: a table on a terminal, lines otherwise; --csv is a synonym
// for --format csv). Throws bad input for an unknown name or a --csv that contradicts --format.
OutputFormat chooseOutputFormat(const std::string& format, bool csv);

// For programs: CSV and JSON lines.
inline bool forPrograms(OutputFormat format) { return format == OutputFormat::csv || format == OutputFormat::jsonl; }

// The text of one CSV field, quoted when it must be.
std::string csvField(const std::string& text);

// The closing summary of a run's link statistics: each station's lines after a table on standard
// output, the same on standard error beside lines or CSV, a last summary object with JSON lines.
void printClosingSummary(const LinkStatistics& statistics, OutputFormat format);

}  // namespace zurtool
