// The driver as the plant meets it, in real time: libzurpm.so loaded by a small host, its messages
// through liborvant's err, pcimsim serving two PCIM cards with their PLCs and I/O blocks on a Unix
// socket. Both cards are started (about 3.1 s each), every memory type and width is read and
// written, and the driver is stopped. Nothing here measures time; waits have generous bounds only.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "orvant.h"
#include "simulator_process.h"
#include "zurpm/records.h"

namespace {

namespace fs = std::filesystem;

const char* const plantFile = R"(# Two cards for the real-time suite.
[[card]]
segment = 0xCC00
port = 0x3E0
own_device = 31

  [[card.device]]
  number = 3
  kind = "plc"
  name = "Line CPU"
    [card.device.memory]
    R5 = [0, 16320]
    R11 = 4660
    R20 = [1, 2, 3, 4, 5, 6, 7, 8]
    R40 = 256
    R49 = [0, 16256, 0, 16384]
    AI5 = 4095
    AI10 = 32768
    AQ2 = 500
    AQ3 = 1
    I14 = 1
    I33 = [1, 0, 1, 1, 0, 0, 0, 1, 0, 1]
    Q1 = 1
    Q17 = [1, 1, 0, 1, 1, 1]
    T256 = 1
    M1 = [1, 0, 1, 1]
    M8 = 1
    M200 = 1
    SA3 = 1
    SB4 = 1
    SC5 = 1
    S6 = 1
    G16 = 1

  [[card.device]]
  number = 5
  kind = "ioblock"
  name = "Valve block"
  data = [0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x81, 0x42, 0x24, 0x18, 0x01, 0, 0, 0, 0x0F, 0xF0]

[[card]]
segment = 0xD000
port = 0x2E0
own_device = 30

  [[card.device]]
  number = 1
  kind = "plc"
  name = "Boiler CPU"
    [card.device.memory]
    R1 = 1234
    AQ1 = 500

  [[card.device]]
  number = 2
  kind = "ioblock"
  name = "Boiler inputs"
  data = [0x5A, 0xA5]
)";

const char* const configuration = "BASE=16\n1=CC00;3E0\n2=D000;2E0\n";

struct Message {
    int32_t level;
    std::string text;
};

void capture(int32_t level, const char* text, void* user) {
    static_cast<std::vector<Message>*>(user)->push_back({level, text});
}

std::string show(const std::vector<Message>& messages) {
    std::string text;
    for (const Message& message : messages) text += std::to_string(message.level) + ": " + message.text + " | ";
    return text;
}

// The host: the loaded library, its context block, and the messages it was sent.
struct Host {
    void* library = nullptr;
    ZurMainFunction zurMain = nullptr;
    DriverContext context{};
    std::vector<Message> messages;

    int32_t call(int32_t command, void* gate = nullptr) {
        ZurRequest request{};
        request.context = &context;
        request.command = command;
        request.gate = gate;
        return zurMain(&request);
    }
};

// Everything the suite shares: made once, since starting two cards takes seconds.
struct Plant {
    fs::path previousDirectory;
    fs::path directory;
    realtime::SimulatorProcess simulator;
    Host host;
    bool ready = false;
    std::string problem;
    int32_t startResult = -1;
    std::vector<Message> startMessages;

    void setUp() {
        previousDirectory = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "zurpm-realtime-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            problem = "no temporary directory";
            return;
        }
        directory = pattern;
        std::ofstream(directory / "plant.toml") << plantFile;
        std::ofstream(directory / "zurPM.int") << configuration;
        const std::string socket = (directory / "XPORTIO").string();
        if (!simulator.start(PCIMSIM_PROGRAM, (directory / "plant.toml").string(), socket, 60, problem)) return;
        setenv("XPORTIO_SOCKET", socket.c_str(), 1);
        fs::current_path(directory);

        host.library = dlopen(ZURPM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (host.library == nullptr) {
            problem = std::string("cannot load the driver: ") + dlerror();
            return;
        }
        host.zurMain = reinterpret_cast<ZurMainFunction>(dlsym(host.library, "ZurMain"));
        if (host.zurMain == nullptr) {
            problem = "the driver exports no ZurMain";
            return;
        }
        orvantSetSink(capture, &host.messages);
        startResult = host.call(ZUR_CMD_START);
        startMessages = host.messages;
        host.messages.clear();
        ready = true;
    }

    void tearDown() {
        orvantSetSink(nullptr, nullptr);
        // The library stays loaded, as a host keeps it: the card records it made at start live as
        // long as the process.
        simulator.stop();
        unsetenv("XPORTIO_SOCKET");
        std::error_code ignored;
        if (!previousDirectory.empty()) fs::current_path(previousDirectory, ignored);
        if (!directory.empty()) fs::remove_all(directory, ignored);
    }
};

