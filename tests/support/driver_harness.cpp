#include "driver_harness.h"

#include <cstdio>

namespace zurpm::test {

DriverHarness::DriverHarness() {
    virt::reset();
    context.numberBase = 16;
}

DriverHarness::~DriverHarness() { virt::reset(); }

int32_t DriverHarness::call(int32_t command, void* gate) { return call(context, command, gate); }

int32_t DriverHarness::call(DriverContext& other, int32_t command, void* gate) {
    ZurRequest request{};
    request.context = &other;
    request.command = command;
    request.gate = gate;
    return ZurMain(&request);
}

int32_t DriverHarness::defineGate(const char* address, int32_t valueType) {
    lastDefinition = GateDefinition{};
    lastDefinition.addressString = address;
    lastDefinition.valueType = valueType;
    lastDefinition.hardwareAddress = {-99, -99, -99, -99, -99};
    return call(ZUR_CMD_DEFINE_GATE, &lastDefinition);
}

int32_t DriverHarness::defineBlockGate(const char* address, int32_t blockSize, int32_t valueType) {
    lastDefinition = GateDefinition{};
    lastDefinition.addressString = address;
    lastDefinition.valueType = valueType;
    lastDefinition.blockSize = blockSize;
    lastDefinition.hardwareAddress = {-99, -99, -99, -99, -99};
    return call(ZUR_CMD_DEFINE_BLOCK_GATE, &lastDefinition);
}

std::vector<std::string> DriverHarness::messageLines() const {
    std::vector<std::string> lines;
    for (const auto& message : messages()) lines.push_back(std::to_string(message.level) + ": " + message.text);
    return lines;
}

std::string describe(const HardwareAddress& a) {
    char text[128];
    std::snprintf(text, sizeof text, "{station %d, memoryType %d, offset %d, bit %d, width %d}",
                  a.station, a.memoryType, a.offset, a.bit, a.width);
    return text;
}

}  // namespace zurpm::test
