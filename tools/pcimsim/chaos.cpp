// pcimsim's fault schedule: see chaos.h.
#include "chaos.h"

#include <chrono>
#include <cstdio>

#include "pcimemu/fault_schedule.h"

namespace pcimsim {

namespace {

// A fault comes every 0.1 to 1 s and lasts 50 ms to 1 s: most requests still get through.
constexpr int32_t shortestGapMs = 100, longestGapMs = 1000;
constexpr int32_t shortestFaultMs = 50, longestFaultMs = 1000;

}  // namespace

Chaos::Chaos(pcimemu::DeviceServer& server, uint64_t seed, bool tell) : server_(server), seed_(seed), tell_(tell) {}

void Chaos::start() {
    if (thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void Chaos::stop() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool Chaos::pause(uint32_t ms) {
    std::unique_lock<std::mutex> hold(lock_);
    return !wake_.wait_for(hold, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void Chaos::run() {
    pcimemu::SeededDraws draws(seed_);
    pcimemu::FaultMenu menu;
    menu.forgedCompletion = false;  // a card that lies about a write is not a fault the host can see
    menu.startFaults = false;       // the device and the handshake faults wait for the next start
    menu.longestReplyDelayMs = 4000;
    while (pause(static_cast<uint32_t>(draws.between(shortestGapMs, longestGapMs)))) {
        const uint32_t lasting = static_cast<uint32_t>(draws.between(shortestFaultMs, longestFaultMs));
        pcimemu::FaultSwitch fault =
            server_.withPlant([&](pcimemu::Plant& plant) { return pcimemu::switchRandomFault(plant, draws, true, menu); });
        if (tell_) std::printf("pcimsim: chaos: %s for %u ms\n", fault.what.c_str(), lasting);
        const bool going = pause(lasting);
        server_.withPlant([&](pcimemu::Plant&) { fault.undo(); });
        if (tell_) std::printf("pcimsim: chaos: over\n");
        if (tell_) std::fflush(stdout);
        if (!going) return;
    }
}

}  // namespace pcimsim
