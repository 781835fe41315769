// A card that misbehaves in every byte the driver looks at. Command 1 and a run of reads, writes
// and restarts of every kind, each gate with its own count or any other, while the fuzzer rewrites
// the card's command status, reply length and data, device table, lockout grant, heartbeat, own
// device number and port status as virtual time passes. Every request ends within its time-outs,
// stays inside the window, the tables and the host's buffer (the sanitizers watch), says why it
// failed, and a failed read leaves the buffer as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "pcimemu/virtual_plant.h"
#include "zurpm/zurpm.h"

namespace {

namespace cm = pcimemu::cardmap;
using fuzz::require;

// The bytes the card changes on its own, and the port status (ioStatusPort).
constexpr uint32_t ioStatusPort = 0xFFFF;
constexpr uint32_t meddledBytes[] = {
    cm::commandStatus, cm::replyLength, cm::replyData + 1, cm::replyData + 5, cm::replyData + 6,
    cm::presenceByte(3), cm::presenceByte(5), cm::presenceByte(7), cm::lockoutGranted,
    cm::heartbeat, cm::ownDeviceNumber, ioStatusPort,
};

// A byte the fuzzer holds at a value over a span of virtual time, whatever the card writes there.
struct Poke {
    uint32_t fromMs;
    uint32_t untilMs;
    uint32_t offset;
    uint8_t value;
};

// The plant's device, with the fuzzer's pokes made in their spans, after the card's own doing.
class Meddler final : public zurpm::virt::DeviceBackend {
public:
    Meddler(pcimemu::VirtualPlant& plant, std::vector<Poke> pokes)
        : plant_(plant), device_(plant.plant()), pokes_(std::move(pokes)) {}
    bool open() override { return device_.open(); }
    void close() override { device_.close(); }
    bool control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                 uint32_t* bytesReturned) override {
        return device_.control(code, in, inLength, out, outLength, bytesReturned);
    }
    void advance(uint32_t nowMs) override {
        device_.advance(nowMs);
        for (const Poke& poke : pokes_) {
            if (nowMs < poke.fromMs || nowMs > poke.untilMs) continue;
            if (poke.offset == ioStatusPort) plant_.faults(0).ioStatusBits = poke.value;
            else plant_.writeByte(0, poke.offset, poke.value);
        }
    }

private:
    pcimemu::VirtualPlant& plant_;
    pcimemu::VirtualDevice device_;
    std::vector<Poke> pokes_;
};

struct Gate {
    const char* address;
    int32_t valueType;
    int32_t blockSize;  // 0: a single gate
};
// Station 3 a PLC, 5 an I/O block, 7 absent, 31 the card itself; every memory kind and size.
constexpr Gate gates[] = {
    {"039R0001", 0, 0},  {"039R0011", 1, 10},   {"039F0001", 3, 0},  {"039F0003", 3, 4},
    {"039I0001", 6, 0},  {"039I0009", 6, 100},  {"039Q0001", 6, 256}, {"039R00010F", 6, 0},
    {"05GA0001", 0, 0},  {"05GA0003", 3, 0},    {"05GA0001", 0, 8},  {"05GD0001", 6, 0},
    {"05GD0009", 6, 100}, {"05GA0040", 0, 0},   {"31GA0001", 0, 4},  {"319R0001", 0, 0},
    {"079R0001", 0, 0},  {"05GA0021", 0, 32},
};
constexpr int32_t commands[] = {ZUR_CMD_READ_SINGLE, ZUR_CMD_READ, ZUR_CMD_WRITE_SINGLE, ZUR_CMD_WRITE,
                                ZUR_CMD_RESTART};

// The longest a start-up handshake may take: the wake-up wait, ten heartbeat polls, the
// configuration looks and the wait after setup.
constexpr uint32_t handshakeMs = 2000 + 10 * 100 + 5 * 100 + 1000;
constexpr uint32_t pollSlackMs = 10;
// The most data one request moves: 64 words, 32 floats or 1024 points.
constexpr size_t largestBuffer = 128;

