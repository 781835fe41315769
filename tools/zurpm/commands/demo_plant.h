// The demo's plant: two PCIM cards, a Series 90 PLC running a small tank process on card 1 and a
// Genius I/O block on card 2, the zurPM.int that starts the driver on both, and a gate list that
// covers every memory type.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gate_item.h"
#include "pcimemu/emulator.h"

namespace zurtool::demo {

// The plant file (TOML, as pcimsim reads it).
extern const char* const plantText;
// zurPM.int for it.
extern const char* const configurationText;
// The gates polled, with their names.
std::vector<GateItem> gateList();

// The tank process: the level rises while the pump runs and falls while the valve drains it; the
// PLC switches the pump and the valve, raises the high-level alarm and measures flow and
// temperature; the I/O block's inputs and analog values move with it. `elapsedMs` is the time since
// the demo began. Called with the plant under its lock.
void runProcess(pcimemu::Plant& plant, uint64_t elapsedMs);

}  // namespace zurtool::demo
