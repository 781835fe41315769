// Card window memory that can be handed to another process: one memfd per card, mapped here for
// the emulator and sent to the device's client, which maps the same pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pcimemu {

class WindowMemory {
public:
    WindowMemory() = default;
    ~WindowMemory();
    WindowMemory(const WindowMemory&) = delete;
    WindowMemory& operator=(const WindowMemory&) = delete;

    // The plant's allocator: zeroed shared memory of at least length bytes for a card. Throws
    // std::system_error when the memory cannot be had.
    uint8_t* allocate(int card, uint32_t length);

    // The descriptor whose memory begins at address, with at least length bytes; -1 when no
    // window begins there.
    int descriptorAt(const uint8_t* address, uint32_t length) const;

private:
    struct Window {
        int card;
        int descriptor;
        uint8_t* address;
        size_t size;
    };
    std::vector<Window> windows_;
};

}  // namespace pcimemu
