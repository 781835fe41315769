// Running a gate definition case and saying exactly what differed.
#include "definition_check.h"

#include <gtest/gtest.h>

namespace zurpm::test {

namespace {

bool sameAddress(const HardwareAddress& a, const HardwareAddress& b) {
    return a.station == b.station && a.memoryType == b.memoryType && a.offset == b.offset &&
           a.bit == b.bit && a.width == b.width;
}

}  // namespace

void expectDefinition(Command command, const DefinitionCase& c) {
    SCOPED_TRACE("base " + std::to_string(c.numberBase) + ", \"" + c.address + "\", value type " +
                 std::to_string(c.valueType) +
                 (command == Command::block ? ", block size " + std::to_string(c.blockSize) : ""));
    DriverHarness driver;
    driver.context.numberBase = c.numberBase;
    const std::string hostCopy = c.address;
    const int32_t result = command == Command::single
                               ? driver.defineGate(c.address.c_str(), c.valueType)
                               : driver.defineBlockGate(c.address.c_str(), c.blockSize, c.valueType);
    EXPECT_EQ(result, c.result);
    EXPECT_TRUE(sameAddress(driver.lastDefinition.hardwareAddress, c.written))
        << "hardware address " << describe(driver.lastDefinition.hardwareAddress) << ", expected "
        << describe(c.written);
    EXPECT_EQ(c.address, hostCopy) << "the host's string was changed";
    const auto& messages = driver.messages();
    if (c.message.empty()) {
        EXPECT_TRUE(messages.empty()) << "an accepted gate sent messages, first: "
                                      << driver.messageLines().front();
        return;
    }
    ASSERT_EQ(messages.size(), 1u) << "a refusal must send exactly one message";
    EXPECT_EQ(messages[0].level, 8) << messages[0].text;
    EXPECT_EQ(messages[0].text, c.message);
}

}  // namespace zurpm::test
