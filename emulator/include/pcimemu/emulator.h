// pcimemu: the hardware we do not have. An XPORTIO device on an ISA bus with one to three GE Fanuc
// PCIM cards, each with its Genius LAN of Series 90 PLCs and Genius I/O blocks.
//
// The emulator is a state machine advanced by a millisecond clock and by the device requests of
// its client. It owns no thread and reads no clock: in tests the virtual platform advances it one
// millisecond at a time, in pcimsim a thread advances it against the wall clock. Card windows are
// plain memory that the client maps; the emulator touches them only with single-byte acquire loads
// and release stores, as the driver does, so both sides may run on different threads or in
// different processes. The Plant object itself is used from one thread at a time.
//
// Every failure the driver must survive can be switched on per card or per device (CardFaults,
// DeviceFaults, XportioFaults), before or during a run.
//
// How a card behaves, seen from the PC (the card's window offsets are in card_map.h):
//
//   Wake-up and reset. Writing 0x99 to ioRegister3 (port + 3) unlocks ioControl (port + 1).
//   ioControl <- 0x01 holds the card in reset: its heartbeat drops to 0 and it does nothing more.
//   ioControl <- 0x43 while held and unlocked releases it: the card boots (clears its command
//   interface, lockout grant, device table and global-data tables, writes its device number byte
//   and version) and shows heartbeat 1 after bootTimeMs. So the wake-up is 0x99, 0x01, 0x43 and
//   the reset 0x01, 0x99, 0x01. A card that was never woken shows heartbeat 0.
//   ioStatus (port + 0) reads CardFaults::ioStatusBits; ioControl and ioRegister3 read back what
//   was last written there; port + 2 reads 0xFF, as an empty ISA port does.
//
//   Commands. While alive (heartbeat 1) the card looks at commandStatus every millisecond; when it
//   finds 1 and has no command in hand it takes the command in commandCode:
//   - 4, configuration: commandStatus goes through CardFaults::configStatusSequence, each value held
//     configStepMs from the moment the card took the command, the last one staying (an empty
//     sequence: 4 at once). When it reaches 4 the card is configured and goes on the LAN: it
//     refreshes the device table and the global-data tables at once and then every busScanMs.
//   - 2 (send a datagram) and 3 (send and take the reply): the card sets commandStatus to 2 (busy)
//     and completes after the target device's replyDelayMs with 0x04, or with 0x08 (syntax error:
//     function code not 0x20, a subfunction other than 32 for code 2 or other than 30 with reply 31
//     for code 3, a body shorter than its 6-byte header, nonzero body bytes 0 or 2, a length of 0,
//     a write whose data does not match its header, more than a reply can carry) or 0x10 (process
//     error: unknown segment selector, an address outside the memory). A datagram to a device that
//     is not on the LAN, to the card's own number or before the card is configured completes with
//     0x10 after the card's noReplyMs; one to an I/O block (which does not serve Read and Write
//     Device) with 0x10 after the block's replyDelayMs. A read leaves the reply body in replyData
//     (the request's 6-byte header, then the data) and its length in replyLength (0x8CA).
//   - any other code: 0x08 at once.
//
//   Series 90 datagram bodies: byte 0 = 0, byte 1 segment selector, byte 2 = 0, bytes 3-4 offset
//   (little-endian), byte 5 length, data from byte 6. The selectors and what each one reaches are
//   in series90_map.h. Word memories (%R, %AI, %AQ) count offset and length in words, 2 bytes a
//   word, little-endian. Bit mode (%I, %Q, %T, %M, %SA, %SB, %SC, %S, %G) counts points; the data
//   are the memory's own bytes from the byte that holds the first point to the byte that holds the
//   last, and a write changes only the points offset .. offset + length - 1. Byte mode (a selector
//   of its own for each of the same memories) counts bytes.
//
//   Global data. The lockout: the card grants (lockoutGranted 1) at the first millisecond it sees
//   lockoutRequest nonzero and withdraws the grant (0) at the first one it sees it 0. At each bus
//   scan the presence byte of every device on the LAN (its own included) is set to 1 and the
//   others to 0; then, unless the lockout is granted, each I/O block's input table is exchanged:
//   the bytes the PC changed in it since the last scan are delivered to the block (that is how a
//   block's outputs are written), then the block's data are copied into the table. So writes
//   stick, and changes of the block (IoBlock::setData) show up at the next scan. PLC input tables
//   and the card's own output table are left to the PC; changes the PC made there are reported as
//   global-data events at the next scan.
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

// PLC memories; the segment selectors that reach them are in series90_map.h.
enum class PlcMemory { R, AI, AQ, I, Q, T, M, SA, SB, SC, S, G };

// Sizes of a PLC's memories: words for R, AI, AQ; points (bits) for the discrete memories. The
// defaults are those of a typical Series 90-30 CPU.
struct PlcSizes {
    uint32_t R = 2048, AI = 128, AQ = 64;
    uint32_t I = 512, Q = 512, T = 256, M = 1024, SA = 128, SB = 128, SC = 128, S = 128, G = 1280;
};

struct DeviceFaults {
    bool absent = false;                      // presence byte 0: the device is not on the LAN
    bool neverComplete = false;               // datagrams to it stay busy while this is set
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
    bool noHeartbeat = false;                    // the heartbeat never comes (or stops, when set later)
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
    bool refusePortWrite = false;                // the device refuses port writes to this card
};

