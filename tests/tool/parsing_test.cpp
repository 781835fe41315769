// What the tool makes of what an engineer types: gate items and their default types, values and
// their ranges, gate files, and where values sit in the host's buffer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "gate_file.h"
#include "gate_item.h"
#include "gate_values.h"
#include "int_file.h"
#include "code_page_437.h"
#include "tool_error.h"

namespace zurtool {
namespace {

struct SpecCase {
    const char* text;
    const char* address;
    ValueKind kind;
    int32_t block;  // 0: single gate
};

TEST(GateItems, TypeFollowsTheAddressRegionUnlessGiven) {
    const SpecCase cases[] = {
        {"059R0010", "059R0010", ValueKind::signed16, 0},
        {"059r0010", "059r0010", ValueKind::signed16, 0},
        {"059L0001", "059L0001", ValueKind::signed16, 0},
        {"059O0001", "059O0001", ValueKind::signed16, 0},
        {"409F0001", "409F0001", ValueKind::float32, 0},
        {"319i00ff", "319i00ff", ValueKind::digital, 0},
        {"059Q0001", "059Q0001", ValueKind::digital, 0},
        {"059D0001", "059D0001", ValueKind::digital, 0},
        {"12GA0002", "12GA0002", ValueKind::signed16, 0},
        {"12gd0010", "12gd0010", ValueKind::digital, 0},
        {"019R00100F", "019R00100F", ValueKind::digital, 0},
        {"059R0010:u16", "059R0010", ValueKind::unsigned16, 0},
        {"12GA0002:float", "12GA0002", ValueKind::float32, 0},
        {"059R0001:s16:64", "059R0001", ValueKind::signed16, 64},
        {"059I0001::1024", "059I0001", ValueKind::digital, 1024},
        {"059X0001", "059X0001", ValueKind::signed16, 0},
    };
    for (const SpecCase& c : cases) {
        const GateItem item = parseGateItem(c.text);
        EXPECT_EQ(item.address, c.address) << c.text;
        EXPECT_EQ(kindName(item.kind), std::string(kindName(c.kind))) << c.text;
        EXPECT_EQ(item.blockSize.value_or(0), c.block) << c.text;
    }
}

TEST(GateItems, MalformedSpecsSayWhatIsWrong) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "no address"},
        {":s16", "no address"},
        {"059R0010:int", "type 'int'"},
        {"059R0010:s16:", "block size"},
        {"059R0010:s16:x", "not a whole number"},
        {"059R0010:s16:0", "outside 1 to 1024"},
        {"059R0010:s16:1025", "outside 1 to 1024"},
        {"059R0010:s16:-3", "outside 1 to 1024"},
        {"059R0010:s16:4:5", "more than ADDRESS:TYPE:BLOCK"},
        {"059R 010", "blank"},
        {"059R0001:float:4", "does not fit a block of 16-bit words"},
        {"059I0001:s16:8", "does not fit a block of digital points"},
        {"059F0001:u16:2", "does not fit a block of floats"},
    };
    for (const auto& [text, words] : cases) {
        try {
            parseGateItem(text);
            ADD_FAILURE() << "'" << text << "' was taken";
        } catch (const ToolError& error) {
            EXPECT_EQ(error.status(), exitBadInput) << text;
            EXPECT_NE(std::string(error.what()).find(words), std::string::npos)
                << "'" << text << "' gave: " << error.what();
        }
    }
}

TEST(GateItems, BlockElementsHaveTheirOwnAddresses) {
    EXPECT_EQ(elementAddress("059R0010", 16, 0), "059R0010");
    EXPECT_EQ(elementAddress("059R000F", 16, 1), "059R0010");
    EXPECT_EQ(elementAddress("059R00009", 10, 1), "059R00010");
    // Floats of region F take two registers each.
    EXPECT_EQ(elementAddress("059F0001", 16, 2), "059F0005");
    EXPECT_EQ(elementAddress("37GD0001", 16, 9), "37GD000A");
    EXPECT_EQ(elementAddress("059R", 16, 1), "");
}

struct ValueCase {
    ValueKind kind;
    const char* text;
    bool taken;
    int32_t integer;
    float real;
};

