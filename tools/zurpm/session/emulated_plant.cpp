// The emulated plant's directory, device and process.
#include "emulated_plant.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>
#include <thread>

#include "int_file.h"
#include "tool_error.h"
#include "trace.h"

#if defined(_WIN32)
#include <process.h>

#include "pcimemu/emulated_device.h"
#else
#include <stdlib.h>

#include "pcimemu/device_server.h"
#endif

namespace zurtool {

namespace {

constexpr auto processStep = std::chrono::milliseconds(100);

#if defined(_WIN32)

std::filesystem::path makeTemporaryDirectory(const std::string& purpose) {
    const std::filesystem::path temporary = std::filesystem::temp_directory_path();
    const auto seed = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "zurpm-%s-%d-%06llx", purpose.c_str(), _getpid(),
                      (seed + attempt * 7919ull) & 0xFFFFFFull);
        std::error_code error;
        if (std::filesystem::create_directory(temporary / name, error)) return temporary / name;
    }
    throw unavailable("cannot make a temporary directory for the " + purpose + " in " + temporary.string());
}

#else

std::filesystem::path makeTemporaryDirectory(const std::string& purpose) {
    std::string pattern = (std::filesystem::temp_directory_path() / ("zurpm-" + purpose + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) throw unavailable("cannot make a temporary directory for the " + purpose);
    return pattern;
}

#endif

// A temporary directory that is removed with everything in it, and the current directory and
// XPORTIO_SOCKET as they were before it was entered.
class Place {
public:
    explicit Place(const std::string& purpose) : directory_(makeTemporaryDirectory(purpose)) {
        std::error_code error;
        previousDirectory_ = std::filesystem::current_path(error);
        if (const char* socket = std::getenv("XPORTIO_SOCKET")) previousSocket_ = socket;
    }
    ~Place() {
        std::error_code error;
        if (entered_) std::filesystem::current_path(previousDirectory_, error);
#if !defined(_WIN32)
        if (entered_) {
            if (previousSocket_)
                setenv("XPORTIO_SOCKET", previousSocket_->c_str(), 1);
            else
                unsetenv("XPORTIO_SOCKET");
        }
#endif
        std::filesystem::remove_all(directory_, error);
        if (error)
            std::fprintf(stderr, "zurpm: the temporary folder %s could not be removed: %s\n",
                         directory_.string().c_str(), error.message().c_str());
    }
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;

    const std::filesystem::path& directory() const { return directory_; }
    std::filesystem::path socket() const { return directory_ / "XPORTIO"; }

    void enter() {
#if !defined(_WIN32)
        setenv("XPORTIO_SOCKET", socket().c_str(), 1);
#endif
        entered_ = true;
        std::filesystem::current_path(directory_);
    }

private:
    std::filesystem::path directory_;
    std::filesystem::path previousDirectory_;
    std::optional<std::string> previousSocket_;
    bool entered_ = false;
};

// The plant's process, stepped on a thread of its own; step takes the plant's lock.
class ProcessRunner {
public:
    explicit ProcessRunner(std::function<void(uint64_t elapsedMs)> step) : step_(std::move(step)) {
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
            step_(static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(next - begin).count()));
            next += processStep;
            std::this_thread::sleep_until(next);
        }
    }

    std::function<void(uint64_t)> step_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// The plant as the driver first finds it: its initial values, and the trace when asked for.
void prepare(pcimemu::Plant& emulated, const PlantToEmulate& plant) {
    emulated.recordEvents(false);  // the plant may run long; nobody reads the events
    pcimemu::applyInitialValues(emulated, plant.plant);
    if (plant.trace) pcimsim::traceTo(emulated, stderr);
}

}  // namespace

PlantToEmulate plantToEmulate(const std::string& path, bool trace) {
    std::string error;
    std::optional<pcimemu::PlantFile> file = pcimemu::readPlantFile(path, error);
    if (!file) throw badInput(error);
    PlantToEmulate plant{std::move(*file), {}, {}, {}, "plant", trace};
    std::error_code missing;
    if (std::filesystem::exists(configurationFileName, missing)) {
        std::ifstream here(configurationFileName, std::ios::binary);
        std::ostringstream text;
        text << here.rdbuf();
        if (!here) throw badInput(std::string("cannot read ") + configurationFileName + " of this directory");
        plant.configurationText = text.str();
        plant.configurationFrom = std::string(configurationFileName) + " of this directory";
    } else {
        plant.configurationText = configurationForPlant(plant.plant.setup);
        plant.configurationFrom = std::string(configurationFileName) + " made from the plant (" +
                                  std::to_string(plant.plant.setup.cards.size()) +
                                  (plant.plant.setup.cards.size() == 1 ? " card" : " cards") + ", base 10)";
    }
    return plant;
}

