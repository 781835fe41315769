// The card transport: datagrams with every way they fail, their time-outs on the virtual clock,
// the bytes of the command block, and the global-data tables under the lockout.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "cards/card_config.h"
#include "hw/window.h"
#include "service_support.h"

namespace {

using pcimemu::card;
using service::Bench;
using service::Lines;

const std::string transmitFailed = "32: ZURPM Error: Error transmitting request packet";

// Card 1 (own device 31) with PLCs 3 and 7 and I/O block 5 on its LAN, started.
struct Started : Bench {
    explicit Started(const std::string& config = service::oneCard)
        : Bench(config, {card(0xCC00, 0x3E0, 31).plc(3).plc(7).ioBlock(5)}) {
        EXPECT_EQ(start(), ZUR_RESULT_OK);
        EXPECT_TRUE(plant->online(0));
    }
    // Lets the card scan its bus: faults of the LAN show, block data reach the tables.
    void scan() { zurpm::virt::advance(25); }
    uint8_t tableByte(uint8_t device, uint32_t byte) {
        return plant.readByte(0, zurpm::window::inputTableOffset(device) + byte);
    }
};

// One transfer and what the host saw of it.
struct Outcome {
    int32_t result;
    Lines lines;
    uint32_t tookMs;
};

Outcome transfer(Bench& bench, int32_t command, GateAccess& access) {
    const size_t mark = bench.mark();
    const uint32_t from = zurpm::virt::tickCount();
    const int32_t result = bench.call(command, &access);
    return {result, bench.lines(mark), service::elapsed(from, zurpm::virt::tickCount())};
}

struct DatagramFailure {
    const char* name;
    std::function<void(Started&)> fault;
    uint8_t station;
    int32_t command;
    Lines lines;  // before "Error transmitting request packet"; empty: the transfer succeeds
};

const DatagramFailure datagramFailures[] = {
    {"to the card's own device", [](Started&) {}, 31, ZUR_CMD_READ_SINGLE,
     {"32: ZURPM Error: Datagram may not be sent to host PCIM\n"}},
    {"write to the card's own device", [](Started&) {}, 31, ZUR_CMD_WRITE_SINGLE,
     {"32: ZURPM Error: Datagram may not be sent to host PCIM\n"}},
    {"device not on the LAN", [](Started& s) { s.plant.faults(0, 3).absent = true; }, 3, ZUR_CMD_READ_SINGLE,
     {"32: ZURPM Error: Device 3 not found on network"}},
    {"device never answers", [](Started& s) { s.plant.faults(0, 3).neverComplete = true; }, 3,
     ZUR_CMD_READ_SINGLE, {"32: ZURPM Error: Device 3 failed to respond"}},
    {"syntax error on a read", [](Started& s) { s.plant.faults(0, 3).completionStatus = 0x08; }, 3,
     ZUR_CMD_READ_SINGLE, {"32: ZURPM Error: Syntax error occurred on read from device 3"}},
    {"syntax error on a write", [](Started& s) { s.plant.faults(0, 3).completionStatus = 0x08; }, 3,
     ZUR_CMD_WRITE_SINGLE, {"32: ZURPM Error: Syntax error occurred on write to device 3"}},
    {"syntax and process error: syntax wins", [](Started& s) { s.plant.faults(0, 3).completionStatus = 0x18; },
     3, ZUR_CMD_READ_SINGLE, {"32: ZURPM Error: Syntax error occurred on read from device 3"}},
    {"process error on a read", [](Started& s) { s.plant.faults(0, 7).completionStatus = 0x10; }, 7,
     ZUR_CMD_READ_SINGLE, {"32: ZURPM Error: Process error occurred on read from device 7"}},
    {"process error on a write", [](Started& s) { s.plant.faults(0, 7).completionStatus = 0x10; }, 7,
     ZUR_CMD_WRITE_SINGLE, {"32: ZURPM Error: Process error occurred on write to device 7"}},
    {"status 0x20", [](Started& s) { s.plant.faults(0, 7).completionStatus = 0x20; }, 7, ZUR_CMD_READ_SINGLE,
     {"32: ZURPM Error: Unknown error 32 occurred on read from device 7"}},
    {"status 0 on a write", [](Started& s) { s.plant.faults(0, 7).completionStatus = 0x00; }, 7,
     ZUR_CMD_WRITE_SINGLE, {"32: ZURPM Error: Unknown error 0 occurred on write to device 7"}},
    {"completed and syntax error: completed wins", [](Started& s) { s.plant.faults(0, 3).completionStatus = 0x0C; },
     3, ZUR_CMD_READ_SINGLE, {}},
    {"completed with every error bit", [](Started& s) { s.plant.faults(0, 3).completionStatus = 0x1C; }, 3,
     ZUR_CMD_WRITE_SINGLE, {}},
    {"a reply longer than the reply area", [](Started& s) { s.plant.faults(0, 3).replyLength = 135; }, 3,
     ZUR_CMD_READ_SINGLE, {"32: ZURPM Error: Reply of 135 bytes from device 3 is too long"}},
    {"a reply short of its word", [](Started& s) { s.plant.faults(0, 3).replyLength = 7; }, 3,
     ZUR_CMD_READ_SINGLE, {"32: ZURPM Error: Reply of 7 bytes does not hold the 8 bytes requested"}},
};

TEST(Datagram, EveryFailureIsReportedAndLeavesTheHostBufferAlone) {
    for (const DatagramFailure& row : datagramFailures) {
        SCOPED_TRACE(row.name);
        Started bench;
        if (row.station != 31) bench.plant.plc(0, row.station).setWord(pcimemu::PlcMemory::R, 10, 0x1234);
        row.fault(bench);
        bench.scan();
        const std::string address = (row.station < 10 ? "0" : "") + std::to_string(row.station) + "9R000B";
        GateAccess access = bench.gate(address.c_str(), 0);
        uint8_t buffer[4] = {0xA1, 0xA2, 0xA3, 0xA4};
        access.data = buffer;
        const Outcome outcome = transfer(bench, row.command, access);
        if (row.lines.empty()) {
            EXPECT_EQ(outcome.result, ZUR_RESULT_OK);
            EXPECT_TRUE(outcome.lines.empty()) << outcome.lines.front();
            if (row.command == ZUR_CMD_READ_SINGLE) {
                EXPECT_EQ(zurpm::getLittle16(buffer + 2), 0x1234);
            }
            continue;
        }
        Lines expected = row.lines;
        expected.push_back(transmitFailed);
        EXPECT_EQ(outcome.result, ZUR_RESULT_FAILED);
        EXPECT_EQ(outcome.lines, expected);
        const uint8_t untouched[4] = {0xA1, 0xA2, 0xA3, 0xA4};
        EXPECT_EQ(std::memcmp(buffer, untouched, 4), 0) << "a failed transfer changed the host's buffer";
    }
}

TEST(Datagram, RefusalsSendNothingToTheCard) {
    for (uint8_t station : {uint8_t{31}, uint8_t{4}}) {  // the card itself; a device not on the LAN
        Started bench;
        bench.plant->clearEvents();
        const std::string address = (station < 10 ? "0" : "") + std::to_string(station) + "9R0001";
        GateAccess access = bench.gate(address.c_str(), 0);
        uint8_t buffer[4] = {};
        access.data = buffer;
        EXPECT_EQ(transfer(bench, ZUR_CMD_READ, access).result, ZUR_RESULT_FAILED);
        EXPECT_TRUE(bench.plant.datagramEvents().empty()) << "station " << int(station);
        EXPECT_EQ(bench.plant.readByte(0, zurpm::window::commandStatus) & 3, 0) << "station " << int(station);
    }
}

TEST(Datagram, AbsentDeviceListsThePresenceBytesOnTheConsole) {
    Started bench;
    bench.plant.faults(0, 3).absent = true;
    bench.scan();
    GateAccess access = bench.gate("039R0001", 0);
    uint8_t buffer[4] = {};
    access.data = buffer;
    const std::string before = zurpm::virt::consoleText();
    ASSERT_EQ(transfer(bench, ZUR_CMD_READ, access).result, ZUR_RESULT_FAILED);
    std::string expected = "PCIM message: Listing of active devices:\t";
    for (int device = 0; device < 32; ++device)
        expected += (device == 5 || device == 7 || device == 31) ? "1 " : "0 ";
    expected += "\n\n";
    EXPECT_EQ(zurpm::virt::consoleText().substr(before.size()), expected);
}

TEST(Datagram, CommandBlockAndRequestBytes) {
    struct Row {
        const char* name;
        const char* address;
        int32_t valueType;
        int32_t blockSize;
        int32_t command;
        uint8_t commandCode;
        std::vector<uint8_t> params;  // the bytes the driver sets
        std::vector<uint8_t> request;
    };
    const Row rows[] = {
        {"one register", "039R000B", 0, 0, ZUR_CMD_READ_SINGLE, 3, {3, 0x20, 30, 31, 0, 6, 0}, {0, 8, 0, 10, 0, 1}},
        {"one float", "039F000B", 3, 0, ZUR_CMD_READ_SINGLE, 3, {3, 0x20, 30, 31, 0, 6, 0}, {0, 8, 0, 10, 0, 2}},
        {"256 inputs in byte mode", "039I0041", 6, 256, ZUR_CMD_READ, 3, {3, 0x20, 30, 31, 0, 6, 0},
         {0, 16, 0, 8, 0, 32}},
        {"128 inputs in bit mode", "039I0041", 6, 128, ZUR_CMD_READ, 3, {3, 0x20, 30, 31, 0, 6, 0},
         {0, 70, 0, 64, 0, 128}},
        {"write of a register", "079O0002", 0, 0, ZUR_CMD_WRITE_SINGLE, 2, {7, 0x20, 32, 0, 8},
         {0, 12, 0, 1, 0, 1, 0xEF, 0xBE}},
        {"write of a point", "039Q000E", 6, 0, ZUR_CMD_WRITE_SINGLE, 2, {3, 0x20, 32, 0, 7},
         {0, 72, 0, 13, 0, 1, 0x20}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Started bench;
        GateAccess access = bench.gate(row.address, row.valueType, row.blockSize);
        uint8_t buffer[256] = {};
        zurpm::putLittle16(buffer + 2, row.command == ZUR_CMD_WRITE_SINGLE && row.valueType == 6 ? 1 : 0xBEEF);
        access.data = buffer;
        bench.plant->clearEvents();
        ASSERT_EQ(transfer(bench, row.command, access).result, ZUR_RESULT_OK);
        ASSERT_EQ(bench.plant.datagramEvents().size(), 1u);
        const pcimemu::DatagramEvent& event = bench.plant.datagramEvents().front();
        EXPECT_EQ(event.commandCode, row.commandCode);
        EXPECT_EQ(std::vector<uint8_t>(event.params.begin(), event.params.begin() + row.params.size()), row.params);
        EXPECT_EQ(event.request, row.request);
    }
}

TEST(Datagram, ClearToTransmitWaitsForTheCardStillBusy) {
    Started bench;
    bench.plant.faults(0, 3).neverComplete = true;
    GateAccess stuck = bench.gate("039R0001", 0);
    GateAccess other = bench.gate("079R0001", 0);
    uint8_t buffer[4] = {};
    stuck.data = other.data = buffer;

    const Outcome first = transfer(bench, ZUR_CMD_READ, stuck);
    EXPECT_EQ(first.lines, (Lines{"32: ZURPM Error: Device 3 failed to respond", transmitFailed}));
    EXPECT_GT(first.tookMs, 3000u) << "the reply time-out of 3000 ms ended early";
    EXPECT_LE(first.tookMs, 3003u) << "the reply time-out of 3000 ms ended late";

    const size_t datagrams = bench.plant.datagramEvents().size();
    const Outcome second = transfer(bench, ZUR_CMD_READ, other);
    EXPECT_EQ(second.result, ZUR_RESULT_FAILED);
    EXPECT_EQ(second.lines, (Lines{"32: ZURPM Error: Timeout waiting for clear to transmit", transmitFailed}));
    EXPECT_GT(second.tookMs, 150u) << "the access time-out of 150 ms ended early";
    EXPECT_LE(second.tookMs, 152u) << "the access time-out of 150 ms ended late";
    EXPECT_EQ(bench.plant.datagramEvents().size(), datagrams) << "a command was written to a busy card";
}

TEST(Datagram, TimeOutsHoldAcrossTheWrapOfTheTickCount) {
    Started bench;
    bench.plant.faults(0, 3).neverComplete = true;
    GateAccess stuck = bench.gate("039R0001", 0);
    uint8_t buffer[4] = {};
    stuck.data = buffer;

    zurpm::virt::setTickCount(0xFFFFFF00u);
    const Outcome reply = transfer(bench, ZUR_CMD_READ, stuck);
    EXPECT_EQ(reply.lines, (Lines{"32: ZURPM Error: Device 3 failed to respond", transmitFailed}));
    EXPECT_GT(reply.tookMs, 3000u);
    EXPECT_LE(reply.tookMs, 3003u);

    zurpm::virt::setTickCount(0xFFFFFFC0u);
    const Outcome access = transfer(bench, ZUR_CMD_READ, stuck);
    EXPECT_EQ(access.lines, (Lines{"32: ZURPM Error: Timeout waiting for clear to transmit", transmitFailed}));
    EXPECT_GT(access.tookMs, 150u);
    EXPECT_LE(access.tookMs, 152u);
}

TEST(Datagram, TimeOutsFromTheConfigurationFile) {
    // Reply time-out 1.5 s, access time-out 40 ms.
    Started bench("BASE=16\n1=CC00;3E0;15;16;40\n");
    bench.plant.faults(0, 3).neverComplete = true;
    GateAccess stuck = bench.gate("039R0001", 0);
    uint8_t buffer[4] = {};
    stuck.data = buffer;
    const Outcome reply = transfer(bench, ZUR_CMD_READ, stuck);
    EXPECT_GT(reply.tookMs, 1500u);
    EXPECT_LE(reply.tookMs, 1503u);
    const Outcome access = transfer(bench, ZUR_CMD_READ, stuck);
    EXPECT_GT(access.tookMs, 40u);
    EXPECT_LE(access.tookMs, 42u);
}

TEST(Datagram, ZeroTimeOutsWaitUntilTheCardAnswers) {
    Started bench("BASE=16\n1=CC00;3E0;0;16;0\n");
    bench.plant.plc(0, 3).setWord(pcimemu::PlcMemory::R, 0, 4321);
    bench.plant.faults(0, 3).neverComplete = true;
    GateAccess gate = bench.gate("039R0001", 0);
    uint8_t buffer[4] = {};
    gate.data = buffer;
    bench.schedule.at(zurpm::virt::tickCount() + 20000, [&] { bench.plant.faults(0, 3).neverComplete = false; });
    const Outcome reply = transfer(bench, ZUR_CMD_READ, gate);
    EXPECT_EQ(reply.result, ZUR_RESULT_OK) << (reply.lines.empty() ? "" : reply.lines.front());
    EXPECT_GE(reply.tookMs, 20000u) << "no limit, yet the wait ended before the card answered";
    EXPECT_EQ(zurpm::getLittle16(buffer + 2), 4321);
}

TEST(Datagram, ZeroAccessTimeOutWaitsForClearToTransmit) {
    // Reply time-out 100 ms, no limit on the command interface.
    Started bench("BASE=16\n1=CC00;3E0;1;16;0\n");
    bench.plant.plc(0, 7).setWord(pcimemu::PlcMemory::R, 0, 777);
    bench.plant.faults(0, 3).neverComplete = true;
    GateAccess stuck = bench.gate("039R0001", 0);
    GateAccess other = bench.gate("079R0001", 0);
    uint8_t buffer[4] = {};
    stuck.data = other.data = buffer;
    ASSERT_EQ(transfer(bench, ZUR_CMD_READ, stuck).result, ZUR_RESULT_FAILED);
    bench.schedule.at(zurpm::virt::tickCount() + 8000, [&] { bench.plant.faults(0, 3).neverComplete = false; });
    const Outcome second = transfer(bench, ZUR_CMD_READ, other);
    EXPECT_EQ(second.result, ZUR_RESULT_OK) << (second.lines.empty() ? "" : second.lines.front());
    EXPECT_GE(second.tookMs, 8000u);
    EXPECT_EQ(zurpm::getLittle16(buffer + 2), 777);
}

TEST(Datagram, NegativeTimeOutsExpireAtOnce) {
    Started bench("BASE=16\n1=CC00;3E0;-1;16;-1\n");
    GateAccess word = bench.gate("039R0001", 0);
    GateAccess global = bench.gate("05GA0001", 0);
    uint8_t buffer[4] = {};
    word.data = global.data = buffer;
    const Outcome reply = transfer(bench, ZUR_CMD_READ, word);
    EXPECT_EQ(reply.lines, (Lines{"32: ZURPM Error: Device 3 failed to respond", transmitFailed}));
    EXPECT_LE(reply.tookMs, 5u) << "a negative time-out was waited for";
    const Outcome lockout = transfer(bench, ZUR_CMD_READ, global);
    EXPECT_EQ(lockout.lines, (Lines{"32: ZURPM Error: Lockout table malfunction", transmitFailed}));
    EXPECT_LE(lockout.tookMs, 5u) << "a negative time-out was waited for";
    // A datagram that the card completes within the first wait is not failed.
    bench.scan();
    bench.plant.faults(0, 7).replyDelayMs = 0;
    bench.plant.plc(0, 7).setWord(pcimemu::PlcMemory::R, 0, 707);
    GateAccess quick = bench.gate("079R0001", 0);
    quick.data = buffer;
    EXPECT_EQ(transfer(bench, ZUR_CMD_READ, quick).lines, Lines{});
    EXPECT_EQ(zurpm::getLittle16(buffer + 2), 707);
}

// ---- Global data ------------------------------------------------------------------------------

TEST(GlobalData, WordsOfAnotherDeviceAreReadFromItsInputTable) {
    Started bench;
    const uint8_t data[] = {0x11, 0x22, 0x33, 0x44};
    for (uint32_t i = 0; i < 4; ++i) bench.plant.ioBlock(0, 5).setData(6 + i, data[i]);
    bench.scan();
    GateAccess access = bench.gate("05GA0004", 0, 2);  // words 3 and 4: table bytes 6 to 9
    uint8_t buffer[4] = {};
    access.data = buffer;
    bench.plant->clearEvents();
    const Outcome outcome = transfer(bench, ZUR_CMD_READ, access);
    ASSERT_EQ(outcome.result, ZUR_RESULT_OK) << outcome.lines.front();
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), std::vector<uint8_t>(data, data + 4));
    EXPECT_TRUE(bench.plant.datagramEvents().empty()) << "global data went out as a datagram";
    EXPECT_EQ(bench.plant.readByte(0, zurpm::window::lockoutRequest), 0) << "the tables were not given back";
}

