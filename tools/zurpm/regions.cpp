// The tool's view of the table of memories: a Memory for every code the table names (a region's
// code, its block code and its byte-mode code), and a Region for every address region.
#include "regions.h"

#include <array>
#include <deque>
#include <string>
#include <vector>

namespace zurtool {

namespace {

ElementShape shapeOf(zurpm::ElementKind element) {
    switch (element) {
    case zurpm::ElementKind::point: return ElementShape::point;
    case zurpm::ElementKind::float32: return ElementShape::float32;
    case zurpm::ElementKind::word:
    case zurpm::ElementKind::wordOrFloat: break;  // a word unless the gate's values are floats
    }
    return ElementShape::word;
}

struct Memories {
    std::deque<std::string> texts;  // the names built here; a deque keeps them in place
    std::vector<Memory> rows;

    const char* keep(std::string text) { return texts.emplace_back(std::move(text)).c_str(); }
    void add(int32_t code, const char* reference, const char* name, MemoryUnit unit) {
        for (const Memory& memory : rows)
            if (memory.code == code) return;  // the first region of a code names it (R before F)
        rows.push_back({code, reference, name, unit});
    }
};

const Memories& memories() {
    static const Memories built = [] {
        Memories result;
        for (const zurpm::MemoryRegion& region : zurpm::memoryRegions) {
            result.add(region.code, region.reference, region.name, region.unit);
            if (region.blockCode != region.code)
                result.add(region.blockCode, region.reference, result.keep(std::string(region.name) + ", block"),
                           region.blockUnit);
            if (region.byteModeCode != 0)
                result.add(region.byteModeCode, result.keep(std::string(region.reference) + " bytes"),
                           result.keep(std::string(region.name) + ", bytes"), MemoryUnit::byte);
        }
        return result;
    }();
    return built;
}

const std::vector<Region>& regions() {
    static const std::vector<Region> built = [] {
        std::vector<Region> result;
        for (const zurpm::MemoryRegion& region : zurpm::memoryRegions)
            result.push_back({region.plcType, region.letter, region.code, shapeOf(region.element), region.largestBlock,
                              region.element == zurpm::ElementKind::point});
        return result;
    }();
    return built;
}

constexpr size_t typePosition = 2;
constexpr size_t regionPosition = 3;

}  // namespace

const Memory* memoryOfCode(int32_t code) {
    for (const Memory& memory : memories().rows)
        if (memory.code == code) return &memory;
    return nullptr;
}

const char* memoryName(int32_t code) {
    const Memory* memory = memoryOfCode(code);
    return memory != nullptr ? memory->name : "unknown memory";
}

const Region* regionOfAddress(std::string_view address) {
    if (address.size() <= regionPosition) return nullptr;
    // The PLC type 9 is compared as it stands, G in any case, as the driver does.
    const zurpm::MemoryRegion* row = zurpm::memoryRegionOf(address[typePosition], address[regionPosition]);
    if (row == nullptr) return nullptr;
    for (const Region& region : regions())
        if (region.plcType == row->plcType && region.letter == row->letter) return &region;
    return nullptr;
}

const Region* regionOfMemory(int32_t memoryType, ElementShape shape) {
    for (const Region& region : regions())
        if (region.memoryType == memoryType && region.shape == shape) return &region;
    return nullptr;
}

}  // namespace zurtool
