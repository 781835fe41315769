// The pcimsim program as a user runs it: its socket path, a stale or a live socket there, and a
// wrong plant file.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "platform/platform.h"
#include "socket_fixtures.h"

using namespace posixdevice;

namespace {

bool isSocket(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

bool deviceOpens(const std::string& path) {
    SocketVariable variable(path);
    const intptr_t device = zurpm::platform::deviceOpen();
    if (device == -1) return false;
    zurpm::platform::deviceClose(device);
    return true;
}

TEST(Pcimsim, ServesXportioInItsFolderByDefault) {
    TemporaryFolder folder;
    SocketVariable unset("");
    PcimsimProcess pcimsim({PCIMSIM_PATH, EXAMPLE_PLANT}, folder.path());
    ASSERT_TRUE(pcimsim.waitReady()) << pcimsim.output();
    EXPECT_TRUE(isSocket(folder.file("XPORTIO"))) << pcimsim.output();
    EXPECT_TRUE(deviceOpens(folder.file("XPORTIO")));
    EXPECT_EQ(0, pcimsim.terminate()) << pcimsim.output();
}

TEST(Pcimsim, ServesTheSocketOfTheVariable) {
    TemporaryFolder folder;
    SocketVariable variable(folder.file("device.sock"));
    PcimsimProcess pcimsim({PCIMSIM_PATH, EXAMPLE_PLANT}, folder.path());
    ASSERT_TRUE(pcimsim.waitReady()) << pcimsim.output();
    EXPECT_TRUE(isSocket(folder.file("device.sock")));
    EXPECT_EQ(0, pcimsim.terminate()) << pcimsim.output();
}

TEST(Pcimsim, ReplacesAStaleSocketFile) {
    TemporaryFolder folder;
    const std::string path = folder.file("XPORTIO");
    {
        // A socket file whose server is gone.
        const int stale = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(0, bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address));
        close(stale);
    }
    PcimsimProcess pcimsim({PCIMSIM_PATH, EXAMPLE_PLANT, "--socket", path});
    ASSERT_TRUE(pcimsim.waitReady()) << pcimsim.output();
    EXPECT_TRUE(deviceOpens(path));
    EXPECT_EQ(0, pcimsim.terminate()) << pcimsim.output();
}

TEST(Pcimsim, LeavesALiveServerAndOtherFilesAlone) {
    TemporaryFolder folder;
    const std::string path = folder.file("XPORTIO");
    PcimsimProcess first({PCIMSIM_PATH, EXAMPLE_PLANT, "--socket", path});
    ASSERT_TRUE(first.waitReady()) << first.output();

    PcimsimProcess second({PCIMSIM_PATH, EXAMPLE_PLANT, "--socket", path});
    EXPECT_EQ(1, second.waitExit()) << second.output();
    EXPECT_NE(std::string::npos, second.output().find("another server is listening")) << second.output();
    EXPECT_TRUE(deviceOpens(path)) << "the first pcimsim lost its socket to the second";
    EXPECT_EQ(0, first.terminate());

    const std::string plainFile = folder.file("notes.txt");
    std::ofstream(plainFile) << "keep me\n";
    PcimsimProcess third({PCIMSIM_PATH, EXAMPLE_PLANT, "--socket", plainFile});
    EXPECT_EQ(1, third.waitExit()) << third.output();
    std::ifstream kept(plainFile);
    std::string line;
    std::getline(kept, line);
    EXPECT_EQ("keep me", line) << "pcimsim replaced a file that is not a socket";
}

TEST(Pcimsim, ChaosSwitchesFaultsOnAndOffUntilItIsEnded) {
    TemporaryFolder folder;
    const std::string path = folder.file("XPORTIO");
    PcimsimProcess pcimsim({PCIMSIM_PATH, EXAMPLE_PLANT, "--socket", path, "--chaos", "3", "--trace"});
    ASSERT_TRUE(pcimsim.waitReady()) << pcimsim.output();
    EXPECT_TRUE(eventually([&] { return pcimsim.output().find("pcimsim: chaos: over") != std::string::npos; }))
        << "no fault came and went: " << pcimsim.output();
    EXPECT_NE(std::string::npos, pcimsim.output().find(" ms\npcimsim: chaos: over")) << pcimsim.output();
    // SIGUSR1 ends the schedule, not the service.
    kill(pcimsim.pid(), SIGUSR1);
    EXPECT_TRUE(deviceOpens(path)) << pcimsim.output();
    EXPECT_EQ(0, pcimsim.terminate()) << pcimsim.output();
}

TEST(Pcimsim, WrongPlantFileIsNamedWithItsLine) {
    TemporaryFolder folder;
    const std::string plantFile = folder.file("plant.toml");
    std::ofstream(plantFile) << "[[card]]\nsegment = 0xCC00\nheartbeat = 1\n";
    PcimsimProcess pcimsim({PCIMSIM_PATH, plantFile, "--socket", folder.file("XPORTIO")});
    EXPECT_EQ(1, pcimsim.waitExit());
    EXPECT_NE(std::string::npos, pcimsim.output().find(plantFile + ":3: unknown key 'heartbeat' in card 1"))
        << pcimsim.output();
    EXPECT_FALSE(isSocket(folder.file("XPORTIO")));
}

}  // namespace
