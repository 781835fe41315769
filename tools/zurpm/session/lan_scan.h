// What answers at a device number of a card's Genius LAN. A read of %R00001 tells a PLC (answered),
// an absent device (the card's device table says so at once, no waiting), a device that serves no
// Read Device (an I/O block: its global data is read from the card's table instead) and one that
// is there but does not answer in time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver_session.h"
#include "link_stats.h"

namespace zurtool {

constexpr int32_t devicesPerLan = 32;

enum class DeviceKind { absent, plc, block, silent, card };

// "absent", "plc", "block", "silent", "card", as the scan shows them and JSON lines carry them.
const char* deviceKindName(DeviceKind kind);

struct ScanDevice {
    int32_t card = 0;
    int32_t device = 0;  // on the card's LAN
    int32_t station = 0;
    DeviceKind kind = DeviceKind::absent;
    std::optional<int32_t> firstRegister;  // a PLC: the value of %R00001
    std::vector<uint8_t> data;             // a block: its global data
    double ms = 0.0;                       // how long the requests took, the time-out of a silent one
    std::vector<HostMessage> messages;     // of the request that decided the kind
};

// Asks what is at the device number of the (started) card; counts the requests that reached a
// device into `statistics` (an absent device is what most numbers of a LAN are: no failure of a
// link).
ScanDevice scanDevice(DriverSession& session, LinkStatistics& statistics, int32_t card, int32_t device);

}  // namespace zurtool
