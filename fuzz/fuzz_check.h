// What every fuzz target shares: an invariant that does not hold stops the run with its reason,
// and the sizes of the host's value buffer as records.h states them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "zurpm/records.h"

namespace fuzz {

inline void require(bool holds, const char* invariant) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

// Bytes of the host's buffer an access covers: one value 4; a block of N words 2 N, of N floats
// 4 N, of N points N / 8 rounded up. An access no gate definition makes gets none at all.
inline size_t valueBufferSize(const GateAccess& access) {
    const int32_t code = access.hardwareAddress.memoryType;
    const int64_t count = access.count;
    if (count == 1) return 4;
    if (count < 1) return 0;
    if (code == 8 || code == 10 || code == 12 || code == 130)
        return static_cast<size_t>(count * (access.hardwareAddress.width == 32 ? 4 : 2));
    if ((code >= 70 && code <= 86 && code % 2 == 0) || code == 128 || code == 129)
        return static_cast<size_t>((count + 7) / 8);
    return 0;
}

}  // namespace fuzz
