// Calling the driver as a host does, on the virtual platform: one DriverContext, requests built
// from records, and the messages the driver sent since the harness was made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/virtual/virtual_platform.h"
#include "zurpm/zurpm.h"

namespace zurpm::test {

class DriverHarness {
public:
    DriverHarness();  // resets the virtual platform
    ~DriverHarness();

    DriverContext context{};

    int32_t call(int32_t command, void* gate = nullptr);
    int32_t call(DriverContext& other, int32_t command, void* gate = nullptr);

    // Gate definition helpers: the record used is kept in lastDefinition.
    int32_t defineGate(const char* address, int32_t valueType);
    int32_t defineBlockGate(const char* address, int32_t blockSize, int32_t valueType = 0);
    GateDefinition lastDefinition{};

    const std::vector<virt::HostMessage>& messages() const { return virt::messages(); }
    // "level: text" of each message, for readable failures.
    std::vector<std::string> messageLines() const;
};

std::string describe(const HardwareAddress& address);

}  // namespace zurpm::test
