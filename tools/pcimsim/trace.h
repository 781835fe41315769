// pcimsim --trace: every datagram and every global-data change of the plant on one line of
// standard output, decoded: card, device, memory, offset, length and values.
#pragma once

#include <string>

#include "pcimemu/emulator.h"

namespace pcimsim {

std::string describeDatagram(const pcimemu::DatagramEvent& event);
std::string describeGlobalData(const pcimemu::GlobalDataEvent& event);

// Prints each datagram and global-data change of the plant from now on.
void traceToStandardOutput(pcimemu::Plant& plant);

}  // namespace pcimsim
