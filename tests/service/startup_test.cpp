// Cards into service and out of it: the start-up handshake with its timing and every way it can
// fail, restart, stop, and what the driver gives back or refuses to touch.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "cards/card_config.h"
#include "hw/port_device.h"
#include "hw/window.h"
#include "service_support.h"

namespace {

using pcimemu::card;
using service::Bench;
using service::Lines;
using service::PortAccess;

const std::string startingCard1 = "32: ZURPM Message: Starting Card at memmory adrress CC00 \n\t I/O port 3E0";
const std::string startingCard2 = "32: ZURPM Message: Starting Card at memmory adrress C800 \n\t I/O port 300";

Lines cardInService(int deviceNumber, const char* version = "23") {
    return {"32: ZURPM Message: Genius device number for PCIM card is " + std::to_string(deviceNumber),
            std::string("32: ZURPM Message: Card version number is ") + version};
}

Lines join(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The device requests of one control code, in order.
std::vector<zurpm::virt::DeviceRequest> requestsOf(uint32_t code) {
    std::vector<zurpm::virt::DeviceRequest> found;
    for (const auto& request : zurpm::virt::deviceRequests())
        if (request.code == code) found.push_back(request);
    return found;
}

TEST(Start, WithoutConfigurationFileStartsDefaultCardOne) {
    Bench bench(std::nullopt, {card(0xCC00, 0x3E0, 31)});
    bench.driver.context.numberBase = 16;
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    EXPECT_EQ(bench.lines(), join({"32: ZURPM Warning: No ZURPM.INT found using defaults", startingCard1},
                                  cardInService(31)));
    EXPECT_EQ(bench.driver.context.numberBase, 10);
    ASSERT_NE(bench.driver.context.cards[0], nullptr);
    for (int slot = 1; slot < 4; ++slot) EXPECT_EQ(bench.driver.context.cards[slot], nullptr) << slot;
    EXPECT_TRUE(bench.plant->online(0)) << "the card did not come on line";
}

TEST(Start, DeviceThatCannotBeOpenedTouchesNoCard) {
    Bench bench(service::oneCard, {card()});
    bench.plant.xportioFaults().cannotOpen = true;
    bench.driver.context.numberBase = 16;
    bench.driver.context.cards[2] = reinterpret_cast<CardConfig*>(0x1234);
    EXPECT_EQ(bench.start(), ZUR_RESULT_FAILED);
    EXPECT_EQ(bench.lines(), Lines{"32: ZURPM Error: Unable to open XPORTIO.SYS"});
    EXPECT_EQ(bench.driver.context.numberBase, 10);
    for (int slot = 0; slot < 4; ++slot) EXPECT_EQ(bench.driver.context.cards[slot], nullptr) << slot;
    EXPECT_TRUE(zurpm::virt::deviceRequests().empty());
}

TEST(Start, RefusedMapSkipsThatCardOnly) {
    Bench bench(service::twoCards, {card(0xCC00, 0x3E0, 31), card(0xC800, 0x300, 30)});
    bench.plant.faults(1).refuseMap = true;
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    EXPECT_EQ(bench.lines(), join(join({startingCard1}, cardInService(31)),
                                  {startingCard2, "32: ZURPM Error: Unable to get pointer to PCIM card 2"}));
    for (const PortAccess& write : service::portWrites(bench.plant))
        EXPECT_NE(write.port & 0xFFFC, 0x300) << "card 2 was woken without a window: "
                                              << service::describe({write});
    EXPECT_EQ(bench.driver.context.cards[1]->window, nullptr);
    EXPECT_EQ(bench.driver.context.cards[1]->deviceNumber, zurpm::noDeviceNumber);
    // The refused map was cleaned up by one unmap of the device's answer.
    EXPECT_EQ(requestsOf(zurpm::XPORTIO_UNMAP_MEMORY).size(), 1u);
}

// Every way the handshake fails, at start and at restart: the handshake's own level-16 message,
// then the command's.
struct HandshakeFailure {
    const char* name;
    std::function<void(pcimemu::CardFaults&)> fault;
    std::string message;
};

const HandshakeFailure handshakeFailures[] = {
    {"no heartbeat", [](auto& f) { f.noHeartbeat = true; },
     "16: ZURPM Error: No Heart beat detected on PCIM card"},
    {"pending 1 for five looks", [](auto& f) { f.configStatusSequence = {1}; },
     "16: ZURPM Error: PCIM configuration never accepted"},
    {"pending 2 for five looks", [](auto& f) { f.configStatusSequence = {2, 2, 2, 2, 2, 4}; },
     "16: ZURPM Error: PCIM configuration never accepted"},
    {"status 8", [](auto& f) { f.configStatusSequence = {8}; },
     "16: ZURPM Error: PCIM configuration syntax error"},
    {"status 16", [](auto& f) { f.configStatusSequence = {16}; },
     "16: ZURPM Error: PCIM no config change found"},
    {"status 0", [](auto& f) { f.configStatusSequence = {0}; },
     "16: ZURPM Error: PCIM configuration error returned\n"},
    {"status 3", [](auto& f) { f.configStatusSequence = {3}; },
     "16: ZURPM Error: PCIM configuration error returned\n"},
    {"status 2 then 5", [](auto& f) { f.configStatusSequence = {2, 5}; },
     "16: ZURPM Error: PCIM configuration error returned\n"},
    {"status 255", [](auto& f) { f.configStatusSequence = {255}; },
     "16: ZURPM Error: PCIM configuration error returned\n"},
    {"heartbeat gone after setup", [](auto& f) { f.heartbeatStopsAfterConfig = true; },
     "16: ZURPM Error: No heartbeat detected after setup complete"},
    {"port bit 3", [](auto& f) { f.ioStatusBits = 0x08; },
     "16: ZURPM Error: PCIM OK signal never received from card"},
    {"port bits 3 and 4", [](auto& f) { f.ioStatusBits = 0x18; },
     "16: ZURPM Error: PCIM OK signal never received from card"},
    {"port bit 4", [](auto& f) { f.ioStatusBits = 0x10; },
     "16: ZURPM Error: PCIM communications error"},
    {"port bits above the five kept", [](auto& f) { f.ioStatusBits = 0xE7; }, ""},
};

TEST(Start, EveryHandshakeFailureIsReportedAndStartGoesOn) {
    for (const HandshakeFailure& row : handshakeFailures) {
        SCOPED_TRACE(row.name);
        Bench bench(service::oneCard, {card(0xCC00, 0x3E0, 7)});
        row.fault(bench.plant.faults(0));
        EXPECT_EQ(bench.start(), ZUR_RESULT_OK);
        const Lines expected = row.message.empty()
                                   ? join({startingCard1}, cardInService(7))
                                   : Lines{startingCard1, row.message,
                                           "32: ZURPM Error: Unable to start PCIM card 1"};
        EXPECT_EQ(bench.lines(), expected);
        if (!row.message.empty()) {
            EXPECT_EQ(bench.driver.context.cards[0]->deviceNumber, zurpm::noDeviceNumber)
                << "a failed handshake set the device number";
            EXPECT_NE(bench.driver.context.cards[0]->window, nullptr) << "the failed card lost its window";
        }
    }
}

TEST(Restart, EveryHandshakeFailureIsReportedAndKeepsTheDeviceNumber) {
    for (const HandshakeFailure& row : handshakeFailures) {
        SCOPED_TRACE(row.name);
        Bench bench(service::oneCard, {card(0xCC00, 0x3E0, 7)});
        ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
        row.fault(bench.plant.faults(0));
        const size_t mark = bench.mark();
        EXPECT_EQ(bench.call(ZUR_CMD_RESTART), ZUR_RESULT_OK);
        const Lines expected = row.message.empty()
                                   ? cardInService(7)
                                   : Lines{row.message, "32: ZURPM Error: Unable to restart PCIM card 1"};
        EXPECT_EQ(bench.lines(mark), expected);
        EXPECT_EQ(bench.driver.context.cards[0]->deviceNumber, 7);
    }
}

TEST(Start, HeartbeatAtTheThirdPollGoesOnAfterTwoPointTwoSeconds) {
    Bench bench(service::oneCard, {card()});
    bench.plant.faults(0).heartbeatAfterMs = 2150;
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    // Three heartbeat polls 100 ms apart after the 2 s wake-up, then the port bits read 100 ms
    // after the configuration command, then 1 s to the check after setup.
    const std::vector<uint32_t> expected = {2000, 2100, 2200, 2300};
    std::vector<uint32_t> times;
    for (const PortAccess& read : service::portReads(bench.plant, 0x3E0)) times.push_back(read.atMs);
    EXPECT_EQ(times, expected);
    EXPECT_EQ(zurpm::virt::tickCount(), 3300u);
    EXPECT_EQ(bench.lines(), join({startingCard1}, cardInService(31)));
}

TEST(Start, CardWithoutHeartbeatIsPolledTenTimes) {
    Bench bench(service::oneCard, {card()});
    bench.plant.faults(0).noHeartbeat = true;
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    std::vector<uint32_t> times;
    for (const PortAccess& read : service::portReads(bench.plant, 0x3E0)) times.push_back(read.atMs);
    const std::vector<uint32_t> expected = {2000, 2100, 2200, 2300, 2400, 2500, 2600, 2700, 2800, 2900};
    EXPECT_EQ(times, expected);
    EXPECT_EQ(zurpm::virt::tickCount(), 3000u) << "the sleep after the tenth poll is part of the wait";
}

// How long the configuration command is looked at, by the card's answers.
struct ConfigurationLooks {
    const char* name;
    std::vector<uint8_t> statuses;
    bool accepted;
    uint32_t lastLookAfterMs;  // after the command
};

TEST(Start, ConfigurationIsLookedAtUpToFiveTimes) {
    const ConfigurationLooks rows[] = {
        {"accepted at once", {}, true, 100},
        {"2 four times, then 4: accepted at the fifth look", {2, 2, 2, 2, 4}, true, 500},
        {"2 five times: never accepted", {2, 2, 2, 2, 2, 4}, false, 500},
        {"1 and 2 alternating", {1, 2, 1, 2, 1, 4}, false, 500},
        {"0 fails at the first look", {0}, false, 100},
        {"8 after two pending looks", {2, 2, 8}, false, 300},
    };
    for (const ConfigurationLooks& row : rows) {
        SCOPED_TRACE(row.name);
        Bench bench(service::oneCard, {card()});
        bench.plant.faults(0).configStatusSequence = row.statuses;
        ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
        // Heartbeat at the first poll (2000 ms): the command goes at 2000.
        const auto reads = service::portReads(bench.plant, 0x3E0);
        if (row.accepted) {
            ASSERT_EQ(reads.size(), 2u);
            EXPECT_EQ(reads[1].atMs, 2000 + row.lastLookAfterMs) << "port bits read at the wrong time";
            EXPECT_EQ(zurpm::virt::tickCount(), 3000 + row.lastLookAfterMs);
            EXPECT_TRUE(bench.plant->online(0));
        } else {
            EXPECT_EQ(reads.size(), 1u) << "the port bits were read after a refused configuration";
            EXPECT_EQ(zurpm::virt::tickCount(), 2000 + row.lastLookAfterMs) << "waited on after the verdict";
        }
    }
}

TEST(Start, WakeUpWritesGoInOrderAndStopResetsTheCard) {
    Bench bench(service::twoCards, {card(0xCC00, 0x3E0, 31), card(0xC800, 0x300, 30)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    const std::vector<PortAccess> wakeUps = {
        {0, 0x3E3, 0x99}, {0, 0x3E1, 0x01}, {0, 0x3E1, 0x43},
        {3100, 0x303, 0x99}, {3100, 0x301, 0x01}, {3100, 0x301, 0x43},
    };
    EXPECT_EQ(service::portWrites(bench.plant), wakeUps) << service::describe(service::portWrites(bench.plant));

    const size_t requestsBefore = zurpm::virt::deviceRequests().size();
    const volatile uint8_t* windows[] = {bench.driver.context.cards[0]->window,
                                         bench.driver.context.cards[1]->window};
    const size_t mark = bench.mark();
    EXPECT_EQ(bench.call(ZUR_CMD_STOP), ZUR_RESULT_OK);
    EXPECT_TRUE(bench.lines(mark).empty());

    // Per card: ioControl 1, ioRegister3 0x99, ioControl 1, then the unmap of its window.
    struct Expected {
        uint32_t code;
        uint16_t port;
        uint16_t value;
        const volatile uint8_t* window;
    };
    const Expected expected[] = {
        {zurpm::XPORTIO_WRITE_PORT, 0x3E1, 0x01, nullptr}, {zurpm::XPORTIO_WRITE_PORT, 0x3E3, 0x99, nullptr},
        {zurpm::XPORTIO_WRITE_PORT, 0x3E1, 0x01, nullptr}, {zurpm::XPORTIO_UNMAP_MEMORY, 0, 0, windows[0]},
        {zurpm::XPORTIO_WRITE_PORT, 0x301, 0x01, nullptr}, {zurpm::XPORTIO_WRITE_PORT, 0x303, 0x99, nullptr},
        {zurpm::XPORTIO_WRITE_PORT, 0x301, 0x01, nullptr}, {zurpm::XPORTIO_UNMAP_MEMORY, 0, 0, windows[1]},
    };
    const auto& requests = zurpm::virt::deviceRequests();
    ASSERT_EQ(requests.size() - requestsBefore, std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& request = requests[requestsBefore + i];
        SCOPED_TRACE("stop request " + std::to_string(i));
        ASSERT_EQ(request.code, expected[i].code);
        if (request.code == zurpm::XPORTIO_WRITE_PORT) {
            ASSERT_EQ(request.input.size(), 4u);
            EXPECT_EQ(zurpm::getLittle16(request.input.data()), expected[i].port);
            EXPECT_EQ(zurpm::getLittle16(request.input.data() + 2), expected[i].value);
        } else {
            ASSERT_EQ(request.input.size(), sizeof(void*));
            const volatile uint8_t* address;
            std::memcpy(&address, request.input.data(), sizeof address);
            EXPECT_EQ(address, expected[i].window);
        }
    }
    EXPECT_EQ(zurpm::virt::deviceCloseCount(), 1);
    EXPECT_EQ(bench.driver.context.cards[0]->window, nullptr);
    EXPECT_EQ(bench.driver.context.cards[1]->window, nullptr);
    EXPECT_FALSE(bench.plant->mapped(0));
    EXPECT_FALSE(bench.plant->mapped(1));
}

TEST(Start, SuccessfulHandshakeLeavesFlagBlocksConfigurationAndDeviceNumber) {
    Bench bench("1=CC00;3E0;30;16;150\n", {card(0xCC00, 0x3E0, 3).ownDeviceHighBits(0xE0).version(0x5C)});
    // What the driver must overwrite, and what it must not touch.
    for (uint32_t offset = 0x8A2; offset <= 0x8B9; ++offset) bench.plant.writeByte(0, offset, 0x77);
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    for (uint32_t offset = 0x8A2; offset <= 0x8A9; ++offset)
        EXPECT_EQ(bench.plant.readByte(0, offset), 0) << std::hex << "byte 0x" << offset;
    for (uint32_t offset = 0x8AA; offset <= 0x8B1; ++offset)
        EXPECT_EQ(bench.plant.readByte(0, offset), 0x77) << std::hex << "byte 0x" << offset << " was touched";
    for (uint32_t offset = 0x8B2; offset <= 0x8B8; ++offset)
        EXPECT_EQ(bench.plant.readByte(0, offset), 1) << std::hex << "byte 0x" << offset;
    EXPECT_EQ(bench.plant.readByte(0, 0x8B9), 0);
    EXPECT_EQ(bench.plant.readByte(0, zurpm::window::ownDeviceNumber), 0xE3) << "the device number byte was written";
    const uint8_t block[] = {0, 0, 16, 0, 128};
    for (uint32_t i = 0; i < 5; ++i)
        EXPECT_EQ(bench.plant.readByte(0, 0x883 + i), block[i]) << "configuration block byte " << i;
    EXPECT_EQ(bench.driver.context.cards[0]->deviceNumber, 3);
    EXPECT_EQ(bench.lines(), join({startingCard1}, cardInService(3, "5c")));
}

TEST(Restart, RepeatsTheHandshakeOnTheSameWindow) {
    Bench bench(service::twoCards, {card(0xCC00, 0x3E0, 31), card(0xC800, 0x300, 30)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    const auto maps = requestsOf(zurpm::XPORTIO_MAP_MEMORY).size();
    const volatile uint8_t* window = bench.driver.context.cards[0]->window;
    bench.plant->clearEvents();
    const uint32_t restartAt = zurpm::virt::tickCount();
    const size_t mark = bench.mark();
    ASSERT_EQ(bench.call(ZUR_CMD_RESTART), ZUR_RESULT_OK);
    EXPECT_EQ(bench.lines(mark), join(cardInService(31), cardInService(30)));
    EXPECT_EQ(requestsOf(zurpm::XPORTIO_MAP_MEMORY).size(), maps) << "restart mapped again";
    EXPECT_TRUE(requestsOf(zurpm::XPORTIO_UNMAP_MEMORY).empty()) << "restart unmapped";
    EXPECT_EQ(bench.driver.context.cards[0]->window, window);
    const std::vector<PortAccess> wakeUps = {
        {restartAt, 0x3E3, 0x99}, {restartAt, 0x3E1, 0x01}, {restartAt, 0x3E1, 0x43},
        {restartAt + 3100, 0x303, 0x99}, {restartAt + 3100, 0x301, 0x01}, {restartAt + 3100, 0x301, 0x43},
    };
    EXPECT_EQ(service::portWrites(bench.plant), wakeUps) << service::describe(service::portWrites(bench.plant));
    EXPECT_TRUE(bench.plant->online(0));
    EXPECT_TRUE(bench.plant->online(1));
}

TEST(Restart, CardWithoutWindowIsReportedAndNotTouched) {
    Bench bench(service::twoCards, {card(0xCC00, 0x3E0, 31), card(0xC800, 0x300, 30)});
    bench.plant.faults(1).refuseMap = true;
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    bench.plant->clearEvents();
    const size_t mark = bench.mark();
    ASSERT_EQ(bench.call(ZUR_CMD_RESTART), ZUR_RESULT_OK);
    EXPECT_EQ(bench.lines(mark), join(cardInService(31), {"32: ZURPM Error: Unable to restart PCIM card 2"}));
    for (const PortAccess& write : service::portWrites(bench.plant))
        EXPECT_NE(write.port & 0xFFFC, 0x300) << "card 2 was woken without a window";

    GateAccess access = bench.gate("359R0001", 0);
    uint8_t buffer[4] = {};
    access.data = buffer;
    for (int32_t command : {ZUR_CMD_READ, ZUR_CMD_WRITE}) {
        const size_t before = bench.mark();
        EXPECT_EQ(bench.call(command, &access), ZUR_RESULT_FAILED);
        EXPECT_EQ(bench.lines(before), (Lines{"32: ZURPM Error: PCIM card 2 is not in service",
                                              "32: ZURPM Error: Error transmitting request packet"}));
    }
}

TEST(Stop, AfterStopNothingTouchesTheReleasedWindows) {
    Bench bench(service::oneCard, {card(0xCC00, 0x3E0, 31).plc(3)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    GateAccess access = bench.gate("039R0001", 0);
    ASSERT_EQ(bench.call(ZUR_CMD_STOP), ZUR_RESULT_OK);
    const size_t requests = zurpm::virt::deviceRequests().size();

    size_t mark = bench.mark();
    EXPECT_EQ(bench.call(ZUR_CMD_RESTART), ZUR_RESULT_OK);
    EXPECT_EQ(bench.lines(mark), Lines{"32: ZURPM Error: Unable to restart PCIM card 1"});

    uint8_t buffer[4] = {1, 2, 3, 4};
    access.data = buffer;
    for (int32_t command : {ZUR_CMD_READ, ZUR_CMD_READ_SINGLE, ZUR_CMD_WRITE, ZUR_CMD_WRITE_SINGLE}) {
        mark = bench.mark();
        EXPECT_EQ(bench.call(command, &access), ZUR_RESULT_FAILED) << "command " << command;
        EXPECT_EQ(bench.lines(mark), (Lines{"32: ZURPM Error: PCIM card 1 is not in service",
                                            "32: ZURPM Error: Error transmitting request packet"}))
            << "command " << command;
    }
    EXPECT_EQ(buffer[0] + buffer[1] + buffer[2] + buffer[3], 10) << "the host's buffer changed";

    mark = bench.mark();
    EXPECT_EQ(bench.call(ZUR_CMD_STOP), ZUR_RESULT_OK) << "a second stop";
    EXPECT_TRUE(bench.lines(mark).empty());
    EXPECT_EQ(zurpm::virt::deviceRequests().size(), requests) << "the closed device was asked for something";
    EXPECT_EQ(zurpm::virt::deviceCloseCount(), 1);
}

TEST(Stop, GivesBackTheStartedCardsWhateverContextItComesWith) {
    Bench bench(service::oneCard, {card()});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    DriverContext other{};
    EXPECT_EQ(bench.driver.call(other, ZUR_CMD_STOP), ZUR_RESULT_OK);
    EXPECT_EQ(requestsOf(zurpm::XPORTIO_UNMAP_MEMORY).size(), 1u);
    EXPECT_EQ(bench.driver.context.cards[0]->window, nullptr) << "a window outlived the device";
    EXPECT_FALSE(bench.plant->mapped(0));
}

TEST(Start, SecondStartGivesBackWhatTheFirstHolds) {
    Bench bench(service::oneCard, {card()});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    const volatile uint8_t* firstWindow = bench.driver.context.cards[0]->window;
    const size_t requests = zurpm::virt::deviceRequests().size();
    const size_t mark = bench.mark();
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    EXPECT_EQ(bench.lines(mark), join({startingCard1}, cardInService(31)));
    // The first window unmapped and the device closed before the new open.
    const auto& all = zurpm::virt::deviceRequests();
    ASSERT_GT(all.size(), requests);
    EXPECT_EQ(all[requests].code, zurpm::XPORTIO_UNMAP_MEMORY);
    const volatile uint8_t* unmapped;
    std::memcpy(&unmapped, all[requests].input.data(), sizeof unmapped);
    EXPECT_EQ(unmapped, firstWindow);
    EXPECT_EQ(zurpm::virt::deviceCloseCount(), 1);
    EXPECT_EQ(zurpm::virt::deviceOpenCount(), 2);
    EXPECT_TRUE(bench.plant->online(0));
    EXPECT_TRUE(bench.plant->mapped(0));
}

TEST(Start, ContextOfAnEarlierStartReachesNoCardOfTheNewOne) {
    Bench bench(service::oneCard, {card().plc(3)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    DriverContext earlier = bench.driver.context;  // the host keeps the first start's block
    DriverContext later{};
    ASSERT_EQ(bench.driver.call(later, ZUR_CMD_START), ZUR_RESULT_OK);
    ASSERT_NE(later.cards[0], nullptr);
    EXPECT_NE(later.cards[0], earlier.cards[0]) << "a new record took the address a stale slot holds";

    uint8_t buffer[4] = {9, 9, 9, 9};
    GateAccess access{};
    access.hardwareAddress = {3, 8, 0, -1, 16};
    access.data = buffer;
    const size_t mark = bench.mark();
    // Said as what it is, not as a card that was never configured.
    EXPECT_EQ(bench.driver.call(earlier, ZUR_CMD_READ_SINGLE, &access), ZUR_RESULT_FAILED);
    EXPECT_EQ(bench.lines(mark),
              (Lines{"32: ZURPM Error: PCIM card 1 of this request belongs to an earlier start of the driver",
                     "32: ZURPM Error: Error transmitting request packet"}));
    EXPECT_EQ(bench.driver.call(later, ZUR_CMD_READ_SINGLE, &access), ZUR_RESULT_OK);
    // A restart with it says so too, and shakes no card's hand.
    const size_t restartMark = bench.mark();
    EXPECT_EQ(bench.driver.call(earlier, ZUR_CMD_RESTART), ZUR_RESULT_OK);
    EXPECT_EQ(bench.lines(restartMark),
              (Lines{"32: ZURPM Error: PCIM card 1 of this request belongs to an earlier start of the driver"}));
    bench.driver.call(later, ZUR_CMD_STOP);
}

TEST(Stations, UnconfiguredCardIsTheOnlyWordWhateverElseIsWrong) {
    Bench bench(service::oneCard, {card().plc(3)});
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    uint8_t buffer[4] = {};
    // Card 2 is not configured; each access is wrong in some other way besides.
    struct Row {
        const char* what;
        int32_t command;
        HardwareAddress address;
        int32_t count;
        void* data;
    } rows[] = {
        {"offset -1, count 5000", ZUR_CMD_READ, {35, 8, -1, -1, 16}, 5000, buffer},
        {"bit of a word without a buffer", ZUR_CMD_WRITE_SINGLE, {35, 8, 0, 3, 1}, 1, nullptr},
        {"bit 16 of a word", ZUR_CMD_WRITE_SINGLE, {35, 8, 0, 16, 1}, 1, buffer},
    };
    for (const Row& row : rows) {
        GateAccess access{};
        access.hardwareAddress = row.address;
        access.count = row.count;
        access.data = row.data;
        const size_t mark = bench.mark();
        EXPECT_EQ(bench.call(row.command, &access), ZUR_RESULT_FAILED) << row.what;
        EXPECT_EQ(bench.lines(mark), (Lines{"32: ZURPM Error: Error transmitting request packet"})) << row.what;
    }
}

TEST(Start, NegativeTimeOutsAreNamedAtStart) {
    const std::string reply = "32: ZURPM Warning: Reply time-out of PCIM card ";
    const std::string access = "32: ZURPM Warning: Access time-out of PCIM card ";
    const std::string datagrams = " ms: datagrams that the card does not complete within the first 1 ms wait will fail";
    const std::string requests = " ms: requests that wait for the card will fail";
    struct Row {
        const char* file;
        Lines warnings;
    } rows[] = {
        {"1=CC00;3E0;-5;16;-1\n", {reply + "1 is -500" + datagrams, access + "1 is -1" + requests}},
        {"1=CC00;3E0;30;16;-150\n2=C800;300;-1\n", {access + "1 is -150" + requests, reply + "2 is -100" + datagrams}},
        {"1=CC00;3E0;30;16;150\n2=C800;300;0;16;0\n", {}},
    };
    for (const Row& row : rows) {
        Bench bench(row.file, {card().plc(3)});
        ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
        Lines warnings;
        for (const std::string& line : bench.lines())
            if (line.find("time-out") != std::string::npos) warnings.push_back(line);
        EXPECT_EQ(warnings, row.warnings) << row.file;
    }
}

TEST(Start, GarbageContextBeforeAnyStartIsNeverFollowed) {
    Bench bench(service::oneCard, {card().plc(3)});
    for (int slot = 0; slot < 4; ++slot)
        bench.driver.context.cards[slot] = reinterpret_cast<CardConfig*>(0xDEAD0000 + 0x100 * slot);
    uint8_t buffer[4] = {9, 9, 9, 9};
    GateAccess access{};
    access.hardwareAddress = {3, 8, 0, -1, 16};
    access.data = buffer;
    struct Row {
        int32_t command;
        int32_t result;
        Lines messages;
    };
    const Lines notConfigured = {"32: ZURPM Error: Error transmitting request packet"};
    const Row rows[] = {
        {ZUR_CMD_RESTART, ZUR_RESULT_OK, {}},
        {ZUR_CMD_READ_SINGLE, ZUR_RESULT_FAILED, notConfigured},
        {ZUR_CMD_READ, ZUR_RESULT_FAILED, notConfigured},
        {ZUR_CMD_WRITE_SINGLE, ZUR_RESULT_FAILED, notConfigured},
        {ZUR_CMD_WRITE, ZUR_RESULT_FAILED, notConfigured},
        {ZUR_CMD_STOP, ZUR_RESULT_OK, {}},
    };
    for (const Row& row : rows) {
        const size_t mark = bench.mark();
        EXPECT_EQ(bench.call(row.command, &access), row.result) << "command " << row.command;
        EXPECT_EQ(bench.lines(mark), row.messages) << "command " << row.command;
    }
    // A bit of a word goes through its read first.
    access.hardwareAddress = {3, 8, 0, 4, 1};
    const size_t mark = bench.mark();
    EXPECT_EQ(bench.call(ZUR_CMD_WRITE_SINGLE, &access), ZUR_RESULT_FAILED);
    EXPECT_EQ(bench.lines(mark), notConfigured);
    EXPECT_EQ(buffer[0] + buffer[1] + buffer[2] + buffer[3], 36) << "the host's buffer changed";
    EXPECT_TRUE(zurpm::virt::deviceRequests().empty());
    EXPECT_EQ(bench.driver.context.cards[1], reinterpret_cast<CardConfig*>(0xDEAD0100)) << "the host's slots changed";
}

}  // namespace

namespace {

TEST(Start, BeforeItsFirstHandshakeTheCardIsNoDevice) {
    // The handshake fails, so the card never said which device it is: no request is taken for its
    // own, device 0 included.
    Bench bench(service::oneCard, {card(0xCC00, 0x3E0, 31).plc(3)});
    bench.plant.faults(0).configStatusSequence = {8};
    ASSERT_EQ(bench.start(), ZUR_RESULT_OK);
    ASSERT_EQ(bench.driver.context.cards[0]->deviceNumber, zurpm::noDeviceNumber);
    for (const char* address : {"009R0001", "319R0001", "00GA0001", "31GA0001"}) {
        GateAccess access = bench.gate(address, 0);
        uint8_t buffer[4] = {};
        access.data = buffer;
        const size_t mark = bench.mark();
        EXPECT_EQ(bench.call(ZUR_CMD_READ, &access), ZUR_RESULT_FAILED) << address;
        const std::string device = address[1] == '0' ? "0" : "31";
        EXPECT_EQ(bench.lines(mark), (Lines{"32: ZURPM Error: Device " + device + " not found on network",
                                            "32: ZURPM Error: Error transmitting request packet"}))
            << address;
    }
}

}  // namespace
