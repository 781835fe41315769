// One PCIM card from its own side: its reset and wake-up through the ports, its heartbeat, the
// command interface (configuration and datagrams), the lockout, and the bus scans that keep the
// device table and the global-data tables of its LAN.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "event_log.h"
#include "lan_devices.h"
#include "pcimemu/card_map.h"
#include "pcimemu/emulator.h"

namespace pcimemu::detail {

class Card {
public:
    Card(int index, CardSpec setup, uint8_t* window, EventLog& log);

    // The card's ports, relative to its first one. Values are 8 bits wide on the card's bus.
    uint8_t readPort(uint16_t relative) const;
    void writePort(uint16_t relative, uint8_t value, uint32_t now);

    // One look at the world at time now.
    void step(uint32_t now);

    void bringOnline(uint32_t now);

    const CardSpec& setup() const { return setup_; }
    CardFaults& faults() { return setup_.faults; }
    uint8_t* window() const { return window_; }
    LanDevice* device(uint8_t number) { return number < lan_.size() ? lan_[number].get() : nullptr; }
    bool alive() const;
    bool online() const { return alive() && configured_; }

    int mappings = 0;  // kept by the XPORTIO device

private:
    enum class Job { none, configuring, datagram };

    void boot(uint32_t now);
    void hold();
    void showHeartbeat();
    void serveLockout();
    void serveCommand(uint32_t now);
    void takeCommand(uint32_t now);
    void stepConfiguration(uint32_t now);
    bool datagramHeld() const;
    void completeDatagram(uint32_t now);
    struct Outcome;
    Outcome answerDatagram();
    void scan(uint32_t now);
    void exchangeTable(uint32_t now, uint8_t device, uint32_t offset, std::array<uint8_t, 128>& shadow,
                       IoBlockDevice* block);
    void reportChanges(uint32_t now, uint8_t device, const std::array<uint8_t, 128>& before,
                       const std::array<uint8_t, 128>& after, bool fromHost);

    const int index_;
    CardSpec setup_;
    uint8_t* const window_;
    EventLog& log_;
    std::array<std::unique_ptr<LanDevice>, cardmap::lanDevices> lan_;

    // Ports.
    uint8_t lastControl_ = 0;
    uint8_t lastRegister3_ = 0;
    bool held_ = true;
    bool unlocked_ = false;

    // Life.
    bool running_ = false;
    bool booted_ = false;
    uint32_t wokeAt_ = 0;
    bool configured_ = false;

    // Command interface.
    Job job_ = Job::none;
    uint32_t takenAt_ = 0;
    size_t configStep_ = 0;
    DatagramEvent pending_{};
    uint32_t pendingDelayMs_ = 0;
    bool heldReported_ = false;

    // Global data.
    bool granted_ = false;
    uint32_t lastScanAt_ = 0;
    std::array<std::array<uint8_t, 128>, cardmap::lanDevices> shadows_{};
    std::array<uint8_t, 128> ownShadow_{};
};

}  // namespace pcimemu::detail
