// The XPORTIO device served in the driver's own process (what the Windows host tools put behind
// zurpm.dll's imports): requests as DeviceIoControl carries them, windows by their address here.
#include <gtest/gtest.h>

#include <cstring>

#include "pcimemu/card_map.h"
#include "pcimemu/inprocess_device.h"
#include "socket_fixtures.h"

using namespace posixdevice;

namespace {

pcimemu::PlantSpec twoCards() {
    pcimemu::PlantSpec setup;
    for (const auto& [segment, port] : {std::pair<uint16_t, uint16_t>{0xCC00, 0x3E0}, {0xD000, 0x2E0}}) {
        pcimemu::CardSpec card;
        card.memorySegment = segment;
        card.ioPort = port;
        card.bootTimeMs = 20;
        setup.cards.push_back(card);
    }
    return setup;
}

struct Answer {
    bool accepted;
    uint32_t returned;
};

Answer send(pcimemu::InProcessDevice& device, uint32_t code, const std::vector<uint8_t>& in, void* out = nullptr,
            uint32_t outLength = 0) {
    uint32_t returned = 99;
    const bool accepted = device.control(code, in.data(), static_cast<uint32_t>(in.size()), out, outLength, returned);
    return {accepted, returned};
}

uint8_t* window(pcimemu::InProcessDevice& device, int card) {
    return device.withPlant([card](pcimemu::Plant& plant) { return plant.window(card); });
}

bool mapped(pcimemu::InProcessDevice& device, int card) {
    return device.withPlant([card](pcimemu::Plant& plant) { return plant.mapped(card); });
}

TEST(InProcessDevice, MapAnswersTheWindowsAddressHereAndUnmapNamesIt) {
    pcimemu::InProcessDevice device(twoCards());
    ASSERT_TRUE(device.open());
    EXPECT_FALSE(device.open()) << "the device opened twice at once";

    uint8_t* address = nullptr;
    EXPECT_FALSE(send(device, mapCode, mapRequest(0xD000, 0x4000), &address, sizeof address - 1).accepted)
        << "a map answered into an output too small for an address";
    EXPECT_FALSE(mapped(device, 1)) << "the refused map left the card mapped";

    const Answer granted = send(device, mapCode, mapRequest(0xD000, 0x4000), &address, sizeof address);
    ASSERT_TRUE(granted.accepted);
    EXPECT_EQ(granted.returned, sizeof address);
    EXPECT_EQ(address, window(device, 1)) << "the map did not answer the second card's own window";
    address[0x8A2] = 0x5A;
    EXPECT_EQ(window(device, 1)[0x8A2], 0x5A);

    uint8_t* again = nullptr;
    ASSERT_TRUE(send(device, mapCode, mapRequest(0xD000, 0x4000), &again, sizeof again).accepted);
    uint8_t* first = nullptr;
    ASSERT_TRUE(send(device, mapCode, mapRequest(0xCC00, 0x4000), &first, sizeof first).accepted);

    // An unmap releases the window it names, one grant at a time; other addresses are refused.
    EXPECT_FALSE(send(device, unmapCode, addressBytes(nullptr)).accepted);
    EXPECT_FALSE(send(device, unmapCode, addressBytes(address + 1)).accepted);
    EXPECT_FALSE(send(device, unmapCode, {0, 0}).accepted) << "an address shorter than a pointer";
    EXPECT_TRUE(send(device, unmapCode, addressBytes(address)).accepted);
    EXPECT_TRUE(mapped(device, 1)) << "one unmap released both grants of the window";
    EXPECT_TRUE(mapped(device, 0));
    EXPECT_TRUE(send(device, unmapCode, addressBytes(address)).accepted);
    EXPECT_FALSE(mapped(device, 1));

    device.close();
    EXPECT_FALSE(mapped(device, 0)) << "closing left the client's window mapped";
    EXPECT_TRUE(device.open()) << "the device did not open again after a close";
}

TEST(InProcessDevice, PortsAnswerWhileTheClockRunsTheCards) {
    pcimemu::InProcessDevice device(twoCards());
    ASSERT_TRUE(device.open());
    uint8_t value[2] = {0xEE, 0xEE};
    EXPECT_FALSE(send(device, readPortCode, portNumber(0x3E3), value, 1).accepted) << "a value into one byte";
    // The wake-up; the heartbeat comes from the clock thread, in real time.
    for (const uint16_t written : {0x99, 0x01, 0x43})
        EXPECT_TRUE(send(device, writePortCode, portWrite(written == 0x99 ? 0x2E3 : 0x2E1, written)).accepted);
    const Answer read = send(device, readPortCode, portNumber(0x2E1), value, sizeof value);
    EXPECT_TRUE(read.accepted);
    EXPECT_EQ(read.returned, 2u);
    EXPECT_EQ(value[0], 0x43);
    EXPECT_TRUE(eventually([&] { return window(device, 1)[pcimemu::cardmap::heartbeat] == 1; }))
        << "the woken card never showed its heartbeat";
    EXPECT_FALSE(send(device, writePortCode, portWrite(0x100, 1)).accepted) << "a port of no card";
    EXPECT_FALSE(send(device, 0xD0532010, {}).accepted) << "a code the device does not know";
}

TEST(InProcessDevice, AnUninstalledDeviceDoesNotOpen) {
    pcimemu::PlantSpec setup = twoCards();
    setup.xportio.cannotOpen = true;
    pcimemu::InProcessDevice device(setup);
    EXPECT_FALSE(device.open());
}

}  // namespace
