// The run of polls: memory references, gate elements and a gate's figures.
#include "run_record.h"

#include "gate_item.h"
#include "regions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace zurtool {

namespace {

// Element `number` (from 1) of a memory as a PLC programmer writes it: "%R00016" for PLC memory,
// "block analog 2" for Genius block data.
std::string numbered(const Memory& memory, int64_t number) {
    char text[48];
    if (memory.reference[0] == '%')
        std::snprintf(text, sizeof text, "%s%05lld", memory.reference, static_cast<long long>(number));
    else
        std::snprintf(text, sizeof text, "%s %lld", memory.reference, static_cast<long long>(number));
    return text;
}

}  // namespace

std::string versionFromBanner(const std::string& banner) {
    const size_t at = banner.find("Ver ");
    if (at == std::string::npos) return {};
    const size_t begin = at + 4;
    const size_t end = banner.find_first_not_of("0123456789.", begin);
    return banner.substr(begin, (end == std::string::npos ? banner.size() : end) - begin);
}

std::string memoryReference(const RunAddress& address, int32_t index) {
    const Memory* memory = memoryOfCode(address.memoryType);
    if (memory == nullptr) return "memory " + std::to_string(address.memoryType);
    const int64_t element = static_cast<int64_t>(address.offset) + index;
    // A float takes two words.
    if (address.width == 32) return numbered(*memory, 2 * element + 1) + "-" + numbered(*memory, 2 * element + 2);
    // One bit of a word: the word, then the bit.
    if (address.width == 1 && memory->unit == MemoryUnit::word) {
        char bit[8];
        std::snprintf(bit, sizeof bit, ".%02d", static_cast<int>(address.bit));
        return numbered(*memory, element + 1) + bit;
    }
    return numbered(*memory, element + 1);
}

int32_t RunRecord::failureKindIndex(const std::string& kind) {
    const auto found = std::find(failureKinds.begin(), failureKinds.end(), kind);
    if (found != failureKinds.end()) return static_cast<int32_t>(found - failureKinds.begin());
    failureKinds.push_back(kind);
    return static_cast<int32_t>(failureKinds.size() - 1);
}

GateFigures RunRecord::figures(const RunGate& gate) const {
    GateFigures figures;
    std::map<int32_t, size_t> failures;
    for (const RunSample& sample : gate.samples) {
        ++figures.requests;
        if (!sample.value) {
            ++failures[sample.failureKind];
            continue;
        }
        const double value = *sample.value;
        ++figures.answered;
        if (!figures.first) {
            figures.first = figures.minimum = figures.maximum = value;
        } else {
            if (value != *figures.last) ++figures.changes;
            figures.minimum = std::min(*figures.minimum, value);
            figures.maximum = std::max(*figures.maximum, value);
        }
        figures.last = value;
    }
    for (const auto& [kind, count] : failures) {
        const bool known = kind >= 0 && static_cast<size_t>(kind) < failureKinds.size();
        figures.failures.emplace_back(known ? failureKinds[static_cast<size_t>(kind)] : "no message", count);
    }
    std::stable_sort(figures.failures.begin(), figures.failures.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    if (gate.gateIndex < gateLinks.size()) {
        figures.medianMs = gateLinks[gate.gateIndex].medianMs;
        figures.p99Ms = gateLinks[gate.gateIndex].p99Ms;
    }
    return figures;
}

void RunRecord::addGate(const std::string& name, const std::string& address, const std::string& type,
                        std::optional<int32_t> blockSize, const std::optional<RunAddress>& where) {
    const size_t gateIndex = firstElement.size();
    firstElement.push_back(gates.size());
    const int32_t count = std::max<int32_t>(blockSize.value_or(1), 1);
    for (int32_t i = 0; i < count; ++i) {
        RunGate element;
        element.name = blockSize ? name + "[" + std::to_string(i) + "]" : name;
        element.address = blockSize ? elementAddress(address, header.numberBase, i) : address;
        if (element.address.empty()) element.address = address;
        element.type = type;
        element.index = i;
        element.gateIndex = gateIndex;
        if (where) element.where = *where;
        gates.push_back(std::move(element));
    }
}

size_t RunRecord::polls() const {
    size_t most = 0;
    for (const RunGate& gate : gates) most = std::max(most, gate.samples.size());
    return most;
}

std::pair<int64_t, int64_t> RunRecord::span() const {
    int64_t begin = header.started.epochMs;
    int64_t end = ended ? ended->epochMs : begin;
    for (const RunGate& gate : gates) {
        if (gate.samples.empty()) continue;
        begin = std::min(begin, gate.samples.front().epochMs);
        end = std::max(end, gate.samples.back().epochMs);
    }
    return {begin, std::max(end, begin + 1)};
}

}  // namespace zurtool
