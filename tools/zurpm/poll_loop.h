// Polling a gate list: every gate read each interval. On a terminal a table redrawn in place (the
// value, ok or the last error, the time of the last change); otherwise one line per gate element
// per poll, or CSV. Ctrl-C (or SIGTERM) ends the loop at the next gate; the caller then stops the
// driver with command 11.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver_session.h"
#include "gate_values.h"
#include "link_stats.h"
#include "tool_common.h"

namespace zurtool {

// One read of one gate as the loop made it, for whoever keeps the run.
struct PollReading {
    uint32_t poll = 0;  // from 0
    size_t gateIndex = 0;
    const DefinedGate& gate;
    const Transfer& transfer;
    const std::vector<GateValue>& values;  // empty when the read failed
    double requestMs = 0;
};

struct PollSettings {
    uint32_t intervalMs = 1000;
    std::optional<uint32_t> count;       // polls; none: no limit
    std::optional<uint32_t> durationMs;  // stop after this long; none: no limit
    OutputFormat output = OutputFormat::lines;
    bool group = true;  // block reads where the gates allow
    std::string title = "zurpm poll";
    std::function<void(const PollReading&)> onReading;  // after each read; may be empty
    std::function<void(const LinkStatistics&)> onEnd;    // the run's counts, when it ends; may be empty
};

// From now on, Ctrl-C and SIGTERM ask the poll loop to stop instead of ending the process.
void catchStopSignals();
bool stopRequested();

// Runs the loop; returns exitDone, or exitRefused when the last poll of some gate failed.
int pollGates(DriverSession& session, const std::vector<DefinedGate>& gates, const PollSettings& settings);

// The text of one CSV field, quoted when it must be.
std::string csvField(const std::string& text);

}  // namespace zurtool
