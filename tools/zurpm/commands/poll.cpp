// zurpm poll: start once, then read every gate of a list each interval until the count is done or
// Ctrl-C; stop with command 11 in either case.
#include <filesystem>
#include <optional>

#include "commands.h"
#include "definitions.h"
#include "gate_file.h"
#include "open_session.h"
#include "poll_keeper.h"
#include "poll_view.h"
#include "poller.h"
#include "report_html.h"
#include "tool_error.h"

namespace zurtool {

int runPoll(const CommonOptions& common, const PollOptions& options) {
    const std::vector<GateItem> items = collectGates(options.gates, options.gateFile);
    if (options.intervalMs == 0) throw badInput("--interval must be at least 1 ms");
    const OutputFormat format = chooseOutputFormat(options.format, options.csv);

    // The record and the report go where the engineer is, also when an emulated plant moves the
    // session into a directory of its own.
    auto here = [](const std::string& path) { return path.empty() ? path : std::filesystem::absolute(path).string(); };
    const std::string reportPath = here(options.reportPath);
    const std::string recordPath = here(options.recordPath);

    catchStopSignals();
    SessionRequest request;
    request.driverPath = common.driverPath;
    request.emulatedPlantFile = options.emulate.plantFile;
    request.tracePlant = options.emulate.trace;
    request.gates = items;
    const auto open = openSession(request);
    if (!open->allAccepted()) return showRefusals(open->gates, open->numberBase, format);
    DriverSession& session = open->session;

    std::optional<PollKeeper> keeper;
    if (!reportPath.empty() || !recordPath.empty())
        keeper.emplace(session, open->library, open->gates, common.commandLine, options.intervalMs, recordPath);
    PollView view(open->gates, session.numberBase(), format, "zurpm poll", options.intervalMs);
    PollSettings settings;
    settings.intervalMs = options.intervalMs;
    settings.count = options.count;
    settings.group = !options.noGroup;
    if (keeper) settings.watchers.push_back(&*keeper);
    settings.watchers.push_back(&view);
    const int status = pollGates(session, open->gates, settings);
    session.stop();
    if (!reportPath.empty()) writeReportFile(keeper->run(), reportPath);
    return status;
}

}  // namespace zurtool
