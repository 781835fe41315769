// The read and write commands end to end: station to card and device, the host's count, one bit
// of a word by read-modify-write, and every memory type and width read and written through ZurMain
// against the PLCs and blocks of the emulated plant.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "service_support.h"

namespace {

using pcimemu::card;
using pcimemu::PlcMemory;
using service::Bench;
using service::Lines;

const std::string transmitFailed = "32: ZURPM Error: Error transmitting request packet";

Lines transferLines(Bench& bench, int32_t command, GateAccess& access, int32_t expectedResult) {
    const size_t mark = bench.mark();
    EXPECT_EQ(bench.call(command, &access), expectedResult) << "command " << command;
    return bench.lines(mark);
}

TEST(Stations, ChooseCardAndDevice) {
    Bench bench(service::twoCards, {card(0xCC00, 0x3E0, 30).plc(31).plc(3),
                                    card(0xC800, 0x300, 31).plc(0).plc(3)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    bench.plant.plc(0, 31).setWord(PlcMemory::R, 0, 131);
    bench.plant.plc(0, 3).setWord(PlcMemory::R, 0, 103);
    bench.plant.plc(1, 0).setWord(PlcMemory::R, 0, 200);
    bench.plant.plc(1, 3).setWord(PlcMemory::R, 0, 203);
    struct Row {
        const char* address;
        int card;
        uint8_t device;
        uint16_t value;
    };
    const Row rows[] = {{"359R0001", 1, 3, 203}, {"319R0001", 0, 31, 131}, {"329R0001", 1, 0, 200},
                        {"039R0001", 0, 3, 103}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.address);
        GateAccess access = bench.gate(row.address, 0);
        uint8_t buffer[4] = {};
        access.data = buffer;
        bench.plant->clearEvents();
        EXPECT_TRUE(transferLines(bench, ZUR_CMD_READ, access, ZUR_RESULT_OK).empty());
        EXPECT_EQ(zurpm::getLittle16(buffer + 2), row.value);
        ASSERT_EQ(bench.plant.datagramEvents().size(), 1u);
        EXPECT_EQ(bench.plant.datagramEvents()[0].card, row.card);
        EXPECT_EQ(bench.plant.datagramEvents()[0].device, row.device);
    }
}

TEST(Stations, WithoutConfiguredCardOnlyTheTransmitMessage) {
    Bench bench(service::oneCard, {card().plc(3)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    for (const char* address : {"359R0001", "709R0001", "959R0001"}) {
        GateAccess access = bench.gate(address, 0);
        uint8_t buffer[4] = {5, 6, 7, 8};
        access.data = buffer;
        for (int32_t command : {ZUR_CMD_READ, ZUR_CMD_READ_SINGLE, ZUR_CMD_WRITE, ZUR_CMD_WRITE_SINGLE})
            EXPECT_EQ(transferLines(bench, command, access, ZUR_RESULT_FAILED), Lines{transmitFailed})
                << address << ", command " << command;
        EXPECT_EQ(buffer[0] + buffer[1] + buffer[2] + buffer[3], 26) << address;
    }
    // Stations 96 to 127 name the fourth slot, which nothing fills.
    GateAccess fourth{};
    fourth.hardwareAddress = {100, 8, 0, -1, 16};
    fourth.count = 1;
    uint8_t buffer[4] = {};
    fourth.data = buffer;
    EXPECT_EQ(transferLines(bench, ZUR_CMD_READ, fourth, ZUR_RESULT_FAILED), Lines{transmitFailed});
}

TEST(Stations, OutsideTheFourCardsAreRefusedBeforeAnyCard) {
    Bench bench(service::oneCard, {card().plc(3)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    for (int32_t station : {128, 4096, -1, -2147483647 - 1}) {
        GateAccess access{};
        access.hardwareAddress = {station, 8, 0, -1, 16};
        access.count = 1;
        uint8_t buffer[4] = {};
        access.data = buffer;
        bench.plant->clearEvents();
        for (int32_t command : {ZUR_CMD_READ, ZUR_CMD_WRITE, ZUR_CMD_WRITE_SINGLE}) {
            const Lines lines = transferLines(bench, command, access, ZUR_RESULT_FAILED);
            ASSERT_EQ(lines.size(), 2u) << "station " << station;
            EXPECT_EQ(lines[0].rfind("32: ZURPM Error: ", 0), 0u) << lines[0];
            EXPECT_EQ(lines[1], transmitFailed);
        }
        EXPECT_TRUE(bench.plant.datagramEvents().empty()) << "station " << station;
    }
}

TEST(Count, CommandsFiveAndSevenLeaveOneInTheHostRecord) {
    Bench bench(service::oneCard, {card().plc(3)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    for (uint32_t i = 0; i < 10; ++i) bench.plant.plc(0, 3).setWord(PlcMemory::R, i, uint16_t(100 + i));
    GateAccess access = bench.gate("039R0001", 0, 10);
    uint8_t buffer[20] = {};
    access.data = buffer;
    ASSERT_EQ(access.count, 10);
    EXPECT_TRUE(transferLines(bench, ZUR_CMD_READ_SINGLE, access, ZUR_RESULT_OK).empty());
    EXPECT_EQ(access.count, 1);
    EXPECT_EQ(zurpm::getLittle16(buffer + 2), 100) << "one element travels at bytes 2-3";
    EXPECT_EQ(zurpm::getLittle16(buffer + 4), 0) << "more than one element was read";

    access.count = 10;
    zurpm::putLittle16(buffer + 2, 555);
    EXPECT_TRUE(transferLines(bench, ZUR_CMD_WRITE_SINGLE, access, ZUR_RESULT_OK).empty());
    EXPECT_EQ(access.count, 1);
    EXPECT_EQ(bench.plant.plc(0, 3).word(PlcMemory::R, 0), 555);
    EXPECT_EQ(bench.plant.plc(0, 3).word(PlcMemory::R, 1), 101) << "more than one element was written";
    EXPECT_EQ(zurpm::getLittle16(buffer + 2), 555) << "a write changed the host's buffer";
}

TEST(BitOfWord, WriteChangesOnlyItsBit) {
    struct Row {
        int16_t value;
        uint16_t before;
        uint16_t after;
    };
    const Row rows[] = {{1, 0x0100, 0x0108}, {0, 0x010F, 0x0107}, {2, 0x010F, 0x0107},
                        {-1, 0xFFFF, 0xFFF7}, {1, 0x0108, 0x0108}};
    // Written as one element (7) or as the gate (10): either way only the bit changes.
    for (const int32_t command : {ZUR_CMD_WRITE_SINGLE, ZUR_CMD_WRITE})
    for (const char* address : {"039R000B03", "039L000B03", "039O000B03"}) {
        const PlcMemory memory = address[3] == 'R' ? PlcMemory::R : address[3] == 'L' ? PlcMemory::AI : PlcMemory::AQ;
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(address) + ": command " + std::to_string(command) + ", value " +
                         std::to_string(row.value) + " on " + std::to_string(row.before));
            Bench bench(service::oneCard, {card().plc(3)});
            ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
            bench.plant.plc(0, 3).setWord(memory, 10, row.before);
            GateAccess access = bench.gate(address, 6);
            access.count = 9;
            uint8_t buffer[4] = {0xC1, 0xC2, 0, 0};
            std::memcpy(buffer + 2, &row.value, 2);
            access.data = buffer;
            const GateAccess before = access;
            bench.plant->clearEvents();
            EXPECT_TRUE(transferLines(bench, command, access, ZUR_RESULT_OK).empty());
            EXPECT_EQ(bench.plant.plc(0, 3).word(memory, 10), row.after);
            EXPECT_EQ(std::memcmp(&before, &access, sizeof access), 0) << "the host's record changed";
            EXPECT_EQ(buffer[0], 0xC1) << "the host's buffer changed";
            ASSERT_EQ(bench.plant.datagramEvents().size(), 2u) << "not one read and one write";
            EXPECT_EQ(bench.plant.datagramEvents()[0].commandCode, 3);
            EXPECT_EQ(bench.plant.datagramEvents()[1].commandCode, 2);

            // Read back through the gate: the bit as 0 or 1.
            uint8_t read[4] = {};
            access.data = read;
            EXPECT_TRUE(transferLines(bench, ZUR_CMD_READ_SINGLE, access, ZUR_RESULT_OK).empty());
            EXPECT_EQ(zurpm::getLittle16(read + 2), (row.after >> 3) & 1);
        }
    }
}

TEST(BitOfWord, FailedReadSendsNoWrite) {
    Bench bench(service::oneCard, {card().plc(3)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    bench.plant.faults(0, 3).neverComplete = true;
    GateAccess access = bench.gate("039R000B03", 6);
    uint8_t buffer[4] = {0, 0, 1, 0};
    access.data = buffer;
    bench.plant->clearEvents();
    EXPECT_EQ(transferLines(bench, ZUR_CMD_WRITE_SINGLE, access, ZUR_RESULT_FAILED),
              (Lines{"32: ZURPM Error: Device 3 failed to respond", transmitFailed}));
    ASSERT_EQ(bench.plant.datagramEvents().size(), 1u);
    EXPECT_EQ(bench.plant.datagramEvents()[0].commandCode, 3) << "the one datagram was not the read";
}

TEST(BitOfWord, FailedWriteIsReported) {
    Bench bench(service::oneCard, {card().plc(3)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    bench.plant.plc(0, 3).setWord(PlcMemory::R, 10, 0x0100);
    GateAccess access = bench.gate("039R000B03", 6);
    uint8_t buffer[4] = {0, 0, 1, 0};
    access.data = buffer;
    // The read goes through; the card refuses what follows.
    bench.plant->onDatagram([&](const pcimemu::DatagramEvent& event) {
        if (event.commandCode == 3) bench.plant.faults(0, 3).completionStatus = 0x10;
    });
    EXPECT_EQ(transferLines(bench, ZUR_CMD_WRITE_SINGLE, access, ZUR_RESULT_FAILED),
              (Lines{"32: ZURPM Error: Process error occurred on write to device 3", transmitFailed}));
}

TEST(BitOfWord, CommandsSixAndTenCheckTheCountThenMoveOneValue) {
    Bench bench(service::oneCard, {card().plc(3)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    const auto refused = [](int32_t count) {
        return Lines{"32: ZURPM Error: Cannot transfer " + std::to_string(count) +
                         " elements of memory type 8 in one request",
                     transmitFailed};
    };
    // A stale count: refused before the buffer is looked at (the host gave none); any count one
    // request can carry moves the one value at bytes 2-3 of a 4-byte buffer.
    struct Row {
        int32_t command;
        int32_t count;
        Lines lines;
        size_t datagrams;
        uint8_t byte2;   // of the host's buffer after the command
        uint16_t word;   // %R00011 after the command
    } rows[] = {
        {ZUR_CMD_WRITE, -19231, refused(-19231), 0, 0, 0x0108},
        {ZUR_CMD_WRITE, 0, refused(0), 0, 0, 0x0108},
        {ZUR_CMD_WRITE, 65, refused(65), 0, 0, 0x0108},
        {ZUR_CMD_READ, -19231, refused(-19231), 0, 0, 0x0108},
        {ZUR_CMD_READ, 65, refused(65), 0, 0, 0x0108},
        {ZUR_CMD_READ, 9, {}, 1, 1, 0x0108},
        {ZUR_CMD_WRITE, 9, {}, 2, 0, 0x0100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("command " + std::to_string(row.command) + ", count " + std::to_string(row.count));
        bench.plant.plc(0, 3).setWord(PlcMemory::R, 10, 0x0108);
        GateAccess access = bench.gate("039R000B03", 6);
        access.count = row.count;
        const size_t size = row.lines.empty() ? 4 : 0;
        const auto buffer = std::make_unique<uint8_t[]>(size);  // exactly what the host gave
        if (size == 4) buffer[0] = 0xC1;
        access.data = buffer.get();
        bench.plant->clearEvents();
        EXPECT_EQ(transferLines(bench, row.command, access, row.lines.empty() ? ZUR_RESULT_OK : ZUR_RESULT_FAILED),
                  row.lines);
        EXPECT_EQ(bench.plant.datagramEvents().size(), row.datagrams);
        EXPECT_EQ(bench.plant.plc(0, 3).word(PlcMemory::R, 10), row.word);
        EXPECT_EQ(access.count, row.count) << "the host's record changed";
        if (size == 4) {
            EXPECT_EQ(buffer[0], 0xC1) << "more than the one value landed in the buffer";
            EXPECT_EQ(buffer[2], row.byte2);
        }
    }
}

TEST(Writes, AnswerDoneOnlyWhenTheCardCompleted) {
    Bench bench(service::oneCard, {card().plc(3)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    GateAccess access = bench.gate("039R0001", 0, 3);
    uint8_t buffer[6] = {1, 0, 2, 0, 3, 0};
    access.data = buffer;
    EXPECT_TRUE(transferLines(bench, ZUR_CMD_WRITE, access, ZUR_RESULT_OK).empty());
    EXPECT_EQ(bench.plant.plc(0, 3).word(PlcMemory::R, 2), 3);
    const uint8_t same[6] = {1, 0, 2, 0, 3, 0};
    EXPECT_EQ(std::memcmp(buffer, same, 6), 0) << "a write changed the host's buffer";

    bench.plant.faults(0, 3).completionStatus = 0x00;
    EXPECT_EQ(transferLines(bench, ZUR_CMD_WRITE, access, ZUR_RESULT_FAILED),
              (Lines{"32: ZURPM Error: Unknown error 0 occurred on write to device 3", transmitFailed}));
}

TEST(Reads, CountNoPacketCanCarryIsRefusedBeforeTheCard) {
    Bench bench(service::oneCard, {card().plc(3)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    GateAccess access = bench.gate("039R0001", 0, 64);
    uint8_t buffer[512] = {};
    access.data = buffer;
    bench.plant->clearEvents();
    for (int32_t count : {65, 1000, 0, -3}) {
        access.count = count;
        const Lines lines = transferLines(bench, ZUR_CMD_READ, access, ZUR_RESULT_FAILED);
        ASSERT_EQ(lines.size(), 2u) << "count " << count;
        EXPECT_EQ(lines[1], transmitFailed);
    }
    EXPECT_TRUE(bench.plant.datagramEvents().empty()) << "a refused count was sent";
}

// ---- Every memory type and width, end to end --------------------------------------------------

enum class Kind { words, floats, points, bitOfWord, globalWords, globalFloats, globalPoints };

struct Gate {
    const char* address;  // base 16
    int32_t valueType;
    int32_t blockSize;    // 0: a single gate (command 3)
    Kind kind;
    PlcMemory memory;     // PLC gates
    uint32_t first;       // word (floats: first register), point, or bit of the word; table element
    uint32_t bit = 0;     // bit of a word
};

constexpr uint8_t plcStation = 3;
constexpr uint8_t blockStation = 5;

const Gate gates[] = {
    {"039R000B", 0, 0, Kind::words, PlcMemory::R, 10},
    {"039L0005", 1, 0, Kind::words, PlcMemory::AI, 4},
    {"039O0040", 0, 0, Kind::words, PlcMemory::AQ, 63},
    {"039R0001", 0, 64, Kind::words, PlcMemory::R, 0},
    {"039L0011", 0, 7, Kind::words, PlcMemory::AI, 16},
    {"039O0003", 0, 2, Kind::words, PlcMemory::AQ, 2},
    {"039F0005", 3, 0, Kind::floats, PlcMemory::R, 4},
    {"039F0001", 0, 32, Kind::floats, PlcMemory::R, 0},
    {"039I000E", 6, 0, Kind::points, PlcMemory::I, 13},
    {"039Q0001", 6, 0, Kind::points, PlcMemory::Q, 0},
    {"039T0100", 6, 0, Kind::points, PlcMemory::T, 255},
    {"039M0008", 6, 0, Kind::points, PlcMemory::M, 7},
    {"039A0003", 6, 0, Kind::points, PlcMemory::SA, 2},
    {"039B0004", 6, 0, Kind::points, PlcMemory::SB, 3},
    {"039C0005", 6, 0, Kind::points, PlcMemory::SC, 4},
    {"039D0006", 6, 0, Kind::points, PlcMemory::S, 5},
    {"039G0010", 6, 0, Kind::points, PlcMemory::G, 15},
    {"039I0001", 6, 1024, Kind::points, PlcMemory::I, 0},
    {"039Q0009", 6, 136, Kind::points, PlcMemory::Q, 8},
    {"039T0011", 6, 100, Kind::points, PlcMemory::T, 16},
    {"039M0101", 6, 256, Kind::points, PlcMemory::M, 256},
    {"039A0001", 6, 16, Kind::points, PlcMemory::SA, 0},
    {"039B0009", 6, 5, Kind::points, PlcMemory::SB, 8},
    {"039C0001", 6, 128, Kind::points, PlcMemory::SC, 0},
    {"039D0011", 6, 8, Kind::points, PlcMemory::S, 16},
    {"039G0001", 6, 512, Kind::points, PlcMemory::G, 0},
    {"039R000B0F", 6, 0, Kind::bitOfWord, PlcMemory::R, 10, 15},
    {"039L000200", 6, 0, Kind::bitOfWord, PlcMemory::AI, 1, 0},
    {"039O000407", 6, 0, Kind::bitOfWord, PlcMemory::AQ, 3, 7},
    {"05GA0004", 0, 0, Kind::globalWords, PlcMemory::R, 3},
    {"05GA0001", 0, 64, Kind::globalWords, PlcMemory::R, 0},
    {"05GA0003", 3, 0, Kind::globalFloats, PlcMemory::R, 2},
    {"05GD000E", 6, 0, Kind::globalPoints, PlcMemory::R, 13},
    {"05GD0011", 6, 0, Kind::globalPoints, PlcMemory::R, 16},
    {"05GD0009", 6, 120, Kind::globalPoints, PlcMemory::R, 8},
    {"05GD0001", 6, 128, Kind::globalPoints, PlcMemory::R, 0},
};

// The elements of one transfer: values as 32-bit numbers (points 0 or 1).
uint32_t patternValue(uint32_t seed, uint32_t index, Kind kind) {
    const uint32_t mixed = (seed * 2654435761u) ^ (index * 40503u + 0x9E37u);
    switch (kind) {
    case Kind::words:
    case Kind::globalWords: return mixed & 0xFFFF;
    case Kind::floats:
    case Kind::globalFloats: return mixed;
    default: return (mixed >> 7) & 1;
    }
}

bool single(const Gate& gate) { return gate.blockSize == 0; }
int32_t elements(const Gate& gate) { return single(gate) ? 1 : gate.blockSize; }

// The host's buffer with the given values, laid out as the host lays them out.
std::vector<uint8_t> hostBuffer(const Gate& gate, const std::vector<uint32_t>& values) {
    std::vector<uint8_t> buffer(520, 0);
    const bool wide = gate.kind == Kind::floats || gate.kind == Kind::globalFloats;
    const bool point = gate.kind == Kind::points || gate.kind == Kind::globalPoints || gate.kind == Kind::bitOfWord;
    if (single(gate)) {
        if (wide) std::memcpy(buffer.data(), &values[0], 4);
        else zurpm::putLittle16(buffer.data() + 2, static_cast<uint16_t>(values[0]));
        return buffer;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        if (point) {
            if (values[i]) buffer[i / 8] = static_cast<uint8_t>(buffer[i / 8] | (1u << (i % 8)));
        } else if (wide) {
            std::memcpy(buffer.data() + 4 * i, &values[i], 4);
        } else {
            zurpm::putLittle16(buffer.data() + 2 * i, static_cast<uint16_t>(values[i]));
        }
    }
    return buffer;
}

// What the plant holds for element i of the gate.
uint32_t plantValue(pcimemu::VirtualPlant& plant, const Gate& gate, uint32_t i) {
    auto table = [&](uint32_t byte) { return plant.ioBlock(0, blockStation).data(byte); };
    pcimemu::Plc& plc = plant.plc(0, plcStation);
    switch (gate.kind) {
    case Kind::words: return plc.word(gate.memory, gate.first + i);
    case Kind::floats:
        return plc.word(gate.memory, gate.first + 2 * i) | (uint32_t{plc.word(gate.memory, gate.first + 2 * i + 1)} << 16);
    case Kind::points: return plc.point(gate.memory, gate.first + i) ? 1 : 0;
    case Kind::bitOfWord: return (plc.word(gate.memory, gate.first) >> gate.bit) & 1;
    case Kind::globalWords: return table(2 * (gate.first + i)) | (uint32_t{table(2 * (gate.first + i) + 1)} << 8);
    case Kind::globalFloats: {
        uint32_t value = 0;
        for (uint32_t b = 0; b < 4; ++b) value |= uint32_t{table(4 * (gate.first + i) + b)} << (8 * b);
        return value;
    }
    case Kind::globalPoints: {
        const uint32_t point = gate.first + i;
        return (table(point / 8) >> (point % 8)) & 1;
    }
    }
    return 0;
}

void setPlantValue(pcimemu::VirtualPlant& plant, const Gate& gate, uint32_t i, uint32_t value) {
    pcimemu::IoBlock& block = plant.ioBlock(0, blockStation);
    pcimemu::Plc& plc = plant.plc(0, plcStation);
    switch (gate.kind) {
    case Kind::words: plc.setWord(gate.memory, gate.first + i, static_cast<uint16_t>(value)); return;
    case Kind::floats:
        plc.setWord(gate.memory, gate.first + 2 * i, static_cast<uint16_t>(value));
        plc.setWord(gate.memory, gate.first + 2 * i + 1, static_cast<uint16_t>(value >> 16));
        return;
    case Kind::points: plc.setPoint(gate.memory, gate.first + i, value != 0); return;
    case Kind::bitOfWord: {
        const uint16_t word = plc.word(gate.memory, gate.first);
        const uint16_t mask = static_cast<uint16_t>(1u << gate.bit);
        plc.setWord(gate.memory, gate.first, static_cast<uint16_t>(value ? word | mask : word & ~mask));
        return;
    }
    case Kind::globalWords:
        block.setData(2 * (gate.first + i), static_cast<uint8_t>(value));
        block.setData(2 * (gate.first + i) + 1, static_cast<uint8_t>(value >> 8));
        return;
    case Kind::globalFloats:
        for (uint32_t b = 0; b < 4; ++b) block.setData(4 * (gate.first + i) + b, static_cast<uint8_t>(value >> (8 * b)));
        return;
    case Kind::globalPoints: {
        const uint32_t point = gate.first + i;
        const uint8_t byte = block.data(point / 8);
        const uint8_t mask = static_cast<uint8_t>(1u << (point % 8));
        block.setData(point / 8, static_cast<uint8_t>(value ? byte | mask : byte & ~mask));
        return;
    }
    }
}

pcimemu::PlcSizes roomyPlc() {
    pcimemu::PlcSizes sizes;
    sizes.I = sizes.Q = sizes.T = sizes.M = sizes.SA = sizes.SB = sizes.SC = sizes.S = sizes.G = 2048;
    return sizes;
}

TEST(EndToEnd, EveryMemoryTypeAndWidthIsWrittenAndRead) {
    Bench bench(service::oneCard, {card(0xCC00, 0x3E0, 31).plc(plcStation, roomyPlc()).ioBlock(blockStation)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    uint32_t seed = 1;
    for (const Gate& gate : gates) {
        SCOPED_TRACE(std::string(gate.address) + " x " + std::to_string(elements(gate)));
        GateAccess access = bench.gate(gate.address, gate.valueType, gate.blockSize);
        const int32_t count = elements(gate);
        const int32_t writeCommand = single(gate) ? ZUR_CMD_WRITE_SINGLE : ZUR_CMD_WRITE;
        const int32_t readCommand = single(gate) ? ZUR_CMD_READ_SINGLE : ZUR_CMD_READ;

        // Written by the host, found in the plant; the neighbours stay as they were.
        std::vector<uint32_t> values;
        for (int32_t i = 0; i < count; ++i) values.push_back(patternValue(++seed, uint32_t(i), gate.kind));
        std::vector<uint8_t> buffer = hostBuffer(gate, values);
        access.data = buffer.data();
        EXPECT_TRUE(transferLines(bench, writeCommand, access, ZUR_RESULT_OK).empty());
        zurpm::virt::advance(25);  // block outputs reach the block at its next bus scan
        for (int32_t i = 0; i < count; ++i)
            ASSERT_EQ(plantValue(bench.plant, gate, uint32_t(i)), values[size_t(i)]) << "written element " << i;

        // Set in the plant, read by the host.
        for (int32_t i = 0; i < count; ++i) {
            values[size_t(i)] = patternValue(++seed, uint32_t(i), gate.kind);
            setPlantValue(bench.plant, gate, uint32_t(i), values[size_t(i)]);
        }
        zurpm::virt::advance(25);  // block inputs reach the card's table at its next bus scan
        std::vector<uint8_t> read(buffer.size(), 0);
        access.data = read.data();
        access.count = count;
        EXPECT_TRUE(transferLines(bench, readCommand, access, ZUR_RESULT_OK).empty());
        const std::vector<uint8_t> expected = hostBuffer(gate, values);
        for (size_t byte = 0; byte < read.size(); ++byte)
            ASSERT_EQ(read[byte], expected[byte]) << "host buffer byte " << byte << " after the read";
    }
}

}  // namespace
