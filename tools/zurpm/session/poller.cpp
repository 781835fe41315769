// The poll loop, its timing and its stop signals.
#include "poller.h"

#include <algorithm>
#include <chrono>
#include <csignal>

#include "driver_library.h"
#include "read_plan.h"
#include "tool_error.h"

namespace zurtool {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int) { stopSignal = 1; }

using Clock = std::chrono::steady_clock;

// Sleeps until `until`, in short steps so that a stop request is seen soon.
void waitUntil(Clock::time_point until) {
    while (!stopRequested()) {
        const auto now = Clock::now();
        if (now >= until) return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
        sleepMilliseconds(static_cast<uint32_t>(std::min<long long>(left, 50)));
    }
}

}  // namespace

void catchStopSignals() {
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

bool stopRequested() { return stopSignal != 0; }

int pollGates(DriverSession& session, const std::vector<DefinedGate>& gates, const PollSettings& settings) {
    auto echo = std::move(session.echo);
    session.echo = nullptr;  // each message now belongs to a gate's status
    LinkStatistics statistics;
    statistics.setGates(gates);
    ReadPlan plan(session, gates, settings.group);

    const auto begin = Clock::now();
    bool lastPollFailed = false;
    for (uint32_t poll = 0; !stopRequested(); ++poll) {
        if (settings.count && poll >= *settings.count) break;
        const auto due = begin + std::chrono::milliseconds(static_cast<uint64_t>(settings.intervalMs) * poll);
        if (settings.durationMs && due > begin + std::chrono::milliseconds(*settings.durationMs)) break;
        waitUntil(due);
        if (stopRequested()) break;

        lastPollFailed = false;
        const std::vector<GateReading> readings = plan.readAll(session, &statistics, stopRequested);
        const LocalTime now = LocalTime::now();
        for (size_t g = 0; g < gates.size(); ++g) {
            const GateReading& reading = readings[g];
            if (!reading.read) continue;
            const DefinedGate& gate = gates[g];
            const Transfer& transfer = reading.transfer;
            if (!transfer.done()) lastPollFailed = true;
            const std::vector<GateValue> values = transfer.done()
                                                      ? takeValues(reading.buffer, gate.item.kind, elementCount(gate))
                                                      : std::vector<GateValue>{};
            const PollReading made{poll, g, gate, transfer, values, reading.ms, now};
            for (PollWatcher* watcher : settings.watchers) watcher->reading(made);
        }
        for (PollWatcher* watcher : settings.watchers) watcher->passDone(poll + 1, now, statistics);
    }
    for (PollWatcher* watcher : settings.watchers) watcher->ended(statistics);
    session.echo = std::move(echo);
    return lastPollFailed ? exitRefused : exitDone;
}

}  // namespace zurtool