struct CardSpec {
    uint16_t memorySegment = 0xCC00;  // window at memorySegment * 16
    uint16_t ioPort = 0x3E0;          // ports ioPort .. ioPort + 3
    uint8_t ownDeviceNumber = 31;     // the card's own Genius device number
    uint8_t ownDeviceHighBits = 0xE0; // the card's bits above the device number in its byte 0x882
    uint8_t version = 0x23;           // cardVersion at 0x892
    uint32_t bootTimeMs = 1500;       // wake-up to heartbeat
    uint32_t busScanMs = 10;          // global-data refresh period
    uint32_t noReplyMs = 20;          // a datagram nobody answers ends in a process error after this
    std::vector<DeviceSpec> devices;
    CardFaults faults;
};

// Faults of the XPORTIO device itself.
struct XportioFaults {
    bool cannotOpen = false;   // the device is not installed: opening fails
    bool refuseUnmap = false;  // unmap requests are refused
};

struct PlantSpec {
    std::vector<CardSpec> cards;  // one to three
    XportioFaults xportio;
};

// ---- Events, for tests and the trace ---------------------------------------------------------

struct PortEvent {
    uint32_t atMs;
    uint16_t port;
    bool write;
    uint16_t value;   // written, or answered
    bool accepted;
};

// One datagram, reported when it completes. A datagram held by DeviceFaults::neverComplete is
// reported once when the card takes it (completed false, status the busy value 2), and again if it
// completes after the fault is cleared.
struct DatagramEvent {
    uint32_t atMs;                 // when the card took the command
    int card;                      // 0-based
    uint8_t device;
    uint8_t commandCode;           // cardmap::codeSendDatagram (a write) or codeSendDatagramWithReply
    std::array<uint8_t, 7> params; // commandParams as the driver left them
    std::vector<uint8_t> request;  // requestData
    std::vector<uint8_t> reply;    // reply body as written to replyData (reads)
    uint8_t status;                // completion status reported
    bool completed = true;
    uint32_t completedAtMs = 0;
};

struct GlobalDataEvent {
    uint32_t atMs;
    int card;
    uint8_t device;                // whose table changed (the card's own for its output table)
    uint32_t offset;               // first changed byte in the table
    std::vector<uint8_t> bytes;    // the new bytes
    bool fromHost = false;         // the PC wrote them (true) or the device sent them (false)
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
    virtual void setByte(PlcMemory memory, uint32_t index, uint8_t value) = 0;
    virtual uint32_t size(PlcMemory memory) const = 0;  // words or points
    // Out-of-range indexes and a word access to a discrete memory (or the reverse) throw
    // std::out_of_range.
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
    // heap. Memory from an allocator stays the allocator's. The setup is checked: windows and port
    // blocks must not overlap, device numbers must be 0-31, distinct and not the card's own
    // (std::invalid_argument otherwise).
    using WindowAllocator = std::function<uint8_t*(int card, uint32_t length)>;
    explicit Plant(PlantSpec setup, WindowAllocator allocate = nullptr);
    ~Plant();
    Plant(const Plant&) = delete;
    Plant& operator=(const Plant&) = delete;

    // The clock: called as time passes with the new time, every millisecond in tests. A jump is
    // taken as that much time passing at once. Times wrap modulo 2^32.
    void advance(uint32_t nowMs);
    uint32_t now() const;

    // The XPORTIO device.
    bool openDevice();   // false when it is already open or cannot be opened
    void closeDevice();
    bool deviceOpen() const;
    struct Mapping {
        int card;        // 0-based
        uint8_t* address;
        uint32_t length;
    };
    // A map request: succeeds, with the device open, for the window of a card at that physical
    // address, length 1 to 0x4000, interface type 1 (ISA), bus 0, address space 0 (memory).
    std::optional<Mapping> map(uint64_t physicalAddress, uint32_t length, uint32_t interfaceType,
                               uint32_t busNumber, uint32_t addressSpace);
    bool unmap(uint64_t address);                      // false: not a mapped window
    std::optional<uint16_t> readPort(uint16_t port);  // nullopt: refused
    bool writePort(uint16_t port, uint16_t value);
    // One device control request with the driver's byte layout: map 24 bytes in, pointer-sized
    // out; unmap pointer-sized in; port read 2 in, 2 out; port write 4 in (port, value). For the
    // map, the address written to out is the in-process pointer (the virtual platform's view).
    // Wrong sizes, unknown codes and a closed device are refused.
    bool control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                 uint32_t* bytesReturned);

    // Cards: 0-based index, as in PlantSpec.
    int cardCount() const;
    const CardSpec& setup(int card) const;
    uint8_t* window(int card);  // the card's 16 KB window memory
    CardFaults& faults(int card);
    DeviceFaults& faults(int card, uint8_t device);  // std::out_of_range for an undescribed device
    XportioFaults& xportioFaults();
    Plc* plc(int card, uint8_t device);          // null when no PLC has that number
    IoBlock* ioBlock(int card, uint8_t device);  // null when no block has that number
    bool heartbeat(int card) const;              // the card believes it is alive
    bool online(int card) const;                 // alive and configured: on the LAN
    bool mapped(int card) const;                 // its window is mapped by a client
    // Puts a card straight into the state a successful start-up handshake leaves (booted, heartbeat
    // 1, configured, tables refreshed), for tests of what comes after the handshake.
    void bringOnline(int card);

    // What happened.
    const std::vector<PortEvent>& portEvents() const;
    const std::vector<DatagramEvent>& datagramEvents() const;
    void clearEvents();
    void recordEvents(bool on);  // off: nothing is kept (observers are still called); on by default
    void onDatagram(std::function<void(const DatagramEvent&)> observer);      // adds an observer
    void onGlobalData(std::function<void(const GlobalDataEvent&)> observer);  // adds an observer

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace pcimemu
