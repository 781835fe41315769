// The poll loop: every gate of a list read each interval, in as few requests as the read plan
// allows, until a count of polls or a duration is done or Ctrl-C (or SIGTERM) asks it to stop at
// the next request; the caller then stops the driver with command 11. What becomes of each
// reading is for the watchers: the view on standard output (outputs/poll_view.h), the run's
// keeper (record/poll_keeper.h).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "driver_session.h"
#include "gate_values.h"
#include "link_stats.h"
#include "local_time.h"

namespace zurtool {

// One read of one gate as the loop made it.
struct PollReading {
    uint32_t poll = 0;  // from 0
    size_t gateIndex = 0;
    const DefinedGate& gate;
    const Transfer& transfer;
    const std::vector<GateValue>& values;  // empty when the read failed
    double requestMs = 0;
    LocalTime time;  // of the pass
};

// Whoever follows a poll.
class PollWatcher {
public:
    virtual ~PollWatcher() = default;
    // After each read of a gate.
    virtual void reading(const PollReading&) {}
    // After each pass over the gate list; `polls` counts the passes so far.
    virtual void passDone(uint32_t /*polls*/, const LocalTime& /*time*/, const LinkStatistics&) {}
    // When the loop ends, with the run's counts.
    virtual void ended(const LinkStatistics&) {}
};

struct PollSettings {
    uint32_t intervalMs = 1000;
    std::optional<uint32_t> count;       // polls; none: no limit
    std::optional<uint32_t> durationMs;  // stop after this long; none: no limit
    bool group = true;                   // block reads where the gates allow
    std::vector<PollWatcher*> watchers;  // told in this order
};

// From now on, Ctrl-C and SIGTERM ask the poll loop to stop instead of ending the process.
void catchStopSignals();
bool stopRequested();

// Runs the loop; returns exitDone, or exitRefused when the last poll of some gate failed.
int pollGates(DriverSession& session, const std::vector<DefinedGate>& gates, const PollSettings& settings);

}  // namespace zurtool
