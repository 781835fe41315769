// Gate definition cases as data: the request (base, address, value type, block size) and what the
// host must see afterwards (result, the five hardware-address fields, the one message of a
// refusal). The harness presets every field to -99, so `kept` marks a field the definition must
// leave alone.
#pragma once

#include <cstdint>
#include <string>

#include "driver_harness.h"

namespace zurpm::test {

constexpr int32_t kept = -99;

enum class Command { single, block };

struct DefinitionCase {
    int32_t numberBase;
    std::string address;
    int32_t valueType;
    int32_t blockSize;
    int32_t result;
    HardwareAddress written;  // all five fields as the host finds them
    std::string message;      // the refusal's text at level 8; empty for an accepted gate
};

// Runs one case through ZurMain on a fresh harness and checks result, fields and messages.
void expectDefinition(Command command, const DefinitionCase& c);

// The fields of a refused definition: only station and offset (and, for a bit of a word, bit
// and width) may have been written.
constexpr HardwareAddress writtenStation(int32_t station) { return {station, kept, kept, kept, kept}; }
constexpr HardwareAddress writtenStationOffset(int32_t station, int32_t offset) {
    return {station, kept, offset, kept, kept};
}
constexpr HardwareAddress nothingWritten() { return {kept, kept, kept, kept, kept}; }

}  // namespace zurpm::test
