// pcimsim's fault schedule (--chaos SEED): one fault at a time, drawn from the seed, switched on at
// a random moment for a random while: a PLC that stops answering or answers with an error, a block
// that leaves the LAN, a card that loses its heartbeat or never grants its tables. The same seed
// gives the same faults in the same order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "pcimemu/device_server.h"

namespace pcimsim {

class Chaos {
public:
    // tell: a line on standard output for each switch.
    Chaos(pcimemu::DeviceServer& server, uint64_t seed, bool tell);
    ~Chaos() { stop(); }
    Chaos(const Chaos&) = delete;
    Chaos& operator=(const Chaos&) = delete;

    void start();
    // Ends the schedule; the fault that is on goes back to what the plant file says. Idempotent.
    void stop();

private:
    void run();
    bool pause(uint32_t ms);  // false: stopping

    pcimemu::DeviceServer& server_;
    uint64_t seed_;
    bool tell_;
    std::thread thread_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
};

}  // namespace pcimsim
