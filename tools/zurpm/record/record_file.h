// The record file of a poll, both ways. A record file is JSON lines: first a run header
// (`"header": true`), then the poll's element lines, last the summary (`"summary": true`), the
// objects of `--format jsonl` (outputs/json_lines.h).
#pragma once

#include <string>
#include <vector>

#include "driver_session.h"
#include "json_lines.h"
#include "run_record.h"

namespace zurtool {

// The run header as the first line of a record.
JsonObject runHeaderJson(const RunHeader& header, const std::vector<HostMessage>& startMessages,
                         const std::vector<DefinedGate>& gates);

// Reads a record file, or any JSON lines of `zurpm poll --format jsonl`. Throws a bad-input
// ToolError that names the file and line of what cannot be read.
RunRecord readRunFile(const std::string& path);

}  // namespace zurtool
