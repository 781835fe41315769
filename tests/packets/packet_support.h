// Helpers for the packet suites: gate accesses over host buffers fenced by canary bytes, and
// readable dumps of packet bodies.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "exchange/packet.h"
#include "zurpm/little_endian.h"
#include "zurpm/memories.h"
#include "platform/virtual/virtual_platform.h"

namespace zurpm::test {

// A host value buffer with canary bytes on both sides.
class GuardedBuffer {
public:
    static constexpr size_t guardBytes = 16;
    static constexpr uint8_t canary = 0xA5;

    explicit GuardedBuffer(size_t size, uint8_t fill = 0xC3)
        : size_(size), bytes_(size + 2 * guardBytes, canary) {
        for (size_t i = guardBytes; i + guardBytes < bytes_.size(); ++i) bytes_[i] = fill;
    }
    uint8_t* data() { return bytes_.data() + guardBytes; }
    const uint8_t* data() const { return bytes_.data() + guardBytes; }
    size_t size() const { return size_; }
    std::vector<uint8_t> contents() const { return {data(), data() + size_}; }
    void set(const std::vector<uint8_t>& values) {
        std::copy_n(values.begin(), std::min(values.size(), size_), bytes_.begin() + guardBytes);
    }
    bool guardsIntact() const {
        for (size_t i = 0; i < guardBytes; ++i)
            if (bytes_[i] != canary || bytes_[guardBytes + size_ + i] != canary) return false;
        return true;
    }

private:
    size_t size_;
    std::vector<uint8_t> bytes_;
};

inline GateAccess accessOf(int32_t memoryType, int32_t offset, int32_t count, int32_t width,
                           int32_t bit, void* data) {
    GateAccess access{};
    access.hardwareAddress = {5, memoryType, offset, bit, width};
    access.count = count;
    access.data = data;
    return access;
}

inline std::string hex(const uint8_t* bytes, size_t count) {
    std::string text;
    char one[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(one, sizeof one, i ? " %02X" : "%02X", bytes[i]);
        text += one;
    }
    return text;
}
inline std::string hex(const std::vector<uint8_t>& bytes) { return hex(bytes.data(), bytes.size()); }

// A body as the test tables write it: header values, then data bytes.
inline std::vector<uint8_t> bodyOf(uint8_t selector, uint16_t offset, uint8_t length) {
    std::vector<uint8_t> header(6);
    header[1] = selector;
    zurpm::putLittle16(&header[3], offset);
    header[5] = length;
    return header;
}
inline std::vector<uint8_t> bodyOf(uint8_t selector, uint16_t offset, uint8_t length,
                                   const std::vector<uint8_t>& data) {
    // Sized once and filled in place. (GCC 12 at -O2 warns falsely of an out-of-bounds copy when an
    // initialised vector grows by insert, and when an empty data vector is copied to the end of a
    // header: a header alone is the overload above.)
    std::vector<uint8_t> body(6 + data.size());
    const std::vector<uint8_t> header = bodyOf(selector, offset, length);
    std::copy(header.begin(), header.end(), body.begin());
    std::copy(data.begin(), data.end(), body.begin() + 6);
    return body;
}

inline std::string messageTexts() {
    std::string text;
    for (const auto& message : virt::messages())
        text += std::to_string(message.level) + ": " + message.text + "\n";
    return text;
}

}  // namespace zurpm::test
