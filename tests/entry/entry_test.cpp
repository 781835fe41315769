// The export and its command table, and the driver description of command 14.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver_harness.h"

using zurpm::test::DriverHarness;

namespace {

TEST(CommandTable, CodesWithoutHandlerAnswerTwoAndSayNothing) {
    DriverHarness driver;
    for (int32_t code : {0, 8, 9, 16, 17, 255, 1000, -1, -2147483647 - 1, 2147483647}) {
        GateAccess untouched{};
        untouched.count = 77;
        EXPECT_EQ(driver.call(code, &untouched), ZUR_RESULT_FAILED) << "code " << code;
        EXPECT_EQ(untouched.count, 77) << "code " << code;
    }
    EXPECT_TRUE(driver.messages().empty());
    EXPECT_TRUE(zurpm::virt::deviceRequests().empty());
    EXPECT_EQ(zurpm::virt::deviceOpenCount(), 0);
}

TEST(CommandTable, NullRequestAnswersTwo) { EXPECT_EQ(ZurMain(nullptr), ZUR_RESULT_FAILED); }

TEST(CommandTable, CommandsTwelveThirteenFifteenTouchNothing) {
    DriverHarness driver;
    driver.context.numberBase = 16;
    const DriverContext before = driver.context;
    struct Case {
        int32_t code;
        int32_t result;
    } cases[] = {{12, ZUR_RESULT_FAILED}, {13, ZUR_RESULT_FAILED}, {15, ZUR_RESULT_OK}};
    for (const Case& c : cases) {
        // The record is not looked at: even a null one does no harm.
        EXPECT_EQ(driver.call(c.code, nullptr), c.result) << "code " << c.code;
        EXPECT_EQ(std::memcmp(&before, &driver.context, sizeof before), 0) << "code " << c.code;
    }
    EXPECT_TRUE(driver.messages().empty());
}

TEST(DescribeDriver, FillsItsSixFieldsBeforeAnyStart) {
    DriverHarness driver;
    DriverInfo info{};
    info.infoValue5 = 0x5555;
    info.infoValue6 = -6;
    ASSERT_EQ(driver.call(ZUR_CMD_DESCRIBE, &info), ZUR_RESULT_OK);
    EXPECT_EQ(info.infoValue0, 80);
    EXPECT_STREQ(info.driverName, "GE Genius PCIM Lan");
    EXPECT_EQ(info.infoValue3, 24);
    EXPECT_EQ(info.infoValue4, 1);
    EXPECT_EQ(info.infoValue5, 0x5555) << "the host's field was written";
    EXPECT_EQ(info.infoValue6, -6) << "the host's field was written";
    EXPECT_EQ(info.infoValue7, 3);
    ASSERT_NE(info.bannerText, nullptr);
    EXPECT_TRUE(driver.messages().empty());
    EXPECT_TRUE(zurpm::virt::deviceRequests().empty());
}

std::string repeat(char c, size_t n) { return std::string(n, c); }

TEST(DescribeDriver, BannerIsThe373BytesOfCodePage437) {
    DriverHarness driver;
    DriverInfo info{};
    ASSERT_EQ(driver.call(ZUR_CMD_DESCRIBE, &info), ZUR_RESULT_OK);
    const std::string banner = info.bannerText;
    ASSERT_EQ(banner.size(), 373u);

    const std::string bar = "\xB3";
    const std::string title = bar + " " + repeat('\xDB', 5) + repeat('\xB2', 6) + repeat('\xB1', 6) +
                              repeat('\xB0', 6) + " Z U R P M " + repeat('\xB0', 6) + repeat('\xB1', 6) +
                              repeat('\xB2', 6) + repeat('\xDB', 5) + " " + bar;
    const std::string lines[] = {
        "\xDA" + repeat('\xC4', 59) + "\xBF",
        title,
        bar + repeat(' ', 12) + "Genral Electric , Driver installed." + repeat(' ', 12) + bar,
        bar + repeat(' ', 12) + "GE Fanuc,series 90s PLCs, PCIM/Genius Bus" + repeat(' ', 6) + bar,
        "",  // the notice line, checked by its frame below
        "\xC0" + repeat('\xC4', 59) + "\xD9",
    };
    EXPECT_EQ(banner[0], '\n');
    for (size_t line = 0; line < 6; ++line) {
        const std::string got = banner.substr(1 + line * 62, 61);
        EXPECT_EQ(banner[1 + line * 62 + 61], '\n') << "line " << line + 1;
        if (line == 4) {
            EXPECT_EQ(got.substr(0, 13), bar + repeat(' ', 12));
            EXPECT_EQ(got.substr(44), "    Ver 7.50    " + bar);
            for (char c : got.substr(13, 31)) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "notice is plain text";
        } else {
            EXPECT_EQ(got, lines[line]) << "line " << line + 1;
        }
    }
}

TEST(CurrentContext, EachCallServesItsOwnContext) {
    DriverHarness driver;
    DriverContext decimal{};
    decimal.numberBase = 10;
    DriverContext hexadecimal{};
    hexadecimal.numberBase = 16;

    // The same 9-character string is a gate in base 10 and the wrong length in base 16.
    GateDefinition gate{};
    gate.addressString = "059R00010";
    gate.valueType = ZUR_VALUE_SIGNED16;
    EXPECT_EQ(driver.call(decimal, ZUR_CMD_DEFINE_GATE, &gate), ZUR_RESULT_OK);
    EXPECT_EQ(gate.hardwareAddress.offset, 9);
    EXPECT_EQ(driver.call(hexadecimal, ZUR_CMD_DEFINE_GATE, &gate), ZUR_RESULT_REFUSED);
    EXPECT_EQ(driver.call(decimal, ZUR_CMD_DEFINE_GATE, &gate), ZUR_RESULT_OK);
}

}  // namespace
