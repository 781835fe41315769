// A run of polls as the commissioning report sees it: where and when it ran (the run header), every
// gate element with each poll's value or failure, and the messages of the run. A poll fills it as it
// goes (`zurpm poll --report`), or it is read back from a recorded file (`zurpm report`). The
// figures of the report's gate table are computed here, so that they can be checked without a page.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "card.h"
#include "local_time.h"

namespace zurtool {

// "7.50" from a driver banner's "Ver 7.50"; empty when the banner has none.
std::string versionFromBanner(const std::string& banner);

struct RunMessage {
    LocalTime time;
    int32_t level = 0;
    std::string text;
    std::string gate;  // the gate whose request brought it; empty for the start's messages
};

struct RunHeader {
    bool known = false;  // false: the run's lines came without a header; only `started` is set
    LocalTime started;
    std::string host;
    std::string command;        // the command line of the run
    std::string driverName;     // command 14
    std::string driverVersion;  // from the banner's "Ver" field
    std::string driverLibrary;  // the file loaded
    int32_t numberBase = 10;
    uint32_t intervalMs = 0;
    std::vector<std::string> configurationLines;  // zurPM.int as the start read it
    std::vector<Card> cards;
};

// One poll of one gate element.
struct RunSample {
    int64_t epochMs = 0;
    std::optional<double> value;  // none: the read failed
    int32_t failureKind = -1;     // index into RunRecord::failureKinds when failed
};

// The link health of a gate or a station over the run, as the poll counted it: requests, failures
// by kind and request times in milliseconds (none without requests).
struct LinkFigures {
    uint64_t requests = 0;
    uint64_t successes = 0;
    std::vector<std::pair<std::string, uint64_t>> failures;
    std::optional<double> minMs, medianMs, p99Ms, maxMs;
};

// Where a gate lives, as its definition gave it; station -1 when not known.
struct RunAddress {
    int32_t station = -1;
    int32_t memoryType = 0;
    int32_t offset = 0;
    int32_t bit = -1;
    int32_t width = 16;
};

// The PLC programmer's name of the memory of element `index` of a gate: "%R00016", "%R00017-%R00018"
// for a float, "%R00003.00" for a bit of a word, "%I00001", "block analog 2" for Genius block data.
std::string memoryReference(const RunAddress& address, int32_t index);

// One element of a gate (a single gate is one element), with its samples in poll order.
struct RunGate {
    std::string name;     // the gate's name; a block element's carries "[index]"
    std::string address;  // the element's own address string
    std::string type;     // "s16", "u16", "float", "digital"
    int32_t index = 0;
    size_t gateIndex = 0;  // the gate's place in the gate list
    RunAddress where;
    std::vector<RunSample> samples;

    bool digital() const { return type == "digital"; }
};

// The figures of one gate's row of the report.
struct GateFigures {
    size_t requests = 0;
    size_t answered = 0;
    std::optional<double> first, last, minimum, maximum;
    size_t changes = 0;
    std::vector<std::pair<std::string, size_t>> failures;  // kind and count, most frequent first
    std::optional<double> medianMs, p99Ms;  // of the gate's requests

    bool neverAnswered() const { return requests > 0 && answered == 0; }
    bool neverChanged() const { return answered > 0 && changes == 0; }
};

struct RunRecord {
    RunHeader header;
    std::vector<RunGate> gates;             // gate elements, in poll order
    std::vector<size_t> firstElement;       // per gate of the list, its first element in gates
    std::vector<std::string> failureKinds;
    std::vector<RunMessage> messages;       // the start's messages first, then those of requests
    std::vector<LinkFigures> gateLinks;     // per gate of the list; empty when the run has no end
    std::map<int32_t, LinkFigures> stationLinks;
    std::optional<LocalTime> ended;

    // Adds a gate of the list: its elements (a block's each with its own address, in the number
    // base of the header). `where` is the definition's, none when not known.
    void addGate(const std::string& name, const std::string& address, const std::string& type,
                 std::optional<int32_t> blockSize, const std::optional<RunAddress>& where);
    // The index of the kind, added when new.
    int32_t failureKindIndex(const std::string& kind);
    // The polls of the run: the most samples of any element.
    size_t polls() const;
    GateFigures figures(const RunGate& gate) const;
    // The span of the run in epoch milliseconds: from the start to the end or the last sample.
    std::pair<int64_t, int64_t> span() const;
};

}  // namespace zurtool
