// The emulated plant as the virtual platform's device: the driver's own port writes and sleeps
// wake a card on the virtual clock, wherever the clock stands.
#include <gtest/gtest.h>

#include "hw/port_device.h"
#include "pcimemu/virtual_plant.h"
#include "platform/platform.h"
#include "platform/virtual/virtual_platform.h"

namespace {

using namespace zurpm;
using pcimemu::card;
using pcimemu::VirtualPlant;

class VirtualPlantDevice : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override {
        virt::reset();
        deviceHandle = -1;
    }
    void TearDown() override {
        closePortDevice();
        virt::reset();
    }
};

// The clock may be set before or after the plant is made, and may wrap during the boot.
TEST_P(VirtualPlantDevice, WakeUpThroughTheDriverBringsTheHeartbeatOnTheVirtualClock) {
    VirtualPlant plant({card(0xCC00, 0x3E0, 31).bootTimeMs(1500).plc(3)});
    virt::setTickCount(GetParam());
    ASSERT_EQ(openPortDevice(), 1);
    volatile uint8_t* window = mapPhysicalMemory(0xCC00, 0x4000);
    ASSERT_NE(window, nullptr);
    writePort(0x3E3, 0x99);
    writePort(0x3E1, 0x01);
    writePort(0x3E1, 0x43);
    platform::sleepMs(1499);
    EXPECT_EQ(window[0x893], 0) << "heartbeat before the boot time, clock from " << GetParam();
    platform::sleepMs(1);
    EXPECT_EQ(window[0x893], 1) << "no heartbeat at the boot time, clock from " << GetParam();
}

INSTANTIATE_TEST_SUITE_P(ClockStarts, VirtualPlantDevice, ::testing::Values(0u, 123456u, 0xFFFFFC00u));

TEST(VirtualPlantFixture, InstallAgainAfterAPlatformReset) {
    virt::reset();
    deviceHandle = -1;
    VirtualPlant plant({card()});
    virt::reset();
    EXPECT_EQ(openPortDevice(), 0) << "a reset platform still had a device";
    plant.install();
    EXPECT_EQ(openPortDevice(), 1);
    closePortDevice();
    virt::reset();
}

TEST(VirtualPlantFixture, BringOnlineLeavesACardReadyForRequests) {
    virt::reset();
    VirtualPlant plant({card(0xCC00, 0x3E0, 31).plc(3).ioBlock(5)});
    plant.bringOnline();
    EXPECT_EQ(plant.readByte(0, 0x893), 1);
    EXPECT_EQ(plant.readByte(0, 0x882) & 0x1F, 31);
    EXPECT_EQ(plant.readByte(0, 0x1E02 + 8 * 3), 1);
    EXPECT_EQ(plant.readByte(0, 0x1E02 + 8 * 5), 1);
    EXPECT_EQ(plant.readByte(0, 0x1E02 + 8 * 31), 1);
    EXPECT_THROW(plant.plc(0, 5), std::out_of_range) << "device 5 is a block, not a PLC";
    virt::reset();
}

}  // namespace
