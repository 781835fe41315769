// pcimemu: the hardware we do not have. An XPORTIO device on an ISA bus with one to three GE Fanuc
// PCIM cards, each with its Genius LAN of Series 90 PLCs and Genius I/O blocks.
//
// The emulator is a state machine advanced by a millisecond clock and by the device requests of
// its client. It owns no thread and reads no clock: in tests the virtual platform advances it one
// millisecond at a time, in pcimsim a thread advances it against the wall clock. Card windows are
// plain memory that the client maps; the emulator touches them only with single-byte acquire loads
// and release stores, as the driver does, so both sides may run on different threads or in
// different processes.
//
// Every failure the driver must survive can be switched on per card or per device (CardFaults,
// DeviceFaults), before or during a run.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pcimemu {

// ---- Plant description ----------------------------------------------------------------------

// PLC memories, by the segment selector of their bit-mode (or word) code.
enum class PlcMemory { R, AI, AQ, I, Q, T, M, SA, SB, SC, S, G };

// Sizes of a PLC's memories: words for R, AI, AQ; points (bits) for the discrete memories.
struct PlcSizes {
    uint32_t R = 2048, AI = 128, AQ = 64;
    uint32_t I = 512, Q = 512, T = 256, M = 1024, SA = 128, SB = 128, SC = 128, S = 128, G = 1280;
};

struct DeviceFaults {
    bool absent = false;                      // presence byte 0: the device is not on the LAN
    bool neverComplete = false;               // datagrams to it stay busy for ever
    std::optional<uint8_t> completionStatus;  // the status byte the card reports instead of its own
    std::optional<uint8_t> replyLength;       // the replyLength the card reports instead of the true one
    uint32_t replyDelayMs = 2;                // from the card taking a datagram to its completion
};

struct DeviceSpec {
    enum class Kind { plc, ioBlock } kind = Kind::plc;
    uint8_t number = 0;  // 0-31 on the card's LAN
    std::string name;
    PlcSizes sizes;      // PLCs only
    DeviceFaults faults;
};

struct CardFaults {
    bool noHeartbeat = false;                    // the heartbeat never comes
    std::optional<uint32_t> heartbeatAfterMs;    // the heartbeat comes this long after wake-up (else bootTimeMs)
    bool heartbeatStopsAfterConfig = false;      // alive before the configuration, dead after it
    std::vector<uint8_t> configStatusSequence;   // statuses for the configuration command, each held
                                                 // configStepMs from the card taking it; the last stays
                                                 // (empty: accepted at once, 4)
    uint32_t configStepMs = 100;
    uint8_t ioStatusBits = 0;                    // ioStatus port value (bit 3 no OK signal, bit 4 comms error)
    bool lockoutNeverGranted = false;
    bool refuseMap = false;                      // the device refuses to map this card's window
    bool refusePortRead = false;                 // the device refuses port reads of this card
};

struct CardSpec {
    uint16_t memorySegment = 0xCC00;  // window at memorySegment * 16
    uint16_t ioPort = 0x3E0;          // ports ioPort .. ioPort + 3
    uint8_t ownDeviceNumber = 31;     // the card's own Genius device number
    uint8_t ownDeviceHighBits = 0xE0; // the card's bits above the device number in its byte 0x882
    uint8_t version = 0x23;           // cardVersion at 0x892
    uint32_t bootTimeMs = 1500;       // wake-up to heartbeat
    uint32_t busScanMs = 10;          // global-data refresh period
    std::vector<DeviceSpec> devices;
    CardFaults faults;
};

struct PlantSpec {
    std::vector<CardSpec> cards;  // one to three
};

// ---- Events, for tests and the trace ---------------------------------------------------------

struct PortEvent {
    uint32_t atMs;
    uint16_t port;
    bool write;
    uint16_t value;   // written, or answered
    bool accepted;
};

