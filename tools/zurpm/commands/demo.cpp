// zurpm demo: an emulated plant inside the tool (session/emulated_plant.h): the driver is loaded
// against it as in a plant, the demo's gate list is defined and polled as `zurpm poll` does, and
// everything is taken down and removed at the end.
#include <filesystem>
#include <iostream>
#include <optional>

#include "commands.h"
#include "definitions.h"
#include "demo_plant.h"
#include "emulated_plant.h"
#include "open_session.h"
#include "pcimemu/plant_file.h"
#include "poll_keeper.h"
#include "poll_view.h"
#include "poller.h"
#include "report_html.h"
#include "tool_error.h"

namespace zurtool {

int runDemo(const CommonOptions& common, const DemoOptions& options) {
    if (options.intervalMs == 0) throw badInput("--interval must be at least 1 ms");
    std::string error;
    const std::optional<pcimemu::PlantFile> plantFile =
        pcimemu::parsePlantFile(demo::plantText, "demo plant", error);
    if (!plantFile) throw unavailable("the demo plant is not sound: " + error);

    // The report and the record go where the engineer is, not into the demo's directory.
    auto here = [](const std::string& path) { return path.empty() ? path : std::filesystem::absolute(path).string(); };
    const std::string reportPath = here(options.reportPath);
    const std::string recordPath = here(options.recordPath);

    SessionRequest request;
    // The driver is found beside the tool, before the demo moves into its own directory.
    request.driverPath = common.driverPath;
    request.gates = demo::gateList();
    request.consoleLines = ConsoleLines::keep;
    request.place = [&](const DriverLibrary& driver) -> std::unique_ptr<SessionPlace> {
        auto plant = std::make_unique<EmulatedPlant>(
            PlantToEmulate{*plantFile, demo::configurationText, "", demo::runProcess, "demo", options.trace}, driver);
        catchStopSignals();
        std::cerr << "zurpm demo: plant served " << plant->where()
                  << "; starting the driver on two cards (about 7 s)\n";
        return plant;
    };
    int status = exitDone;
    std::optional<RunRecord> report;
    {
        const auto open = openSession(request);
        const bool terminal = prepareTerminalOutput();
        const OutputFormat format = options.csv ? OutputFormat::csv : (terminal ? OutputFormat::table : OutputFormat::lines);
        if (!open->allAccepted()) return showRefusals(open->gates, open->numberBase, format);
        DriverSession& session = open->session;
        std::optional<PollKeeper> keeper;
        if (!reportPath.empty() || !recordPath.empty())
            keeper.emplace(session, open->library, open->gates, common.commandLine, options.intervalMs, recordPath);
        PollView view(open->gates, session.numberBase(), format, "zurpm demo", options.intervalMs);
        PollSettings settings;
        settings.intervalMs = options.intervalMs;
        settings.durationMs = options.seconds * 1000u;
        if (keeper) settings.watchers.push_back(&*keeper);
        settings.watchers.push_back(&view);
        status = pollGates(session, open->gates, settings);
        session.stop();
        if (keeper && !reportPath.empty()) report = keeper->run();
    }
    if (report) writeReportFile(*report, reportPath);
    return status;
}

}  // namespace zurtool
