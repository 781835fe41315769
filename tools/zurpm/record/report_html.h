// The commissioning report: one self-contained HTML page of a run of polls (no script, no file or
// address outside the page), that any browser opens from a USB stick and that prints on paper:
// the run's header, one table of every gate element with its figures, the link health of each
// station, a trend chart per gate element in inline SVG, and the messages of the run.
#pragma once

#include <ostream>
#include <string>

#include "run_record.h"

namespace zurtool {

void writeReport(const RunRecord& run, std::ostream& out);

// Writes the page to a file; throws an unavailable ToolError when it cannot be written.
void writeReportFile(const RunRecord& run, const std::string& path);

// Text made safe for HTML content and attribute values.
std::string htmlEscape(const std::string& text);

}  // namespace zurtool
