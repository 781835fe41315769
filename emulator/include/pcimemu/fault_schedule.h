// Faults switched at random from a seed. The seeded simulation of the tests and pcimsim's --chaos
// draw from the same menu: every fault the emulator has (CardFaults, DeviceFaults, XportioFaults),
// on a card or device of the plant, so a run is told by its seed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "pcimemu/emulator.h"

namespace pcimemu {

// splitmix64: the same numbers on every platform and standard library.
class SeededDraws {
public:
    explicit SeededDraws(uint64_t seed) : state_(seed) {}
    uint64_t next();
    uint32_t below(uint32_t n);                   // 0 .. n - 1 (0 for n 0)
    int32_t between(int32_t low, int32_t high);   // low .. high
    bool chance(uint32_t percent);

private:
    uint64_t state_;
};

struct FaultSwitch {
    std::string what;            // "card 1 device 3 never_complete on", cards from 1 as in plant files
    std::function<void()> undo;  // puts that fault back as it was
};

struct FaultMenu {
    // A completion status that claims success (bit 2) for a datagram its device refused: the card
    // lies, and a write answered 0 may then be nowhere. A run that checks every write leaves it out.
    bool forgedCompletion = true;
    // Faults that only the start-up handshake, the map and the stop meet.
    bool startFaults = true;
    uint32_t longestReplyDelayMs = 4000;
};

// Switches one fault drawn from the menu on a card or device drawn from the plant: on, with a drawn
// setting, or off.
FaultSwitch switchRandomFault(Plant& plant, SeededDraws& draws, bool on, const FaultMenu& menu = {});

}  // namespace pcimemu
