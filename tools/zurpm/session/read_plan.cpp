// Grouping gates into block reads, and handing each gate its part of the block.
#include "read_plan.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

#include "driver_messages.h"
#include "zurpm/little_endian.h"

namespace zurtool {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t pointsPerByte = 8;
constexpr int32_t wordsPerFloat = 2;

// The elements of one memory that a gate's read covers, in the memory's units.
struct Extent {
    int32_t station;
    int32_t memoryType;
    ElementShape shape;
    int32_t first;
    int32_t count;
};

std::optional<Extent> extentOf(const DefinedGate& gate) {
    if (!gate.accepted()) return std::nullopt;
    const HardwareAddress& a = gate.address;
    const Memory* memory = memoryOfCode(a.memoryType);
    if (memory == nullptr || isGeniusBlockData(memory->code) || a.offset < 0) return std::nullopt;
    const int32_t count = elementCount(gate);
    if (memory->unit == MemoryUnit::word) {
        if (a.width == 16 && a.bit == -1) return Extent{a.station, a.memoryType, ElementShape::word, a.offset, count};
        if (a.width == 32 && a.bit == -1)
            return Extent{a.station, a.memoryType, ElementShape::word, a.offset * wordsPerFloat, count * wordsPerFloat};
        if (a.width == 1 && a.bit >= 0 && a.bit <= 15 && count == 1)
            return Extent{a.station, a.memoryType, ElementShape::word, a.offset, 1};
        return std::nullopt;
    }
    if (memory->unit == MemoryUnit::point && a.width == 1)
        return Extent{a.station, a.memoryType, ElementShape::point, a.offset, count};
    return std::nullopt;
}

int32_t roundDownToByte(int32_t point) { return point / pointsPerByte * pointsPerByte; }
int32_t roundUpToByte(int32_t point) { return (point + pointsPerByte - 1) / pointsPerByte * pointsPerByte; }

// The block that covers [first, end) of the memory, as a block gate may name it; its length, or
// nothing when no block gate of the region reaches that far.
std::optional<std::pair<int32_t, int32_t>> blockOver(ElementShape shape, int32_t memoryType, int32_t first, int32_t end) {
    const Region* region = regionOfMemory(memoryType, shape);
    if (region == nullptr) return std::nullopt;
    if (region->blockStartsOnByte) {
        first = roundDownToByte(first);
        end = roundUpToByte(end);
    }
    if (end - first > region->largestBlock) return std::nullopt;
    return std::make_pair(first, end - first);
}

bool getBit(const ValueBuffer& buffer, int32_t place) {
    const auto at = static_cast<size_t>(place);
    return ((buffer[at / pointsPerByte] >> (at % pointsPerByte)) & 1u) != 0;
}

uint16_t wordAt(const ValueBuffer& buffer, int32_t word) {
    return zurpm::getLittle16(&buffer[static_cast<size_t>(word) * 2]);
}

void putWord(ValueBuffer& buffer, size_t at, uint16_t value) { zurpm::putLittle16(&buffer[at], value); }

double millisecondsSince(Clock::time_point begin) {
    return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
}

}  // namespace

std::vector<GroupSpan> groupSpans(const std::vector<DefinedGate>& gates) {
    struct Candidate {
        Extent extent;
        size_t gate;
    };
    std::vector<Candidate> candidates;
    for (size_t i = 0; i < gates.size(); ++i)
        if (const auto extent = extentOf(gates[i])) candidates.push_back({*extent, i});
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        if (a.extent.station != b.extent.station) return a.extent.station < b.extent.station;
        if (a.extent.memoryType != b.extent.memoryType) return a.extent.memoryType < b.extent.memoryType;
        return a.extent.first < b.extent.first;
    });

    std::vector<GroupSpan> spans;
    std::optional<GroupSpan> open;
    int32_t openEnd = 0;
    auto close = [&] {
        // A block of one element travels as a single value: such gates are read alone.
        if (open && open->members.size() >= 2 && open->count >= 2) {
            std::sort(open->members.begin(), open->members.end());
            spans.push_back(std::move(*open));
        }
        open.reset();
    };
    for (const Candidate& c : candidates) {
        const Extent& e = c.extent;
        const int32_t end = e.first + e.count;
        if (open && open->station == e.station && open->memoryType == e.memoryType) {
            if (const auto block = blockOver(e.shape, e.memoryType, open->first, std::max(openEnd, end))) {
                openEnd = std::max(openEnd, end);
                open->count = block->second;
                open->members.push_back(c.gate);
                continue;
            }
        }
        close();
        const auto block = blockOver(e.shape, e.memoryType, e.first, end);
        if (!block) continue;  // larger than any block: read alone
        open = GroupSpan{e.station, e.memoryType, e.shape, block->first, block->second, {c.gate}};
        openEnd = end;
    }
    close();
    return spans;
}

