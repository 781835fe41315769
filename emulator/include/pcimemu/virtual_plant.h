// A plant of emulated PCIM cards served in process on the virtual platform, for tests.
//
// Describe the plant in a few lines, and the driver's XPORTIO device is that plant for as long as
// the object lives:
//
//     zurpm::test::DriverHarness harness;           // resets the virtual platform: make it first
//     pcimemu::VirtualPlant plant({pcimemu::card(0xCC00, 0x3E0, /*own*/ 31).plc(3).ioBlock(5)});
//     plant.faults(0).noHeartbeat = true;          // card 0 (the driver's card 1)
//     plant.plc(0, 3).setWord(pcimemu::PlcMemory::R, 9, 1234);  // %R00010 of device 3
//     plant.ioBlock(0, 5).setData(0, 0x5A);        // shows up at the next bus scan
//     harness.call(1);                             // start: the handshake runs on the virtual clock
//
// Cards are numbered from 0 here, in the order given; the driver calls the first one card 1.
// card() takes the memory segment, the first I/O port and the card's own Genius device number;
// the rest of CardSpec keeps its defaults (heartbeat 1500 ms after wake-up, bus scan every 10 ms,
// version 0x23, device number byte 0xE0 | own) unless a builder call changes it. Faults can be set
// in the description (.faults(...), .plc(n, sizes, faults)) or at any time later through faults().
//
// virt::reset() (which DriverHarness calls) uninstalls every device: a VirtualPlant made before it
// must be installed again with install(). The destructor uninstalls the plant if it is still the
// one installed last.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pcimemu/card_map.h"
#include "pcimemu/emulator.h"
#include "platform/virtual/virtual_platform.h"

namespace pcimemu {

// The XPORTIO device of a Plant as the virtual platform sees it. Before each device request it
// brings the plant to the virtual clock's time, so a test may move the clock with setTickCount.
class VirtualDevice final : public zurpm::virt::DeviceBackend {
public:
    explicit VirtualDevice(Plant& plant) : plant_(plant) {}
    bool open() override;
    void close() override;
    bool control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                 uint32_t* bytesReturned) override;
    void advance(uint32_t nowMs) override;

private:
    void catchUp();
    Plant& plant_;
};

// One card of a plant description, built in a chain: card(0xCC00, 0x3E0, 31).plc(3).ioBlock(5).
class CardBuilder {
public:
    CardBuilder(uint16_t memorySegment, uint16_t ioPort, uint8_t ownDeviceNumber);

    CardBuilder& plc(uint8_t number, PlcSizes sizes = {}, DeviceFaults faults = {});
    CardBuilder& ioBlock(uint8_t number, DeviceFaults faults = {});
    CardBuilder& version(uint8_t version);
    CardBuilder& ownDeviceHighBits(uint8_t bits);
    CardBuilder& bootTimeMs(uint32_t ms);
    CardBuilder& busScanMs(uint32_t ms);
    CardBuilder& noReplyMs(uint32_t ms);
    CardBuilder& faults(CardFaults faults);

    operator CardSpec() const { return setup_; }
    const CardSpec& setup() const { return setup_; }

private:
    CardSpec setup_;
};

inline CardBuilder card(uint16_t memorySegment = 0xCC00, uint16_t ioPort = 0x3E0,
                        uint8_t ownDeviceNumber = 31) {
    return CardBuilder(memorySegment, ioPort, ownDeviceNumber);
}

class VirtualPlant {
public:
    VirtualPlant(std::vector<CardSpec> cards);  // NOLINT: implicit, so that {card(...)} reads well
    explicit VirtualPlant(PlantSpec setup);
    ~VirtualPlant();
    VirtualPlant(const VirtualPlant&) = delete;
    VirtualPlant& operator=(const VirtualPlant&) = delete;

    // Makes this plant the virtual platform's XPORTIO device (done by the constructor).
    void install();

    Plant& plant() { return *plant_; }
    Plant* operator->() { return plant_.get(); }

    CardFaults& faults(int card) { return plant_->faults(card); }
    DeviceFaults& faults(int card, uint8_t device) { return plant_->faults(card, device); }
    XportioFaults& xportioFaults() { return plant_->xportioFaults(); }
    Plc& plc(int card, uint8_t device);          // std::out_of_range when there is no such PLC
    IoBlock& ioBlock(int card, uint8_t device);  // std::out_of_range when there is no such block

    // The card's window, and single bytes of it read and written as the driver does.
    uint8_t* window(int card) { return plant_->window(card); }
    uint8_t readByte(int card, uint32_t offset);
    void writeByte(int card, uint32_t offset, uint8_t value);

    // Every card as a successful start-up handshake leaves it (see Plant::bringOnline).
    void bringOnline();

    const std::vector<PortEvent>& portEvents() const { return plant_->portEvents(); }
    const std::vector<DatagramEvent>& datagramEvents() const { return plant_->datagramEvents(); }

private:
    std::unique_ptr<Plant> plant_;
    std::unique_ptr<VirtualDevice> device_;
};

}  // namespace pcimemu
