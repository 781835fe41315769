// What the service suite's tests stand on: the test's zurPM.int, a plant
// of emulated cards on the virtual platform, things done at chosen virtual times while the driver
// waits, and gates defined as a host defines them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver_harness.h"
#include "pcimemu/virtual_plant.h"
#include "zurpm/little_endian.h"  // values in a host buffer

namespace service {

// The zurPM.int the driver finds for the life of the object (no file at all for nullopt).
class ConfigFile {
public:
    explicit ConfigFile(const std::optional<std::string>& text) { zurpm::virt::setConfigurationFile(text); }
    ~ConfigFile() { zurpm::virt::setConfigurationFile(std::nullopt); }
    ConfigFile(const ConfigFile&) = delete;
    ConfigFile& operator=(const ConfigFile&) = delete;
};

// The plant's device with actions at chosen virtual times: a test can lift a fault while the
// driver is waiting on the card.
class Schedule final : public zurpm::virt::DeviceBackend {
public:
    explicit Schedule(pcimemu::Plant& plant) : device_(plant) {}
    void at(uint32_t ms, std::function<void()> action) { actions_.push_back({ms, std::move(action)}); }

    bool open() override { return device_.open(); }
    void close() override { device_.close(); }
    bool control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                 uint32_t* bytesReturned) override {
        return device_.control(code, in, inLength, out, outLength, bytesReturned);
    }
    void advance(uint32_t nowMs) override;

private:
    struct Action {
        uint32_t atMs;
        std::function<void()> run;
    };
    pcimemu::VirtualDevice device_;
    std::vector<Action> actions_;
};

// The usual zurPM.int of these tests: card 1 at CC00/3E0 (card 2 at C800/300) with the default
// time-outs, and gate addresses in base 16.
inline const std::string oneCard = "BASE=16\n1=CC00;3E0;30;16;150\n";
inline const std::string twoCards = "BASE=16\n1=CC00;3E0;30;16;150\n2=C800;300;30;16;150\n";

// The driver, its zurPM.int and a plant, made in that order (the harness resets the
// virtual platform, the plant then installs itself).
struct Bench {
    Bench(const std::optional<std::string>& config, std::vector<pcimemu::CardSpec> cards);
    // The driver outlives the test in this process: it is stopped, so that the next test does not
    // find this one's cards held.
    ~Bench();

    zurpm::test::DriverHarness driver;
    ConfigFile configFile;
    pcimemu::VirtualPlant plant;
    Schedule schedule;

    int32_t call(int32_t command, void* gate = nullptr) { return driver.call(command, gate); }
    int32_t start() { return call(ZUR_CMD_START); }

    // Messages as "level: text", all of them or those after a mark taken earlier.
    size_t mark() const { return driver.messages().size(); }
    std::vector<std::string> lines(size_t from = 0) const;

    // A gate as the host holds it after a definition that must be accepted: single (command 3)
    // when blockSize is 0, else a block (command 4). The access carries count 1 or blockSize.
    GateAccess gate(const char* address, int32_t valueType, int32_t blockSize = 0);
};

// Time on the virtual clock between two tick counts (modulo 2^32).
inline uint32_t elapsed(uint32_t from, uint32_t to) { return to - from; }

// The lines a test expects, for comparison with Bench::lines.
using Lines = std::vector<std::string>;

// Port events of one kind, as (time, port, value), for comparison.
struct PortAccess {
    uint32_t atMs;
    uint16_t port;
    uint16_t value;
    bool operator==(const PortAccess&) const = default;
};
std::vector<PortAccess> portWrites(const pcimemu::VirtualPlant& plant);
std::vector<PortAccess> portReads(const pcimemu::VirtualPlant& plant, uint16_t port);
std::string describe(const std::vector<PortAccess>& accesses);

}  // namespace service
