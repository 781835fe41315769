// The card's side of its shared memory: single-byte acquire loads and release stores, the same
// discipline the driver keeps, so that card and PC may run on different threads or processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pcimemu::detail {

inline uint8_t load(const uint8_t* window, uint32_t offset) {
    return __atomic_load_n(window + offset, __ATOMIC_ACQUIRE);
}

inline void store(uint8_t* window, uint32_t offset, uint8_t value) {
    __atomic_store_n(window + offset, value, __ATOMIC_RELEASE);
}

// Stores only when the byte differs: the card leaves alone what already says the right thing.
inline void refresh(uint8_t* window, uint32_t offset, uint8_t value) {
    if (load(window, offset) != value) store(window, offset, value);
}

inline std::vector<uint8_t> loadBytes(const uint8_t* window, uint32_t offset, size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = load(window, offset + static_cast<uint32_t>(i));
    return bytes;
}

inline void storeBytes(uint8_t* window, uint32_t offset, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) store(window, offset + static_cast<uint32_t>(i), bytes[i]);
}

inline void fill(uint8_t* window, uint32_t offset, uint8_t value, size_t count) {
    for (size_t i = 0; i < count; ++i) store(window, offset + static_cast<uint32_t>(i), value);
}

}  // namespace pcimemu::detail