struct DatagramEvent {
    uint32_t atMs;
    int card;                      // 0-based
    uint8_t device;
    uint8_t commandCode;           // 2 write, 3 read
    std::array<uint8_t, 7> params; // commandParams as the driver left them
    std::vector<uint8_t> request;  // requestData
    std::vector<uint8_t> reply;    // reply data (reads)
    uint8_t status;                // completion status reported
};

struct GlobalDataEvent {
    uint32_t atMs;
    int card;
    uint8_t device;                // whose table changed (the card's own for its output table)
    uint32_t offset;               // first changed byte in the table
    std::vector<uint8_t> bytes;    // the new bytes
};

// ---- Devices on a LAN -----------------------------------------------------------------------

class Plc {
public:
    virtual ~Plc() = default;
    // Word memories (R, AI, AQ), 0-based word index.
    virtual uint16_t word(PlcMemory memory, uint32_t index) const = 0;
    virtual void setWord(PlcMemory memory, uint32_t index, uint16_t value) = 0;
    // Discrete memories, 0-based point index.
    virtual bool point(PlcMemory memory, uint32_t index) const = 0;
    virtual void setPoint(PlcMemory memory, uint32_t index, bool value) = 0;
    // Raw bytes of a discrete memory (8 points a byte, point 0 in bit 0 of byte 0).
    virtual uint8_t byte(PlcMemory memory, uint32_t index) const = 0;
    virtual uint32_t size(PlcMemory memory) const = 0;  // words or points
};

class IoBlock {
public:
    virtual ~IoBlock() = default;
    // The block's 128 bytes of global data.
    virtual uint8_t data(uint32_t index) const = 0;
    virtual void setData(uint32_t index, uint8_t value) = 0;
};

// ---- The plant: device, cards, LANs ----------------------------------------------------------

class Plant {
public:
    // Where window memory comes from (pcimsim: shared memory it can hand to a client); null: the
    // heap.
    using WindowAllocator = std::function<uint8_t*(int card, uint32_t length)>;
    explicit Plant(PlantSpec spec, WindowAllocator allocate = nullptr);
    ~Plant();
    Plant(const Plant&) = delete;
    Plant& operator=(const Plant&) = delete;

    // The clock: called for every millisecond, with the new time.
    void advance(uint32_t nowMs);
    uint32_t now() const;

    // The XPORTIO device.
    bool openDevice();   // false when it is already open
    void closeDevice();
    bool deviceOpen() const;
    struct Mapping {
        int card;        // 0-based
        uint8_t* address;
        uint32_t length;
    };
    // A map request: succeeds for the window of a card at that physical address.
    std::optional<Mapping> map(uint64_t physicalAddress, uint32_t length, uint32_t interfaceType,
                               uint32_t busNumber, uint32_t addressSpace);
    bool unmap(uint64_t address);
    std::optional<uint16_t> readPort(uint16_t port);  // nullopt: refused
    bool writePort(uint16_t port, uint16_t value);
    // One device control request with the driver's byte layout; for the map, the address written
    // to out is the in-process pointer (the virtual platform's view).
    bool control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                 uint32_t* bytesReturned);

    // Cards: 0-based index, as in PlantSpec.
    int cardCount() const;
    uint8_t* window(int card);  // the card's 16 KB window memory
    CardFaults& faults(int card);
    DeviceFaults& faults(int card, uint8_t device);
    Plc* plc(int card, uint8_t device);          // null when no PLC has that number
    IoBlock* ioBlock(int card, uint8_t device);  // null when no block has that number
    bool heartbeat(int card) const;              // the card believes it is alive

    // What happened.
    const std::vector<PortEvent>& portEvents() const;
    const std::vector<DatagramEvent>& datagramEvents() const;
    void clearEvents();
    void onDatagram(std::function<void(const DatagramEvent&)> observer);
    void onGlobalData(std::function<void(const GlobalDataEvent&)> observer);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace pcimemu
