// The driver's posix XPORTIO client against a real socket: the emulator's device server in process,
// and scripted servers that misbehave on purpose.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "pcimemu/device_server.h"
#include "platform/platform.h"
#include "socket_fixtures.h"
#include "zurpm/little_endian.h"

using namespace posixdevice;
namespace platform = zurpm::platform;

namespace {

// A device handle, closed at the end of its scope.
struct Device {
    intptr_t handle;
    explicit Device(intptr_t opened) : handle(opened) {}
    ~Device() { close(); }
    void close() {
        if (handle != -1) platform::deviceClose(handle);
        handle = -1;
    }
};

struct Outcome {
    bool accepted;
    uint32_t bytesReturned;
};

Outcome control(intptr_t device, uint32_t code, const std::vector<uint8_t>& in, void* out = nullptr,
                uint32_t outLength = 0) {
    uint32_t returned = 0;
    const bool accepted = platform::deviceControl(device, code, in.empty() ? nullptr : in.data(),
                                                  static_cast<uint32_t>(in.size()), out, outLength, &returned);
    return {accepted, returned};
}

volatile uint8_t* mapWindow(intptr_t device, uint16_t segment, uint32_t length = 0x4000) {
    volatile uint8_t* window = nullptr;
    if (!control(device, mapCode, mapRequest(segment, length), &window, sizeof window).accepted) return nullptr;
    return window;
}

pcimemu::PlantSpec oneCard() {
    pcimemu::CardSpec card;
    card.memorySegment = 0xCC00;
    card.ioPort = 0x3E0;
    card.ownDeviceNumber = 31;
    card.bootTimeMs = 50;
    pcimemu::DeviceSpec plc;
    plc.number = 3;
    card.devices.push_back(plc);
    pcimemu::PlantSpec setup;
    setup.cards.push_back(card);
    return setup;
}

class ServedPlant : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.start(path, error)) << error;
    }

    template <typename Action>
    auto withPlant(Action&& action) {
        return server.withPlant(std::forward<Action>(action));
    }

    TemporaryFolder folder;
    std::string path = folder.file("XPORTIO");
    SocketVariable variable{path};
    pcimemu::DeviceServer server{oneCard()};
};

TEST_F(ServedPlant, DeviceIsOpenForOneClientAtATime) {
    Device first(platform::deviceOpen());
    ASSERT_NE(-1, first.handle) << "the first client did not get the device";
    Device second(platform::deviceOpen());
    EXPECT_EQ(-1, second.handle) << "a second client got the device while the first held it";
    first.close();
    Device third(platform::deviceOpen());
    EXPECT_NE(-1, third.handle) << "the server did not give the device to the next client after a close";
}

TEST_F(ServedPlant, MappedWindowIsTheCardsOwnMemory) {
    Device device(platform::deviceOpen());
    ASSERT_NE(-1, device.handle);
    volatile uint8_t* window = nullptr;
    const Outcome mapped = control(device.handle, mapCode, mapRequest(0xCC00, 0x4000), &window, sizeof window);
    ASSERT_TRUE(mapped.accepted) << "map of the card's window refused";
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(sizeof(void*), mapped.bytesReturned);

    window[0x8A2] = 0x5A;
    EXPECT_EQ(0x5A, withPlant([](pcimemu::Plant& plant) { return plant.window(0)[0x8A2]; }))
        << "a byte the client wrote did not reach the card";
    withPlant([](pcimemu::Plant& plant) { plant.window(0)[0x8B2] = 0xA5; });
    EXPECT_EQ(0xA5, window[0x8B2]) << "a byte the card wrote did not reach the client";
    EXPECT_TRUE(withPlant([](pcimemu::Plant& plant) { return plant.mapped(0); }));

    EXPECT_TRUE(control(device.handle, unmapCode, addressBytes(const_cast<uint8_t*>(window))).accepted);
    EXPECT_TRUE(unmappedHere(const_cast<uint8_t*>(window), 0x4000)) << "the client kept its mapping after unmap";
    EXPECT_FALSE(withPlant([](pcimemu::Plant& plant) { return plant.mapped(0); }))
        << "the card still counts as mapped after the client unmapped it";
}

