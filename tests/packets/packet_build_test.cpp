// Building request packets: the body's header and data, bodyLength and subfunctions for every
// memory group, and the accesses that the capacity check refuses before anything is built.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "driver_harness.h"
#include "packet_support.h"

namespace {

using namespace zurpm::test;
using zurpm::directionRead;
using zurpm::directionWrite;
using zurpm::RequestPacket;
using Bytes = std::vector<uint8_t>;

struct BuildCase {
    const char* what;
    uint8_t direction;
    int32_t code, offset, count, width, bit;
    Bytes host;           // the host's buffer (writes)
    Bytes body;           // header and data expected
    uint8_t lastByteMask = 0xFF;
};

constexpr int32_t W = 16, D = 32, P = 1;  // widths: word, double word, point

const BuildCase buildCases[] = {
    // Words: single values, 32-bit values, blocks; every word code.
    {"read register", directionRead, 8, 10, 1, W, -1, {}, bodyOf(8, 10, 1)},
    {"read analog input", directionRead, 10, 0, 1, W, -1, {}, bodyOf(10, 0, 1)},
    {"read analog output", directionRead, 12, 0x1234, 1, W, -1, {}, bodyOf(12, 0x1234, 1)},
    {"read float", directionRead, 8, 5, 1, D, -1, {}, bodyOf(8, 10, 2)},
    {"read 64 registers", directionRead, 8, 0, 64, W, -1, {}, bodyOf(8, 0, 64)},
    {"read 32 floats", directionRead, 8, 3, 32, D, -1, {}, bodyOf(8, 6, 64)},
    {"read bit of a word as its word", directionRead, 12, 7, 1, W, 5, {}, bodyOf(12, 7, 1)},
    {"write register", directionWrite, 8, 10, 1, W, -1, {0xEE, 0xEE, 0x34, 0x12}, bodyOf(8, 10, 1, {0x34, 0x12})},
    {"write float", directionWrite, 8, 5, 1, D, -1, {1, 2, 3, 4}, bodyOf(8, 10, 2, {1, 2, 3, 4})},
    {"write 3 registers", directionWrite, 8, 1, 3, W, -1, {1, 2, 3, 4, 5, 6, 7}, bodyOf(8, 1, 3, {1, 2, 3, 4, 5, 6})},
    {"write 3 floats", directionWrite, 8, 2, 3, D, -1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
     bodyOf(8, 4, 6, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})},
    {"write block of one register is a single value", directionWrite, 10, 0, 1, W, -1, {9, 9, 0x55, 0xAA},
     bodyOf(10, 0, 1, {0x55, 0xAA})},
    {"write bit-of-word gate as its whole word", directionWrite, 12, 7, 1, W, 3, {0, 0, 0x08, 0x01},
     bodyOf(12, 7, 1, {0x08, 0x01})},
    // Points of PLC bit memory.
    {"read one point", directionRead, 72, 13, 1, P, 0, {}, bodyOf(72, 13, 1)},
    {"read 128 points stays bit mode", directionRead, 70, 64, 128, P, 0, {}, bodyOf(70, 64, 128)},
    {"read 256 points in byte mode", directionRead, 70, 64, 256, P, 0, {}, bodyOf(16, 8, 32)},
    {"read 136 points in byte mode", directionRead, 76, 0, 136, P, 0, {}, bodyOf(22, 0, 17)},
    {"read 1024 points of %G", directionRead, 86, 1024, 1024, P, 0, {}, bodyOf(56, 128, 128)},
    {"read 5 points", directionRead, 74, 8, 5, P, 0, {}, bodyOf(74, 8, 5)},
    {"write point 1", directionWrite, 72, 13, 1, P, 0, {0, 0, 1, 0}, bodyOf(72, 13, 1, {0x20})},
    {"write point 0", directionWrite, 72, 13, 1, P, 0, {0, 0, 0, 0}, bodyOf(72, 13, 1, {0x00})},
    {"write point 3 sets it", directionWrite, 72, 13, 1, P, 0, {0, 0, 3, 0}, bodyOf(72, 13, 1, {0x20})},
    {"write point 2 clears it", directionWrite, 72, 13, 1, P, 0, {0, 0, 2, 0}, bodyOf(72, 13, 1, {0x00})},
    {"write point from host byte 2 only", directionWrite, 70, 0, 1, P, 0, {1, 1, 0, 1}, bodyOf(70, 0, 1, {0x00})},
    {"write 16 points", directionWrite, 70, 0, 16, P, 0, {0xAA, 0x55}, bodyOf(70, 0, 16, {0xAA, 0x55})},
    {"write 5 points moves their byte", directionWrite, 70, 0, 5, P, 0, {0xF5}, bodyOf(70, 0, 5, {0x15})},
    {"write 8 points from inside a byte", directionWrite, 70, 3, 8, P, 0, {0xFF}, bodyOf(70, 3, 8, {0xF8, 0x07})},
    {"write 10 points from inside a byte", directionWrite, 72, 13, 10, P, 0, {0x81, 0x02},
     bodyOf(72, 13, 10, {0x20, 0x50})},
    // Genius global data.
    {"read global point", directionRead, 128, 13, 1, P, 0, {}, bodyOf(128, 13, 1)},
    {"write global point", directionWrite, 128, 13, 1, P, 0, {0, 0, 1, 0}, bodyOf(128, 13, 1, {0x20})},
    {"read one point of a point block", directionRead, 129, 9, 1, P, 0, {}, bodyOf(128, 9, 1)},
    {"write one point of a point block", directionWrite, 129, 9, 1, P, 0, {0, 0, 1, 0}, bodyOf(128, 9, 1, {0x02})},
    {"read point block", directionRead, 129, 8, 20, P, 0, {}, bodyOf(129, 1, 3), 0x0F},
    {"read 128-point block", directionRead, 129, 0, 128, P, 0, {}, bodyOf(129, 0, 16)},
    {"write point block with partial byte", directionWrite, 129, 16, 12, P, 0, {0xAB, 0xFD},
     bodyOf(129, 2, 2, {0xAB, 0x0D}), 0x0F},
    {"write whole-byte point block", directionWrite, 129, 0, 16, P, 0, {0x12, 0x34}, bodyOf(129, 0, 2, {0x12, 0x34})},
    {"read global words", directionRead, 130, 3, 2, W, -1, {}, bodyOf(130, 3, 2)},
    {"read global float", directionRead, 130, 3, 1, D, -1, {}, bodyOf(130, 6, 2)},
    {"write global words", directionWrite, 130, 3, 2, W, -1, {1, 2, 3, 4}, bodyOf(130, 3, 2, {1, 2, 3, 4})},
};

