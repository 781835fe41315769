// libzurpm.so as a host meets it: loaded by path with dlopen, ZurMain found by name, messages
// arriving through the err of the host library the host has loaded (liborvant.so).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvant.h"
#include "zurpm/records.h"

namespace {

struct Captured {
    int32_t level;
    std::string text;
};

void capture(int32_t level, const char* text, void* user) {
    static_cast<std::vector<Captured>*>(user)->push_back({level, text});
}

class LoadedDriver : public ::testing::Test {
protected:
    void SetUp() override {
        library = dlopen(ZURPM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        zurMain = reinterpret_cast<ZurMainFunction>(dlsym(library, "ZurMain"));
        ASSERT_NE(zurMain, nullptr) << "ZurMain is not exported by name";
        orvantSetSink(capture, &messages);
    }
    void TearDown() override {
        orvantSetSink(nullptr, nullptr);
        if (library != nullptr) dlclose(library);
    }
    int32_t call(int32_t command, void* gate) {
        ZurRequest request{};
        request.context = &context;
        request.command = command;
        request.gate = gate;
        return zurMain(&request);
    }

    void* library = nullptr;
    ZurMainFunction zurMain = nullptr;
    DriverContext context{};
    std::vector<Captured> messages;
};

TEST_F(LoadedDriver, ExportsOnlyZurMain) {
    for (const char* internal : {"defineGate", "startDriver", "transmitPacket", "currentContext", "deviceHandle"})
        EXPECT_EQ(dlsym(library, internal), nullptr) << internal << " is visible to the host";
}

TEST_F(LoadedDriver, DescribesItselfWithTheBanner) {
    DriverInfo info{};
    ASSERT_EQ(call(ZUR_CMD_DESCRIBE, &info), 0);
    EXPECT_STREQ(info.driverName, "GE Genius PCIM Lan");
    ASSERT_NE(info.bannerText, nullptr);
    EXPECT_EQ(std::string(info.bannerText).size(), 373u);
    EXPECT_TRUE(messages.empty());
}

TEST_F(LoadedDriver, RefusedDefinitionReachesTheHostAtGateLevel) {
    context.numberBase = 16;
    GateDefinition gate{};
    gate.addressString = "05XR0001";
    gate.valueType = ZUR_VALUE_SIGNED16;
    EXPECT_EQ(call(ZUR_CMD_DEFINE_GATE, &gate), ZUR_RESULT_REFUSED);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].level, 8);
    EXPECT_EQ(messages[0].text, "ZURPM Error: The selected PLC type X is not valid");
}

TEST_F(LoadedDriver, AcceptedDefinitionSaysNothing) {
    context.numberBase = 10;
    GateDefinition gate{};
    gate.addressString = "059R00010";
    gate.valueType = ZUR_VALUE_UNSIGNED16;
    ASSERT_EQ(call(ZUR_CMD_DEFINE_GATE, &gate), ZUR_RESULT_OK);
    EXPECT_EQ(gate.hardwareAddress.station, 5);
    EXPECT_EQ(gate.hardwareAddress.memoryType, 8);
    EXPECT_EQ(gate.hardwareAddress.offset, 9);
    EXPECT_TRUE(messages.empty());
}

TEST_F(LoadedDriver, StartWithoutDeviceFailsWithTheDeviceMessage) {
    // No XPORTIO server at this path.
    setenv("XPORTIO_SOCKET", "/nonexistent/zurpm-test/XPORTIO", 1);
    EXPECT_EQ(call(ZUR_CMD_START, nullptr), ZUR_RESULT_FAILED);
    unsetenv("XPORTIO_SOCKET");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].level, 32);
    EXPECT_EQ(messages[0].text, "ZURPM Error: Unable to open XPORTIO.SYS");
    EXPECT_EQ(context.numberBase, 10);
    for (auto* card : context.cards) EXPECT_EQ(card, nullptr);
    EXPECT_EQ(call(ZUR_CMD_STOP, nullptr), 0);
}

}  // namespace
