// The XPORTIO device of the plant: its four control requests and their sizes, which windows it
// maps, which ports it serves, and its faults.
#include <gtest/gtest.h>

#include <cstring>

#include "bench.h"
#include "zurpm/little_endian.h"

namespace pcimemu::bench {
namespace {

std::vector<uint8_t> mapRequest(uint32_t physical, uint32_t length, uint32_t interfaceType = 1,
                                uint32_t bus = 0, uint32_t space = 0) {
    std::vector<uint8_t> bytes(24, 0);
    const auto put = [&](size_t at, uint32_t value) { zurpm::putLittle32(&bytes[at], value); };
    put(0, interfaceType);
    put(4, bus);
    put(8, physical);
    put(16, space);
    put(20, length);
    return bytes;
}

PlantSpec twoCards() {
    CardSpec second = standardCard();
    second.memorySegment = 0xD000;
    second.ioPort = 0x300;
    return plantOf({standardCard(), second});
}

TEST(Xportio, MapAnswersTheWindowOfTheCardAtThatSegment) {
    Bench bench(twoCards());
    for (int card = 0; card < 2; ++card) {
        const uint32_t physical = uint32_t(bench.plant.setup(card).memorySegment) * 16;
        const auto request = mapRequest(physical, 0x4000);
        uint8_t* address = nullptr;
        uint32_t returned = 0;
        ASSERT_TRUE(bench.plant.control(0xD0532000, request.data(), 24, &address, sizeof address, &returned))
            << "card " << card;
        EXPECT_EQ(address, bench.plant.window(card));
        EXPECT_EQ(returned, sizeof address);
        EXPECT_TRUE(bench.plant.mapped(card));
    }
}

TEST(Xportio, MapRefusesWhatIsNotACardWindow) {
    const struct {
        const char* what;
        std::vector<uint8_t> request;
    } cases[] = {
        {"no card at 0xD0000", mapRequest(0xD0000, 0x4000)},
        {"inside a window, not at its start", mapRequest(0xCC010, 0x1000)},
        {"longer than 16 KB", mapRequest(0xCC000, 0x4001)},
        {"length 0", mapRequest(0xCC000, 0)},
        {"not the ISA bus", mapRequest(0xCC000, 0x4000, 2)},
        {"bus 1", mapRequest(0xCC000, 0x4000, 1, 1)},
        {"I/O space", mapRequest(0xCC000, 0x4000, 1, 0, 1)},
    };
    for (const auto& c : cases) {
        Bench bench;
        uint8_t* address = nullptr;
        EXPECT_FALSE(bench.plant.control(0xD0532000, c.request.data(), 24, &address, sizeof address, nullptr))
            << c.what;
        EXPECT_FALSE(bench.plant.mapped(0)) << c.what;
    }
}

TEST(Xportio, RequestsOfTheWrongSizeAreRefused) {
    Bench bench;
    const auto map = mapRequest(0xCC000, 0x4000);
    uint8_t out[16] = {};
    const uint8_t port[4] = {0xE0, 0x03, 0x99, 0x00};
    EXPECT_FALSE(bench.plant.control(0xD0532000, map.data(), 23, out, sizeof(void*), nullptr)) << "map in 23";
    EXPECT_FALSE(bench.plant.control(0xD0532000, map.data(), 24, out, sizeof(void*) - 1, nullptr))
        << "map out short of a pointer";
    EXPECT_FALSE(bench.plant.control(0xD0532008, port, 1, out, 2, nullptr)) << "port read in 1";
    EXPECT_FALSE(bench.plant.control(0xD0532008, port, 2, out, 1, nullptr)) << "port read out 1";
    EXPECT_FALSE(bench.plant.control(0xD053200C, port, 3, nullptr, 0, nullptr)) << "port write in 3";
    EXPECT_FALSE(bench.plant.control(0xD0532004, out, 3, nullptr, 0, nullptr)) << "unmap in 3";
    EXPECT_FALSE(bench.plant.control(0xD0532010, port, 4, nullptr, 0, nullptr)) << "unknown code";
    EXPECT_TRUE(bench.plant.control(0xD0532008, port, 2, out, 2, nullptr)) << "a proper port read";
}

TEST(Xportio, UnmapTakesBackAMappedWindowOnly) {
    Bench bench;
    const auto request = mapRequest(0xCC000, 0x4000);
    uint8_t* address = nullptr;
    ASSERT_TRUE(bench.plant.control(0xD0532000, request.data(), 24, &address, sizeof address, nullptr));
    uint8_t* nothing = nullptr;
    EXPECT_FALSE(bench.plant.control(0xD0532004, &nothing, sizeof nothing, nullptr, 0, nullptr));
    EXPECT_TRUE(bench.plant.control(0xD0532004, &address, sizeof address, nullptr, 0, nullptr));
    EXPECT_FALSE(bench.plant.mapped(0));
    EXPECT_FALSE(bench.plant.control(0xD0532004, &address, sizeof address, nullptr, 0, nullptr))
        << "unmapped twice";
}

TEST(Xportio, PortsBelongToTheCardWhoseBlockTheyFallIn) {
    Bench bench(twoCards());
    const struct {
        uint16_t port;
        bool served;
    } cases[] = {{0x3DF, false}, {0x3E0, true}, {0x3E3, true}, {0x3E4, false},
                 {0x300, true},  {0x303, true}, {0x304, false}, {0x000, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(bench.plant.readPort(c.port).has_value(), c.served) << "read of port " << std::hex << c.port;
        EXPECT_EQ(bench.plant.writePort(c.port, 0), c.served) << "write to port " << std::hex << c.port;
    }
    // The wake-up written to the second card's ports wakes the second card only.
    bench.wake(1);
    bench.run(1500);
    EXPECT_FALSE(bench.plant.heartbeat(0));
    EXPECT_TRUE(bench.plant.heartbeat(1));
}

TEST(Xportio, PortReadAnswersTwoBytesLittleEndian) {
    CardSpec setup = standardCard();
    setup.faults.ioStatusBits = 0x18;
    Bench bench(plantOf({setup}));
    const uint8_t port[2] = {0xE0, 0x03};
    uint8_t value[2] = {0xAA, 0xAA};
    uint32_t returned = 0;
    ASSERT_TRUE(bench.plant.control(0xD0532008, port, 2, value, 2, &returned));
    EXPECT_EQ(value[0], 0x18);
    EXPECT_EQ(value[1], 0x00);
    EXPECT_EQ(returned, 2u);
}

TEST(Xportio, PortWriteTakesPortThenValue) {
    Bench bench;
    const uint8_t writes[][4] = {{0xE3, 0x03, 0x99, 0x00}, {0xE1, 0x03, 0x01, 0x00}, {0xE1, 0x03, 0x43, 0x00}};
    for (const auto& write : writes) ASSERT_TRUE(bench.plant.control(0xD053200C, write, 4, nullptr, 0, nullptr));
    bench.run(1500);
    EXPECT_TRUE(bench.plant.heartbeat(0)) << "the wake-up sent as device requests did not wake the card";
    ASSERT_GE(bench.plant.portEvents().size(), 3u);
    const PortEvent& first = bench.plant.portEvents()[0];
    EXPECT_EQ(first.port, 0x3E3);
    EXPECT_TRUE(first.write);
    EXPECT_EQ(first.value, 0x99);
    EXPECT_TRUE(first.accepted);
}

TEST(Xportio, PortEventsCarryTheirTimes) {
    Bench bench;
    bench.run(5);
    bench.plant.readPort(0x3E0);
    bench.run(7);
    bench.plant.writePort(0x3E1, 0x01);
    bench.plant.readPort(0x3F0);
    const auto& events = bench.plant.portEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].atMs, 5u);
    EXPECT_EQ(events[1].atMs, 12u);
    EXPECT_FALSE(events[2].accepted);
}

TEST(Xportio, ClosedDeviceRefusesEverything) {
    Bench bench;
    bench.plant.closeDevice();
    const auto request = mapRequest(0xCC000, 0x4000);
    uint8_t* address = nullptr;
    EXPECT_FALSE(bench.plant.control(0xD0532000, request.data(), 24, &address, sizeof address, nullptr));
    EXPECT_FALSE(bench.plant.readPort(0x3E0));
    EXPECT_FALSE(bench.plant.writePort(0x3E1, 1));
    EXPECT_TRUE(bench.plant.openDevice());
    EXPECT_FALSE(bench.plant.openDevice()) << "opened twice";
}

TEST(XportioFaults, EachFaultRefusesItsRequest) {
    {
        PlantSpec setup = plantOf({standardCard()});
        setup.xportio.cannotOpen = true;
        Plant plant(setup);
        EXPECT_FALSE(plant.openDevice()) << "cannotOpen";
    }
    {
        Bench bench;
        bench.plant.faults(0).refuseMap = true;
        const auto request = mapRequest(0xCC000, 0x4000);
        uint8_t* address = nullptr;
        EXPECT_FALSE(bench.plant.control(0xD0532000, request.data(), 24, &address, sizeof address, nullptr))
            << "refuseMap";
    }
    {
        Bench bench;
        bench.plant.faults(0).refusePortRead = true;
        EXPECT_FALSE(bench.plant.readPort(0x3E0)) << "refusePortRead";
        EXPECT_TRUE(bench.plant.writePort(0x3E1, 1)) << "refusePortRead refused a write";
    }
    {
        Bench bench;
        bench.plant.faults(0).refusePortWrite = true;
        bench.wake();
        bench.run(1500);
        EXPECT_FALSE(bench.plant.heartbeat(0)) << "refusePortWrite let the wake-up through";
    }
    {
        Bench bench;
        bench.plant.xportioFaults().refuseUnmap = true;
        const auto request = mapRequest(0xCC000, 0x4000);
        uint8_t* address = nullptr;
        ASSERT_TRUE(bench.plant.control(0xD0532000, request.data(), 24, &address, sizeof address, nullptr));
        EXPECT_FALSE(bench.plant.control(0xD0532004, &address, sizeof address, nullptr, 0, nullptr))
            << "refuseUnmap";
    }
}

TEST(PlantSpecCheck, ImpossiblePlantsAreRejected) {
    const auto withDevice = [](uint8_t number) {
        CardSpec card = standardCard();
        DeviceSpec device;
        device.number = number;
        card.devices.push_back(device);
        return card;
    };
    CardSpec overlappingWindow = standardCard();
    overlappingWindow.memorySegment = 0xCE00;
    overlappingWindow.ioPort = 0x300;
    CardSpec overlappingPorts = standardCard();
    overlappingPorts.memorySegment = 0xD000;
    overlappingPorts.ioPort = 0x3E2;
    const struct {
        const char* what;
        PlantSpec setup;
    } cases[] = {
        {"device number 32", plantOf({withDevice(32)})},
        {"device twice", plantOf({withDevice(3)})},
        {"device with the card's own number", plantOf({withDevice(31)})},
        {"windows overlap", plantOf({standardCard(), overlappingWindow})},
        {"ports overlap", plantOf({standardCard(), overlappingPorts})},
    };
    for (const auto& c : cases) EXPECT_THROW(Plant{c.setup}, std::invalid_argument) << c.what;
}

TEST(PlantWindows, AllocatorProvidesTheWindowMemory) {
    static uint8_t memory[0x4000];
    std::memset(memory, 0xFF, sizeof memory);
    Plant plant(plantOf({standardCard()}), [](int, uint32_t length) {
        return length == 0x4000 ? memory : nullptr;
    });
    EXPECT_EQ(plant.window(0), memory);
    EXPECT_EQ(memory[0x893], 0) << "the card's memory was not cleared at power-on";
}

}  // namespace
}  // namespace pcimemu::bench