TEST_F(ServedPlant, ClosingReleasesEveryWindowOfTheClient) {
    Device device(platform::deviceOpen());
    volatile uint8_t* first = mapWindow(device.handle, 0xCC00);
    volatile uint8_t* second = mapWindow(device.handle, 0xCC00);
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    device.close();
    EXPECT_TRUE(unmappedHere(const_cast<uint8_t*>(first), 0x4000)) << "first window left mapped by close";
    EXPECT_TRUE(unmappedHere(const_cast<uint8_t*>(second), 0x4000)) << "second window left mapped by close";
    EXPECT_TRUE(eventually([&] { return !withPlant([](pcimemu::Plant& plant) { return plant.mapped(0); }); }))
        << "the server did not release the windows of a client that went away";
}

TEST_F(ServedPlant, PortWritesReachTheCardInOrder) {
    Device device(platform::deviceOpen());
    volatile uint8_t* window = mapWindow(device.handle, 0xCC00);
    ASSERT_NE(nullptr, window);
    withPlant([](pcimemu::Plant& plant) { plant.clearEvents(); });
    const struct {
        uint16_t port, value;
    } wakeUp[] = {{0x3E3, 0x99}, {0x3E1, 0x01}, {0x3E1, 0x43}};
    for (const auto& write : wakeUp)
        EXPECT_TRUE(control(device.handle, writePortCode, portWrite(write.port, write.value)).accepted)
            << "write of " << write.value << " to port " << write.port << " refused";

    const std::vector<pcimemu::PortEvent> events = withPlant([](pcimemu::Plant& plant) { return plant.portEvents(); });
    ASSERT_EQ(3u, events.size());
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(events[i].write);
        EXPECT_EQ(wakeUp[i].port, events[i].port) << "write " << i;
        EXPECT_EQ(wakeUp[i].value, events[i].value) << "write " << i;
    }
    EXPECT_TRUE(eventually([&] { return window[0x893] == 1; })) << "no heartbeat in the window after the wake-up";
}

TEST_F(ServedPlant, PortReadAnswersTheCardsValueOrIsRefused) {
    withPlant([](pcimemu::Plant& plant) { plant.faults(0).ioStatusBits = 0x18; });
    Device device(platform::deviceOpen());
    uint8_t value[2] = {};
    const Outcome status = control(device.handle, readPortCode, portNumber(0x3E0), value, sizeof value);
    EXPECT_TRUE(status.accepted);
    EXPECT_EQ(2u, status.bytesReturned);
    EXPECT_EQ(0x18, zurpm::getLittle16(value)) << "ioStatus read through the socket";

    EXPECT_FALSE(control(device.handle, readPortCode, portNumber(0x2F0), value, sizeof value).accepted)
        << "a port of no card was read";
    withPlant([](pcimemu::Plant& plant) { plant.faults(0).refusePortRead = true; });
    EXPECT_FALSE(control(device.handle, readPortCode, portNumber(0x3E0), value, sizeof value).accepted)
        << "a refused port read came back as accepted";
}

TEST_F(ServedPlant, RefusedMapHandsOverNothing) {
    Device device(platform::deviceOpen());
    withPlant([](pcimemu::Plant& plant) { plant.faults(0).refuseMap = true; });
    uint8_t out[sizeof(void*)] = {};
    EXPECT_FALSE(control(device.handle, mapCode, mapRequest(0xCC00, 0x4000), out, sizeof out).accepted);
    EXPECT_FALSE(control(device.handle, mapCode, mapRequest(0xD000, 0x4000), out, sizeof out).accepted)
        << "a segment with no card was mapped";
    for (uint8_t byte : out) EXPECT_EQ(0, byte) << "a refused map wrote an address";
}

TEST(DevicePath, WithoutTheVariableTheSocketIsXportioInTheCurrentFolder) {
    TemporaryFolder folder;
    SocketVariable unset("");
    char previous[4096];
    ASSERT_NE(nullptr, getcwd(previous, sizeof previous));
    ASSERT_EQ(0, chdir(folder.path().c_str()));
    {
        pcimemu::DeviceServer server(oneCard());
        std::string error;
        ASSERT_TRUE(server.start("XPORTIO", error)) << error;
        Device device(platform::deviceOpen());
        EXPECT_NE(-1, device.handle) << "no device at ./XPORTIO";
    }
    ASSERT_EQ(0, chdir(previous));
}