struct Driver {
    DriverContext context{};
    int32_t call(int32_t command, void* gate = nullptr) {
        ZurRequest request{};
        request.context = &context;
        request.command = command;
        request.gate = gate;
        return ZurMain(&request);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    zurpm::virt::reset();

    const int32_t replyTenths = input.ConsumeIntegralInRange<int32_t>(1, 5);
    const int32_t accessMs = input.ConsumeIntegralInRange<int32_t>(1, 150);
    zurpm::virt::setConfigurationFile("BASE=16\n1=CC00;3E0;" + std::to_string(replyTenths) + ";16;" +
                                      std::to_string(accessMs) + "\n");
    std::vector<Poke> pokes(input.ConsumeIntegralInRange<size_t>(0, 24));
    uint32_t at = 0;
    for (Poke& poke : pokes) {
        at += input.ConsumeIntegralInRange<uint32_t>(0, 600);
        const uint32_t holdMs = input.ConsumeIntegralInRange<uint32_t>(0, 1000);
        poke = {at, at + holdMs, input.PickValueInArray(meddledBytes), input.ConsumeIntegral<uint8_t>()};
    }

    pcimemu::VirtualPlant plant({pcimemu::card(0xCC00, 0x3E0, 31).plc(3).ioBlock(5)});
    Meddler meddler(plant, std::move(pokes));
    zurpm::virt::installDevice(&meddler);
    Driver driver;
    const auto& messages = zurpm::virt::messages();

    // Each request: its answer, its time on the virtual clock, and its messages.
    const auto serve = [&](int32_t command, GateAccess* access, uint32_t boundMs) {
        const size_t from = messages.size();
        const uint32_t started = zurpm::virt::tickCount();
        const int32_t result = driver.call(command, access);
        require(zurpm::virt::tickCount() - started <= boundMs, "a request ends within its time-outs");
        require(result == ZUR_RESULT_OK || result == ZUR_RESULT_FAILED, "a request answers 0 or 2");
        if (result == ZUR_RESULT_FAILED)
            require(std::any_of(messages.begin() + static_cast<std::ptrdiff_t>(from), messages.end(),
                                [](const auto& message) { return message.level == 32; }),
                    "a failure comes with a level-32 message");
        return result;
    };
    serve(ZUR_CMD_START, nullptr, handshakeMs + pollSlackMs);

    const uint32_t transferMs = static_cast<uint32_t>(accessMs + replyTenths * 100) + pollSlackMs;
    for (int request = input.ConsumeIntegralInRange<int>(1, 8); request > 0; --request) {
        const int32_t command = input.PickValueInArray(commands);
        if (command == ZUR_CMD_RESTART) {
            serve(command, nullptr, handshakeMs + pollSlackMs);
            continue;
        }
        const Gate& gate = input.PickValueInArray(gates);
        GateDefinition definition{};
        definition.addressString = gate.address;
        definition.valueType = gate.valueType;
        definition.blockSize = gate.blockSize;
        require(driver.call(gate.blockSize == 0 ? ZUR_CMD_DEFINE_GATE : ZUR_CMD_DEFINE_BLOCK_GATE, &definition) ==
                    ZUR_RESULT_OK,
                "the gates of this run are sound");

        GateAccess access{};
        access.hardwareAddress = definition.hardwareAddress;
        // The count the gate was defined with, or any count at all, as a host with a stale record
        // might send: commands 6 and 10 refuse one no request can carry, 5 and 7 make it 1.
        access.count = gate.blockSize == 0 ? 1 : gate.blockSize;
        if (input.ConsumeBool())
            access.count = input.ConsumeBool() ? input.ConsumeIntegralInRange<int32_t>(-2, 1100)
                                               : input.ConsumeIntegral<int32_t>();
        const bool single = command == ZUR_CMD_READ_SINGLE || command == ZUR_CMD_WRITE_SINGLE;
        // No access that can travel covers more than a packet's data; a larger one gets no bytes at
        // all, so that any touch of its buffer is caught.
        const size_t documentedSize = single ? 4 : fuzz::gateBufferSize(access);
        const size_t bufferSize = documentedSize <= largestBuffer ? documentedSize : 0;
        std::vector<uint8_t> values = input.ConsumeBytes<uint8_t>(bufferSize);
        values.resize(bufferSize);
        const auto buffer = std::make_unique<uint8_t[]>(bufferSize);  // exactly as large as documented
        std::copy(values.begin(), values.end(), buffer.get());
        access.data = buffer.get();

        // One bit of a word is written as a read and a write of its word, by command 7 and 10 alike.
        const zurpm::MemoryRegion* region = zurpm::memoryRegionOfCode(access.hardwareAddress.memoryType);
        const bool twoDatagrams = (command == ZUR_CMD_WRITE_SINGLE || command == ZUR_CMD_WRITE) &&
                                  access.hardwareAddress.bit != -1 && region != nullptr && region->bitsOfWords;
        const int32_t result = serve(command, &access, twoDatagrams ? 2 * transferMs : transferMs);
        const bool write = command == ZUR_CMD_WRITE || command == ZUR_CMD_WRITE_SINGLE;
        if (write || result != ZUR_RESULT_OK)
            require(std::equal(values.begin(), values.end(), buffer.get()),
                    "a write, and a failed read, leave the buffer as it was");
    }
    driver.call(ZUR_CMD_STOP);
    require(!plant->mapped(0), "stop gives the window back");
    return 0;
}
