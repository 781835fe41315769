// The plant's clock in real time: see plant_clock.h.
#include "plant_clock.h"

#include <chrono>

namespace pcimemu {

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds the plant lives through one at a time before the lock is let go for a moment, when
// the thread has fallen behind.
constexpr uint64_t catchUpStepLimit = 50;
// Further behind than this (the process was stopped, the machine suspended), the plant takes the
// gap as one jump of time.
constexpr uint64_t jumpBeyondMs = 1000;

}  // namespace

void PlantClock::start() {
    if (thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void PlantClock::stop() {
    {
        std::lock_guard<std::mutex> hold(stateLock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void PlantClock::run() {
    const Clock::time_point origin = Clock::now();
    uint32_t base;
    {
        std::lock_guard<std::mutex> hold(plantLock_);
        base = plant_.now();
    }
    uint64_t passed = 0;  // milliseconds the plant has lived through since origin
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(stateLock_);
            const Clock::time_point next = origin + std::chrono::milliseconds(passed + 1);
            if (wake_.wait_until(hold, next, [this] { return stopping_; })) return;
        }
        const auto elapsed = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - origin).count());
        std::lock_guard<std::mutex> hold(plantLock_);
        if (elapsed - passed > jumpBeyondMs) {
            passed = elapsed;
            plant_.advance(static_cast<uint32_t>(base + passed));
            continue;
        }
        for (uint64_t step = 0; passed < elapsed && step < catchUpStepLimit; ++step) {
            ++passed;
            plant_.advance(static_cast<uint32_t>(base + passed));
        }
    }
}

}  // namespace pcimemu
