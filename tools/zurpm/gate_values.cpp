// Parsing, range checks and formatting of gate values, and their places in the host's buffer.
#include "gate_values.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tool_error.h"
#include "zurpm/little_endian.h"

namespace zurtool {

namespace {

struct IntegerRange {
    ValueKind kind;
    int64_t lowest;
    int64_t highest;
};

constexpr std::array<IntegerRange, 2> integerRanges{{
    {ValueKind::signed16, -32768, 32767},
    {ValueKind::unsigned16, 0, 65535},
}};

struct PointWord {
    const char* text;
    int32_t value;
};

constexpr std::array<PointWord, 8> pointWords{{
    {"0", 0}, {"1", 1}, {"off", 0}, {"on", 1}, {"false", 0}, {"true", 1}, {"OFF", 0}, {"ON", 1},
}};

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// A whole number in decimal, or hexadecimal after 0x; an optional sign for decimal.
bool readInteger(std::string_view text, int64_t& value) {
    int base = 10;
    bool negative = false;
    std::string_view digits = text;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        if (digits.data() != text.data()) return false;  // no sign before a hexadecimal number
        base = 16;
        digits.remove_prefix(2);
    }
    if (digits.empty()) return false;
    uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (error != std::errc() || end != digits.data() + digits.size()) return false;
    if (magnitude > (uint64_t{1} << 40)) magnitude = uint64_t{1} << 40;  // far out of every range
    value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

void putFloat(ValueBuffer& buffer, size_t at, float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    zurpm::putLittle32(&buffer[at], bits);
}

float takeFloat(const ValueBuffer& buffer, size_t at) {
    const uint32_t bits = zurpm::getLittle32(&buffer[at]);
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

GateValue fromWord(ValueKind kind, uint16_t word) {
    GateValue value;
    value.kind = kind;
    if (kind == ValueKind::signed16)
        value.integer = static_cast<int16_t>(word);
    else if (kind == ValueKind::digital)
        value.integer = word != 0 ? 1 : 0;
    else
        value.integer = word;
    return value;
}

}  // namespace

GateValue parseValue(ValueKind kind, std::string_view text) {
    GateValue value;
    value.kind = kind;
    switch (kind) {
    case ValueKind::digital:
        for (const PointWord& word : pointWords)
            if (text == word.text) {
                value.integer = word.value;
                return value;
            }
        throw badInput("value " + quoted(text) + " is not a digital value (0, 1, off, on, false, true)");
    case ValueKind::float32: {
        float real = 0.0f;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), real);
        if (text.empty() || end != text.data() + text.size() ||
            (error != std::errc() && error != std::errc::result_out_of_range))
            throw badInput("value " + quoted(text) + " is not a number");
        if (error == std::errc::result_out_of_range || !std::isfinite(real))
            throw badInput("value " + quoted(text) + " is out of range for a float");
        value.real = real;
        return value;
    }
    case ValueKind::signed16:
    case ValueKind::unsigned16:
        break;
    }
    int64_t integer = 0;
    if (!readInteger(text, integer))
        throw badInput("value " + quoted(text) + " is not a whole number");
    for (const IntegerRange& range : integerRanges)
        if (range.kind == kind && (integer < range.lowest || integer > range.highest))
            throw badInput("value " + quoted(text) + " is out of range for " + kindName(kind) + " (" +
                           std::to_string(range.lowest) + " to " + std::to_string(range.highest) + ")");
    value.integer = static_cast<int32_t>(integer);
    return value;
}

std::string formatValue(const GateValue& value) {
    if (value.kind == ValueKind::float32) {
        char text[48];
        std::snprintf(text, sizeof text, "%.7g", static_cast<double>(value.real));
        return text;
    }
    return std::to_string(value.integer);
}

ValueBuffer emptyValueBuffer() { return ValueBuffer(valueBufferBytes, 0); }

void putSingleValue(ValueBuffer& buffer, const GateValue& value) {
    if (value.kind == ValueKind::float32)
        putFloat(buffer, 0, value.real);
    else
        zurpm::putLittle16(&buffer[2], static_cast<uint16_t>(value.integer));
}

GateValue takeSingleValue(const ValueBuffer& buffer, ValueKind kind) {
    if (kind == ValueKind::float32) {
        GateValue value;
        value.kind = kind;
        value.real = takeFloat(buffer, 0);
        return value;
    }
    return fromWord(kind, zurpm::getLittle16(&buffer[2]));
}

void putBlockValues(ValueBuffer& buffer, const std::vector<GateValue>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        const GateValue& value = values[i];
        switch (value.kind) {
        case ValueKind::float32: putFloat(buffer, i * 4, value.real); break;
        case ValueKind::digital: {
            const uint8_t mask = static_cast<uint8_t>(1u << (i % 8));
            if (value.integer != 0)
                buffer[i / 8] = static_cast<uint8_t>(buffer[i / 8] | mask);
            else
                buffer[i / 8] = static_cast<uint8_t>(buffer[i / 8] & ~mask);
            break;
        }
        case ValueKind::signed16:
        case ValueKind::unsigned16: zurpm::putLittle16(&buffer[i * 2], static_cast<uint16_t>(value.integer)); break;
        }
    }
}

std::vector<GateValue> takeBlockValues(const ValueBuffer& buffer, ValueKind kind, int32_t count) {
    std::vector<GateValue> values;
    for (int32_t index = 0; index < count; ++index) {
        const size_t i = static_cast<size_t>(index);
        switch (kind) {
        case ValueKind::float32: {
            GateValue value;
            value.kind = kind;
            value.real = takeFloat(buffer, i * 4);
            values.push_back(value);
            break;
        }
        case ValueKind::digital: values.push_back(fromWord(kind, (buffer[i / 8] >> (i % 8)) & 1u)); break;
        case ValueKind::signed16:
        case ValueKind::unsigned16: values.push_back(fromWord(kind, zurpm::getLittle16(&buffer[i * 2]))); break;
        }
    }
    return values;
}

void putValues(ValueBuffer& buffer, const std::vector<GateValue>& values) {
    if (values.size() == 1)
        putSingleValue(buffer, values.front());
    else
        putBlockValues(buffer, values);
}

std::vector<GateValue> takeValues(const ValueBuffer& buffer, ValueKind kind, int32_t count) {
    if (count == 1) return {takeSingleValue(buffer, kind)};
    return takeBlockValues(buffer, kind, count);
}

}  // namespace zurtool