TEST(GlobalData, WordsWrittenReachTheBlock) {
    Started bench;
    GateAccess access = bench.gate("05GA0004", 0, 2);
    uint8_t buffer[4] = {0x55, 0x66, 0x77, 0x88};
    access.data = buffer;
    ASSERT_EQ(transfer(bench, ZUR_CMD_WRITE, access).result, ZUR_RESULT_OK);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(bench.tableByte(5, 6 + i), buffer[i]) << "table byte " << 6 + i;
    EXPECT_EQ(bench.tableByte(5, 5), 0);
    EXPECT_EQ(bench.tableByte(5, 10), 0);
    bench.scan();
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(bench.plant.ioBlock(0, 5).data(6 + i), buffer[i]) << "block byte " << 6 + i;
    EXPECT_EQ(bench.plant.readByte(0, zurpm::window::lockoutRequest), 0);
}

TEST(GlobalData, OnePointChangesOnlyItsBit) {
    struct Row {
        uint16_t value;
        uint8_t before;
        uint8_t after;
    };
    // Offset 13: bit 5 of table byte 1.
    const Row rows[] = {{1, 0x81, 0xA1}, {0, 0xFF, 0xDF}, {0, 0x81, 0x81}, {1, 0xA1, 0xA1}};
    for (const Row& row : rows) {
        SCOPED_TRACE("value " + std::to_string(row.value) + " on " + std::to_string(row.before));
        Started bench;
        bench.plant.ioBlock(0, 5).setData(1, row.before);
        bench.scan();
        GateAccess access = bench.gate("05GD000E", 6);
        uint8_t buffer[4] = {};
        zurpm::putLittle16(buffer + 2, row.value);
        access.data = buffer;
        ASSERT_EQ(transfer(bench, ZUR_CMD_WRITE_SINGLE, access).result, ZUR_RESULT_OK);
        EXPECT_EQ(bench.tableByte(5, 1), row.after);
        EXPECT_EQ(bench.tableByte(5, 0), 0);
        EXPECT_EQ(bench.tableByte(5, 2), 0);

        uint8_t read[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        access.data = read;
        ASSERT_EQ(transfer(bench, ZUR_CMD_READ_SINGLE, access).result, ZUR_RESULT_OK);
        EXPECT_EQ(zurpm::getLittle16(read + 2), (row.after >> 5) & 1);
    }
}

TEST(GlobalData, BlockOfPointsKeepsTheOtherBitsOfItsLastByte) {
    Started bench;
    bench.plant.ioBlock(0, 5).setData(1, 0xF0);
    bench.plant.ioBlock(0, 5).setData(2, 0xAA);
    bench.scan();
    GateAccess four = bench.gate("05GD0009", 6, 4);  // points 8 to 11: low half of table byte 1
    uint8_t buffer[4] = {0x05};
    four.data = buffer;
    ASSERT_EQ(transfer(bench, ZUR_CMD_WRITE, four).result, ZUR_RESULT_OK);
    EXPECT_EQ(bench.tableByte(5, 1), 0xF5);
    EXPECT_EQ(bench.tableByte(5, 2), 0xAA);

    GateAccess sixteen = bench.gate("05GD0009", 6, 16);
    uint8_t read[4] = {};
    sixteen.data = read;
    ASSERT_EQ(transfer(bench, ZUR_CMD_READ, sixteen).result, ZUR_RESULT_OK);
    EXPECT_EQ(read[0], 0xF5);
    EXPECT_EQ(read[1], 0xAA);
}

TEST(GlobalData, OwnTableNeedsNoPresence) {
    Started bench;
    GateAccess own = bench.gate("31GA0001", 0, 4);  // the card's own device
    uint8_t buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    own.data = buffer;
    bench.plant.writeByte(0, zurpm::window::presenceOffset(31), 0);
    ASSERT_EQ(transfer(bench, ZUR_CMD_WRITE, own).result, ZUR_RESULT_OK);
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(bench.plant.readByte(0, zurpm::window::ownOutputTable + i), buffer[i]) << "own byte " << i;

    for (uint32_t i = 0; i < 8; ++i) bench.plant.writeByte(0, zurpm::window::ownOutputTable + i, uint8_t(0x90 + i));
    uint8_t read[8] = {};
    own.data = read;
    bench.plant.writeByte(0, zurpm::window::presenceOffset(31), 0);
    ASSERT_EQ(transfer(bench, ZUR_CMD_READ, own).result, ZUR_RESULT_OK);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(read[i], 0x90 + i) << "own byte " << i;
}

TEST(GlobalData, AnotherDeviceNeedsItsPresenceByte) {
    Started bench;
    bench.plant.faults(0, 5).absent = true;
    bench.scan();
    GateAccess access = bench.gate("05GA0001", 0);
    uint8_t buffer[4] = {};
    access.data = buffer;
    const Outcome outcome = transfer(bench, ZUR_CMD_READ, access);
    EXPECT_EQ(outcome.lines, (Lines{"32: ZURPM Error: Device 5 not found on network", transmitFailed}));
    EXPECT_EQ(bench.plant.readByte(0, zurpm::window::lockoutRequest), 0) << "the lockout was asked for";
}

TEST(GlobalData, LockoutNeverGrantedIsReportedAndWithdrawn) {
    Started bench;
    bench.plant.faults(0).lockoutNeverGranted = true;
    GateAccess access = bench.gate("05GA0001", 0);
    uint8_t buffer[4] = {0xA1, 0xA2, 0xA3, 0xA4};
    access.data = buffer;
    const Outcome outcome = transfer(bench, ZUR_CMD_READ, access);
    EXPECT_EQ(outcome.lines, (Lines{"32: ZURPM Error: Lockout table malfunction", transmitFailed}));
    EXPECT_GT(outcome.tookMs, 150u);
    EXPECT_LE(outcome.tookMs, 152u);
    EXPECT_EQ(bench.plant.readByte(0, zurpm::window::lockoutRequest), 0)
        << "the card was left asked for its tables";
    EXPECT_EQ(buffer[0], 0xA1);
}

TEST(GlobalData, ZeroAccessTimeOutWaitsForTheGrant) {
    Started bench("BASE=16\n1=CC00;3E0;30;16;0\n");
    bench.plant.ioBlock(0, 5).setData(0, 0x3C);
    bench.scan();
    bench.plant.faults(0).lockoutNeverGranted = true;
    GateAccess access = bench.gate("05GA0001", 0);
    uint8_t buffer[4] = {};
    access.data = buffer;
    bench.schedule.at(zurpm::virt::tickCount() + 6000, [&] { bench.plant.faults(0).lockoutNeverGranted = false; });
    const Outcome outcome = transfer(bench, ZUR_CMD_READ, access);
    EXPECT_EQ(outcome.result, ZUR_RESULT_OK) << (outcome.lines.empty() ? "" : outcome.lines.front());
    EXPECT_GE(outcome.tookMs, 6000u);
    EXPECT_EQ(buffer[2], 0x3C);
}

TEST(GlobalData, AccessesStayInsideTheDeviceTable) {
    // Addresses as a host could hand them over, whatever the definitions would have accepted.
    struct Row {
        HardwareAddress address;
        int32_t count;
        bool inside;
    };
    const Row rows[] = {
        {{5, 130, 63, -1, 16}, 1, true},     // word 63: bytes 126-127
        {{5, 130, 64, -1, 16}, 1, false},    // word 64
        {{5, 130, 31, -1, 32}, 1, true},     // float 31: bytes 124-127
        {{5, 130, 32, -1, 32}, 1, false},    // float 32
        {{5, 130, 32, -1, 16}, 32, true},    // words 32 to 63
        {{5, 130, 32, -1, 16}, 33, false},   // one word past the end
        {{5, 130, 0x7FFE, -1, 16}, 1, false},
        {{5, 128, 1023, 0, 1}, 1, true},     // point 1023: byte 127
        {{5, 128, 1024, 0, 1}, 1, false},    // point 1024
        {{5, 128, 0xFFFF, 0, 1}, 1, false},
        {{5, 129, 1016, 0, 1}, 8, true},     // points 1016 to 1023
        {{5, 129, 1016, 0, 1}, 16, false},   // into byte 128
        {{5, 129, 0, 0, 1}, 128, true},
        {{31, 130, 64, -1, 16}, 1, false},   // the card's own table has 128 bytes too
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(zurpm::test::describe(row.address) + " x " + std::to_string(row.count));
        Started bench;
        uint8_t buffer[256] = {};
        GateAccess access{};
        access.hardwareAddress = row.address;
        access.data = buffer;
        for (int32_t command : {ZUR_CMD_READ, ZUR_CMD_WRITE}) {
            access.count = row.count;
            const Outcome outcome = transfer(bench, command, access);
            if (row.inside) {
                EXPECT_EQ(outcome.result, ZUR_RESULT_OK) << outcome.lines.front();
                continue;
            }
            EXPECT_EQ(outcome.result, ZUR_RESULT_FAILED);
            ASSERT_EQ(outcome.lines.size(), 2u);
            EXPECT_EQ(outcome.lines[0].rfind("32: ZURPM Error: ", 0), 0u) << outcome.lines[0];
            EXPECT_EQ(outcome.lines[1], transmitFailed);
            EXPECT_EQ(outcome.tookMs, 0u) << "the lockout was asked for";
        }
    }
}

}  // namespace
