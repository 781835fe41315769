// Reading zurPM.int: number base, card lines, defaults, clamps, rejections, over-long lines, and
// who releases which card record. Each test hands the driver its own file.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>

#include "cards/card_config.h"
#include "driver_harness.h"
#include "entry/context.h"

namespace {

using zurpm::test::DriverHarness;

struct Card {
    uint16_t memorySegment = 0xCC00;
    uint16_t ioPort = 0x3E0;
    int32_t replyTimeoutMs = 3000;
    uint8_t configByte3 = 0;
    int32_t accessTimeoutMs = 150;
};

std::string describe(const CardConfig& c) {
    std::ostringstream text;
    text << std::hex << std::uppercase << "{segment " << c.memorySegment << ", port " << c.ioPort
         << std::dec << ", reply " << c.replyTimeoutMs << " ms, configByte3 " << int{c.configByte3}
         << ", access " << c.accessTimeoutMs << " ms, fixed " << c.configWord1 << "/"
         << int{c.configByte4} << "/" << int{c.configByte5} << ", device " << int{c.deviceNumber}
         << (c.window ? ", window set" : "") << "}";
    return text.str();
}

// A card record as the reader must have made it: the expected values, and the fixed ones.
testing::AssertionResult isCard(const CardConfig* actual, const Card& expected) {
    if (actual == nullptr) return testing::AssertionFailure() << "no card record";
    const bool same = actual->memorySegment == expected.memorySegment &&
                      actual->ioPort == expected.ioPort &&
                      actual->replyTimeoutMs == expected.replyTimeoutMs &&
                      actual->configByte3 == expected.configByte3 &&
                      actual->accessTimeoutMs == expected.accessTimeoutMs &&
                      actual->configWord1 == 0 && actual->configByte4 == 0 &&
                      actual->configByte5 == 128 && actual->window == nullptr &&
                      actual->deviceNumber == zurpm::noDeviceNumber;
    if (same) return testing::AssertionSuccess();
    CardConfig wanted{};
    wanted.memorySegment = expected.memorySegment;
    wanted.ioPort = expected.ioPort;
    wanted.replyTimeoutMs = expected.replyTimeoutMs;
    wanted.configByte3 = expected.configByte3;
    wanted.accessTimeoutMs = expected.accessTimeoutMs;
    wanted.configByte5 = 128;
    wanted.deviceNumber = zurpm::noDeviceNumber;
    return testing::AssertionFailure() << "card is " << describe(*actual) << ", expected " << describe(wanted);
}

class ConfigurationFile : public testing::Test {
protected:
    void SetUp() override {
        harness_.context.numberBase = 10;  // as start leaves it before reading
        zurpm::currentContext = &harness_.context;
    }
    void TearDown() override {
        zurpm::releaseCardConfigs();
        zurpm::currentContext = nullptr;
        EXPECT_EQ(zurpm::virt::openConfigurationFiles(), 0) << "zurPM.int left open";
    }

    void writeFile(const std::string& text) { zurpm::virt::setConfigurationFile(text); }
    int read(const std::string& text) {
        writeFile(text);
        return zurpm::readConfiguration();
    }
    DriverContext& context() { return harness_.context; }
    CardConfig* slot(int card) { return harness_.context.cards[card - 1]; }
    void expectOnlyCard(int card, const Card& expected, const std::string& file) {
        for (int other = 1; other <= 4; ++other) {
            if (other == card) EXPECT_TRUE(isCard(slot(other), expected)) << "card " << card << " of " << file;
            else EXPECT_EQ(slot(other), nullptr) << "card " << other << " should be empty for " << file;
        }
    }

