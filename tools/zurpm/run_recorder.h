// Keeping a poll for its report. The run header is taken from the session right after the driver's
// start (while the start's own messages are still there), the gate list after its definition,
// then each reading as the poll loop makes it. With a record file every reading goes to it as a
// JSON line at once and nothing grows in memory; the report then reads the file back. Without one,
// the run is kept in memory.
//
// A record file is JSON lines: first a run header (`"header": true`), then the poll's element
// lines, last the summary (`"summary": true`), the objects of `--format jsonl` (json_lines.h).
#pragma once

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "driver_library.h"
#include "driver_session.h"
#include "json_lines.h"
#include "link_stats.h"
#include "poll_loop.h"
#include "run_record.h"

namespace zurtool {

class RunRecorder {
public:
    // Call right after the start (command 1): takes its messages, asks command 14, reads zurPM.int.
    // An empty recordPath keeps the run in memory. Throws an unavailable ToolError when the record
    // file cannot be written.
    RunRecorder(DriverSession& session, const DriverLibrary& library, const std::string& commandLine,
                uint32_t intervalMs, const std::string& recordPath = {});

    // The gates polled, in the order of the poll; writes the record's header.
    void setGates(const std::vector<DefinedGate>& gates);
    // One read of one gate.
    void observe(const PollReading& reading);
    // The end of the poll, with its counts.
    void finish(const LinkStatistics& statistics);

    // The run for the report: as kept, or read back from the record file.
    RunRecord run() const;

private:
    RunRecord run_;
    std::vector<HostMessage> startMessages_;
    std::string recordPath_;
    std::unique_ptr<std::ofstream> record_;
};

// The link figures of counts.
LinkFigures linkFiguresOf(const LinkCounts& counts);

// The run header as the first line of a record.
JsonObject runHeaderJson(const RunHeader& header, const std::vector<HostMessage>& startMessages,
                         const std::vector<DefinedGate>& gates);

// Reads a record file, or any JSON lines of `zurpm poll --format jsonl`. Throws a bad-input
// ToolError that names the file and line of what cannot be read.
RunRecord readRunFile(const std::string& path);

}  // namespace zurtool
