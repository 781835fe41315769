// zurpm report: the commissioning report of a poll kept with --record. It needs no driver.
#include <filesystem>
#include <iostream>

#include "commands.h"
#include "record_file.h"
#include "report_html.h"
#include "tool_error.h"

namespace zurtool {

int runReport(const CommonOptions&, const ReportOptions& options) {
    const RunRecord run = readRunFile(options.recordPath);
    std::string output = options.output;
    if (output.empty()) output = std::filesystem::path(options.recordPath).replace_extension(".html").string();
    writeReportFile(run, output);
    std::cout << output << ": " << run.gates.size() << " gate elements, " << run.polls() << " polls\n";
    return exitDone;
}

}  // namespace zurtool
