// The driver's device layer as the XPORTIO device sees it: the bytes of each request, what happens
// when the device refuses one, and the rules of a closed device.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "hw/port_device.h"
#include "pcimemu/virtual_plant.h"
#include "platform/virtual/virtual_platform.h"

namespace {

using namespace zurpm;
using pcimemu::card;
using pcimemu::VirtualPlant;

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char digits[4];
    for (uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X ", b);
        text += digits;
    }
    return text;
}

std::vector<uint8_t> pointerBytes(const void* pointer) {
    std::vector<uint8_t> bytes(sizeof pointer);
    std::memcpy(bytes.data(), &pointer, sizeof pointer);
    return bytes;
}

class PortDevice : public ::testing::Test {
protected:
    void SetUp() override {
        virt::reset();
        deviceHandle = -1;  // whatever an earlier test left
        plant = std::make_unique<VirtualPlant>(std::vector<pcimemu::CardSpec>{card(0xCC00, 0x3E0, 31).plc(3)});
    }
    void TearDown() override {
        closePortDevice();
        plant.reset();
        virt::reset();
    }
    const std::vector<virt::DeviceRequest>& requests() { return virt::deviceRequests(); }
    std::unique_ptr<VirtualPlant> plant;
};

TEST_F(PortDevice, MapRequestCarriesTheCardsWindowInTwentyFourBytes) {
    ASSERT_EQ(openPortDevice(), 1);
    volatile uint8_t* window = mapPhysicalMemory(0xCC00, 0x4000);
    EXPECT_EQ(window, plant->window(0)) << "the map did not answer the card's window";
    ASSERT_EQ(requests().size(), 1u);
    const virt::DeviceRequest& request = requests()[0];
    EXPECT_EQ(request.code, 0xD0532000u);
    EXPECT_EQ(hex(request.input), hex({0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x0C, 0x00,
                                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00}))
        << "interface 1, bus 0, physical 0xCC000, space 0, length 0x4000";
    EXPECT_EQ(request.outputLength, sizeof(void*));
    EXPECT_TRUE(plant->plant().mapped(0));
}

TEST_F(PortDevice, UnmapHandsBackTheMappedAddress) {
    ASSERT_EQ(openPortDevice(), 1);
    volatile uint8_t* window = mapPhysicalMemory(0xCC00, 0x4000);
    unmapPhysicalMemory(window);
    ASSERT_EQ(requests().size(), 2u);
    EXPECT_EQ(requests()[1].code, 0xD0532004u);
    EXPECT_EQ(hex(requests()[1].input), hex(pointerBytes(plant->window(0))));
    EXPECT_TRUE(requests()[1].accepted);
    EXPECT_FALSE(plant->plant().mapped(0));
}

TEST_F(PortDevice, PortWriteIsPortThenValue) {
    ASSERT_EQ(openPortDevice(), 1);
    EXPECT_EQ(writePort(0x3E3, 0x99), 0);
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_EQ(requests()[0].code, 0xD053200Cu);
    EXPECT_EQ(hex(requests()[0].input), hex({0xE3, 0x03, 0x99, 0x00}));
    ASSERT_EQ(plant->portEvents().size(), 1u);
    EXPECT_EQ(plant->portEvents()[0].port, 0x3E3);
    EXPECT_EQ(plant->portEvents()[0].value, 0x99);
}

TEST_F(PortDevice, RefusedPortWriteAnswersOne) {
    ASSERT_EQ(openPortDevice(), 1);
    EXPECT_EQ(writePort(0x200, 0x01), 1) << "a port of no card";
    plant->faults(0).refusePortWrite = true;
    EXPECT_EQ(writePort(0x3E1, 0x01), 1);
    EXPECT_EQ(virt::consoleText(), "");
}

TEST_F(PortDevice, PortReadAnswersTheCardsStatusBits) {
    plant->faults(0).ioStatusBits = 0x18;
    ASSERT_EQ(openPortDevice(), 1);
    EXPECT_EQ(readPort(0x3E0), 0x18);
    ASSERT_EQ(requests().size(), 1u);
    EXPECT_EQ(requests()[0].code, 0xD0532008u);
    EXPECT_EQ(hex(requests()[0].input), hex({0xE0, 0x03}));
    EXPECT_EQ(requests()[0].outputLength, 2u);
}

TEST_F(PortDevice, RefusedMapIsFollowedByExactlyOneUnmapOfZero) {
    const struct {
        const char* what;
        uint16_t segment;
        bool refuse;
    } cases[] = {{"card refuses its map", 0xCC00, true}, {"no card at the segment", 0xD000, false}};
    for (const auto& c : cases) {
        SetUp();
        plant->faults(0).refuseMap = c.refuse;
        ASSERT_EQ(openPortDevice(), 1);
        EXPECT_EQ(mapPhysicalMemory(c.segment, 0x4000), nullptr) << c.what;
        ASSERT_EQ(requests().size(), 2u) << c.what << ": the map and one unmap";
        EXPECT_EQ(requests()[0].code, 0xD0532000u) << c.what;
        EXPECT_FALSE(requests()[0].accepted) << c.what;
        EXPECT_EQ(requests()[1].code, 0xD0532004u) << c.what;
        EXPECT_EQ(hex(requests()[1].input), hex(std::vector<uint8_t>(sizeof(void*), 0)))
            << c.what << ": the unmap carries a pointer-sized 0";
        TearDown();
    }
}

TEST_F(PortDevice, RefusedPortReadPrintsTheDeviceErrorAndYieldsZero) {
    const struct {
        const char* what;
        uint16_t port;
    } cases[] = {{"card refuses port reads", 0x3E0}, {"port of no card", 0x2F0}};
    for (const auto& c : cases) {
        SetUp();
        plant->faults(0).ioStatusBits = 0x18;
        plant->faults(0).refusePortRead = true;
        ASSERT_EQ(openPortDevice(), 1);
        EXPECT_EQ(readPort(c.port), 0) << c.what;
        EXPECT_EQ(virt::consoleText(), "XPORTIO error: IOctl(rport) returned 1\n") << c.what;
        TearDown();
    }
}

TEST_F(PortDevice, ClosedDeviceSendsNothing) {
    EXPECT_EQ(readPort(0x3E0), 0);
    EXPECT_EQ(mapPhysicalMemory(0xCC00, 0x4000), nullptr);
    writePort(0x3E1, 0x01);
    unmapPhysicalMemory(plant->window(0));
    EXPECT_TRUE(requests().empty()) << requests().size() << " requests sent to a closed device";
    EXPECT_EQ(virt::consoleText(), "") << "a closed device printed something";
    EXPECT_FALSE(plant->plant().deviceOpen());
}

TEST_F(PortDevice, ClosingTwiceClosesOnce) {
    ASSERT_EQ(openPortDevice(), 1);
    closePortDevice();
    closePortDevice();
    EXPECT_EQ(virt::deviceCloseCount(), 1);
    EXPECT_EQ(deviceHandle, -1);
    EXPECT_FALSE(plant->plant().deviceOpen());
}

TEST_F(PortDevice, MissingDeviceCannotBeOpened) {
    plant->xportioFaults().cannotOpen = true;
    EXPECT_EQ(openPortDevice(), 0);
    EXPECT_EQ(deviceHandle, -1);
    EXPECT_EQ(mapPhysicalMemory(0xCC00, 0x4000), nullptr);
    EXPECT_TRUE(requests().empty());
}

}  // namespace
