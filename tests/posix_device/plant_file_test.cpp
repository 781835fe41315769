// Plant files: the example plant as pcimsim reads it, initial values in the plant, and every
// mistake named with its line.
#include <gtest/gtest.h>

#include "pcimemu/plant_file.h"

namespace {

using pcimemu::PlcMemory;

TEST(PlantFile, ExamplePlantHasTwoCardsWithTheirDevicesAndValues) {
    std::string error;
    const std::optional<pcimemu::PlantFile> file = pcimemu::readPlantFile(EXAMPLE_PLANT, error);
    ASSERT_TRUE(file) << error;
    ASSERT_EQ(2u, file->setup.cards.size());
    const pcimemu::CardSpec& card1 = file->setup.cards[0];
    const pcimemu::CardSpec& card2 = file->setup.cards[1];
    EXPECT_EQ(0xCC00, card1.memorySegment);
    EXPECT_EQ(0x3E0, card1.ioPort);
    EXPECT_EQ(31, card1.ownDeviceNumber);
    EXPECT_EQ(0xD000, card2.memorySegment);
    EXPECT_EQ(0x2E0, card2.ioPort);
    EXPECT_EQ(30, card2.ownDeviceNumber);
    ASSERT_EQ(3u, card1.devices.size());
    EXPECT_EQ(pcimemu::DeviceSpec::Kind::plc, card1.devices[0].kind);
    EXPECT_EQ(pcimemu::DeviceSpec::Kind::ioBlock, card1.devices[2].kind);
    EXPECT_EQ(1024u, card1.devices[1].sizes.R);

    pcimemu::Plant plant(file->setup);
    pcimemu::applyInitialValues(plant, *file);
    pcimemu::Plc* line1 = plant.plc(0, 3);
    ASSERT_NE(nullptr, line1);
    EXPECT_EQ(100, line1->word(PlcMemory::R, 0)) << "R1";
    EXPECT_EQ(400, line1->word(PlcMemory::R, 3)) << "R4, last of a list from R2";
    EXPECT_TRUE(line1->point(PlcMemory::I, 16)) << "I17";
    EXPECT_FALSE(line1->point(PlcMemory::M, 1)) << "M2";
    EXPECT_TRUE(line1->point(PlcMemory::M, 3)) << "M4";
    EXPECT_EQ(0xFFFF, plant.plc(0, 4)->word(PlcMemory::R, 9)) << "R10 = -1";
    EXPECT_EQ(500, plant.plc(1, 1)->word(PlcMemory::AQ, 0));
    ASSERT_NE(nullptr, plant.ioBlock(1, 2));
    EXPECT_EQ(0xA5, plant.ioBlock(1, 2)->data(1));
}

TEST(PlantFile, FaultsAndTimesAreRead) {
    const char* text = R"(
[xportio]
refuse_unmap = true
[[card]]
boot_ms = 10
[card.faults]
config_status = [1, 2, 8]
heartbeat_after_ms = 3000
io_status = 0x10
[[card.device]]
number = 7
kind = "plc"
reply_delay_ms = 40
faults = { never_complete = true, completion_status = 0x10, reply_length = 200 }
)";
    std::string error;
    const std::optional<pcimemu::PlantFile> file = pcimemu::parsePlantFile(text, "plant.toml", error);
    ASSERT_TRUE(file) << error;
    const pcimemu::CardSpec& card = file->setup.cards[0];
    EXPECT_TRUE(file->setup.xportio.refuseUnmap);
    EXPECT_EQ(10u, card.bootTimeMs);
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 8}), card.faults.configStatusSequence);
    EXPECT_EQ(3000u, card.faults.heartbeatAfterMs.value_or(0));
    EXPECT_EQ(0x10, card.faults.ioStatusBits);
    const pcimemu::DeviceSpec& device = card.devices.at(0);
    EXPECT_EQ(40u, device.faults.replyDelayMs);
    EXPECT_TRUE(device.faults.neverComplete);
    EXPECT_EQ(0x10, device.faults.completionStatus.value_or(0));
    EXPECT_EQ(200, device.faults.replyLength.value_or(0));
}

struct Mistake {
    const char* text;
    const char* message;  // what the error must say, file and line included
};

void PrintTo(const Mistake& m, std::ostream* out) { *out << "expecting \"" << m.message << "\""; }

class PlantFileMistake : public ::testing::TestWithParam<Mistake> {};