TEST(GateValues, ValuesAreCheckedAgainstTheirTypeNotWrapped) {
    const ValueCase cases[] = {
        {ValueKind::signed16, "-32768", true, -32768, 0},
        {ValueKind::signed16, "32767", true, 32767, 0},
        {ValueKind::signed16, "+12", true, 12, 0},
        {ValueKind::signed16, "0x7FFF", true, 32767, 0},
        {ValueKind::signed16, "32768", false, 0, 0},
        {ValueKind::signed16, "-32769", false, 0, 0},
        {ValueKind::signed16, "0x8000", false, 0, 0},
        {ValueKind::signed16, "99999999999999999999", false, 0, 0},
        {ValueKind::signed16, "12.5", false, 0, 0},
        {ValueKind::signed16, "", false, 0, 0},
        {ValueKind::unsigned16, "65535", true, 65535, 0},
        {ValueKind::unsigned16, "0xffff", true, 65535, 0},
        {ValueKind::unsigned16, "65536", false, 0, 0},
        {ValueKind::unsigned16, "-1", false, 0, 0},
        {ValueKind::unsigned16, "-0x1", false, 0, 0},
        {ValueKind::float32, "3.25", true, 0, 3.25f},
        {ValueKind::float32, "-1e3", true, 0, -1000.0f},
        {ValueKind::float32, "1e39", false, 0, 0},
        {ValueKind::float32, "nan", false, 0, 0},
        {ValueKind::float32, "inf", false, 0, 0},
        {ValueKind::float32, "3.25x", false, 0, 0},
        {ValueKind::digital, "1", true, 1, 0},
        {ValueKind::digital, "on", true, 1, 0},
        {ValueKind::digital, "false", true, 0, 0},
        {ValueKind::digital, "2", false, 0, 0},
        {ValueKind::digital, "yes", false, 0, 0},
    };
    for (const ValueCase& c : cases) {
        const std::string label = std::string(kindName(c.kind)) + " '" + c.text + "'";
        try {
            const GateValue value = parseValue(c.kind, c.text);
            EXPECT_TRUE(c.taken) << label << " was taken";
            EXPECT_EQ(value.integer, c.integer) << label;
            EXPECT_EQ(value.real, c.real) << label;
        } catch (const ToolError& error) {
            EXPECT_FALSE(c.taken) << label << " was refused: " << error.what();
            EXPECT_EQ(error.status(), exitBadInput) << label;
        }
    }
}

TEST(GateValues, ValuesAreShownAsTheirType) {
    EXPECT_EQ(formatValue(parseValue(ValueKind::signed16, "-5")), "-5");
    EXPECT_EQ(formatValue(parseValue(ValueKind::unsigned16, "65535")), "65535");
    EXPECT_EQ(formatValue(parseValue(ValueKind::float32, "21.5")), "21.5");
    EXPECT_EQ(formatValue(parseValue(ValueKind::digital, "on")), "1");
}

TEST(ValueBuffer, SingleValuesSitWhereTheDriverLooks) {
    ValueBuffer buffer = emptyValueBuffer();
    putValues(buffer, {parseValue(ValueKind::signed16, "-2")});
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 0);
    EXPECT_EQ(buffer[2], 0xFE) << "a 16-bit value goes to bytes 2-3, little-endian";
    EXPECT_EQ(buffer[3], 0xFF);

    buffer = emptyValueBuffer();
    putValues(buffer, {parseValue(ValueKind::digital, "1")});
    EXPECT_EQ(buffer[2], 1) << "a point is a 16-bit 0 or 1 at byte 2";
    EXPECT_EQ(buffer[3], 0);

    buffer = emptyValueBuffer();
    putValues(buffer, {parseValue(ValueKind::float32, "1")});
    EXPECT_EQ((std::vector<uint8_t>(buffer.begin(), buffer.begin() + 4)), (std::vector<uint8_t>{0, 0, 0x80, 0x3F}))
        << "a float fills bytes 0-3";

    buffer = emptyValueBuffer();
    buffer[2] = 0x34;
    buffer[3] = 0x92;
    EXPECT_EQ(takeValues(buffer, ValueKind::signed16, 1).front().integer, static_cast<int16_t>(0x9234));
    EXPECT_EQ(takeValues(buffer, ValueKind::unsigned16, 1).front().integer, 0x9234);
}

