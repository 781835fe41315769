// Polling a gate list: every gate read each interval. On a terminal a table redrawn in place (the
// value, ok or the last error, the time of the last change); otherwise one line per gate element
// per poll, or CSV. Ctrl-C (or SIGTERM) ends the loop at the next gate; the caller then stops the
// driver with command 11.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver_session.h"
#include "tool_common.h"

namespace zurtool {

struct PollSettings {
    uint32_t intervalMs = 1000;
    std::optional<uint32_t> count;       // polls; none: no limit
    std::optional<uint32_t> durationMs;  // stop after this long; none: no limit
    OutputFormat output = OutputFormat::lines;
    bool group = true;  // block reads where the gates allow
    std::string title = "zurpm poll";
};

// From now on, Ctrl-C and SIGTERM ask the poll loop to stop instead of ending the process.
void catchStopSignals();
bool stopRequested();

// Runs the loop; returns exitDone, or exitRefused when the last poll of some gate failed.
int pollGates(DriverSession& session, const std::vector<DefinedGate>& gates, const PollSettings& settings);

// The text of one CSV field, quoted when it must be.
std::string csvField(const std::string& text);

}  // namespace zurtool
