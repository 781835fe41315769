// The devices on a card's Genius LAN: Series 90 PLCs with their memories, and Genius I/O blocks
// with their 128 bytes of global data.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "pcimemu/emulator.h"

namespace pcimemu::detail {

constexpr int wordMemoryCount = 3;       // R, AI, AQ
constexpr int discreteMemoryCount = 9;   // I, Q, T, M, SA, SB, SC, S, G

bool isWordMemory(PlcMemory memory);

class PlcDevice final : public Plc {
public:
    explicit PlcDevice(const PlcSizes& sizes);

    uint16_t word(PlcMemory memory, uint32_t index) const override;
    void setWord(PlcMemory memory, uint32_t index, uint16_t value) override;
    bool point(PlcMemory memory, uint32_t index) const override;
    void setPoint(PlcMemory memory, uint32_t index, bool value) override;
    uint8_t byte(PlcMemory memory, uint32_t index) const override;
    void setByte(PlcMemory memory, uint32_t index, uint8_t value) override;
    uint32_t size(PlcMemory memory) const override;
    // Bytes of a discrete memory: its points rounded up to whole bytes.
    uint32_t byteCount(PlcMemory memory) const;

private:
    const std::vector<uint16_t>& words(PlcMemory memory) const;
    const std::vector<uint8_t>& points(PlcMemory memory) const;
    std::vector<uint16_t>& words(PlcMemory memory);
    std::vector<uint8_t>& points(PlcMemory memory);

    std::array<uint32_t, wordMemoryCount + discreteMemoryCount> sizes_{};
    std::array<std::vector<uint16_t>, wordMemoryCount> words_;
    std::array<std::vector<uint8_t>, discreteMemoryCount> points_;
};

class IoBlockDevice final : public IoBlock {
public:
    uint8_t data(uint32_t index) const override;
    void setData(uint32_t index, uint8_t value) override;

private:
    std::array<uint8_t, 128> data_{};
};

// One device of a LAN as the card knows it.
struct LanDevice {
    DeviceSpec setup;  // its faults change during a run
    std::unique_ptr<PlcDevice> plc;
    std::unique_ptr<IoBlockDevice> block;

    bool present() const { return !setup.faults.absent; }
};

}  // namespace pcimemu::detail
