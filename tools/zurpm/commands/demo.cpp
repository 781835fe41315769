// zurpm demo: an emulated plant inside the tool. The emulator serves a private XPORTIO socket in a
// temporary directory that also holds the plant's zurPM.int; the driver is loaded against it as in
// a plant (XPORTIO_SOCKET names the socket, the current directory is the temporary one), the
// demo's gate list is defined and polled as `zurpm poll` does, and everything is taken down and
// removed at the end.
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <thread>

#include "commands.h"
#include "definitions.h"
#include "demo_plant.h"
#include "int_file.h"
#include "open_session.h"
#include "pcimemu/device_server.h"
#include "pcimemu/plant_file.h"
#include "poll_keeper.h"
#include "poll_view.h"
#include "poller.h"
#include "report_html.h"
#include "tool_error.h"

namespace zurtool {

namespace {

constexpr auto processStep = std::chrono::milliseconds(100);

// A temporary directory that is removed with everything in it, and the current directory and
// XPORTIO_SOCKET as they were before the demo.
class DemoPlace {
public:
    DemoPlace() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zurpm-demo-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw unavailable("cannot make a temporary directory for the demo");
        directory_ = pattern;
        previousDirectory_ = std::filesystem::current_path();
        if (const char* socket = std::getenv("XPORTIO_SOCKET")) previousSocket_ = socket;
    }
    ~DemoPlace() {
        std::error_code error;
        std::filesystem::current_path(previousDirectory_, error);
        if (previousSocket_)
            setenv("XPORTIO_SOCKET", previousSocket_->c_str(), 1);
        else
            unsetenv("XPORTIO_SOCKET");
        std::filesystem::remove_all(directory_, error);
    }
    DemoPlace(const DemoPlace&) = delete;
    DemoPlace& operator=(const DemoPlace&) = delete;

    const std::filesystem::path& directory() const { return directory_; }
    std::filesystem::path socket() const { return directory_ / "XPORTIO"; }

    void enter() {
        setenv("XPORTIO_SOCKET", socket().c_str(), 1);
        std::filesystem::current_path(directory_);
    }

private:
    std::filesystem::path directory_;
    std::filesystem::path previousDirectory_;
    std::optional<std::string> previousSocket_;
};

// The plant's process, stepped on a thread of its own under the plant's lock.
class ProcessRunner {
public:
    explicit ProcessRunner(pcimemu::DeviceServer& server) : server_(server) {
        thread_ = std::thread([this] { run(); });
    }
    ~ProcessRunner() {
        stopping_ = true;
        thread_.join();
    }
    ProcessRunner(const ProcessRunner&) = delete;
    ProcessRunner& operator=(const ProcessRunner&) = delete;

private:
    void run() {
        const auto begin = std::chrono::steady_clock::now();
        auto next = begin;
        while (!stopping_) {
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(next - begin).count();
            server_.withPlant([elapsed](pcimemu::Plant& plant) {
                demo::runProcess(plant, static_cast<uint64_t>(elapsed));
                return 0;
            });
            next += processStep;
            std::this_thread::sleep_until(next);
        }
    }

    pcimemu::DeviceServer& server_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// The demo's plant as the place where the driver runs: its directory entered, its device served
// and its process stepped until the driver has stopped.
class DemoPlant : public SessionPlace {
public:
    explicit DemoPlant(const pcimemu::PlantFile& plantFile) : server_(plantFile.setup) {
        {
            std::ofstream configuration(place_.directory() / configurationFileName);
            configuration << demo::configurationText;
            if (!configuration)
                throw unavailable("cannot write the demo's zurPM.int in " + place_.directory().string());
        }
        server_.withPlant([&](pcimemu::Plant& plant) {
            plant.recordEvents(false);  // the demo may run long; nobody reads the events
            pcimemu::applyInitialValues(plant, plantFile);
            return 0;
        });
        std::string error;
        if (!server_.start(place_.socket().string(), error))
            throw unavailable("the demo's device server cannot listen at " + place_.socket().string() + ": " + error);
        process_.emplace(server_);
        place_.enter();
        std::cerr << "zurpm demo: plant served at " << place_.socket().string()
                  << "; starting the driver on two cards (about 7 s)\n";
    }
    ~DemoPlant() override { server_.stop(); }

private:
    DemoPlace place_;
    pcimemu::DeviceServer server_;
    std::optional<ProcessRunner> process_;
};

}  // namespace

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
    request.place = [&]() -> std::unique_ptr<SessionPlace> {
        auto plant = std::make_unique<DemoPlant>(*plantFile);
        catchStopSignals();
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
