// The run of polls: times, cards from the start's messages, memory references and a gate's figures.
#include "run_record.h"

#include "gate_item.h"
#include "regions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace zurtool {

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

struct Civil {
    int64_t year;
    unsigned month, day;
};

Civil civilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2), month, day};
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Reads exactly `digits` decimal digits at text[at]; -1 when they are not there.
int64_t digitsAt(const std::string& text, size_t at, size_t digits) {
    if (at + digits > text.size()) return -1;
    int64_t value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

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

std::string LocalTime::iso() const {
    const int64_t local = epochMs + static_cast<int64_t>(offsetMinutes) * 60000;
    const int64_t days = floorDiv(local, 86400000);
    const int64_t msOfDay = local - days * 86400000;
    const Civil date = civilFromDays(days);
    const int32_t offset = std::abs(offsetMinutes);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02d.%03d%c%02d:%02d",
                  static_cast<long long>(date.year), date.month, date.day, static_cast<int>(msOfDay / 3600000),
                  static_cast<int>(msOfDay / 60000 % 60), static_cast<int>(msOfDay / 1000 % 60),
                  static_cast<int>(msOfDay % 1000), offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
}

std::string LocalTime::clock() const { return iso().substr(11, 8); }

std::optional<LocalTime> LocalTime::parse(const std::string& text) {
    // YYYY-MM-DDTHH:MM:SS[.mmm](Z|+HH:MM|-HH:MM)
    const int64_t year = digitsAt(text, 0, 4), month = digitsAt(text, 5, 2), day = digitsAt(text, 8, 2);
    const int64_t hour = digitsAt(text, 11, 2), minute = digitsAt(text, 14, 2), second = digitsAt(text, 17, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60 || text[4] != '-' || text[7] != '-' ||
        (text[10] != 'T' && text[10] != ' ') || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    size_t at = 19;
    int64_t ms = 0;
    if (at < text.size() && text[at] == '.') {
        ms = digitsAt(text, at + 1, 3);
        if (ms < 0) return std::nullopt;
        at += 4;
    }
    LocalTime time;
    if (at < text.size() && text[at] == 'Z' && at + 1 == text.size()) {
        time.offsetMinutes = 0;
    } else if (at + 6 == text.size() && (text[at] == '+' || text[at] == '-') && text[at + 3] == ':') {
        const int64_t offsetHours = digitsAt(text, at + 1, 2), offsetMinutes = digitsAt(text, at + 4, 2);
        if (offsetHours < 0 || offsetMinutes < 0) return std::nullopt;
        time.offsetMinutes = static_cast<int32_t>((offsetHours * 60 + offsetMinutes) * (text[at] == '-' ? -1 : 1));
    } else {
        return std::nullopt;
    }
    const int64_t localMs =
        ((daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 24 + hour) * 60 + minute) *
            60000 + second * 1000 + ms;
    time.epochMs = localMs - static_cast<int64_t>(time.offsetMinutes) * 60000;
    return time;
}

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