    DriverHarness harness_;
};

struct OneCardCase {
    const char* file;
    int card;
    Card expected;
};

TEST_F(ConfigurationFile, CardLinesGiveTheirValuesAndDefaults) {
    const OneCardCase cases[] = {
        {"1=CC00;3E0;30;16;150\n", 1, {0xCC00, 0x3E0, 3000, 16, 150}},
        {"2=C800\n", 2, {0xC800, 0x3E0, 3000, 0, 150}},
        {"3\n", 3, {}},
        {"1=\n", 1, {0, 0x3E0, 3000, 0, 150}},
        {"1=CC00;;30\n", 1, {0xCC00, 0, 3000, 0, 150}},
        {"1=D000;300\n", 1, {0xD000, 0x300, 3000, 0, 150}},
        {"1=D000;300;5\n", 1, {0xD000, 0x300, 500, 0, 150}},
        {"1=CC00;3E0;30;0\n", 1, {0xCC00, 0x3E0, 3000, 1, 150}},
        {"1=CC00;3E0;30;200\n", 1, {0xCC00, 0x3E0, 3000, 128, 150}},
        {"1=CC00;3E0;30;256\n", 1, {0xCC00, 0x3E0, 3000, 1, 150}},
        {"1=CC00;3E0;30;300\n", 1, {0xCC00, 0x3E0, 3000, 44, 150}},
        {"1=CC00;3E0;30;-1\n", 1, {0xCC00, 0x3E0, 3000, 128, 150}},
        {"1=CC00;3E0;30;128\n", 1, {0xCC00, 0x3E0, 3000, 128, 150}},
        {"1=CC00;3E0;30;16;150;99\n", 1, {0xCC00, 0x3E0, 3000, 16, 150}},
        {"1=CC00;3E0;30;16;\n", 1, {0xCC00, 0x3E0, 3000, 16, 0}},
        {"1=CC00;3E0;0;16;0\n", 1, {0xCC00, 0x3E0, 0, 16, 0}},
        {"1=0xCC00;0X3e0; -5;+16;  42\n", 1, {0xCC00, 0x3E0, -500, 16, 42}},
        {"1=cc00;3e0;30;16;150\r\n", 1, {0xCC00, 0x3E0, 3000, 16, 150}},
        {"2=C800", 2, {0xC800, 0x3E0, 3000, 0, 150}},
        {"1;D000=C800;300\n", 1, {0xC800, 0x300, 3000, 0, 150}},
        {"1x=C800\n", 1, {0xC800, 0x3E0, 3000, 0, 150}},
        {" 2=C800\n", 2, {0xC800, 0x3E0, 3000, 0, 150}},
        {"+3=C800\n", 3, {0xC800, 0x3E0, 3000, 0, 150}},
        {"1=12345678;-1\n", 1, {0x5678, 0xFFFF, 3000, 0, 150}},
        {"1=FFFFFFFFFF;-FFFFFFFFFF\n", 1, {0xFFFF, 0, 3000, 0, 150}},
        {"1=CC00;3E0;21474836\n", 1, {0xCC00, 0x3E0, 2147483600, 0, 150}},
        {"1=CC00;3E0;21474837\n", 1, {0xCC00, 0x3E0, INT32_MAX, 0, 150}},
        {"1=CC00;3E0;-21474837\n", 1, {0xCC00, 0x3E0, INT32_MIN, 0, 150}},
        {"1=CC00;3E0;30;16;99999999999\n", 1, {0xCC00, 0x3E0, 3000, 16, INT32_MAX}},
    };
    for (const OneCardCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "file \"" << c.file << "\"");
        EXPECT_EQ(read(c.file), 0);
        EXPECT_EQ(context().numberBase, 10);
        expectOnlyCard(c.card, c.expected, c.file);
        zurpm::releaseCardConfigs();
    }
    EXPECT_TRUE(harness_.messages().empty()) << "the reader writes no message";
}

struct BaseCase {
    const char* file;
    int32_t numberBase;
};

TEST_F(ConfigurationFile, NumberBaseLinesSetTheBaseUnchecked) {
    const BaseCase cases[] = {
        {"base=16\n", 16},       {"BASE=16\n", 16},     {"BaSe=16\n", 16},   {"BASE=16\nbase=10\n", 10},
        {"BASE=\n", 0},          {"BASE= +7\n", 7},     {"BASE=-12abc\n", -12}, {"BASE=0x10\n", 0},
        {"BASE=99999999999\n", INT32_MAX}, {"BASE=8", 8},
    };
    for (const BaseCase& c : cases) {
        context().numberBase = 10;
        EXPECT_EQ(read(c.file), 0) << c.file;
        EXPECT_EQ(context().numberBase, c.numberBase) << c.file;
        for (int card = 1; card <= 4; ++card) EXPECT_EQ(slot(card), nullptr) << c.file;
    }
}

TEST_F(ConfigurationFile, RejectedLinesRejectTheFile) {
    const char* const files[] = {
        " BASE=16\n", "4=CC00\n", "0=CC00\n", "-1=CC00\n", "12=CC00\n", "\n", "\r\n",
        "=CC00\n",    "x\n",      "BASE\n",   "1=CC00\n\n", "BASE=16\n4\n",
    };
    for (const char* file : files) {
        context().numberBase = 10;
        EXPECT_EQ(read(file), 1) << "file \"" << file << "\" should be rejected";
        zurpm::releaseCardConfigs();
    }
}

TEST_F(ConfigurationFile, EmptyOrBaseOnlyFilesConfigureNoCard) {
    for (const char* file : {"", "BASE=16\n", "base=16\nBASE=10\nBaSe=16"}) {
        EXPECT_EQ(read(file), 0) << "file \"" << file << "\"";
        for (int card = 1; card <= 4; ++card) EXPECT_EQ(slot(card), nullptr) << file;
    }
}

