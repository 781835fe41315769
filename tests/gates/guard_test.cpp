// What no host mistake may do to a definition: a missing record, context or string, a number base
// the address layouts do not know, strings of any length or content. Every such request is
// answered, never crashes, never reads past the string's end (the sanitizers watch the exact-size
// copies below) and sends at most one message.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "definition_check.h"
#include "entry/context.h"
#include "gates/gate_definition.h"

using namespace zurpm::test;

namespace {

constexpr int32_t dig = ZUR_VALUE_DIGITAL;

std::string baseMessage(int base) {
    return "ZURPM Error: Number base " + std::to_string(base) +
           " is not supported; BASE= must be 10 or 16";
}

// The host's string in a heap block of exactly its size, so that a read past the NUL is caught.
class ExactString {
public:
    explicit ExactString(const std::string& text) : bytes_(new char[text.size() + 1]), text_(text) {
        std::memcpy(bytes_.get(), text.c_str(), text.size() + 1);
    }
    const char* get() const { return bytes_.get(); }
    bool unchanged() const { return std::memcmp(bytes_.get(), text_.c_str(), text_.size() + 1) == 0; }

private:
    std::unique_ptr<char[]> bytes_;
    std::string text_;
};

// Result and messages must agree: accepted says nothing, refused says exactly one thing at level 8.
void expectAnsweredOnce(const DriverHarness& driver, int32_t result) {
    const auto& messages = driver.messages();
    if (result == ZUR_RESULT_OK) {
        EXPECT_TRUE(messages.empty()) << driver.messageLines().front();
        return;
    }
    EXPECT_EQ(result, ZUR_RESULT_REFUSED);
    ASSERT_EQ(messages.size(), 1u) << "a refusal must send exactly one message";
    EXPECT_EQ(messages[0].level, 8) << messages[0].text;
}

TEST(DefinitionGuard, MissingGateRecordIsRefusedWithAMessage) {
    for (int32_t command : {ZUR_CMD_DEFINE_GATE, ZUR_CMD_DEFINE_BLOCK_GATE}) {
        DriverHarness driver;
        EXPECT_EQ(driver.call(command, nullptr), ZUR_RESULT_REFUSED) << "command " << command;
        ASSERT_EQ(driver.messages().size(), 1u) << "command " << command;
        EXPECT_EQ(driver.messages()[0].level, 8);
        EXPECT_EQ(driver.messages()[0].text,
                  "ZURPM Error: The gate definition request carries no gate record");
    }
}

TEST(DefinitionGuard, MissingContextIsRefusedWithAMessage) {
    for (int32_t command : {ZUR_CMD_DEFINE_GATE, ZUR_CMD_DEFINE_BLOCK_GATE}) {
        DriverHarness driver;
        GateDefinition gate{};
        gate.addressString = "059R0010";
        gate.valueType = ZUR_VALUE_SIGNED16;
        gate.blockSize = 1;
        gate.hardwareAddress = nothingWritten();
        ZurRequest request{};
        request.context = nullptr;
        request.command = command;
        request.gate = &gate;
        EXPECT_EQ(ZurMain(&request), ZUR_RESULT_REFUSED) << "command " << command;
        ASSERT_EQ(driver.messages().size(), 1u) << "command " << command;
        EXPECT_EQ(driver.messages()[0].level, 8);
        EXPECT_EQ(driver.messages()[0].text, "ZURPM Error: No driver context for the gate definition");
        EXPECT_EQ(gate.hardwareAddress.station, kept) << describe(gate.hardwareAddress);
    }
}

TEST(DefinitionGuard, MissingAddressStringIsRefusedWithAMessage) {
    for (int32_t base : {16, 10}) {
        DriverHarness driver;
        driver.context.numberBase = base;
        EXPECT_EQ(driver.defineGate(nullptr, dig), ZUR_RESULT_REFUSED);
        EXPECT_EQ(driver.defineBlockGate(nullptr, 1), ZUR_RESULT_REFUSED);
        ASSERT_EQ(driver.messages().size(), 2u) << "one message for each refusal";
        for (const auto& message : driver.messages()) {
            EXPECT_EQ(message.level, 8);
            EXPECT_EQ(message.text, "ZURPM Error: The gate has no address string");
        }
        EXPECT_EQ(driver.lastDefinition.hardwareAddress.station, kept);
    }
}

TEST(DefinitionGuard, UnsupportedNumberBaseRefusesEveryDefinition) {
    const std::string addresses[] = {"",           "059R0010",    "059R00010",     "019R00100F",
                                     "019R0001015", "019R000100F0", std::string(300, '1'), "\xFF"};
    for (int32_t base : {0, 1, 2, 8, 9, 11, 15, 17, 36, -10, -16, INT_MIN, INT_MAX}) {
        for (const std::string& address : addresses) {
            for (int32_t valueType : std::initializer_list<int32_t>{ZUR_VALUE_SIGNED16, dig}) {
                const DefinitionCase c{base, address, valueType, 8, 1, nothingWritten(), baseMessage(base)};
                expectDefinition(Command::single, c);
                expectDefinition(Command::block, c);
            }
        }
    }
}

TEST(DefinitionGuard, BitFormRefusesAnUnsupportedBaseOfItsOwn) {
    DriverHarness driver;
    DriverContext octal{};
    octal.numberBase = 8;
    zurpm::currentContext = &octal;
    GateDefinition gate{};
    gate.addressString = "019R00100F";
    gate.valueType = dig;
    gate.hardwareAddress = nothingWritten();
    ZurRequest request{};
    request.context = &octal;
    request.command = ZUR_CMD_DEFINE_GATE;
    request.gate = &gate;
    EXPECT_EQ(zurpm::defineBitOfWordGate(&request), ZUR_RESULT_REFUSED);
    ASSERT_EQ(driver.messages().size(), 1u);
    EXPECT_EQ(driver.messages()[0].text, baseMessage(8));
    EXPECT_EQ(gate.hardwareAddress.station, kept);
    zurpm::currentContext = nullptr;
}

TEST(DefinitionGuard, OverLongStringsAreJudgedByTheirLength) {
    const std::string valid = "019R00100F";
    const std::string huge = valid + std::string(100000, '0');
    const std::string notTen = "ZURPM Error: Gate address string is not 10 characters";
    const std::string notEight = "ZURPM Error: Gate address string is not 8 characters";
    const std::string mustBeDigital = "ZURPM : Must be digital gate to specify bit number";
    for (const std::string& address : {valid + "0", valid + "00", huge}) {
        expectDefinition(Command::single, {16, address, dig, 0, 1, nothingWritten(), notTen});
        expectDefinition(Command::single, {10, address + "0", dig, 0, 1, nothingWritten(), notEight});
        expectDefinition(Command::single, {16, address, ZUR_VALUE_FLOAT, 0, 1, nothingWritten(), mustBeDigital});
        expectDefinition(Command::block, {16, address, dig, 8, 1, nothingWritten(), notEight});
        expectDefinition(Command::block, {10, address, dig, 8, 1, nothingWritten(), notEight});
    }
}

TEST(DefinitionGuard, BytesAbove7FAreNeitherDigitsNorLetters) {
    const std::string hexDigits =
        "ZURPM Error: The last 4 charectors of the gate address string are not valid hex digits";
    const std::string decimalDigits =
        "ZURPM Error: The last 4 charectors of the gate address string are not valid digits";
    const std::string stationDigits =
        "ZURPM Error: The first two charectors of the gate address string are not digits";
    const std::string type = "ZURPM Error: The selected PLC type ";
    const std::string region = "ZURPM Error: The selected PLC region ";
    // In Latin-1, 0xE9 and 0xE7 are lower-case letters; they are shown as they are, not raised.
    expectDefinition(Command::single, {16, "05\xE9R0010", dig, 0, 1, writtenStationOffset(5, 15),
                                       type + "\xE9 is not valid"});
    expectDefinition(Command::single, {16, "059\xE9" "0010", dig, 0, 1, writtenStationOffset(5, 15),
                                       region + "\xE9 is not valid"});
    expectDefinition(Command::single, {16, "05G\xE4" "0010", dig, 0, 1, writtenStationOffset(5, 15),
                                       region + "\xE4 is not valid"});
    expectDefinition(Command::single, {16, "\xB5" "59R0010", dig, 0, 1, nothingWritten(), stationDigits});
    expectDefinition(Command::single, {16, "059R00\xB2" "0", dig, 0, 1, writtenStation(5), hexDigits});
    expectDefinition(Command::single, {16, "059R\xC1\xC2\xC3\xC4", dig, 0, 1, writtenStation(5), hexDigits});
    expectDefinition(Command::single, {10, "059R0001\xB9", dig, 0, 1, writtenStation(5), decimalDigits});
    expectDefinition(Command::block, {16, "05\xC7R0001", dig, 1, 1, writtenStationOffset(5, 0),
                                      type + "\xC7 is not valid"});
    expectDefinition(Command::block, {16, "059\xF1" "0001", dig, 1, 1, writtenStationOffset(5, 0),
                                      region + "\xF1 is not valid"});
    expectDefinition(Command::single, {16, "01\xE7R00100F", dig, 0, 1, {1, kept, 15, 15, 1},
                                       type + "\xE7 is not valid for bit number"});
    expectDefinition(Command::single, {16, "019\xFF" "00100F", dig, 0, 1, {1, kept, 15, 15, 1},
                                       region + "\xFF is not valid for bit number"});
    expectDefinition(Command::single,
                     {16, "019R0010\xB9\xB9", dig, 0, 1, writtenStation(1),
                      "ZURPM Error: The last 6 charectors of the gate address string are not valid hex digits"});
}

TEST(DefinitionGuard, NoStringIsReadPastItsEnd) {
    // Prefixes of sound addresses and strings of odd bytes, each in a block of exactly its size.
    const std::string sources[] = {"019R00100F015", "12GA00020000", "959F000030000", "00GD04000000",
                                   std::string(13, '\xFF'), std::string(13, '9'), std::string(13, 'g')};
    for (int32_t base : {16, 10, 8}) {
        for (const std::string& source : sources) {
            for (size_t length = 0; length <= source.size(); ++length) {
                const ExactString address(source.substr(0, length));
                for (int32_t valueType : std::initializer_list<int32_t>{ZUR_VALUE_SIGNED16, ZUR_VALUE_FLOAT, dig}) {
                    SCOPED_TRACE("base " + std::to_string(base) + ", " + std::to_string(length) +
                                 " characters of \"" + source + "\", value type " +
                                 std::to_string(valueType));
                    {
                        DriverHarness driver;
                        driver.context.numberBase = base;
                        expectAnsweredOnce(driver, driver.defineGate(address.get(), valueType));
                    }
                    {
                        DriverHarness driver;
                        driver.context.numberBase = base;
                        expectAnsweredOnce(driver, driver.defineBlockGate(address.get(), 8, valueType));
                    }
                    EXPECT_TRUE(address.unchanged()) << "the host's string was changed";
                }
            }
        }
    }
}

}  // namespace
