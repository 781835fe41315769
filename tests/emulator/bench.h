// A bench for one plant: the test holds the clock, writes the card's ports and window bytes as a
// PC would, and issues commands to the card by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "pcimemu/card_map.h"
#include "pcimemu/emulator.h"

namespace pcimemu::bench {

namespace map = pcimemu::cardmap;

// The card most tests use: window 0xCC00, ports 0x3E0, own device 31; PLC 3, I/O block 5 and a
// PLC 7 that is described but off the LAN.
inline CardSpec standardCard() {
    CardSpec card;
    DeviceSpec plc;
    plc.number = 3;
    card.devices.push_back(plc);
    DeviceSpec block;
    block.kind = DeviceSpec::Kind::ioBlock;
    block.number = 5;
    card.devices.push_back(block);
    DeviceSpec offLan;
    offLan.number = 7;
    offLan.faults.absent = true;
    card.devices.push_back(offLan);
    return card;
}

inline PlantSpec plantOf(std::initializer_list<CardSpec> cards) { return PlantSpec{cards, {}}; }

std::string hex(const std::vector<uint8_t>& bytes);

struct Answer {
    uint8_t status;              // commandStatus once the busy bits cleared
    uint32_t busyMs;             // how long after the command the busy bits cleared
    std::vector<uint8_t> reply;  // replyLength bytes of replyData (reads)
};

class Bench {
public:
    explicit Bench(PlantSpec setup = plantOf({standardCard()}), uint32_t startMs = 0);

    Plant plant;
    uint32_t now;

    // The clock, one millisecond at a time.
    void run(uint32_t ms);

    // Ports and window of card c.
    bool port(int c, uint16_t relative, uint8_t value);
    uint8_t byte(int c, uint32_t offset);
    void set(int c, uint32_t offset, uint8_t value);

    void wake(int c = 0);
    void reset(int c = 0);
    // Wake-up, heartbeat, configuration accepted: the card is on its LAN.
    void start(int c = 0);
    void issue(int c, uint8_t code);  // commandCode, then commandStatus 1

    // A datagram through card c's command interface, waited for up to limitMs.
    Answer datagram(int c, uint8_t code, const std::vector<uint8_t>& params,
                    const std::vector<uint8_t>& body, uint32_t limitMs = 10000);
    Answer read(uint8_t device, uint8_t selector, uint16_t offset, uint8_t length, int c = 0);
    Answer write(uint8_t device, uint8_t selector, uint16_t offset, uint8_t length,
                 const std::vector<uint8_t>& data, int c = 0);
};

std::vector<uint8_t> header(uint8_t selector, uint16_t offset, uint8_t length);

}  // namespace pcimemu::bench