std::string spanAddress(const GroupSpan& span, int32_t numberBase) {
    const Region* region = regionOfMemory(span.memoryType, span.shape);
    if (region == nullptr) return {};
    char text[32];
    const int number = span.first + 1;
    if (numberBase == 16)
        std::snprintf(text, sizeof text, "%02d%c%c%04X", static_cast<int>(span.station), region->plcType, region->letter,
                      static_cast<unsigned>(number));
    else
        std::snprintf(text, sizeof text, "%02d%c%c%05d", static_cast<int>(span.station), region->plcType, region->letter,
                      number);
    return text;
}

ValueBuffer memberBuffer(const ValueBuffer& block, const GroupSpan& span, const DefinedGate& member) {
    const HardwareAddress& a = member.address;
    const int32_t count = elementCount(member);
    // Only what the member's values take: a single value in bytes 0-3, a block up to 4 bytes each.
    ValueBuffer buffer(static_cast<size_t>(std::max(count, 1)) * 4, 0);
    if (span.shape == ElementShape::point) {
        const int32_t from = a.offset - span.first;
        if (count == 1) {
            putWord(buffer, 2, getBit(block, from) ? 1 : 0);
            return buffer;
        }
        for (int32_t i = 0; i < count; ++i)
            if (getBit(block, from + i))
                buffer[static_cast<size_t>(i) / pointsPerByte] |= static_cast<uint8_t>(1u << (i % pointsPerByte));
        return buffer;
    }
    if (a.width == 1) {  // one bit of a word
        putWord(buffer, 2, ((wordAt(block, a.offset - span.first) >> a.bit) & 1u) != 0 ? 1 : 0);
        return buffer;
    }
    const int32_t firstWord = (a.width == 32 ? a.offset * wordsPerFloat : a.offset) - span.first;
    const int32_t words = a.width == 32 ? count * wordsPerFloat : count;
    // One 16-bit value sits at bytes 2-3; a float and blocks from byte 0.
    const size_t to = (count == 1 && a.width != 32) ? 2 : 0;
    for (int32_t i = 0; i < words; ++i) putWord(buffer, to + static_cast<size_t>(i) * 2, wordAt(block, firstWord + i));
    return buffer;
}

ReadPlan::ReadPlan(DriverSession& session, const std::vector<DefinedGate>& gates, bool group) : gates_(gates) {
    std::vector<bool> grouped(gates.size(), false);
    if (group) {
        for (GroupSpan& span : groupSpans(gates)) {
            GateItem item;
            item.address = spanAddress(span, session.numberBase());
            item.name = item.address;
            item.kind = span.shape == ElementShape::point ? ValueKind::digital : ValueKind::unsigned16;
            item.blockSize = span.count;
            DefinedGate block = session.define(item);
            if (!block.accepted()) continue;
            for (const size_t member : span.members) grouped[member] = true;
            groups_.push_back(Group{std::move(span), std::move(block)});
        }
    }
    for (size_t i = 0; i < gates.size(); ++i)
        if (!grouped[i]) alone_.push_back(i);
}

std::vector<GateReading> ReadPlan::readAll(DriverSession& session, LinkStatistics* statistics,
                                           const std::function<bool()>& stop) {
    std::vector<GateReading> readings(gates_.size());
    auto readAlone = [&](size_t g, double before) {
        const DefinedGate& gate = gates_[g];
        GateReading& reading = readings[g];
        reading.buffer = emptyValueBuffer();
        const auto begin = Clock::now();
        reading.transfer = session.read(gate, elementCount(gate), reading.buffer);
        const double ms = millisecondsSince(begin);
        reading.ms = before + ms;
        reading.read = true;
        if (statistics != nullptr) {
            statistics->recordStation(gate.address.station, reading.transfer.done(), reading.transfer.messages, ms);
            statistics->recordGate(g, reading.transfer.done(), reading.transfer.messages, reading.ms);
        }
    };

    for (const Group& group : groups_) {
        if (stop && stop()) return readings;
        ValueBuffer block = emptyValueBuffer();
        const auto begin = Clock::now();
        const Transfer transfer = session.read(group.block, group.span.count, block);
        const double ms = millisecondsSince(begin);
        if (statistics != nullptr)
            statistics->recordStation(group.span.station, transfer.done(), transfer.messages, ms);
        // A device's answer that belongs to the block, not to the device as a whole: the gates
        // alone may fare better.
        const bool alone = !transfer.done() && refusedByDevice(classifyFailure(transfer.messages));
        for (const size_t g : group.span.members) {
            if (alone) {
                if (stop && stop()) return readings;
                readAlone(g, ms);
                continue;
            }
            GateReading& reading = readings[g];
            reading.transfer = transfer;
            // A failed read leaves the host's buffer as it was: empty.
            reading.buffer = transfer.done() ? memberBuffer(block, group.span, gates_[g]) : emptyValueBuffer();
            reading.ms = ms;
            reading.read = true;
            if (statistics != nullptr) statistics->recordGate(g, transfer.done(), transfer.messages, ms);
        }
    }
    for (const size_t g : alone_) {
        if (stop && stop()) return readings;
        readAlone(g, 0.0);
    }
    return readings;
}

}  // namespace zurtool
