// The emulated plant's directory, device server and process.
#include "emulated_plant.h"

#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

#include "int_file.h"
#include "pcimemu/device_server.h"
#include "tool_error.h"

namespace zurtool {

namespace {

constexpr auto processStep = std::chrono::milliseconds(100);

// A temporary directory that is removed with everything in it, and the current directory and
// XPORTIO_SOCKET as they were before it was entered.
class Place {
public:
    explicit Place(const std::string& purpose) {
        std::string pattern = (std::filesystem::temp_directory_path() / ("zurpm-" + purpose + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw unavailable("cannot make a temporary directory for the " + purpose);
        directory_ = pattern;
        previousDirectory_ = std::filesystem::current_path();
        if (const char* socket = std::getenv("XPORTIO_SOCKET")) previousSocket_ = socket;
    }
    ~Place() {
        std::error_code error;
        std::filesystem::current_path(previousDirectory_, error);
        if (previousSocket_)
            setenv("XPORTIO_SOCKET", previousSocket_->c_str(), 1);
        else
            unsetenv("XPORTIO_SOCKET");
        std::filesystem::remove_all(directory_, error);
    }
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;

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
    ProcessRunner(pcimemu::DeviceServer& server, std::function<void(pcimemu::Plant&, uint64_t)> process)
        : server_(server), process_(std::move(process)) {
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
            server_.withPlant([&](pcimemu::Plant& plant) {
                process_(plant, static_cast<uint64_t>(elapsed));
                return 0;
            });
            next += processStep;
            std::this_thread::sleep_until(next);
        }
    }

    pcimemu::DeviceServer& server_;
    std::function<void(pcimemu::Plant&, uint64_t)> process_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace

// Taken down in reverse: the process stops, then the server, then the place is left and removed.
struct EmulatedPlant::Parts {
    explicit Parts(const PlantToEmulate& plant) : place(plant.purpose), server(plant.plant.setup) {}
    ~Parts() { server.stop(); }

    Place place;
    pcimemu::DeviceServer server;
    std::optional<ProcessRunner> process;
};

EmulatedPlant::EmulatedPlant(const PlantToEmulate& plant) : parts_(std::make_unique<Parts>(plant)) {
    Place& place = parts_->place;
    {
        std::ofstream configuration(place.directory() / configurationFileName);
        configuration << plant.configurationText;
        if (!configuration)
            throw unavailable("cannot write the " + plant.purpose + "'s zurPM.int in " + place.directory().string());
    }
    parts_->server.withPlant([&](pcimemu::Plant& emulated) {
        emulated.recordEvents(false);  // the plant may run long; nobody reads the events
        pcimemu::applyInitialValues(emulated, plant.plant);
        return 0;
    });
    std::string error;
    if (!parts_->server.start(place.socket().string(), error))
        throw unavailable("the " + plant.purpose + "'s device server cannot listen at " + place.socket().string() +
                          ": " + error);
    if (plant.process) parts_->process.emplace(parts_->server, plant.process);
    place.enter();
}

EmulatedPlant::~EmulatedPlant() = default;

std::filesystem::path EmulatedPlant::socket() const { return parts_->place.socket(); }

}  // namespace zurtool