TEST(PacketBuilding, BodiesLengthsAndSubfunctionsForEveryGroup) {
    DriverHarness harness;
    for (const BuildCase& c : buildCases) {
        SCOPED_TRACE(c.what);
        GuardedBuffer host(std::max<size_t>(c.host.size(), 4));
        host.set(c.host);
        const Bytes hostBefore = host.contents();
        GateAccess access = accessOf(c.code, c.offset, c.count, c.width, c.bit, host.data());
        const GateAccess accessBefore = access;

        ASSERT_EQ(zurpm::checkRequestCapacity(&access, c.direction), 0) << messageTexts();
        RequestPacket packet{};
        packet.direction = c.direction;
        packet.device = 7;
        ASSERT_EQ(zurpm::buildRequestPacket(&access, &packet), 0);

        EXPECT_EQ(hex(packet.body, c.body.size()), hex(c.body));
        const bool read = c.direction == directionRead;
        EXPECT_EQ(packet.bodyLength, read ? 6u : c.body.size());
        EXPECT_EQ(packet.requestSubfunction, read ? 30 : 32);
        EXPECT_EQ(packet.replySubfunction, read ? 31 : 0);
        EXPECT_EQ(packet.device, 7) << "the device is the command's to set";
        EXPECT_EQ(zurpm::lastByteMask(packet), c.lastByteMask);
        EXPECT_EQ(host.contents(), hostBefore) << "building never changes the host's buffer";
        EXPECT_TRUE(host.guardsIntact());
        EXPECT_EQ(std::memcmp(&access, &accessBefore, sizeof access), 0) << "the access record is unchanged";
    }
    EXPECT_TRUE(harness.messages().empty()) << messageTexts();
}

