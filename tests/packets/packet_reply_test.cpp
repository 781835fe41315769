// Parsing replies into the host's buffer: single values, blocks, one bit of a word, points at
// every place in a byte; replies too short or too long leave the buffer as it was.
#include <gtest/gtest.h>

#include <cstring>

#include "driver_harness.h"
#include "packet_support.h"

namespace {

using namespace zurpm::test;
using zurpm::directionRead;
using zurpm::directionWrite;
using zurpm::RequestPacket;
using Bytes = std::vector<uint8_t>;

constexpr int32_t W = 16, D = 32, P = 1;

// A read packet as built for the access, whose reply then brought replyBody.
RequestPacket replyFor(const GateAccess& access, const Bytes& replyData, int replyLength = -1) {
    RequestPacket packet{};
    packet.direction = directionRead;
    EXPECT_EQ(zurpm::buildRequestPacket(&access, &packet), 0);
    std::memcpy(packet.body + 6, replyData.data(), replyData.size());
    // A datagram reply's length is the card's; the global-data path leaves bodyLength alone.
    if (!zurpm::isGeniusBlockData(access.hardwareAddress.memoryType))
        packet.bodyLength = static_cast<uint8_t>(replyLength >= 0 ? replyLength : 6 + replyData.size());
    return packet;
}

struct ReplyCase {
    const char* what;
    int32_t code, offset, count, width, bit;
    Bytes reply;     // reply data from body byte 6
    Bytes expected;  // the host's buffer afterwards (which starts as C3 bytes)
};

const ReplyCase replyCases[] = {
    {"one register", 8, 10, 1, W, -1, {0x34, 0x12}, {0xC3, 0xC3, 0x34, 0x12}},
    {"one float", 8, 5, 1, D, -1, {1, 2, 3, 4}, {1, 2, 3, 4}},
    {"bit 5 of a word that has it", 12, 0, 1, W, 5, {0x20, 0x00}, {0xC3, 0xC3, 1, 0}},
    {"bit 5 of a word that has not", 12, 0, 1, W, 5, {0x01, 0x00}, {0xC3, 0xC3, 0, 0}},
    {"bit 12 of a word, high byte", 8, 0, 1, W, 12, {0x00, 0x10}, {0xC3, 0xC3, 1, 0}},
    {"three registers", 10, 0, 3, W, -1, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
    {"two floats", 8, 0, 2, D, -1, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 7, 8}},
    {"one point set", 72, 13, 1, P, 0, {0x20}, {0xC3, 0xC3, 1, 0}},
    {"one point clear among set ones", 72, 13, 1, P, 0, {0xDF}, {0xC3, 0xC3, 0, 0}},
    {"16 points", 70, 0, 16, P, 0, {0xAA, 0x55}, {0xAA, 0x55}},
    {"5 points: one byte, bits past the block cleared", 70, 8, 5, P, 0, {0xFF}, {0x1F}},
    {"8 points from inside a byte", 70, 3, 8, P, 0, {0xF8, 0x07}, {0xFF}},
    {"10 points from inside a byte", 72, 13, 10, P, 0, {0x20, 0x50}, {0x81, 0x02}},
    {"256 points in byte mode", 70, 64, 256, P, 0, Bytes(32, 0x5A), Bytes(32, 0x5A)},
    {"global point", 128, 13, 1, P, 0, {0x20}, {0xC3, 0xC3, 1, 0}},
    {"one point of a point block", 129, 9, 1, P, 0, {0xFD}, {0xC3, 0xC3, 0, 0}},
    {"point block with partial byte", 129, 16, 12, P, 0, {0xAB, 0xFD}, {0xAB, 0x0D}},
    {"global words", 130, 3, 2, W, -1, {1, 2, 3, 4}, {1, 2, 3, 4}},
    {"global float", 130, 3, 1, D, -1, {1, 2, 3, 4}, {1, 2, 3, 4}},
};

TEST(ReplyParsing, ValuesLandWhereTheHostLooks) {
    DriverHarness harness;
    for (const ReplyCase& c : replyCases) {
        SCOPED_TRACE(c.what);
        GuardedBuffer host(c.expected.size());
        GateAccess access = accessOf(c.code, c.offset, c.count, c.width, c.bit, host.data());
        const RequestPacket packet = replyFor(access, c.reply);
        ASSERT_EQ(zurpm::parseReplyPacket(&access, &packet), 0) << messageTexts();
        EXPECT_EQ(hex(host.contents()), hex(c.expected));
        EXPECT_TRUE(host.guardsIntact()) << "written outside the host's buffer";
    }
    EXPECT_TRUE(harness.messages().empty()) << messageTexts();
}

struct BadReplyCase {
    const char* what;
    int32_t code, offset, count, width;
    int replyLength;
    const char* message;
};

const BadReplyCase badReplies[] = {
    {"no data for a word", 8, 0, 1, W, 6, "ZURPM Error: Reply of 6 bytes does not hold the 8 bytes requested"},
    {"half a float", 8, 0, 1, D, 8, "ZURPM Error: Reply of 8 bytes does not hold the 10 bytes requested"},
    {"a word short of a block", 8, 0, 3, W, 10, "ZURPM Error: Reply of 10 bytes does not hold the 12 bytes requested"},
    {"no byte for a point", 70, 3, 1, P, 6, "ZURPM Error: Reply of 6 bytes does not hold the 7 bytes requested"},
    {"one of two bytes a block spans", 70, 3, 8, P, 7, "ZURPM Error: Reply of 7 bytes does not hold the 8 bytes requested"},
    {"byte mode short", 70, 0, 256, P, 37, "ZURPM Error: Reply of 37 bytes does not hold the 38 bytes requested"},
    {"longer than the body", 8, 0, 1, W, 137, "ZURPM Error: Reply of 137 bytes does not fit the packet body of 136 bytes"},
    {"far longer than the body", 8, 0, 64, W, 255, "ZURPM Error: Reply of 255 bytes does not fit the packet body of 136 bytes"},
};

TEST(ReplyParsing, RepliesThatDoNotFitLeaveTheBufferAlone) {
    for (const BadReplyCase& c : badReplies) {
        SCOPED_TRACE(c.what);
        DriverHarness harness;
        GuardedBuffer host(128);
        GateAccess access = accessOf(c.code, c.offset, c.count, c.width, -1, host.data());
        const RequestPacket packet = replyFor(access, Bytes(128, 0x11), c.replyLength);
        EXPECT_EQ(zurpm::parseReplyPacket(&access, &packet), 1);
        EXPECT_EQ(hex(host.contents()), hex(Bytes(128, 0xC3))) << "the buffer must stay as it was";
        EXPECT_TRUE(host.guardsIntact());
        ASSERT_EQ(harness.messages().size(), 1u) << messageTexts();
        EXPECT_EQ(harness.messages()[0].level, 32);
        EXPECT_EQ(harness.messages()[0].text, c.message);
    }
}

TEST(ReplyParsing, LongerRepliesWithinTheBodyAreUsed) {
    DriverHarness harness;
    GuardedBuffer host(4);
    GateAccess access = accessOf(8, 0, 1, W, -1, host.data());
    const RequestPacket packet = replyFor(access, {0x34, 0x12, 0x99, 0x99}, 136);
    EXPECT_EQ(zurpm::parseReplyPacket(&access, &packet), 0) << messageTexts();
    EXPECT_EQ(hex(host.contents()), "C3 C3 34 12");
}

TEST(ReplyParsing, WritesAndRefusedAccessesCopyNothing) {
    DriverHarness harness;
    GuardedBuffer host(8);
    GateAccess access = accessOf(8, 0, 2, W, -1, host.data());
    RequestPacket packet{};
    packet.direction = directionWrite;
    ASSERT_EQ(zurpm::buildRequestPacket(&access, &packet), 0);
    std::memset(packet.body + 6, 0x11, 8);
    EXPECT_EQ(zurpm::parseReplyPacket(&access, &packet), 0);
    EXPECT_EQ(hex(host.contents()), hex(Bytes(8, 0xC3))) << "a write changes nothing in the buffer";

    GateAccess unknown = accessOf(16, 0, 1, W, -1, host.data());
    RequestPacket reply{};
    reply.direction = directionRead;
    reply.bodyLength = 8;
    EXPECT_EQ(zurpm::parseReplyPacket(&unknown, &reply), 1);
    EXPECT_EQ(hex(host.contents()), hex(Bytes(8, 0xC3))) << "a code outside every group copies nothing";
    EXPECT_TRUE(host.guardsIntact());
}

// A block of points written from any place in a byte and read back in the same packet shape comes
// back point for point, and neither side touches a byte outside the block.
TEST(ReplyParsing, PointBlocksRoundTripFromEveryPlaceInAByte) {
    DriverHarness harness;
    uint32_t seed = 12345;
    for (int32_t code : {70, 129}) {
        for (int32_t start = 0; start < 8; ++start) {
            if (code == 129 && start != 0) continue;  // point blocks start on a byte boundary
            for (int32_t count = 2; count <= 128; ++count) {
                SCOPED_TRACE(testing::Message() << "code " << code << ", offset " << 40 + start << ", count " << count);
                const size_t hostBytes = (count + 7) / 8;
                GuardedBuffer source(hostBytes);
                for (size_t i = 0; i < hostBytes; ++i) source.data()[i] = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
                GateAccess write = accessOf(code, 40 + start, count, P, 0, source.data());
                RequestPacket written{};
                written.direction = directionWrite;
                ASSERT_EQ(zurpm::buildRequestPacket(&write, &written), 0);

                GuardedBuffer target(hostBytes);
                GateAccess read = accessOf(code, 40 + start, count, P, 0, target.data());
                const Bytes data(written.body + 6, written.body + written.bodyLength);
                const RequestPacket reply = replyFor(read, data);
                ASSERT_EQ(zurpm::parseReplyPacket(&read, &reply), 0) << messageTexts();

                Bytes expected = source.contents();
                if (count % 8) expected.back() &= static_cast<uint8_t>((1u << (count % 8)) - 1);
                ASSERT_EQ(hex(target.contents()), hex(expected));
                ASSERT_TRUE(source.guardsIntact() && target.guardsIntact());
            }
        }
    }
}

}  // namespace
