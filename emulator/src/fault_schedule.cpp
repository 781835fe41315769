// Faults switched at random from a seed: see pcimemu/fault_schedule.h.
#include "pcimemu/fault_schedule.h"

#include <cstdio>
#include <vector>

#include "pcimemu/card_map.h"

namespace pcimemu {

uint64_t SeededDraws::next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint32_t SeededDraws::below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(next() % n); }

int32_t SeededDraws::between(int32_t low, int32_t high) {
    return low + static_cast<int32_t>(below(static_cast<uint32_t>(high - low) + 1));
}

bool SeededDraws::chance(uint32_t percent) { return below(100) < percent; }

namespace {

// A field switched, and the undo that puts its old value back.
template <typename Value>
FaultSwitch set(Value& field, Value value, std::string what) {
    Value old = field;
    field = std::move(value);
    return {std::move(what), [&field, old] { field = old; }};
}

// A status byte as plant files write it: 0x10.
std::string hexByte(uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

}  // namespace

FaultSwitch switchRandomFault(Plant& plant, SeededDraws& draws, bool on, const FaultMenu& menu) {
    using namespace cardmap;
    constexpr uint8_t busy = commandBusy, issued = commandIssued, accepted = configurationAccepted;
    static const std::vector<uint8_t> sequences[] = {{busy, busy, busy, busy, accepted}, {issued}, {syntaxError},
                                                     {processError}, {0}, {busy, accepted},
                                                     {issued, issued, issued, issued, issued, busy}};
    constexpr uint8_t unknownStatus = 0x20;
    static const uint8_t refusals[] = {0x00, syntaxError, processError, unknownStatus,
                                       completed | syntaxError, completed | processError};  // the last two claim success
    static const uint8_t lengths[] = {0, 3, 7, 8, 134, 135, 200, 255};

    const int card = static_cast<int>(draws.below(static_cast<uint32_t>(plant.cardCount())));
    CardFaults& c = plant.faults(card);
    std::vector<uint8_t> devices;
    for (const DeviceSpec& device : plant.setup(card).devices) devices.push_back(device.number);
    const std::string where = "card " + std::to_string(card + 1);
    const std::string state = on ? " on" : " off";

    // Device faults first: they are what a running plant meets most.
    if (!devices.empty() && draws.chance(60)) {
        const uint8_t number = devices[draws.below(static_cast<uint32_t>(devices.size()))];
        DeviceFaults& d = plant.faults(card, number);
        const std::string device = where + " device " + std::to_string(number) + " ";
        switch (draws.below(5)) {
            case 0: return set(d.absent, on, device + "absent" + state);
            case 1: return set(d.neverComplete, on, device + "never_complete" + state);
            case 2: {
                const uint8_t status = refusals[draws.below(menu.forgedCompletion ? 6 : 4)];
                return set(d.completionStatus, on ? std::optional<uint8_t>(status) : std::nullopt,
                           device + "completion_status" + (on ? " " + hexByte(status) : state));
            }
            case 3: {
                const uint8_t length = lengths[draws.below(8)];
                return set(d.replyLength, on ? std::optional<uint8_t>(length) : std::nullopt,
                           device + "reply_length" + (on ? " " + std::to_string(length) : state));
            }
            default: {
                const uint32_t delay = on ? draws.below(menu.longestReplyDelayMs + 1) : draws.below(8);
                return set(d.replyDelayMs, delay, device + "reply_delay_ms " + std::to_string(delay));
            }
        }
    }
    switch (draws.below(menu.startFaults ? 11 : 3)) {
        case 0: return set(c.noHeartbeat, on, where + " no_heartbeat" + state);
        case 1: return set(c.lockoutNeverGranted, on, where + " lockout_never_granted" + state);
        case 2: return set(c.heartbeatStopsAfterConfig, on, where + " heartbeat_stops_after_config" + state);
        case 3: {
            const uint32_t after = static_cast<uint32_t>(draws.between(0, 4000));
            return set(c.heartbeatAfterMs, on ? std::optional<uint32_t>(after) : std::nullopt,
                       where + " heartbeat_after_ms" + (on ? " " + std::to_string(after) : state));
        }
        case 4: return set(c.configStatusSequence, on ? sequences[draws.below(7)] : std::vector<uint8_t>{},
                           where + " config_status" + state);
        case 5: {
            const auto bits = static_cast<uint8_t>(on ? draws.between(1, 3) << 3 : 0);
            return set(c.ioStatusBits, bits, where + " io_status " + hexByte(bits));
        }
        case 6: return set(c.refuseMap, on, where + " refuse_map" + state);
        case 7: return set(c.refusePortRead, on, where + " refuse_port_read" + state);
        case 8: return set(c.refusePortWrite, on, where + " refuse_port_write" + state);
        case 9: return set(plant.xportioFaults().cannotOpen, on, std::string("xportio cannot_open") + state);
        default: return set(plant.xportioFaults().refuseUnmap, on, std::string("xportio refuse_unmap") + state);
    }
}

}  // namespace pcimemu
