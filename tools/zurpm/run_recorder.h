// Keeping a poll for its report: the run header taken from the session right after the driver's
// start (so that the start's own messages are still there), the gate elements after their
// definition, then each reading as the poll loop makes it.
#pragma once

#include <string>
#include <vector>

#include "driver_library.h"
#include "driver_session.h"
#include "poll_loop.h"
#include "run_record.h"

namespace zurtool {

class RunRecorder {
public:
    // Call right after the start (command 1): takes its messages, asks command 14, reads zurPM.int.
    RunRecorder(DriverSession& session, const DriverLibrary& library, const std::string& commandLine,
                uint32_t intervalMs);

    // The gate elements polled, in the order of the poll.
    void setGates(const std::vector<DefinedGate>& gates, int32_t numberBase);
    // One read of one gate.
    void observe(const PollReading& reading);
    // The end of the poll.
    void finish();

    const RunRecord& run() const { return run_; }

private:
    RunRecord run_;
    std::vector<size_t> firstElement_;  // per gate, its first element in run_.gates
};

}  // namespace zurtool
