// Values of gates: what the engineer types for a write (checked against the gate's type, refused
// when out of range, never wrapped), how a value is shown, and where values sit in the host's
// value buffer: one 16-bit value at bytes 2-3, one 32-bit value at bytes 0-3, a point as 16-bit
// 0/1 at byte 2; blocks packed from byte 0, eight points a byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gate_item.h"

namespace zurtool {

struct GateValue {
    ValueKind kind = ValueKind::signed16;
    int32_t integer = 0;  // s16, u16, digital (0 or 1)
    float real = 0.0f;    // float

    bool operator==(const GateValue&) const = default;
};

// Throws a bad-input ToolError that names the value and what is wrong with it.
GateValue parseValue(ValueKind kind, std::string_view text);

// s16 and u16 as decimal numbers, a float with up to 7 significant digits, a point as 0 or 1.
std::string formatValue(const GateValue& value);

// Large enough for the largest transfer the driver makes (and more), so that a driver that moves
// a few bytes more than it should still writes into the tool's own memory.
constexpr size_t valueBufferBytes = 4096;
using ValueBuffer = std::vector<uint8_t>;
ValueBuffer emptyValueBuffer();

// One value (commands 5 and 7).
void putSingleValue(ValueBuffer& buffer, const GateValue& value);
GateValue takeSingleValue(const ValueBuffer& buffer, ValueKind kind);

// A block of `values.size()` elements of one kind (commands 6 and 10).
void putBlockValues(ValueBuffer& buffer, const std::vector<GateValue>& values);
std::vector<GateValue> takeBlockValues(const ValueBuffer& buffer, ValueKind kind, int32_t count);

// `count` elements as the driver moves them: a count of 1 is always a single value, also for a
// block gate; more are a block.
void putValues(ValueBuffer& buffer, const std::vector<GateValue>& values);
std::vector<GateValue> takeValues(const ValueBuffer& buffer, ValueKind kind, int32_t count);

}  // namespace zurtool