// Every bit-mode code and its byte-mode code, at the switch of reads (above 128 points) and of
// writes (above 255).
TEST(PacketBuilding, ByteModeSwitchForEveryBitMemory) {
    DriverHarness harness;
    const std::pair<int32_t, uint8_t> memories[] = {{70, 16}, {72, 18}, {74, 20}, {76, 22}, {78, 24},
                                                    {80, 26}, {82, 28}, {84, 30}, {86, 56}};
    struct Switch {
        uint8_t direction;
        int32_t count;
        bool byteMode;
    };
    const Switch switches[] = {{directionRead, 128, false}, {directionRead, 136, true},
                               {directionWrite, 136, false}, {directionWrite, 248, false},
                               {directionWrite, 255, false}, {directionWrite, 256, true},
                               {directionWrite, 1024, true}};
    GuardedBuffer host(128);
    for (const auto& [bitCode, byteCode] : memories) {
        for (const Switch& s : switches) {
            SCOPED_TRACE(testing::Message() << "code " << bitCode << ", " << s.count << " points, "
                                            << (s.direction ? "write" : "read"));
            GateAccess access = accessOf(bitCode, 16, s.count, P, 0, host.data());
            ASSERT_EQ(zurpm::checkRequestCapacity(&access, s.direction), 0) << messageTexts();
            RequestPacket packet{};
            packet.direction = s.direction;
            ASSERT_EQ(zurpm::buildRequestPacket(&access, &packet), 0);
            const Bytes header = s.byteMode ? bodyOf(byteCode, 2, static_cast<uint8_t>(s.count / 8))
                                            : bodyOf(static_cast<uint8_t>(bitCode), 16, static_cast<uint8_t>(s.count));
            EXPECT_EQ(hex(packet.body, 6), hex(header));
            const uint32_t dataBytes = s.byteMode ? s.count / 8 : (s.count + 7) / 8;
            EXPECT_EQ(packet.bodyLength, s.direction == directionWrite ? 6 + dataBytes : 6);
        }
    }
    EXPECT_TRUE(host.guardsIntact());
}

TEST(PacketBuilding, LongestWritesCarryTheWholeBlock) {
    DriverHarness harness;
    struct Longest {
        int32_t code, offset, count, width;
        uint32_t dataBytes;
    };
    const Longest cases[] = {{8, 0, 64, W, 128}, {8, 0, 32, D, 128}, {130, 0, 64, W, 128},
                             {70, 8, 1024, P, 128}, {70, 0, 255, P, 32}, {129, 0, 128, P, 16}};
    for (const Longest& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << c.code << ", count " << c.count);
        GuardedBuffer host(c.dataBytes);
        for (uint32_t i = 0; i < c.dataBytes; ++i) host.data()[i] = static_cast<uint8_t>(i * 7 + 1);
        if (c.count % 8) host.data()[c.dataBytes - 1] &= static_cast<uint8_t>((1u << (c.count % 8)) - 1);
        GateAccess access = accessOf(c.code, c.offset, c.count, c.width, -1, host.data());
        ASSERT_EQ(zurpm::checkRequestCapacity(&access, directionWrite), 0) << messageTexts();
        RequestPacket packet{};
        packet.direction = directionWrite;
        ASSERT_EQ(zurpm::buildRequestPacket(&access, &packet), 0);
        EXPECT_EQ(packet.bodyLength, 6 + c.dataBytes);
        EXPECT_EQ(hex(packet.body + 6, c.dataBytes), hex(host.data(), c.dataBytes));
        EXPECT_TRUE(host.guardsIntact());
    }
}

struct RefusalCase {
    const char* what;
    uint8_t direction;
    int32_t code, offset, count, width;
    const char* message;
};

