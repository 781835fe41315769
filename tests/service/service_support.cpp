// The service suite's bench: see service_support.h.
#include "service_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace service {

void Schedule::advance(uint32_t nowMs) {
    device_.advance(nowMs);
    for (Action& action : actions_) {
        if (action.atMs != nowMs || !action.run) continue;
        auto run = std::move(action.run);
        action.run = nullptr;
        run();
    }
}

Bench::Bench(const std::optional<std::string>& config, std::vector<pcimemu::CardSpec> cards)
    : configFile(config), plant(std::move(cards)), schedule(plant.plant()) {
    zurpm::virt::installDevice(&schedule);
}

Bench::~Bench() { call(ZUR_CMD_STOP); }

std::vector<std::string> Bench::lines(size_t from) const {
    std::vector<std::string> all = driver.messageLines();
    if (from >= all.size()) return {};
    return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
}

GateAccess Bench::gate(const char* address, int32_t valueType, int32_t blockSize) {
    const int32_t result = blockSize == 0 ? driver.defineGate(address, valueType)
                                          : driver.defineBlockGate(address, blockSize, valueType);
    EXPECT_EQ(result, ZUR_RESULT_OK) << "definition of " << address << " refused";
    GateAccess access{};
    access.hardwareAddress = driver.lastDefinition.hardwareAddress;
    access.count = blockSize == 0 ? 1 : blockSize;
    return access;
}

std::vector<PortAccess> portWrites(const pcimemu::VirtualPlant& plant) {
    std::vector<PortAccess> writes;
    for (const pcimemu::PortEvent& event : plant.portEvents())
        if (event.write) writes.push_back({event.atMs, event.port, event.value});
    return writes;
}

std::vector<PortAccess> portReads(const pcimemu::VirtualPlant& plant, uint16_t port) {
    std::vector<PortAccess> reads;
    for (const pcimemu::PortEvent& event : plant.portEvents())
        if (!event.write && event.port == port) reads.push_back({event.atMs, event.port, event.value});
    return reads;
}

std::string describe(const std::vector<PortAccess>& accesses) {
    std::ostringstream text;
    char one[48];
    for (const PortAccess& access : accesses) {
        std::snprintf(one, sizeof one, "[%u ms: %03X <- %02X] ", access.atMs, access.port, access.value);
        text << one;
    }
    return text.str();
}

}  // namespace service
