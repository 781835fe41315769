// The plant's trace: every datagram and every global-data change of the plant on one line,
// decoded: card, device, memory, offset, length and values. pcimsim --trace writes it to standard
// output, zurpm --emulate --trace to standard error.
#pragma once

#include <cstdio>
#include <string>

#include "pcimemu/emulator.h"

namespace pcimsim {

std::string describeDatagram(const pcimemu::DatagramEvent& event);
std::string describeGlobalData(const pcimemu::GlobalDataEvent& event);

// Prints each datagram and global-data change of the plant from now on to stream, a line each,
// flushed.
void traceTo(pcimemu::Plant& plant, std::FILE* stream);
inline void traceToStandardOutput(pcimemu::Plant& plant) { traceTo(plant, stdout); }

}  // namespace pcimsim
