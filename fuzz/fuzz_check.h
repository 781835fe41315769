// What every fuzz target shares: an invariant that does not hold stops the run with its reason,
// and the sizes of the host's value buffer as records.h states them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "zurpm/memories.h"
#include "zurpm/records.h"

namespace fuzz {

inline void require(bool holds, const char* invariant) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

// The codes a gate definition may write: of a single gate or of a block, never a byte-mode code.
inline bool isGateCode(int32_t code) {
    for (const zurpm::MemoryRegion& region : zurpm::memoryRegions)
        if (region.code == code || region.blockCode == code) return true;
    return false;
}

inline const std::vector<int32_t>& gateCodes() {
    static const std::vector<int32_t> codes = [] {
        std::vector<int32_t> all;
        for (int32_t code = 0; code < 256; ++code)
            if (isGateCode(code)) all.push_back(code);
        return all;
    }();
    return codes;
}

// Bytes of the host's buffer an access covers: one value 4; a block of N words 2 N, of N floats
// 4 N, of N points N / 8 rounded up. An access no gate definition makes gets none at all.
inline size_t valueBufferSize(const GateAccess& access) {
    const int32_t code = access.hardwareAddress.memoryType;
    const int64_t count = access.count;
    if (count == 1) return 4;
    if (count < 1 || !isGateCode(code)) return 0;
    if (zurpm::memoryRegionOfCode(code)->element == zurpm::ElementKind::point)
        return static_cast<size_t>((count + 7) / 8);
    return static_cast<size_t>(count * (access.hardwareAddress.width == 32 ? 4 : 2));
}

// Bytes of the host's buffer a gate's command 6 or 10 covers: as valueBufferSize, but one value
// for a gate that is one bit of a word, whatever its count, once the count is one a request could
// have.
inline size_t gateBufferSize(const GateAccess& access) {
    const zurpm::MemoryRegion* region = zurpm::memoryRegionOfCode(access.hardwareAddress.memoryType);
    const bool bitOfWord = region != nullptr && region->bitsOfWords && access.hardwareAddress.bit != -1;
    if (bitOfWord && access.count >= 1) return 4;
    return valueBufferSize(access);
}

}  // namespace fuzz