TEST(DevicePath, NoServerNoDevice) {
    TemporaryFolder folder;
    SocketVariable variable(folder.file("XPORTIO"));
    Device device(platform::deviceOpen());
    EXPECT_EQ(-1, device.handle);
}

// ---- Servers that misbehave ---------------------------------------------------------------------

struct GreetingCase {
    const char* name;
    uint32_t greeting;
    bool sendGreeting;
    bool opens;
};

void PrintTo(const GreetingCase& c, std::ostream* out) { *out << c.name; }

class Greeting : public ::testing::TestWithParam<GreetingCase> {};

TEST_P(Greeting, OnlyAGreetingOfOneOpensTheDevice) {
    const GreetingCase& c = GetParam();
    TemporaryFolder folder;
    SocketVariable variable(folder.file("XPORTIO"));
    ScriptedServer server(folder.file("XPORTIO"), c.greeting, {}, c.sendGreeting);
    Device device(platform::deviceOpen());
    EXPECT_EQ(c.opens, device.handle != -1) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Greetings, Greeting,
                         ::testing::Values(GreetingCase{"open", 1, true, true},
                                           GreetingCase{"held by another", 0, true, false},
                                           GreetingCase{"nonsense", 2, true, false},
                                           GreetingCase{"server hangs up at once", 1, false, false}),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

struct BadReplyCase {
    const char* name;
    uint32_t code;
    std::vector<uint8_t> input;
    uint32_t outputLength;
    ScriptStep step;
    bool laterRequestWorks;  // the connection is still in step afterwards
};

void PrintTo(const BadReplyCase& c, std::ostream* out) { *out << c.name; }

class BadReply : public ::testing::TestWithParam<BadReplyCase> {};

TEST_P(BadReply, FailsThatRequestWithoutCrashOrHang) {
    const BadReplyCase& c = GetParam();
    TemporaryFolder folder;
    SocketVariable variable(folder.file("XPORTIO"));
    ScriptStep good;
    good.output = {0x34, 0x12};
    ScriptedServer server(folder.file("XPORTIO"), 1, {c.step, good});
    Device device(platform::deviceOpen());
    ASSERT_NE(-1, device.handle);

    std::vector<uint8_t> out(c.outputLength, 0);
    EXPECT_FALSE(control(device.handle, c.code, c.input, out.data(), c.outputLength).accepted)
        << c.name << ": taken for a success";

    uint8_t value[2] = {};
    const bool later = control(device.handle, readPortCode, portNumber(0x3E0), value, sizeof value).accepted;
    EXPECT_EQ(c.laterRequestWorks, later) << c.name << ": the request after it";
    if (later) {
        EXPECT_EQ(0x1234, zurpm::getLittle16(value)) << c.name << ": the request after it read the wrong reply";
    }
    device.close();
    EXPECT_EQ(c.code, server.received().at(0).code) << c.name << ": the request did not reach the server";
}

ScriptStep reply(uint32_t status, std::vector<uint8_t> output, size_t descriptorSize = 0) {
    ScriptStep step;
    step.status = status;
    step.output = std::move(output);
    step.descriptorSize = descriptorSize;
    return step;
}

ScriptStep action(ScriptStep::Action what) {
    ScriptStep step;
    step.action = what;
    return step;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, BadReply,
    ::testing::Values(
        BadReplyCase{"map granted without a descriptor", mapCode, mapRequest(0xCC00, 0x4000), 8, reply(1, {}), true},
        BadReplyCase{"map granted with memory smaller than the window", mapCode, mapRequest(0xCC00, 0x4000), 8,
                     reply(1, {}, 4096), true},
        BadReplyCase{"map refused with a descriptor", mapCode, mapRequest(0xCC00, 0x4000), 8, reply(0, {}, 0x4000),
                     true},
        BadReplyCase{"reply longer than the output", readPortCode, portNumber(0x3E0), 2,
                     reply(1, {1, 2, 3, 4, 5, 6}), true},
        BadReplyCase{"server dies before replying", readPortCode, portNumber(0x3E0), 2,
                     action(ScriptStep::Action::hangUp), false},
        BadReplyCase{"server dies within the reply", writePortCode, portWrite(0x3E1, 0x43), 0,
                     action(ScriptStep::Action::halfReply), false}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

}  // namespace