class RealTime : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        plant = new Plant;
        plant->setUp();
    }
    static void TearDownTestSuite() {
        plant->tearDown();
        delete plant;
        plant = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(plant->ready) << plant->problem; }

    static Plant* plant;
};

Plant* RealTime::plant = nullptr;

TEST_F(RealTime, StartsBothCards) {
    EXPECT_EQ(plant->startResult, ZUR_RESULT_OK);
    const std::vector<std::string> expected = {
        "ZURPM Message: Starting Card at memmory adrress CC00 \n\t I/O port 3E0",
        "ZURPM Message: Genius device number for PCIM card is 31",
        "ZURPM Message: Card version number is 23",
        "ZURPM Message: Starting Card at memmory adrress D000 \n\t I/O port 2E0",
        "ZURPM Message: Genius device number for PCIM card is 30",
        "ZURPM Message: Card version number is 23",
    };
    std::vector<std::string> texts;
    for (const Message& message : plant->startMessages) {
        texts.push_back(message.text);
        EXPECT_EQ(message.level, 32) << message.text;
    }
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(plant->host.context.numberBase, 16);
}

// One gate: its address, what the plant file gave it and what the test writes, as the bytes of
// the host's value buffer.
struct GateCase {
    const char* address;  // base 16
    int32_t valueType;
    int32_t blockSize;    // 0: a single gate
    std::vector<uint8_t> initial;
    std::vector<uint8_t> written;
};

