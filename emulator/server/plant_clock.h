// The plant's clock in real time: a thread that advances a Plant once for every millisecond of the
// monotonic clock, under the plant's lock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "pcimemu/emulator.h"

namespace pcimemu {

class PlantClock {
public:
    PlantClock(Plant& plant, std::mutex& plantLock) : plant_(plant), plantLock_(plantLock) {}
    ~PlantClock() { stop(); }
    PlantClock(const PlantClock&) = delete;
    PlantClock& operator=(const PlantClock&) = delete;

    void start();  // the plant's time goes on from where it stands
    void stop();   // idempotent

private:
    void run();

    Plant& plant_;
    std::mutex& plantLock_;
    std::thread thread_;
    std::mutex stateLock_;
    std::condition_variable wake_;
    bool stopping_ = false;
};

}  // namespace pcimemu
