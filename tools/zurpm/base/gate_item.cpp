// Splitting gate items, default value types by region, and the addresses of block elements.
#include "gate_item.h"

#include <array>
#include <charconv>
#include <cstdio>

#include "tool_error.h"

namespace zurtool {

namespace {

struct KindName {
    ValueKind kind;
    const char* name;
};

constexpr std::array<KindName, 4> kindNames{{
    {ValueKind::signed16, "s16"},
    {ValueKind::unsigned16, "u16"},
    {ValueKind::float32, "float"},
    {ValueKind::digital, "digital"},
}};

// Where the offset digits begin in every form (station 0-1, PLC type 2, region 3).
constexpr size_t digitsPosition = 4;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

int32_t parseBlockSize(std::string_view text) {
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        throw badInput("block size '" + std::string(text) + "' is not a whole number");
    if (value < 1 || value > largestBlock)
        throw badInput("block size " + std::to_string(value) + " is outside 1 to " +
                       std::to_string(largestBlock));
    return value;
}

const char* shapeWords(ElementShape shape) {
    switch (shape) {
    case ElementShape::word: return "16-bit words (s16 or u16)";
    case ElementShape::float32: return "floats";
    case ElementShape::point: return "digital points";
    case ElementShape::unknown: break;
    }
    return "unknown elements";
}

bool kindFitsShape(ValueKind kind, ElementShape shape) {
    switch (shape) {
    case ElementShape::word: return kind == ValueKind::signed16 || kind == ValueKind::unsigned16;
    case ElementShape::float32: return kind == ValueKind::float32;
    case ElementShape::point: return kind == ValueKind::digital;
    case ElementShape::unknown: return true;
    }
    return true;
}

}  // namespace

const char* kindName(ValueKind kind) {
    for (const KindName& entry : kindNames)
        if (entry.kind == kind) return entry.name;
    return "?";
}

std::optional<ValueKind> kindFromName(std::string_view text) {
    for (const KindName& entry : kindNames)
        if (text == entry.name) return entry.kind;
    return std::nullopt;
}

ElementShape elementShapeOfAddress(std::string_view address) {
    const Region* region = regionOfAddress(address);
    return region != nullptr ? region->shape : ElementShape::unknown;
}

ValueKind defaultKindForAddress(std::string_view address) {
    if (address.size() > longestElementAddress) return ValueKind::digital;
    switch (elementShapeOfAddress(address)) {
    case ElementShape::float32: return ValueKind::float32;
    case ElementShape::point: return ValueKind::digital;
    case ElementShape::word:
    case ElementShape::unknown: break;
    }
    return ValueKind::signed16;
}

std::string GateItem::text() const {
    std::string result = address;
    result += ':';
    result += kindName(kind);
    if (blockSize) {
        result += ':';
        result += std::to_string(*blockSize);
    }
    return result;
}

GateItem makeGateItem(std::string_view name, std::string_view address, std::string_view type,
                      std::string_view block) {
    address = trimmed(address);
    type = trimmed(type);
    block = trimmed(block);
    name = trimmed(name);
    if (address.empty()) throw badInput("the gate has no address");
    for (const char c : address)
        if (c == ' ' || c == '\t' || static_cast<unsigned char>(c) < 0x20)
            throw badInput("address '" + std::string(address) + "' contains a blank or control character");

    GateItem item;
    item.address = std::string(address);
    item.name = name.empty() ? item.address : std::string(name);
    if (type.empty()) {
        item.kind = defaultKindForAddress(address);
    } else if (const auto kind = kindFromName(type)) {
        item.kind = *kind;
    } else {
        throw badInput("type '" + std::string(type) + "' is none of s16, u16, float, digital");
    }
    if (!block.empty()) {
        item.blockSize = parseBlockSize(block);
        // The driver does not look at the value type of a block: the elements are what the region
        // holds, so a type that does not fit would only show wrong numbers.
        const ElementShape shape = elementShapeOfAddress(address);
        if (!kindFitsShape(item.kind, shape)) {
            throw badInput("type " + std::string(kindName(item.kind)) + " does not fit a block of " +
                           shapeWords(shape) + " at " + item.address);
        }
    }
    return item;
}

GateItem parseGateItem(std::string_view text) {
    std::string_view parts[3];
    size_t count = 0;
    std::string_view rest = text;
    while (true) {
        const size_t colon = rest.find(':');
        if (count == 2 && colon != std::string_view::npos) throw badInput("more than ADDRESS:TYPE:BLOCK");
        parts[count++] = rest.substr(0, colon);
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    // An empty type takes the address region's (ADDRESS::BLOCK); an empty block is a typo.
    if (count == 3 && trimmed(parts[2]).empty()) throw badInput("the block size after the second ':' is empty");
    return makeGateItem({}, parts[0], parts[1], parts[2]);
}

std::string elementAddress(std::string_view address, int32_t numberBase, int32_t index) {
    if (address.size() <= digitsPosition) return {};
    const std::string_view digits = address.substr(digitsPosition);
    uint32_t first = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), first,
                                              numberBase == 16 ? 16 : 10);
    if (error != std::errc() || end != digits.data() + digits.size()) return {};
    const uint32_t step = elementShapeOfAddress(address) == ElementShape::float32 ? 2 : 1;
    const uint64_t number = first + static_cast<uint64_t>(step) * static_cast<uint32_t>(index);
    char text[32];
    if (numberBase == 16)
        std::snprintf(text, sizeof text, "%04llX", static_cast<unsigned long long>(number));
    else
        std::snprintf(text, sizeof text, "%05llu", static_cast<unsigned long long>(number));
    return std::string(address.substr(0, digitsPosition)) + text;
}

}  // namespace zurtool
