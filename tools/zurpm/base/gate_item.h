// A gate as the field engineer types it: ADDRESS[:TYPE[:BLOCK]] on the command line, or one line
// of a gate file. The address is the driver's own address string; it is judged by the driver. Here
// we only split the item, name the value type (or take the obvious one from the address region)
// and read the block size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "regions.h"

namespace zurtool {

// The host's value types, with the codes of GateDefinition.valueType.
enum class ValueKind : int32_t {
    signed16 = 0,
    unsigned16 = 1,
    float32 = 3,
    digital = 6,
};

// "s16", "u16", "float", "digital".
const char* kindName(ValueKind kind);
// The kind named by text (as kindName gives it), or nothing.
std::optional<ValueKind> kindFromName(std::string_view text);

// A single or block address has at most 9 characters (base 10); longer ones name one bit of a word,
// in either base.
constexpr size_t longestElementAddress = 9;

// What one element of a block is, by the address region.
ElementShape elementShapeOfAddress(std::string_view address);

// The value type that an address obviously has: registers, analog words and Genius block analog
// data are s16, region F is float, discrete regions, Genius block digital data and the
// bit-of-word form are digital. Anything the driver will refuse anyway is s16.
ValueKind defaultKindForAddress(std::string_view address);

struct GateItem {
    std::string name;     // the gate file's name, or the address itself
    std::string address;  // the driver's address string
    ValueKind kind = ValueKind::signed16;
    std::optional<int32_t> blockSize;  // a block gate (command 4) when set

    bool isBlock() const { return blockSize.has_value(); }
    // ADDRESS:TYPE[:BLOCK], as the engineer would type it again.
    std::string text() const;
};

// Largest block the tool asks for: the longest block any region takes (points of PLC memory).
constexpr int32_t largestBlock = largestBlockOfAnyRegion;

// Parses ADDRESS[:TYPE[:BLOCK]] (an empty TYPE takes the default). Throws a bad-input ToolError
// that says what is wrong.
GateItem parseGateItem(std::string_view text);

// The parts of an item that come separately (a gate-file line): an empty type takes the default of
// the address, an empty block makes a single gate. Throws a bad-input ToolError.
GateItem makeGateItem(std::string_view name, std::string_view address, std::string_view type,
                      std::string_view block);

// The address string of element `index` of a block that starts at `address`, in the number base
// of the definition: floats of region F count two registers each, everything else one element.
// Empty when the address has no offset digits that can be read.
std::string elementAddress(std::string_view address, int32_t numberBase, int32_t index);

}  // namespace zurtool
