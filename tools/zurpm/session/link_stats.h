// Link health: how often requests to a gate or a station succeed, why they fail, how long they
// take. A failure is counted by its kind, the driver's message that came with it ("not found",
// "failed to respond", "process error", ...: driver_messages.h); times are of whole requests, in
// milliseconds.
#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "driver_messages.h"
#include "driver_session.h"

namespace zurtool {

// Request times: exact minimum and maximum; median and 99th percentile from every time up to a
// bound, then from a uniform sample of them all, so that a poll of days keeps a bounded memory.
class RequestTimes {
public:
    void add(double ms);
    uint64_t count() const { return count_; }
    double min() const { return min_; }
    double max() const { return max_; }
    double median() const { return quantile(0.5); }
    double p99() const { return quantile(0.99); }
    // The value below which the fraction q of the times lie (nearest rank); 0 without times.
    double quantile(double q) const;

    static constexpr size_t keptTimes = 65536;

private:
    uint64_t count_ = 0;
    double min_ = 0.0;
    double max_ = 0.0;
    std::vector<double> kept_;
    std::minstd_rand sampler_;
};

struct LinkCounts {
    uint64_t requests = 0;
    uint64_t successes = 0;
    std::map<std::string, uint64_t> failures;  // by kind
    RequestTimes times;

    uint64_t failed() const { return requests - successes; }
    void record(bool done, const std::vector<HostMessage>& messages, double ms);
};

// Counts for the gates of a run (by their place in its gate list) and for the stations they
// reach (one request to the driver counts once for its station, also when it serves several
// gates at once).
class LinkStatistics {
public:
    struct Gate {
        std::string name;
        std::string address;
        LinkCounts counts;
    };

    // Starts the gate list afresh.
    void setGates(const std::vector<DefinedGate>& gates);
    void recordGate(size_t index, bool done, const std::vector<HostMessage>& messages, double ms);
    void recordStation(int32_t station, bool done, const std::vector<HostMessage>& messages, double ms);

    const std::vector<Gate>& gates() const { return gates_; }
    const std::map<int32_t, LinkCounts>& stations() const { return stations_; }

private:
    std::vector<Gate> gates_;
    std::map<int32_t, LinkCounts> stations_;
};

// "card 1, device 3" for a station.
std::string stationPlace(int32_t station);

// The closing lines of one station, in the manner of ping's:
//   --- station 3 (card 1, device 3) ---
//   40 requests, 39 ok, 1 failed (2.5%): failed to respond 1
//   time min/median/p99/max = 3.102/3.311/3005.117/3005.117 ms
std::string stationSummary(int32_t station, const LinkCounts& counts);
// "3.311" for a time in milliseconds, "-" for none.
std::string showMilliseconds(const RequestTimes& times, double ms);

}  // namespace zurtool
