// Reading a gate list in as few requests as the bus allows. Gates of one station and one PLC
// memory whose elements lie within one block that a block gate may name (64 words, 1024 points
// from a byte boundary in whole bytes) are read together: the block is defined once (command 4)
// and read with one command 6 per pass, and every gate takes its value from it, a bit of a word
// from its word. Genius block data and gates that share their block with no other are read alone,
// as they would be without grouping.
//
// Each gate gets what a read of its own would have given: its values in the host's buffer as the
// driver lays them out, or the failure with the block's messages. When the device refuses the
// block itself (a syntax, process or unknown error: the block may reach past the end of a memory
// that the single gates do not), its gates are read one by one in that pass.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver_session.h"
#include "gate_values.h"
#include "link_stats.h"
#include "regions.h"

namespace zurtool {

// What one gate's read gave, and how long it took.
struct GateReading {
    Transfer transfer;
    ValueBuffer buffer;
    double ms = 0.0;
    bool read = false;  // false: the pass ended before this gate
};

// A block of one station's memory that serves several gates.
struct GroupSpan {
    int32_t station = 0;
    int32_t memoryType = 0;
    ElementShape shape = ElementShape::word;  // words, or points
    int32_t first = 0;  // element of the memory (a float counts two words)
    int32_t count = 0;
    std::vector<size_t> members;  // places in the gate list
};

// The groups of two or more gates that the gate list allows.
std::vector<GroupSpan> groupSpans(const std::vector<DefinedGate>& gates);

// The address string of a block gate over the span, in the number base.
std::string spanAddress(const GroupSpan& span, int32_t numberBase);

// A member's buffer as the driver would have filled it for the member alone, from the block's.
ValueBuffer memberBuffer(const ValueBuffer& block, const GroupSpan& span, const DefinedGate& member);

class ReadPlan {
public:
    // Defines a block gate for each group (none when `group` is false). A group whose block the
    // driver refuses is read gate by gate.
    ReadPlan(DriverSession& session, const std::vector<DefinedGate>& gates, bool group);

    // One pass over the gate list: every gate read once, in as few requests as planned; counted
    // per gate and per station into `statistics` when given. `stop` is asked between requests.
    std::vector<GateReading> readAll(DriverSession& session, LinkStatistics* statistics,
                                     const std::function<bool()>& stop = {});

    size_t groupCount() const { return groups_.size(); }

private:
    struct Group {
        GroupSpan span;
        DefinedGate block;
    };

    const std::vector<DefinedGate>& gates_;
    std::vector<Group> groups_;
    std::vector<size_t> alone_;
};

}  // namespace zurtool
