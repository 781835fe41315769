// Read Device and Write Device datagrams through the card's command interface to a Series 90 PLC:
// the memories, bit and byte addressing, the busy bits and the reply, and every way a request is
// refused.
#include <gtest/gtest.h>

#include "bench.h"
#include "pcimemu/series90_map.h"

namespace pcimemu::bench {
namespace {

class Datagrams : public ::testing::Test {
protected:
    void SetUp() override { bench.start(); }
    Plc& plc() { return *bench.plant.plc(0, 3); }
    Bench bench;
};

TEST_F(Datagrams, RegisterReadReturnsWhatAWritePutThere) {
    const Answer written = bench.write(3, 8, 10, 2, {0x34, 0x12, 0xCD, 0xAB});
    ASSERT_EQ(written.status, 0x04);
    EXPECT_EQ(plc().word(PlcMemory::R, 10), 0x1234);
    EXPECT_EQ(plc().word(PlcMemory::R, 11), 0xABCD);

    const Answer read = bench.read(3, 8, 10, 2);
    ASSERT_EQ(read.status, 0x04);
    EXPECT_EQ(hex(read.reply), hex({0, 8, 0, 10, 0, 2, 0x34, 0x12, 0xCD, 0xAB}))
        << "reply: the request's header, then the words low byte first";
    EXPECT_EQ(bench.byte(0, 0x8CA), 10) << "replyLength is 6 + data bytes";
}

TEST_F(Datagrams, EveryWordMemoryIsReachedByItsSelector) {
    for (const series90::Segment& segment : series90::segments) {
        if (segment.addressing != series90::Addressing::words) continue;
        const uint8_t selector = segment.selector;
        const auto last = static_cast<uint16_t>(plc().size(segment.memory) - 1);
        plc().setWord(segment.memory, last, static_cast<uint16_t>(0x0100 + selector));
        const Answer answer = bench.read(3, selector, last, 1);
        ASSERT_EQ(answer.status, 0x04) << "selector " << int(selector);
        EXPECT_EQ(hex(answer.reply), hex({0, selector, 0, uint8_t(last), uint8_t(last >> 8), 1, selector, 0x01}))
            << "selector " << int(selector);
    }
}

TEST_F(Datagrams, CardStaysBusyForTheReplyDelayOfTheDevice) {
    bench.plant.faults(0, 3).replyDelayMs = 25;
    bench.set(0, 0x8C4, 3);
    bench.set(0, 0x8C5, 0x20);
    bench.set(0, 0x8C6, 30);
    bench.set(0, 0x8C7, 31);
    bench.set(0, 0x8C8, 0);
    bench.set(0, 0x8C9, 6);
    for (uint8_t i = 0; auto b : header(8, 0, 1)) bench.set(0, 0x8D2 + i++, b);
    bench.issue(0, 3);
    bench.run(1);
    EXPECT_EQ(bench.byte(0, 0x8C2) & 0x03, 0x02) << "card took the command but shows no busy bit";
    bench.run(24);
    EXPECT_NE(bench.byte(0, 0x8C2) & 0x03, 0) << "completed before the reply delay";
    bench.run(1);
    EXPECT_EQ(bench.byte(0, 0x8C2), 0x04) << "not completed 25 ms after taking it";
}

TEST_F(Datagrams, BitAndByteModeShowTheSameDiscreteMemory) {
    for (uint32_t point : {0u, 9u, 10u, 15u, 100u, 511u}) plc().setPoint(PlcMemory::I, point, true);
    // Byte mode (16): offset and length in bytes.
    const Answer bytes = bench.read(3, 16, 1, 2);
    ASSERT_EQ(bytes.status, 0x04);
    EXPECT_EQ(hex(bytes.reply), hex({0, 16, 0, 1, 0, 2, 0x86, 0x00}));
    // Bit mode (70), points 9 to 24: the memory's own bytes 1 to 3, points at their own places.
    const Answer bits = bench.read(3, 70, 9, 16);
    ASSERT_EQ(bits.status, 0x04);
    EXPECT_EQ(hex(bits.reply), hex({0, 70, 0, 9, 0, 16, 0x86, 0x00, 0x00}));
    // A single point reads its whole byte.
    const Answer one = bench.read(3, 70, 511, 1);
    EXPECT_EQ(hex(one.reply), hex({0, 70, 0, 0xFF, 0x01, 1, 0x80}));
}

TEST_F(Datagrams, EveryDiscreteMemoryHasABitAndAByteSelector) {
    for (const series90::Segment& segment : series90::segments) {
        if (segment.addressing != series90::Addressing::points) continue;
        const uint8_t byteSelector = series90::selectorOf(segment.memory, series90::Addressing::bytes);
        ASSERT_EQ(bench.write(3, segment.selector, 13, 1, {0x20}).status, 0x04) << int(segment.selector);
        EXPECT_TRUE(plc().point(segment.memory, 13)) << "bit selector " << int(segment.selector);
        const Answer viaBytes = bench.read(3, byteSelector, 1, 1);
        EXPECT_EQ(hex(viaBytes.reply), hex({0, byteSelector, 0, 1, 0, 1, 0x20})) << "byte selector " << int(byteSelector);
    }
}

TEST_F(Datagrams, BitModeWriteChangesOnlyItsPoints) {
    plc().setByte(PlcMemory::Q, 0, 0xFF);
    plc().setByte(PlcMemory::Q, 1, 0xFF);
    // Points 6 to 9 cleared: data are the bytes 0 and 1 of the memory, all zero.
    ASSERT_EQ(bench.write(3, 72, 6, 4, {0x00, 0x00}).status, 0x04);
    EXPECT_EQ(plc().byte(PlcMemory::Q, 0), 0x3F) << "points outside 6..9 in byte 0 changed";
    EXPECT_EQ(plc().byte(PlcMemory::Q, 1), 0xFC) << "points outside 6..9 in byte 1 changed";
    // One point set: its bit at its own place, the other bits of the data byte do not count.
    plc().setByte(PlcMemory::Q, 1, 0x00);
    ASSERT_EQ(bench.write(3, 72, 13, 1, {0xFF}).status, 0x04);
    EXPECT_EQ(plc().byte(PlcMemory::Q, 1), 0x20) << "a one-point write set other points of its byte";
    ASSERT_EQ(bench.write(3, 72, 13, 1, {0xDF}).status, 0x04);
    EXPECT_EQ(plc().byte(PlcMemory::Q, 1), 0x00) << "point 13 taken from a bit other than bit 5";
    // Points 6 to 9 from 0x40 0x02: 6 and 9 set, 7 and 8 clear.
    plc().setByte(PlcMemory::Q, 0, 0x00);
    ASSERT_EQ(bench.write(3, 72, 6, 4, {0x40, 0x02}).status, 0x04);
    EXPECT_EQ(hex({plc().byte(PlcMemory::Q, 0), plc().byte(PlcMemory::Q, 1)}), hex({0x40, 0x02}));
}

TEST_F(Datagrams, ByteModeWriteSetsWholeBytes) {
    ASSERT_EQ(bench.write(3, 22, 4, 2, {0xA5, 0x5A}).status, 0x04);
    EXPECT_EQ(plc().byte(PlcMemory::M, 4), 0xA5);
    EXPECT_EQ(plc().byte(PlcMemory::M, 5), 0x5A);
    EXPECT_TRUE(plc().point(PlcMemory::M, 32));
}

TEST_F(Datagrams, LargestReadFillsTheReplyRoom) {
    const Answer words = bench.read(3, 8, 0, 64);
    EXPECT_EQ(words.status, 0x04);
    EXPECT_EQ(words.reply.size(), 134u);
    const Answer points = bench.read(3, 76, 0, 255);
    EXPECT_EQ(points.status, 0x04);
    EXPECT_EQ(points.reply.size(), 6u + 32u);
}

struct Refusal {
    const char* what;
    uint8_t code;
    std::vector<uint8_t> params;
    std::vector<uint8_t> body;
    uint8_t status;
};

TEST_F(Datagrams, MalformedOrMisaddressedRequestsAreRefused) {
    const auto readOf = [](uint8_t device) { return std::vector<uint8_t>{device, 0x20, 30, 31, 0, 6, 0}; };
    const auto writeOf = [](uint8_t device, uint8_t length) {
        return std::vector<uint8_t>{device, 0x20, 32, 0, length, 0, 0};
    };
    const Refusal cases[] = {
        {"unknown segment selector", 3, readOf(3), header(9, 0, 1), 0x10},
        {"selector of a Genius block code", 3, readOf(3), header(130, 0, 1), 0x10},
        {"%R past its last word", 3, readOf(3), header(8, 2047, 2), 0x10},
        {"%AQ offset beyond it", 3, readOf(3), header(12, 64, 1), 0x10},
        {"%I point past the end", 3, readOf(3), header(70, 510, 3), 0x10},
        {"%I byte past the end", 3, readOf(3), header(16, 64, 1), 0x10},
        {"write past %R", 2, writeOf(3, 8), {0, 8, 0, 0x00, 0x08, 1, 1, 2}, 0x10},
        {"wrong function code", 3, {3, 0x21, 30, 31, 0, 6, 0}, header(8, 0, 1), 0x08},
        {"read with write subfunction", 3, {3, 0x20, 32, 31, 0, 6, 0}, header(8, 0, 1), 0x08},
        {"read expecting another reply", 3, {3, 0x20, 30, 33, 0, 6, 0}, header(8, 0, 1), 0x08},
        {"write with read subfunction", 2, {3, 0x20, 30, 0, 8, 0, 0}, {0, 8, 0, 0, 0, 1, 1, 2}, 0x08},
        {"body shorter than its header", 3, {3, 0x20, 30, 31, 0, 5, 0}, {0, 8, 0, 0, 0}, 0x08},
        {"nonzero header byte 0", 3, readOf(3), {1, 8, 0, 0, 0, 1}, 0x08},
        {"length 0", 3, readOf(3), header(8, 0, 0), 0x08},
        {"read larger than a reply", 3, readOf(3), header(8, 0, 65), 0x08},
        {"write data shorter than its length", 2, writeOf(3, 9), {0, 8, 0, 0, 0, 2, 1, 2, 3}, 0x08},
        {"write data longer than its length", 2, writeOf(3, 9), {0, 8, 0, 0, 0, 1, 1, 2, 3}, 0x08},
        {"bit write spanning two bytes with one", 2, writeOf(3, 7), {0, 70, 0, 6, 0, 4, 0}, 0x08},
        {"device not on the LAN", 3, readOf(12), header(8, 0, 1), 0x10},
        {"device described but absent", 3, readOf(7), header(8, 0, 1), 0x10},
        {"an I/O block", 3, readOf(5), header(8, 0, 1), 0x10},
        {"the card itself", 3, readOf(31), header(8, 0, 1), 0x10},
    };
    for (const Refusal& c : cases) {
        const Answer answer = bench.datagram(0, c.code, c.params, c.body);
        EXPECT_EQ(answer.status, c.status) << c.what;
    }
    EXPECT_EQ(plc().word(PlcMemory::R, 0), 0) << "a refused write changed the PLC";
}

TEST_F(Datagrams, UnansweredDatagramEndsAfterTheCardsNoReplyTime) {
    const Answer answer = bench.read(12, 8, 0, 1);
    EXPECT_EQ(answer.status, 0x10);
    EXPECT_EQ(answer.busyMs, 1 + bench.plant.setup(0).noReplyMs) << "taken at the next millisecond, then noReplyMs";
}

TEST(DatagramsBeforeConfiguration, CardOffTheLanAnswersWithAProcessError) {
    Bench bench;
    bench.wake();
    bench.run(1500);
    EXPECT_EQ(bench.read(3, 8, 0, 1).status, 0x10);
}

TEST_F(Datagrams, EventKeepsTheCommandBlockRequestAndReply) {
    plc().setWord(PlcMemory::R, 4, 0x0BB8);
    bench.set(0, 0x8CA, 0x77);  // left by the PC: the event shows the block as it was left
    bench.plant.clearEvents();
    bench.datagram(0, 3, {3, 0x20, 30, 31, 0, 6, 0x77}, header(8, 4, 1));
    ASSERT_EQ(bench.plant.datagramEvents().size(), 1u);
    const DatagramEvent& event = bench.plant.datagramEvents()[0];
    EXPECT_EQ(event.card, 0);
    EXPECT_EQ(event.device, 3);
    EXPECT_EQ(event.commandCode, 3);
    EXPECT_EQ(hex({event.params.begin(), event.params.end()}), hex({3, 0x20, 30, 31, 0, 6, 0x77}));
    EXPECT_EQ(hex(event.request), hex(header(8, 4, 1)));
    EXPECT_EQ(hex(event.reply), hex({0, 8, 0, 4, 0, 1, 0xB8, 0x0B}));
    EXPECT_EQ(event.status, 0x04);
    EXPECT_TRUE(event.completed);
}

TEST_F(Datagrams, ObserverSeesEachDatagram) {
    std::vector<uint8_t> statuses;
    bench.plant.onDatagram([&](const DatagramEvent& event) { statuses.push_back(event.status); });
    bench.read(3, 8, 0, 1);
    bench.read(3, 9, 0, 1);
    EXPECT_EQ(hex(statuses), hex({0x04, 0x10}));
}

// ---- Faults of a device ----

TEST_F(Datagrams, NeverCompletingDeviceKeepsTheCardBusyUntilTheFaultIsCleared) {
    bench.plant.faults(0, 3).neverComplete = true;
    bench.plant.clearEvents();
    const Answer stuck = bench.write(3, 8, 0, 1, {0x2A, 0}, 0);
    EXPECT_EQ(stuck.status & 0x03, 0x02);
    bench.run(60000);
    EXPECT_EQ(bench.byte(0, 0x8C2), 0x02) << "a never-completing datagram completed";
    EXPECT_EQ(plc().word(PlcMemory::R, 0), 0) << "the held write reached the PLC";
    bench.plant.faults(0, 3).neverComplete = false;
    bench.run(1);
    EXPECT_EQ(bench.byte(0, 0x8C2), 0x04);
    EXPECT_EQ(plc().word(PlcMemory::R, 0), 0x2A);
    const auto& events = bench.plant.datagramEvents();
    ASSERT_EQ(events.size(), 2u) << "held datagram: reported when taken and when completed";
    EXPECT_FALSE(events[0].completed);
    EXPECT_EQ(events[0].status, 0x02);
    EXPECT_TRUE(events[1].completed);
    EXPECT_EQ(events[1].status, 0x04);
}

TEST_F(Datagrams, CompletionStatusOfTheTestsChoiceStillCarriesTheReply) {
    plc().setWord(PlcMemory::R, 0, 0x55AA);
    for (uint8_t status : {0x0C, 0x08, 0x10, 0x20, 0x00}) {
        bench.plant.faults(0, 3).completionStatus = status;
        const Answer answer = bench.read(3, 8, 0, 1);
        EXPECT_EQ(answer.status, status);
        EXPECT_EQ(hex(answer.reply), hex({0, 8, 0, 0, 0, 1, 0xAA, 0x55})) << "status " << int(status);
    }
}

TEST_F(Datagrams, ReplyLengthOfTheTestsChoice) {
    for (uint8_t length : {0, 3, 134, 135, 200, 255}) {
        bench.plant.faults(0, 3).replyLength = length;
        const Answer answer = bench.read(3, 8, 0, 1);
        EXPECT_EQ(answer.status, 0x04);
        EXPECT_EQ(bench.byte(0, 0x8CA), length);
    }
}

TEST_F(Datagrams, DeviceMadeAbsentDropsFromTheLan) {
    ASSERT_EQ(bench.byte(0, 0x1E02 + 8 * 3), 1);
    bench.plant.faults(0, 3).absent = true;
    bench.run(10);
    EXPECT_EQ(bench.byte(0, 0x1E02 + 8 * 3), 0) << "presence byte of an absent device";
    EXPECT_EQ(bench.read(3, 8, 0, 1).status, 0x10);
}

}  // namespace
}  // namespace pcimemu::bench
