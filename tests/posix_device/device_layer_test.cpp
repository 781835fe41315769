// The driver's own device layer on the posix platform, against the pcimsim program: open the
// device, map both cards' windows, wake a card through its ports and watch its heartbeat come in
// the mapped window, unmap, close, and pcimsim ends cleanly.
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "hw/port_device.h"
#include "hw/window.h"
#include "platform/platform.h"
#include "socket_fixtures.h"

using namespace posixdevice;

namespace {

bool exists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

TEST(DriverOverPcimsim, WakesTheCardAndSeesItsHeartbeatInTheMappedWindow) {
    TemporaryFolder folder;
    const std::string socketPath = folder.file("XPORTIO");
    PcimsimProcess pcimsim({PCIMSIM_PATH, EXAMPLE_PLANT, "--socket", socketPath});
    ASSERT_TRUE(pcimsim.waitReady()) << "pcimsim did not get ready:\n" << pcimsim.output();
    SocketVariable variable(socketPath);

    ASSERT_EQ(1, zurpm::openPortDevice()) << "the device could not be opened";
    volatile uint8_t* card1 = zurpm::mapPhysicalMemory(0xCC00, zurpm::cardWindowLength);
    volatile uint8_t* card2 = zurpm::mapPhysicalMemory(0xD000, zurpm::cardWindowLength);
    ASSERT_NE(nullptr, card1) << "card 1's window was not mapped";
    ASSERT_NE(nullptr, card2) << "card 2's window was not mapped";
    EXPECT_NE(card1, card2);

    const uint16_t port = 0x3E0;
    EXPECT_EQ(0, zurpm::writePort(port + zurpm::window::ioRegister3, 0x99));
    EXPECT_EQ(0, zurpm::writePort(port + zurpm::window::ioControl, 0x01));
    EXPECT_EQ(0, zurpm::writePort(port + zurpm::window::ioControl, 0x43));

    constexpr int pollLimit = 1000;  // of 10 ms: far beyond the example's boot time of 1.5 s
    int polls = 0;
    while (zurpm::window::read8(card1, zurpm::window::heartbeat) != 1 && polls < pollLimit) {
        zurpm::platform::sleepMs(10);
        ++polls;
    }
    ASSERT_EQ(1, zurpm::window::read8(card1, zurpm::window::heartbeat))
        << "no heartbeat in card 1's window after " << polls << " polls";
    EXPECT_EQ(31, zurpm::window::read8(card1, zurpm::window::ownDeviceNumber) & 0x1F) << "card 1's device number";
    EXPECT_EQ(0x23, zurpm::window::read8(card1, zurpm::window::cardVersion));
    EXPECT_EQ(0, zurpm::readPort(port + zurpm::window::ioStatus) & 0x18) << "card 1 reports a status fault";
    EXPECT_EQ(0, zurpm::window::read8(card2, zurpm::window::heartbeat)) << "card 2 is alive without a wake-up";

    zurpm::unmapPhysicalMemory(card1);
    EXPECT_TRUE(unmappedHere(const_cast<uint8_t*>(card1), zurpm::cardWindowLength));
    zurpm::closePortDevice();
    EXPECT_EQ(-1, zurpm::deviceHandle);
    EXPECT_TRUE(unmappedHere(const_cast<uint8_t*>(card2), zurpm::cardWindowLength))
        << "closing the device left card 2's window mapped";

    ASSERT_EQ(1, zurpm::openPortDevice()) << "pcimsim did not take a second client";
    zurpm::closePortDevice();

    EXPECT_EQ(0, pcimsim.terminate()) << pcimsim.output();
    EXPECT_FALSE(exists(socketPath)) << "pcimsim left its socket file behind";
}

TEST(DriverOverPcimsim, DeadPcimsimFailsRequestsAndLeavesTheWindowReadable) {
    TemporaryFolder folder;
    const std::string socketPath = folder.file("XPORTIO");
    PcimsimProcess pcimsim({PCIMSIM_PATH, EXAMPLE_PLANT, "--socket", socketPath});
    ASSERT_TRUE(pcimsim.waitReady()) << pcimsim.output();
    SocketVariable variable(socketPath);
    ASSERT_EQ(1, zurpm::openPortDevice());
    volatile uint8_t* card1 = zurpm::mapPhysicalMemory(0xCC00, zurpm::cardWindowLength);
    ASSERT_NE(nullptr, card1);

    kill(pcimsim.pid(), SIGKILL);
    pcimsim.waitExit();
    EXPECT_EQ(1, zurpm::writePort(0x3E1, 0x01)) << "a write to a dead device was taken as done";
    EXPECT_EQ(0, zurpm::readPort(0x3E0));
    EXPECT_EQ(0, zurpm::window::read8(card1, zurpm::window::heartbeat)) << "the window is no longer readable";
    zurpm::unmapPhysicalMemory(card1);
    EXPECT_TRUE(unmappedHere(const_cast<uint8_t*>(card1), zurpm::cardWindowLength));
    zurpm::closePortDevice();
}

}  // namespace

namespace {

TEST(HostMessages, WithoutTheHostLibraryEveryMessageIsOneLineOnStandardError) {
    const zurpm::platform::HostErrFunction err = zurpm::platform::hostErr();
    testing::internal::CaptureStderr();
    err(32, "ZURPM Error: Datagram may not be sent to host PCIM\n");
    err(16, "ZURPM Error: PCIM configuration error returned\n");
    err(32, "ZURPM Error: Device %d failed to respond", 7);
    const std::string text = testing::internal::GetCapturedStderr();
    if (text.empty()) GTEST_SKIP() << "a host library is on the loader's path: its err took the messages";
    EXPECT_EQ(text,
              "[32] ZURPM Error: Datagram may not be sent to host PCIM\n"
              "[16] ZURPM Error: PCIM configuration error returned\n"
              "[32] ZURPM Error: Device 7 failed to respond\n");
}

}  // namespace
