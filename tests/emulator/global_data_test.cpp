// Global data: the lockout handshake, the device table, and the bus scan that exchanges the input
// tables with the I/O blocks of the LAN.
#include <gtest/gtest.h>

#include "bench.h"

namespace pcimemu::bench {
namespace {

constexpr uint32_t blockTable = 0x2000 + 128 * 5;  // input table of block 5

class GlobalData : public ::testing::Test {
protected:
    void SetUp() override { bench.start(); }
    IoBlock& block() { return *bench.plant.ioBlock(0, 5); }
    Bench bench;
};

TEST_F(GlobalData, DeviceTableShowsTheDevicesOnTheLanAndTheCardItself) {
    std::vector<uint8_t> presence;
    for (uint32_t d = 0; d < 32; ++d) presence.push_back(bench.byte(0, 0x1E02 + 8 * d));
    std::vector<uint8_t> expected(32, 0);
    expected[3] = 1;   // PLC
    expected[5] = 1;   // I/O block
    expected[31] = 1;  // the card's own number; device 7 is described but absent
    EXPECT_EQ(hex(presence), hex(expected));
}

TEST(GlobalDataBeforeConfiguration, DeviceTableIsEmptyUntilTheCardIsOnTheLan) {
    Bench bench;
    bench.wake();
    bench.run(1500);
    bench.run(100);
    for (uint32_t d = 0; d < 32; ++d) EXPECT_EQ(bench.byte(0, 0x1E02 + 8 * d), 0) << "device " << d;
}

TEST_F(GlobalData, LockoutIsGrantedAndWithdrawnAtTheNextMillisecond) {
    bench.set(0, 0xA48, 1);
    EXPECT_EQ(bench.byte(0, 0xA49), 0);
    bench.run(1);
    EXPECT_NE(bench.byte(0, 0xA49), 0) << "lockout not granted";
    bench.set(0, 0xA48, 0);
    bench.run(1);
    EXPECT_EQ(bench.byte(0, 0xA49), 0) << "grant not withdrawn after the release";
}

TEST_F(GlobalData, LockoutNeverGranted) {
    bench.plant.faults(0).lockoutNeverGranted = true;
    bench.set(0, 0xA48, 1);
    bench.run(1000);
    EXPECT_EQ(bench.byte(0, 0xA49), 0);
}

TEST_F(GlobalData, BlockChangesAppearAtTheNextScan) {
    block().setData(0, 0x5A);
    block().setData(127, 0xC3);
    EXPECT_EQ(bench.byte(0, blockTable), 0) << "appeared before any scan";
    bench.run(10);
    EXPECT_EQ(bench.byte(0, blockTable), 0x5A);
    EXPECT_EQ(bench.byte(0, blockTable + 127), 0xC3);
}

TEST_F(GlobalData, WritesToABlockStickAndReachTheBlock) {
    bench.set(0, blockTable + 10, 0x81);
    bench.run(10);
    EXPECT_EQ(block().data(10), 0x81) << "the PC's write was not delivered to the block";
    bench.run(100);
    EXPECT_EQ(bench.byte(0, blockTable + 10), 0x81) << "the PC's write was undone by the scans";
}

TEST_F(GlobalData, PcWriteAndBlockChangeInOneScanPeriodBothArrive) {
    bench.set(0, blockTable + 1, 0x11);
    block().setData(2, 0x22);
    bench.run(10);
    EXPECT_EQ(bench.byte(0, blockTable + 1), 0x11);
    EXPECT_EQ(bench.byte(0, blockTable + 2), 0x22);
    EXPECT_EQ(block().data(1), 0x11);
}

TEST_F(GlobalData, TablesAreNotRefreshedWhileTheLockoutIsHeld) {
    bench.set(0, 0xA48, 1);
    bench.run(1);
    ASSERT_NE(bench.byte(0, 0xA49), 0);
    block().setData(0, 0x77);
    bench.set(0, blockTable + 4, 0x44);
    bench.run(50);
    EXPECT_EQ(bench.byte(0, blockTable), 0) << "table refreshed under the lockout";
    EXPECT_EQ(block().data(4), 0) << "table delivered to the block under the lockout";
    bench.set(0, 0xA48, 0);
    bench.run(10);
    EXPECT_EQ(bench.byte(0, blockTable), 0x77);
    EXPECT_EQ(block().data(4), 0x44) << "a write made under the lockout was lost";
}

TEST_F(GlobalData, AbsentBlockIsNeitherListedNorExchanged) {
    bench.plant.faults(0, 5).absent = true;
    block().setData(0, 0x99);
    bench.run(20);
    EXPECT_EQ(bench.byte(0, 0x1E02 + 8 * 5), 0);
    EXPECT_EQ(bench.byte(0, blockTable), 0);
}

TEST_F(GlobalData, ChangesAreReportedWithTheirOrigin) {
    std::vector<GlobalDataEvent> events;
    bench.plant.onGlobalData([&](const GlobalDataEvent& event) { events.push_back(event); });
    bench.set(0, blockTable + 3, 0x01);
    bench.set(0, blockTable + 4, 0x02);
    block().setData(9, 0x09);
    bench.set(0, 0x1F80 + 2, 0xEE);  // the card's own output table
    bench.run(10);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].device, 31);
    EXPECT_TRUE(events[0].fromHost);
    EXPECT_EQ(events[0].offset, 2u);
    EXPECT_EQ(hex(events[1].bytes), hex({0x01, 0x02}));
    EXPECT_EQ(events[1].offset, 3u);
    EXPECT_TRUE(events[1].fromHost);
    EXPECT_EQ(events[2].device, 5);
    EXPECT_EQ(events[2].offset, 9u);
    EXPECT_FALSE(events[2].fromHost);
}

}  // namespace
}  // namespace pcimemu::bench
