// The table of memories (zurpm/memories.h) against both sides of the bus: the packet builder's
// groups and the PLC's own selectors in the emulator must be the table's codes, counted alike, and
// every region of the table, defined and read through ZurMain, must reach the emulated plant with
// its codes and lengths.
#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "exchange/packet_layout.h"
#include "pcimemu/series90_map.h"
#include "service_support.h"
#include "zurpm/memories.h"

namespace {

namespace s90 = pcimemu::series90;
using zurpm::ElementKind;
using zurpm::MemoryRegion;
using zurpm::MemoryUnit;

constexpr bool countsAlike(MemoryUnit unit, s90::Addressing addressing) {
    return (unit == MemoryUnit::word && addressing == s90::Addressing::words) ||
           (unit == MemoryUnit::point && addressing == s90::Addressing::points) ||
           (unit == MemoryUnit::byte && addressing == s90::Addressing::bytes);
}

// The PLC's segment of a selector, by index (-1: none), so that the checks below stay constant.
constexpr int segmentIndexOf(int32_t selector) {
    for (size_t i = 0; i < std::size(s90::segments); ++i)
        if (s90::segments[i].selector == selector) return static_cast<int>(i);
    return -1;
}

// Every code the driver sends to a PLC is a selector the PLC knows, counted alike; the byte mode of
// a memory reaches the memory of its bit mode. The Genius block codes are none of the PLC's.
constexpr bool driverCodesAreSelectors() {
    for (const MemoryRegion& row : zurpm::memoryRegions) {
        if (row.plcType == zurpm::plcTypeGeniusBlock) {
            if (segmentIndexOf(row.code) >= 0 || segmentIndexOf(row.blockCode) >= 0) return false;
            continue;
        }
        const int index = segmentIndexOf(row.code);
        if (index < 0 || !countsAlike(row.unit, s90::segments[index].addressing)) return false;
        if (row.byteModeCode != 0 &&
            s90::selectorOf(s90::segments[index].memory, s90::Addressing::bytes) != row.byteModeCode)
            return false;
    }
    return true;
}

// Every selector the PLC knows is a code of the driver's, counted alike.
constexpr bool selectorsAreDriverCodes() {
    for (const s90::Segment& segment : s90::segments) {
        bool known = false;
        for (const MemoryRegion& row : zurpm::memoryRegions)
            known = known || (row.plcType == zurpm::plcTypeSeries90 &&
                              ((row.code == segment.selector && countsAlike(row.unit, segment.addressing)) ||
                               (row.byteModeCode == segment.selector &&
                                segment.addressing == s90::Addressing::bytes)));
        if (!known) return false;
    }
    return true;
}

// The packet builder's groups of codes (exchange/packet_layout.h) follow the table: words travel as
// words, points as points, Genius block data through the global-data tables, and no byte-mode
// code is a gate's.
constexpr bool packetGroupsFollowTheTable() {
    using zurpm::PacketGroup;
    for (const MemoryRegion& row : zurpm::memoryRegions) {
        const bool genius = row.plcType == zurpm::plcTypeGeniusBlock;
        for (const int32_t code : {row.code, row.blockCode}) {
            const zurpm::CodeGroup entry = zurpm::codeGroupOf(code);
            if (entry.group == PacketGroup::none || entry.globalData != genius) return false;
            if ((zurpm::unitOfCode(row, code) == MemoryUnit::word) != (entry.group == PacketGroup::words)) return false;
        }
        if (row.byteModeCode != 0 && zurpm::codeGroupOf(row.byteModeCode).group != PacketGroup::none) return false;
    }
    for (const zurpm::CodeGroup& entry : zurpm::codeGroups) {
        bool known = false;
        for (const MemoryRegion& row : zurpm::memoryRegions)
            known = known || row.code == entry.code || row.blockCode == entry.code;
        if (!known) return false;
    }
    return true;
}

static_assert(packetGroupsFollowTheTable(), "exchange/packet_layout.h groups a code otherwise than zurpm/memories.h");
static_assert(driverCodesAreSelectors(), "a code of zurpm/memories.h that the emulated PLC does not know alike");
static_assert(selectorsAreDriverCodes(), "a selector of series90_map.h that zurpm/memories.h lacks");

int32_t valueTypeOf(ElementKind element) {
    switch (element) {
    case ElementKind::point: return ZUR_VALUE_DIGITAL;
    case ElementKind::float32: return ZUR_VALUE_FLOAT;
    case ElementKind::word:
    case ElementKind::wordOrFloat: break;
    }
    return ZUR_VALUE_SIGNED16;
}

// Bytes of data that a block of the region's largest size carries.
uint32_t largestBlockBytes(const MemoryRegion& row) {
    const auto elements = static_cast<uint32_t>(row.largestBlock);
    if (row.element == ElementKind::point) return (elements + 7) / 8;
    return elements * (row.element == ElementKind::float32 ? 4 : 2);
}

TEST(MemoryTable, EveryRegionReachesThePlantWithItsCodesAndLengths) {
    pcimemu::PlcSizes large;
    large.I = large.Q = large.T = large.M = large.SA = large.SB = large.SC = large.S = large.G = 1024;
    service::Bench bench(service::oneCard, {pcimemu::card().plc(3, large).ioBlock(5)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    namespace map = pcimemu::cardmap;
    for (const MemoryRegion& row : zurpm::memoryRegions) {
        const bool plc = row.plcType == zurpm::plcTypeSeries90;
        const std::string address = std::string(plc ? "03" : "05") + row.plcType + row.letter + "0001";
        SCOPED_TRACE(address + " (" + row.name + ")");
        GateAccess single = bench.gate(address.c_str(), valueTypeOf(row.element));
        EXPECT_EQ(single.hardwareAddress.memoryType, row.code);
        GateAccess block = bench.gate(address.c_str(), valueTypeOf(row.element), row.largestBlock);
        EXPECT_EQ(block.hardwareAddress.memoryType, row.blockCode);

        std::vector<uint8_t> buffer(map::largestReplyData);
        block.data = buffer.data();
        bench.plant->clearEvents();
        ASSERT_EQ(bench.call(ZUR_CMD_READ, &block), ZUR_RESULT_OK) << testing::PrintToString(bench.lines());
        if (!plc) {
            EXPECT_TRUE(bench.plant.datagramEvents().empty()) << "Genius block data travel as no datagram";
            continue;
        }
        ASSERT_EQ(bench.plant.datagramEvents().size(), 1u);
        const pcimemu::DatagramEvent& read = bench.plant.datagramEvents()[0];
        const uint8_t selector = read.request[map::bodySelector];
        ASSERT_TRUE(selector == row.code || selector == row.byteModeCode) << "selector " << int(selector);
        ASSERT_EQ(read.reply.size(), map::bodyHeaderLength + largestBlockBytes(row));
        const uint32_t dataBytes = largestBlockBytes(row);
        const uint32_t lengthField = read.reply[map::bodyLength];
        switch (zurpm::unitOfCode(row, selector)) {
        case MemoryUnit::word: EXPECT_EQ(lengthField * 2, dataBytes); break;
        case MemoryUnit::byte: EXPECT_EQ(lengthField, dataBytes); break;
        case MemoryUnit::point: EXPECT_EQ(lengthField, static_cast<uint32_t>(row.largestBlock)); break;
        }
    }
}

}  // namespace
