// zurpm poll: start once, then read every gate of a list each interval until the count is done or
// Ctrl-C; stop with command 11 in either case.
#include "commands.h"
#include "driver_library.h"
#include "driver_session.h"
#include "poll_loop.h"
#include "report_html.h"
#include "run_recorder.h"
#include "tool_common.h"
#include "tool_error.h"

namespace zurtool {

int runPoll(const CommonOptions& common, const PollOptions& options) {
    const std::vector<GateItem> items = collectGates(options.gates, options.gateFile);
    if (options.intervalMs == 0) throw badInput("--interval must be at least 1 ms");
    const OutputFormat format = chooseOutputFormat(options.format, options.csv);

    DriverLibrary library(common.driverPath);
    DriverSession session(library);
    if (!checkBeforeStart(session, items)) return exitRefused;
    catchStopSignals();
    echoMessagesToStandardError(session);
    session.consoleLines = ConsoleLines::toStandardError;
    startDriver(session);
    std::optional<RunRecorder> recorder;
    if (!options.reportPath.empty() || !options.recordPath.empty())
        recorder.emplace(session, library, common.commandLine, options.intervalMs, options.recordPath);
    std::vector<DefinedGate> gates;
    if (!defineGates(session, items, gates)) return exitRefused;

    PollSettings settings;
    settings.intervalMs = options.intervalMs;
    settings.count = options.count;
    settings.output = format;
    settings.group = !options.noGroup;
    if (recorder) {
        recorder->setGates(gates);
        settings.onReading = [&](const PollReading& reading) { recorder->observe(reading); };
        settings.onEnd = [&](const LinkStatistics& statistics) { recorder->finish(statistics); };
    }
    const int status = pollGates(session, gates, settings);
    session.stop();
    if (!options.reportPath.empty()) writeReportFile(recorder->run(), options.reportPath);
    return status;
}

}  // namespace zurtool