TEST_P(PlantFileMistake, IsNamedWithItsLine) {
    std::string error;
    const std::optional<pcimemu::PlantFile> file = pcimemu::parsePlantFile(GetParam().text, "plant.toml", error);
    EXPECT_FALSE(file) << "accepted:\n" << GetParam().text;
    EXPECT_NE(std::string::npos, error.find(GetParam().message)) << "error was: " << error;
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, PlantFileMistake,
    ::testing::Values(
        Mistake{"", "plant.toml:1: a plant needs at least one [[card]]"},
        Mistake{"[[card]]\nsegment = 0xCC00\nheartbeat = 1\n", "plant.toml:3: unknown key 'heartbeat' in card 1"},
        Mistake{"[[card]]\nsegment = 0xFE00\n", "plant.toml:2: card 1 segment must be an integer from 0 to 64512"},
        Mistake{"[[card]]\n[card.faults]\nno_hartbeat = true\n", "plant.toml:3: unknown key 'no_hartbeat' in card 1 faults"},
        Mistake{"[[card]]\n[card.faults]\nrefuse_map = 1\n", "plant.toml:3: card 1 faults refuse_map must be true or false"},
        Mistake{"[[card]]\nown_device = 31\n[[card.device]]\nnumber = 31\nkind = \"plc\"\n",
                "plant.toml:4: card 1 device 31: 31 is the card's own device number"},
        Mistake{"[[card]]\n[[card.device]]\nnumber = 3\nkind = \"plc\"\n[[card.device]]\nnumber = 3\nkind = \"ioblock\"\n",
                "plant.toml:6: card 1 device 3 is described twice"},
        Mistake{"[[card]]\n[[card.device]]\nnumber = 32\nkind = \"plc\"\n",
                "plant.toml:3: card 1 device 1 number must be an integer from 0 to 31"},
        Mistake{"[[card]]\n[[card.device]]\nnumber = 3\nkind = \"drive\"\n",
                "plant.toml:4: card 1 device 3 kind must be \"plc\" or \"ioblock\", not \"drive\""},
        Mistake{"[[card]]\n[[card.device]]\nnumber = 3\n", "plant.toml:2: card 1 device 3 needs a kind"},
        Mistake{"[[card]]\n[[card.device]]\nnumber = 3\nkind = \"plc\"\n[card.device.memory]\nR2049 = 1\n",
                "plant.toml:6: card 1 device 3 memory R2049 is outside R1 to R2048 (2048 words)"},
        Mistake{"[[card]]\n[[card.device]]\nnumber = 3\nkind = \"plc\"\nsizes = { R = 16 }\n[card.device.memory]\n"
                "R15 = [1, 2, 3]\n",
                "plant.toml:7: card 1 device 3 memory R15 with 3 values is outside R1 to R16 (16 words)"},
        Mistake{"[[card]]\n[[card.device]]\nnumber = 3\nkind = \"plc\"\n[card.device.memory]\nX5 = 1\n",
                "plant.toml:6: unknown memory 'X' in card 1 device 3 memory"},
        Mistake{"[[card]]\n[[card.device]]\nnumber = 3\nkind = \"plc\"\n[card.device.memory]\nI1 = 2\n",
                "plant.toml:6: card 1 device 3 memory I1 must be an integer from 0 to 1"},
        Mistake{"[[card]]\n[[card.device]]\nnumber = 3\nkind = \"plc\"\n[card.device.memory]\nR1 = 70000\n",
                "plant.toml:6: card 1 device 3 memory R1 must be an integer from -32768 to 65535"},
        Mistake{"[[card]]\n[[card.device]]\nnumber = 5\nkind = \"ioblock\"\nsizes = { R = 16 }\n",
                "plant.toml:5: 'sizes' does not belong to a device of kind \"ioblock\""},
        Mistake{"[[card]]\n[[card.device]]\nnumber = 5\nkind = \"ioblock\"\ndata = [256]\n",
                "plant.toml:5: card 1 device 5 data values must be an integer from 0 to 255"},
        Mistake{"[[card]]\nsegment = 0xCC00\n[[card]]\nsegment = 0xCD00\n",
                "plant.toml:3: card 2 and card 1: their 16 KB windows overlap"},
        Mistake{"[[card]]\nport = 0x3E0\n[[card]]\nsegment = 0xD000\nport = 0x3E2\n",
                "plant.toml:3: card 2 and card 1: their ports overlap"},
        Mistake{"[[card]]\n[[card]]\nsegment = 0xD000\nport = 0x2E0\n[[card]]\nsegment = 0xD400\nport = 0x2E4\n"
                "[[card]]\nsegment = 0xD800\nport = 0x2E8\n",
                "plant.toml:8: a plant has at most three cards"},
        Mistake{"[[card]\n", "plant.toml:1: "}));

}  // namespace