const RefusalCase refusalCases[] = {
    {"no elements", directionRead, 8, 0, 0, W,
     "ZURPM Error: Cannot transfer 0 elements of memory type 8 in one request"},
    {"negative count", directionWrite, 8, 0, -3, W,
     "ZURPM Error: Cannot transfer -3 elements of memory type 8 in one request"},
    {"65 words", directionRead, 8, 0, 65, W,
     "ZURPM Error: Cannot transfer 65 elements of memory type 8 in one request"},
    {"33 floats", directionWrite, 8, 0, 33, D,
     "ZURPM Error: Cannot transfer 33 elements of memory type 8 in one request"},
    {"65 global words", directionRead, 130, 0, 65, W,
     "ZURPM Error: Cannot transfer 65 elements of memory type 130 in one request"},
    {"1032 points", directionRead, 70, 0, 1032, P,
     "ZURPM Error: Cannot transfer 1032 elements of memory type 70 in one request"},
    {"two global points", directionRead, 128, 0, 2, P,
     "ZURPM Error: Cannot transfer 2 elements of memory type 128 in one request"},
    {"129 global points", directionWrite, 129, 0, 129, P,
     "ZURPM Error: Cannot transfer 129 elements of memory type 129 in one request"},
    {"unknown code", directionRead, 16, 0, 1, W,
     "ZURPM Error: Cannot transfer 1 elements of memory type 16 in one request"},
    {"read in byte mode of a partial byte", directionRead, 70, 0, 130, P,
     "ZURPM Error: Cannot transfer 130 points of memory type 70 from offset 0 in whole bytes"},
    {"read in byte mode from inside a byte", directionRead, 72, 4, 136, P,
     "ZURPM Error: Cannot transfer 136 points of memory type 72 from offset 4 in whole bytes"},
    {"write in byte mode of a partial byte", directionWrite, 70, 0, 260, P,
     "ZURPM Error: Cannot transfer 260 points of memory type 70 from offset 0 in whole bytes"},
    {"write in byte mode from inside a byte", directionWrite, 70, 1, 256, P,
     "ZURPM Error: Cannot transfer 256 points of memory type 70 from offset 1 in whole bytes"},
    {"point block from inside a byte", directionRead, 129, 4, 8, P,
     "ZURPM Error: Cannot transfer 8 points of memory type 129 from offset 4 in whole bytes"},
    {"offset beyond 16 bits", directionRead, 8, 70000, 1, W,
     "ZURPM Error: Cannot transfer 1 elements of memory type 8 at offset 70000: out of address range"},
    {"float offset beyond 16 bits once doubled", directionRead, 8, 40000, 1, D,
     "ZURPM Error: Cannot transfer 1 elements of memory type 8 at offset 40000: out of address range"},
    {"offset of element 0", directionWrite, 72, -1, 1, P,
     "ZURPM Error: Cannot transfer 1 elements of memory type 72 at offset -1: out of address range"},
};

TEST(PacketBuilding, CapacityCheckRefusesWhatNoPacketCarries) {
    for (const RefusalCase& c : refusalCases) {
        SCOPED_TRACE(c.what);
        DriverHarness harness;
        GuardedBuffer host(256);
        GateAccess access = accessOf(c.code, c.offset, c.count, c.width, -1, host.data());
        EXPECT_EQ(zurpm::checkRequestCapacity(&access, c.direction), 1);
        ASSERT_EQ(harness.messages().size(), 1u) << messageTexts();
        EXPECT_EQ(harness.messages()[0].level, 32);
        EXPECT_EQ(harness.messages()[0].text, c.message);

        RequestPacket packet{};
        packet.direction = c.direction;
        EXPECT_EQ(zurpm::buildRequestPacket(&access, &packet), 1) << "the builder refuses it too";
        EXPECT_EQ(harness.messages().size(), 1u) << "the builder adds no message";
        EXPECT_TRUE(host.guardsIntact());
    }
}

TEST(PacketBuilding, NoValueBufferIsRefused) {
    DriverHarness harness;
    GateAccess access = accessOf(8, 0, 2, W, -1, nullptr);
    EXPECT_EQ(zurpm::checkRequestCapacity(&access, directionWrite), 1);
    ASSERT_EQ(harness.messages().size(), 1u);
    EXPECT_EQ(harness.messages()[0].text,
              "ZURPM Error: Cannot transfer 2 elements of memory type 8 without a value buffer");
}

}  // namespace
