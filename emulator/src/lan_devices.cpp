// Memories of a Series 90 PLC and the global data of a Genius I/O block.
#include "lan_devices.h"

#include <stdexcept>
#include <string>

namespace pcimemu::detail {

namespace {

int slot(PlcMemory memory) { return static_cast<int>(memory); }

std::out_of_range outOfRange(const char* what, PlcMemory memory, uint32_t index) {
    return std::out_of_range(std::string(what) + ": memory " + std::to_string(slot(memory)) +
                             ", index " + std::to_string(index));
}

}  // namespace

bool isWordMemory(PlcMemory memory) { return slot(memory) < wordMemoryCount; }

PlcDevice::PlcDevice(const PlcSizes& sizes) {
    sizes_ = {sizes.R, sizes.AI, sizes.AQ, sizes.I, sizes.Q,  sizes.T,
              sizes.M, sizes.SA, sizes.SB, sizes.SC, sizes.S, sizes.G};
    for (int i = 0; i < wordMemoryCount; ++i) words_[i].assign(sizes_[i], 0);
    for (int i = 0; i < discreteMemoryCount; ++i)
        points_[i].assign((sizes_[wordMemoryCount + i] + 7) / 8, 0);
}

const std::vector<uint16_t>& PlcDevice::words(PlcMemory memory) const {
    if (!isWordMemory(memory)) throw outOfRange("not a word memory", memory, 0);
    return words_[slot(memory)];
}
std::vector<uint16_t>& PlcDevice::words(PlcMemory memory) {
    return const_cast<std::vector<uint16_t>&>(static_cast<const PlcDevice*>(this)->words(memory));
}
const std::vector<uint8_t>& PlcDevice::points(PlcMemory memory) const {
    if (isWordMemory(memory)) throw outOfRange("not a discrete memory", memory, 0);
    return points_[slot(memory) - wordMemoryCount];
}
std::vector<uint8_t>& PlcDevice::points(PlcMemory memory) {
    return const_cast<std::vector<uint8_t>&>(static_cast<const PlcDevice*>(this)->points(memory));
}

uint16_t PlcDevice::word(PlcMemory memory, uint32_t index) const {
    const auto& memoryWords = words(memory);
    if (index >= memoryWords.size()) throw outOfRange("word", memory, index);
    return memoryWords[index];
}

void PlcDevice::setWord(PlcMemory memory, uint32_t index, uint16_t value) {
    auto& memoryWords = words(memory);
    if (index >= memoryWords.size()) throw outOfRange("word", memory, index);
    memoryWords[index] = value;
}

bool PlcDevice::point(PlcMemory memory, uint32_t index) const {
    if (index >= size(memory)) throw outOfRange("point", memory, index);
    return (points(memory)[index / 8] >> (index % 8)) & 1;
}

void PlcDevice::setPoint(PlcMemory memory, uint32_t index, bool value) {
    if (index >= size(memory)) throw outOfRange("point", memory, index);
    uint8_t& held = points(memory)[index / 8];
    const auto mask = static_cast<uint8_t>(1u << (index % 8));
    held = value ? static_cast<uint8_t>(held | mask) : static_cast<uint8_t>(held & ~mask);
}

uint8_t PlcDevice::byte(PlcMemory memory, uint32_t index) const {
    const auto& bytes = points(memory);
    if (index >= bytes.size()) throw outOfRange("byte", memory, index);
    return bytes[index];
}

void PlcDevice::setByte(PlcMemory memory, uint32_t index, uint8_t value) {
    auto& bytes = points(memory);
    if (index >= bytes.size()) throw outOfRange("byte", memory, index);
    bytes[index] = value;
}

uint32_t PlcDevice::size(PlcMemory memory) const { return sizes_[slot(memory)]; }

uint32_t PlcDevice::byteCount(PlcMemory memory) const {
    return static_cast<uint32_t>(points(memory).size());
}

uint8_t IoBlockDevice::data(uint32_t index) const {
    if (index >= data_.size()) throw std::out_of_range("block data index " + std::to_string(index));
    return data_[index];
}

void IoBlockDevice::setData(uint32_t index, uint8_t value) {
    if (index >= data_.size()) throw std::out_of_range("block data index " + std::to_string(index));
    data_[index] = value;
}

}  // namespace pcimemu::detail