std::string configurationForPlant(const pcimemu::PlantSpec& plant) {
    std::string text = "BASE=" + std::to_string(driverDefaultNumberBase) + "\n";
    for (size_t c = 0; c < plant.cards.size(); ++c) {
        char line[32];
        std::snprintf(line, sizeof line, "%zu=%X;%X\n", c + 1, static_cast<unsigned>(plant.cards[c].memorySegment),
                      static_cast<unsigned>(plant.cards[c].ioPort));
        text += line;
    }
    return text;
}

#if defined(_WIN32)

// Taken down in reverse: the process stops, then the imports are put back and the plant's clock
// stops, then the place is left and removed.
struct EmulatedPlant::Parts {
    explicit Parts(const std::string& purpose) : place(purpose) {}

    Place place;
    std::unique_ptr<pcimemu::EmulatedDevice> device;
    std::optional<ProcessRunner> process;

    pcimemu::InProcessDevice& served() { return device->device(); }
};

#else

// Taken down in reverse: the process stops, then the server, then the place is left and removed.
struct EmulatedPlant::Parts {
    explicit Parts(const std::string& purpose) : place(purpose) {}
    ~Parts() {
        if (server) server->stop();
    }

    Place place;
    std::optional<pcimemu::DeviceServer> server;
    std::optional<ProcessRunner> process;

    pcimemu::DeviceServer& served() { return *server; }
};

#endif

EmulatedPlant::EmulatedPlant(const PlantToEmulate& plant, const DriverLibrary& driver)
    : parts_(std::make_unique<Parts>(plant.purpose)) {
    Place& place = parts_->place;
    {
        std::ofstream configuration(place.directory() / configurationFileName, std::ios::binary);
        configuration << plant.configurationText;
        if (!configuration)
            throw unavailable("cannot write the " + plant.purpose + "'s zurPM.int in " + place.directory().string());
    }
    std::string error;
#if defined(_WIN32)
    pcimemu::AttachFailure failure = pcimemu::AttachFailure::none;
    parts_->device = pcimemu::attachEmulatedDevice(static_cast<HINSTANCE__*>(driver.handle()), plant.plant.setup,
                                                   error, &failure);
    if (!parts_->device) {
        if (failure == pcimemu::AttachFailure::plantRefused) throw badInput("the emulator refuses the plant: " + error);
        throw unavailable("cannot emulate the " + plant.purpose + " behind " + driver.loadedFrom() + ": " + error);
    }
#else
    (void)driver;  // the driver finds the socket through XPORTIO_SOCKET
    try {
        parts_->server.emplace(plant.plant.setup);
    } catch (const std::system_error& problem) {
        throw unavailable("the " + plant.purpose + "'s device cannot be made: " + problem.what());
    } catch (const std::exception& problem) {
        throw badInput("the emulator refuses the plant: " + std::string(problem.what()));
    }
#endif
    parts_->served().withPlant([&](pcimemu::Plant& emulated) {
        prepare(emulated, plant);
        return 0;
    });
#if !defined(_WIN32)
    if (!parts_->server->start(place.socket().string(), error))
        throw unavailable("the " + plant.purpose + "'s device server cannot listen at " + place.socket().string() +
                          ": " + error);
#endif
    if (plant.process) {
        Parts& parts = *parts_;
        auto process = plant.process;
        parts_->process.emplace([&parts, process](uint64_t elapsedMs) {
            parts.served().withPlant([&](pcimemu::Plant& emulated) {
                process(emulated, elapsedMs);
                return 0;
            });
        });
    }
    place.enter();
}

EmulatedPlant::~EmulatedPlant() = default;

std::string EmulatedPlant::where() const {
#if defined(_WIN32)
    return "as \\\\.\\XPORTIO inside zurpm";
#else
    return "at " + parts_->place.socket().string();
#endif
}

}  // namespace zurtool
