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
#include "demo_plant.h"
#include "driver_library.h"
#include "driver_session.h"
#include "int_file.h"
#include "pcimemu/device_server.h"
#include "pcimemu/plant_file.h"
#include "poll_loop.h"
#include "report_html.h"
#include "run_recorder.h"
#include "tool_common.h"
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

}  // namespace

int runDemo(const CommonOptions& common, const DemoOptions& options) {
    if (options.intervalMs == 0) throw badInput("--interval must be at least 1 ms");
    // The driver is found beside the tool, before the demo moves into its own directory.
    DriverLibrary library(common.driverPath);

    std::string error;
    const std::optional<pcimemu::PlantFile> plantFile =
        pcimemu::parsePlantFile(demo::plantText, "demo plant", error);
    if (!plantFile) throw unavailable("the demo plant is not sound: " + error);

    // The report and the record go where the engineer is, not into the demo's directory.
    auto here = [](const std::string& path) { return path.empty() ? path : std::filesystem::absolute(path).string(); };
    const std::string reportPath = here(options.reportPath);
    const std::string recordPath = here(options.recordPath);
    DemoPlace place;
    {
        std::ofstream configuration(place.directory() / configurationFileName);
        configuration << demo::configurationText;
        if (!configuration) throw unavailable("cannot write the demo's zurPM.int in " + place.directory().string());
    }
    pcimemu::DeviceServer server(plantFile->setup);
    server.withPlant([&](pcimemu::Plant& plant) {
        plant.recordEvents(false);  // the demo may run long; nobody reads the events
        pcimemu::applyInitialValues(plant, *plantFile);
        return 0;
    });
    if (!server.start(place.socket().string(), error))
        throw unavailable("the demo's device server cannot listen at " + place.socket().string() + ": " + error);
    ProcessRunner process(server);
    place.enter();

    catchStopSignals();
    int status = exitDone;
    std::optional<RunRecord> report;
    {
        DriverSession session(library);
        echoMessagesToStandardError(session);
        std::cerr << "zurpm demo: plant served at " << place.socket().string()
                  << "; starting the driver on two cards (about 7 s)\n";
        startDriver(session);
        std::optional<RunRecorder> recorder;
        if (!reportPath.empty() || !recordPath.empty())
            recorder.emplace(session, library, common.commandLine, options.intervalMs, recordPath);
        std::vector<DefinedGate> gates;
        if (!defineGates(session, demo::gateList(), gates)) {
            status = exitRefused;
        } else {
            PollSettings settings;
            settings.intervalMs = options.intervalMs;
            settings.durationMs = options.seconds * 1000u;
            settings.title = "zurpm demo";
            const bool terminal = prepareTerminalOutput();
            settings.output = options.csv ? OutputFormat::csv : (terminal ? OutputFormat::table : OutputFormat::lines);
            if (recorder) {
                recorder->setGates(gates);
                settings.onReading = [&](const PollReading& reading) { recorder->observe(reading); };
                settings.onEnd = [&](const LinkStatistics& statistics) { recorder->finish(statistics); };
            }
            status = pollGates(session, gates, settings);
        }
        session.stop();
        if (recorder && !reportPath.empty()) report = recorder->run();
    }
    server.stop();
    if (report) writeReportFile(*report, reportPath);
    return status;
}

}  // namespace zurtool