TEST(ValueBuffer, BlocksArePackedFromByteZero) {
    ValueBuffer buffer = emptyValueBuffer();
    putValues(buffer, {parseValue(ValueKind::signed16, "1"), parseValue(ValueKind::signed16, "-1")});
    EXPECT_EQ((std::vector<uint8_t>(buffer.begin(), buffer.begin() + 4)), (std::vector<uint8_t>{1, 0, 0xFF, 0xFF}));

    buffer = emptyValueBuffer();
    std::vector<GateValue> points;
    for (const char* text : {"1", "0", "0", "1", "0", "0", "0", "0", "1"}) points.push_back(parseValue(ValueKind::digital, text));
    putValues(buffer, points);
    EXPECT_EQ(buffer[0], 0x09) << "points 0 and 3 in the first byte";
    EXPECT_EQ(buffer[1], 0x01) << "point 8 in bit 0 of the second byte";
    EXPECT_EQ(takeValues(buffer, ValueKind::digital, 9), points);

    buffer = emptyValueBuffer();
    const std::vector<GateValue> floats{parseValue(ValueKind::float32, "1.5"), parseValue(ValueKind::float32, "-2")};
    putValues(buffer, floats);
    EXPECT_EQ(takeValues(buffer, ValueKind::float32, 2), floats);
}

GateItem onlyGate(const std::string& text) {
    std::istringstream in(text);
    const auto gates = readGateList(in, "gates.csv");
    EXPECT_EQ(gates.size(), 1u);
    return gates.front();
}

TEST(GateFiles, LinesGiveNamesTypesAndBlocks) {
    std::istringstream in(
        "# tank farm\n"
        "name,address,type,block\r\n"
        "\n"
        "tank level,059R0001,,\n"
        "\"pump, main\",059Q0001,digital\n"
        "trend,059R0001,u16,8\n"
        "temp,059F0011\n");
    const std::vector<GateItem> gates = readGateList(in, "gates.csv");
    ASSERT_EQ(gates.size(), 4u);
    EXPECT_EQ(gates[0].name, "tank level");
    EXPECT_EQ(gates[0].kind, ValueKind::signed16);
    EXPECT_EQ(gates[1].name, "pump, main");
    EXPECT_EQ(gates[1].kind, ValueKind::digital);
    EXPECT_EQ(gates[2].blockSize.value_or(0), 8);
    EXPECT_EQ(gates[2].kind, ValueKind::unsigned16);
    EXPECT_EQ(gates[3].kind, ValueKind::float32);
    EXPECT_EQ(onlyGate("name,address,type,block\n,059R0001,,\n").name, "059R0001") << "no name: the address";
}

TEST(GateFiles, BadLinesAreNamedByNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"059R0001,s16\n", "gates.csv:1: expected the header line"},
        {"name,address,type,block\n", "no gates after the header"},
        {"", "no header line"},
        {"name,address,type,block\nok,059R0001\nbad,059R0002,int\n", "gates.csv:3: type 'int'"},
        {"name,address,type,block\na\n", "gates.csv:2: expected name,address,type,block, found 1 field"},
        {"name,address,type,block\na,059R0001,s16,4,9\n", "gates.csv:2: expected name,address,type,block, found 5"},
        {"name,address,type,block\n\"a,059R0001\n", "gates.csv:2: a quoted field is not closed"},
        {"name,address,type,block\na,,s16\n", "gates.csv:2: the gate has no address"},
        {"name,address,type,block\na,059R0001,s16,0\n", "gates.csv:2: block size 0"},
    };
    for (const auto& [text, words] : cases) {
        std::istringstream in(text);
        try {
            readGateList(in, "gates.csv");
            ADD_FAILURE() << "taken: " << text;
        } catch (const ToolError& error) {
            EXPECT_EQ(error.status(), exitBadInput);
            EXPECT_NE(std::string(error.what()).find(words), std::string::npos) << error.what();
        }
    }
}

TEST(ConfigurationFile, NumberBaseIsTheLastBaseLine) {
    const auto path = std::filesystem::temp_directory_path() / ("zurpm-int-" + std::to_string(::getpid()));
    const std::pair<const char*, std::optional<int32_t>> cases[] = {
        {"BASE=16\n1=CC00;3E0\n", 16},
        {"1=CC00\nbase=10\nBaSe=16\n", 16},
        {" BASE=16\n", std::nullopt},
        {"1=CC00;3E0\n", std::nullopt},
        {"BASE=  12xyz\n", 12},
    };
    for (const auto& [text, base] : cases) {
        std::ofstream(path) << text;
        EXPECT_EQ(configuredNumberBase(path.string()), base) << text;
    }
    std::filesystem::remove(path);
    EXPECT_EQ(configuredNumberBase(path.string()), std::nullopt) << "no file, no base";
}

TEST(CodePage437, BoxDrawingBecomesUtf8) {
    EXPECT_EQ(codePage437ToUtf8("\xDA\xC4\xBF A"), "\u250C\u2500\u2510 A");
    EXPECT_EQ(codePage437ToUtf8("\xB0\xB1\xB2\xDB"), "\u2591\u2592\u2593\u2588");
}

}  // namespace
}  // namespace zurtool