const GateCase gateCases[] = {
    // PLC words, card 1 device 3.
    {"039R000B", 0, 0, {0, 0, 0x34, 0x12}, {0, 0, 0xCD, 0xAB}},
    {"039L0005", 1, 0, {0, 0, 0xFF, 0x0F}, {0, 0, 0x21, 0x43}},
    {"039O0002", 0, 0, {0, 0, 0xF4, 0x01}, {0, 0, 0x02, 0x01}},
    {"039R0014", 0, 8, {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0},
     {0x10, 0, 0x20, 0, 0x30, 0, 0x40, 0, 0x50, 0, 0x60, 0, 0x70, 0, 0x80, 0}},
    // Floats: pairs of registers.
    {"039F0005", 3, 0, {0, 0, 0xC0, 0x3F}, {0, 0, 0x10, 0x40}},
    {"039F0031", 3, 2, {0, 0, 0x80, 0x3F, 0, 0, 0, 0x40}, {0, 0, 0x20, 0x41, 0, 0, 0xC8, 0x42}},
    // PLC points, one of each memory.
    {"039I000E", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"039I000F", 6, 0, {0, 0, 0, 0}, {0, 0, 1, 0}},
    {"039Q0001", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"039T0100", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"039M0008", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"039A0003", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"039B0004", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"039C0005", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"039D0006", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"039G0010", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    // Blocks of points: bit mode, a partial byte, byte mode.
    {"039I0021", 6, 16, {0x8D, 0x02}, {0x3C, 0xC3}},
    {"039Q0011", 6, 5, {0x1B}, {0x0A}},
    {"039M0001", 6, 256,
     {0x0D, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80},
     {0xFF, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
      0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F}},
    // One bit of a word.
    {"039R002803", 6, 0, {0, 0, 0, 0}, {0, 0, 1, 0}},
    {"039L000A0F", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"039O000300", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    // Genius block global data, card 1 device 5.
    {"05GA0001", 0, 0, {0, 0, 0x11, 0x22}, {0, 0, 0xAA, 0xBB}},
    {"05GA0002", 3, 0, {0x55, 0x66, 0x77, 0x88}, {0, 0, 0x20, 0x41}},
    {"05GA0005", 0, 2, {0x81, 0x42, 0x24, 0x18}, {0x01, 0x02, 0x03, 0x04}},
    {"05GD0061", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},  // points 96 and 101: bits 0 and 5 of byte 12
    {"05GD0066", 6, 0, {0, 0, 0, 0}, {0, 0, 1, 0}},
    {"05GD0081", 6, 16, {0x0F, 0xF0}, {0xA5, 0x5A}},
    // Card 2: device 1 and block 2.
    {"339R0001", 0, 0, {0, 0, 0xD2, 0x04}, {0, 0, 0x39, 0x30}},
    {"339O0001", 0, 0, {0, 0, 0xF4, 0x01}, {0, 0, 0xE8, 0x03}},
    {"34GA0001", 0, 0, {0, 0, 0x5A, 0xA5}, {0, 0, 0x66, 0x99}},
};

std::vector<uint8_t> padded(std::vector<uint8_t> bytes, size_t size) {
    bytes.resize(size, 0);
    return bytes;
}

TEST_F(RealTime, EveryMemoryTypeAndWidthIsReadAndWritten) {
    Host& host = plant->host;
    constexpr size_t bufferSize = 64;
    for (const GateCase& gate : gateCases) {
        SCOPED_TRACE(gate.address);
        GateDefinition definition{};
        definition.addressString = gate.address;
        definition.valueType = gate.valueType;
        definition.blockSize = gate.blockSize;
        const bool single = gate.blockSize == 0;
        ASSERT_EQ(host.call(single ? ZUR_CMD_DEFINE_GATE : ZUR_CMD_DEFINE_BLOCK_GATE, &definition), ZUR_RESULT_OK)
            << show(host.messages);

        GateAccess access{};
        access.hardwareAddress = definition.hardwareAddress;
        std::vector<uint8_t> buffer(bufferSize, 0);
        access.data = buffer.data();
        access.count = single ? 1 : gate.blockSize;
        const int32_t read = single ? ZUR_CMD_READ_SINGLE : ZUR_CMD_READ;
        const int32_t write = single ? ZUR_CMD_WRITE_SINGLE : ZUR_CMD_WRITE;

        ASSERT_EQ(host.call(read, &access), ZUR_RESULT_OK) << show(host.messages);
        EXPECT_EQ(buffer, padded(gate.initial, bufferSize)) << "what the plant started with";

        buffer = padded(gate.written, bufferSize);
        access.data = buffer.data();
        ASSERT_EQ(host.call(write, &access), ZUR_RESULT_OK) << show(host.messages);
        EXPECT_EQ(buffer, padded(gate.written, bufferSize)) << "the write changed the host's buffer";

        std::vector<uint8_t> back(bufferSize, 0);
        access.data = back.data();
        ASSERT_EQ(host.call(read, &access), ZUR_RESULT_OK) << show(host.messages);
        EXPECT_EQ(back, padded(gate.written, bufferSize)) << "what was written did not come back";
        EXPECT_TRUE(host.messages.empty()) << show(host.messages);
        host.messages.clear();
    }

    // Neighbours: the point after the partial block, and the word whose bit 3 was set.
    struct Neighbour {
        const char* address;
        int32_t valueType;
        std::vector<uint8_t> value;
    };
    const Neighbour neighbours[] = {{"039Q0016", 6, {0, 0, 1, 0}}, {"039R0028", 0, {0, 0, 0x08, 0x01}}};
    for (const Neighbour& neighbour : neighbours) {
        SCOPED_TRACE(neighbour.address);
        GateDefinition definition{};
        definition.addressString = neighbour.address;
        definition.valueType = neighbour.valueType;
        ASSERT_EQ(host.call(ZUR_CMD_DEFINE_GATE, &definition), ZUR_RESULT_OK);
        GateAccess access{};
        access.hardwareAddress = definition.hardwareAddress;
        std::vector<uint8_t> buffer(4, 0);
        access.data = buffer.data();
        ASSERT_EQ(host.call(ZUR_CMD_READ_SINGLE, &access), ZUR_RESULT_OK) << show(host.messages);
        EXPECT_EQ(buffer, neighbour.value);
    }
}

TEST_F(RealTime, DeviceAbsentFromTheLanIsReported) {
    Host& host = plant->host;
    GateAccess access{};
    access.hardwareAddress = {9, 8, 0, -1, 16};  // card 1, device 9: nobody
    access.count = 1;
    uint8_t buffer[4] = {7, 7, 7, 7};
    access.data = buffer;
    host.messages.clear();
    EXPECT_EQ(host.call(ZUR_CMD_READ, &access), ZUR_RESULT_FAILED);
    ASSERT_EQ(host.messages.size(), 2u) << show(host.messages);
    EXPECT_EQ(host.messages[0].text, "ZURPM Error: Device 9 not found on network");
    EXPECT_EQ(host.messages[1].text, "ZURPM Error: Error transmitting request packet");
    EXPECT_EQ(buffer[2], 7);
    host.messages.clear();
}

TEST_F(RealTime, StopsQuietly) {
    Host& host = plant->host;
    host.messages.clear();
    EXPECT_EQ(host.call(ZUR_CMD_STOP), ZUR_RESULT_OK);
    EXPECT_TRUE(host.messages.empty()) << show(host.messages);
    // After the stop nothing is touched: the cards answer no more.
    GateAccess access{};
    access.hardwareAddress = {3, 8, 0, -1, 16};
    access.count = 1;
    uint8_t buffer[4] = {};
    access.data = buffer;
    EXPECT_EQ(host.call(ZUR_CMD_READ, &access), ZUR_RESULT_FAILED);
    EXPECT_EQ(host.call(ZUR_CMD_RESTART), ZUR_RESULT_OK);
}

}  // namespace