TEST_F(ConfigurationFile, MissingFileChangesNothing) {
    context().numberBase = 16;
    EXPECT_EQ(zurpm::readConfiguration(), 1);
    EXPECT_EQ(context().numberBase, 16);
    for (int card = 1; card <= 4; ++card) EXPECT_EQ(slot(card), nullptr);
}

TEST_F(ConfigurationFile, ThreeCardsAndTheLastLineForACardWins) {
    ASSERT_EQ(read("1=C800;300\n2=C800\n3=D000;3E8;10;4;20\n2=D800;2E0\nBASE=16\n"), 0);
    EXPECT_EQ(context().numberBase, 16);
    EXPECT_TRUE(isCard(slot(1), {0xC800, 0x300, 3000, 0, 150}));
    EXPECT_TRUE(isCard(slot(2), {0xD800, 0x2E0, 3000, 0, 150}));
    EXPECT_TRUE(isCard(slot(3), {0xD000, 0x3E8, 1000, 4, 20}));
    EXPECT_EQ(slot(4), nullptr) << "no line fills the fourth slot";
}

TEST_F(ConfigurationFile, RejectionKeepsWhatEarlierLinesStoredUntilTheDefaultCardReplacesIt) {
    ASSERT_EQ(read("BASE=16\n1=C800\n2=D000\n4=CC00\n3=E000\n"), 1);
    EXPECT_EQ(context().numberBase, 16);
    EXPECT_TRUE(isCard(slot(1), {0xC800, 0x3E0, 3000, 0, 150}));
    EXPECT_TRUE(isCard(slot(2), {0xD000, 0x3E0, 3000, 0, 150}));
    EXPECT_EQ(slot(3), nullptr) << "lines after the rejected one are not read";

    ASSERT_EQ(zurpm::useDefaultCard(), 0);
    EXPECT_EQ(context().numberBase, 16) << "the number base survives the fallback";
    expectOnlyCard(1, {}, "the default card");
}

TEST_F(ConfigurationFile, RecordsTheReaderDidNotMakeAreNeverFreedByIt) {
    // Records of an earlier start: the reader overwrites such a slot but must not free it.
    CardConfig earlier[2]{};
    context().cards[1] = &earlier[0];
    context().cards[2] = &earlier[1];
    ASSERT_EQ(read("2=C800\n2=D000\n3=E000\n4\n"), 1);
    EXPECT_TRUE(isCard(slot(2), {0xD000, 0x3E0, 3000, 0, 150}));
    EXPECT_TRUE(isCard(slot(3), {0xE000, 0x3E0, 3000, 0, 150}));
}

TEST_F(ConfigurationFile, LongLinesAreReadIn255CharacterPieces) {
    const std::string card1 = "1=C800";
    // 255 characters, then a second piece that is a card line of its own.
    EXPECT_EQ(read(card1 + std::string(255 - card1.size(), ' ') + "2=D000\n"), 0);
    EXPECT_TRUE(isCard(slot(1), {0xC800, 0x3E0, 3000, 0, 150}));
    EXPECT_TRUE(isCard(slot(2), {0xD000, 0x3E0, 3000, 0, 150}));
    zurpm::releaseCardConfigs();

    // The second piece may be a number-base line.
    EXPECT_EQ(read("3" + std::string(254, ' ') + "BASE=16\n"), 0);
    EXPECT_EQ(context().numberBase, 16);
    EXPECT_TRUE(isCard(slot(3), {}));
    zurpm::releaseCardConfigs();

    // A 300-character line whose remainder is no card line: rejected after the first piece.
    EXPECT_EQ(read(card1 + std::string(300 - card1.size(), 'x') + "\n"), 1);
    EXPECT_TRUE(isCard(slot(1), {0xC800, 0x3E0, 3000, 0, 150}));
    zurpm::releaseCardConfigs();

    // 254 characters and the end of line fit one piece; 255 leave the end of line alone, a blank
    // line of its own.
    EXPECT_EQ(read(card1 + std::string(254 - card1.size(), ' ') + "\n2\n"), 0);
    EXPECT_TRUE(isCard(slot(2), {}));
    zurpm::releaseCardConfigs();
    EXPECT_EQ(read(card1 + std::string(255 - card1.size(), ' ') + "\n2\n"), 1);
    EXPECT_EQ(slot(2), nullptr);
}

TEST_F(ConfigurationFile, DefaultCardReplacesEverySlot) {
    ASSERT_EQ(read("1=C800\n2=D000\n3=E000\n"), 0);
    ASSERT_EQ(zurpm::useDefaultCard(), 0);
    expectOnlyCard(1, {}, "the default card");

    CardConfig* fresh = zurpm::newDefaultCardConfig();
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(isCard(fresh, {}));
    zurpm::releaseCardConfig(fresh);
}

}  // namespace
