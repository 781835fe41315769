// Counting requests, failures by kind and request times.
#include "link_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zurtool {

void RequestTimes::add(double ms) {
    min_ = count_ == 0 ? ms : std::min(min_, ms);
    max_ = count_ == 0 ? ms : std::max(max_, ms);
    ++count_;
    if (kept_.size() < keptTimes) {
        kept_.push_back(ms);
        return;
    }
    // Reservoir sampling: every time so far stays in the sample with the same chance.
    const uint64_t slot = std::uniform_int_distribution<uint64_t>(0, count_ - 1)(sampler_);
    if (slot < keptTimes) kept_[slot] = ms;
}

double RequestTimes::quantile(double q) const {
    if (kept_.empty()) return 0.0;
    std::vector<double> sorted = kept_;
    const size_t rank = static_cast<size_t>(std::ceil(q * static_cast<double>(sorted.size())));
    const size_t at = std::min(sorted.size() - 1, rank == 0 ? 0 : rank - 1);
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(at), sorted.end());
    return sorted[at];
}

void LinkCounts::record(bool done, const std::vector<HostMessage>& messages, double ms) {
    ++requests;
    if (done)
        ++successes;
    else
        ++failures[failureKind(messages)];
    times.add(ms);
}

void LinkStatistics::setGates(const std::vector<DefinedGate>& gates) {
    gates_.clear();
    for (const DefinedGate& gate : gates) gates_.push_back(Gate{gate.item.name, gate.item.address, {}});
}

void LinkStatistics::recordGate(size_t index, bool done, const std::vector<HostMessage>& messages, double ms) {
    if (index < gates_.size()) gates_[index].counts.record(done, messages, ms);
}

void LinkStatistics::recordStation(int32_t station, bool done, const std::vector<HostMessage>& messages,
                                   double ms) {
    stations_[station].record(done, messages, ms);
}

std::string stationPlace(int32_t station) {
    return "card " + std::to_string(station / 32 + 1) + ", device " + std::to_string(station % 32);
}

std::string showMilliseconds(const RequestTimes& times, double ms) {
    if (times.count() == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", ms);
    return text;
}

std::string stationSummary(int32_t station, const LinkCounts& counts) {
    std::string text = "--- station " + std::to_string(station) + " (" + stationPlace(station) + ") ---\n";
    char line[160];
    const double failedShare =
        counts.requests == 0 ? 0.0 : 100.0 * static_cast<double>(counts.failed()) / static_cast<double>(counts.requests);
    std::snprintf(line, sizeof line, "%llu requests, %llu ok, %llu failed (%.1f%%)",
                  static_cast<unsigned long long>(counts.requests), static_cast<unsigned long long>(counts.successes),
                  static_cast<unsigned long long>(counts.failed()), failedShare);
    text += line;
    std::string separator = ": ";
    for (const auto& [kind, count] : counts.failures) {
        text += separator + kind + " " + std::to_string(count);
        separator = ", ";
    }
    const RequestTimes& t = counts.times;
    text += "\ntime min/median/p99/max = " + showMilliseconds(t, t.min()) + "/" + showMilliseconds(t, t.median()) + "/" +
            showMilliseconds(t, t.p99()) + "/" + showMilliseconds(t, t.max()) + " ms\n";
    return text;
}

}  // namespace zurtool
