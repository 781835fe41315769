// Keeping a poll for its report (`--record`, `--report`). The run header is taken from the
// session after the driver's start (its start messages, command 14, zurPM.int) and the gate list
// as defined, then each reading as the poll loop makes it. With a record file every reading goes
// to it as a JSON line at once and nothing grows in memory; the report then reads the file back
// (record_file.h). Without one, the run is kept in memory.
#pragma once

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "driver_library.h"
#include "driver_session.h"
#include "poller.h"
#include "run_record.h"

namespace zurtool {

class PollKeeper : public PollWatcher {
public:
    // Takes the run header and writes the record's first line. An empty recordPath keeps the run
    // in memory. Throws an unavailable ToolError when the record file cannot be written.
    PollKeeper(DriverSession& session, const DriverLibrary& library, const std::vector<DefinedGate>& gates,
               const std::string& commandLine, uint32_t intervalMs, const std::string& recordPath = {});

    void reading(const PollReading& reading) override;
    void ended(const LinkStatistics& statistics) override;

    // The run for the report: as kept, or read back from the record file.
    RunRecord run() const;

private:
    RunRecord run_;
    std::string recordPath_;
    std::unique_ptr<std::ofstream> record_;
};

}  // namespace zurtool
