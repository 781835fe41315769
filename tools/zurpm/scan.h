// What `zurpm scan` finds on a card's Genius LAN: the card as the driver's start described it, and
// what answers at each device number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver_session.h"

namespace zurtool {

// A card as the driver's start described it in its messages.
struct ScanCard {
    int32_t card = 0;  // 1 to 3
    std::string segment;  // "CC00"
    std::string port;     // "3E0"
    bool started = false;
    std::optional<int32_t> ownDevice;  // its own Genius device number
    std::string version;               // as the driver shows it, hexadecimal
    std::vector<HostMessage> messages;  // the driver's messages of this card's start
};

// The start's messages, divided among the configured cards (`numbers`, from the context's slots):
// each card's part begins with its "Starting Card" line; what comes before the first (the
// configuration warning) belongs to all.
std::vector<ScanCard> cardsFromStart(const std::vector<HostMessage>& messages, const std::vector<int32_t>& numbers);

enum class DeviceKind { absent, plc, block, silent, card };

// "absent", "plc", "block", "silent", "card", as the scan shows them and JSON lines carry them
// (defined with the JSON lines).
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

}  // namespace zurtool
