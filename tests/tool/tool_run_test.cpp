// The zurpm program end to end, as an engineer runs it: offline checks of gate lists, reads and
// writes against pcimsim, polling, the demo, and the exit statuses that scripts test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>

#include "tool_process.h"

namespace {

using tooltest::Background;
using tooltest::linesOf;
using tooltest::pcimsim;
using tooltest::run;
using tooltest::RunResult;
using tooltest::shown;
using tooltest::TemporaryDirectory;
using tooltest::zurpm;


// One card with a PLC (station 3) and an I/O block (station 5).
const char* const plantFile = R"(
[[card]]
segment = 0xCC00
port = 0x3E0
own_device = 31
boot_ms = 200

  [[card.device]]
  number = 3
  kind = "plc"
  name = "Test CPU"
    [card.device.memory]
    R1 = 100
    R2 = -7
    AI1 = 4095
    I17 = 1

  [[card.device]]
  number = 5
  kind = "ioblock"
  name = "Test block"
  data = [0x05, 0x00, 0x34, 0x12]
)";

const char* const configuration = "BASE=16\n1=CC00;3E0\n";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Lines of out that begin with the address, e.g. "039R0001  100".
std::vector<std::string> valueLines(const std::string& out) {
    std::vector<std::string> lines;
    for (const std::string& line : linesOf(out))
        if (contains(line, "  ")) lines.push_back(line);
    return lines;
}

class OfflineTool : public testing::Test {
protected:
    TemporaryDirectory place;
};

TEST_F(OfflineTool, InfoShowsTheDriverNameAndTheBannerInUtf8) {
    const RunResult result = run(zurpm, {"info"}, place.path());
    ASSERT_EQ(result.status, 0) << shown(result);
    EXPECT_TRUE(contains(result.out, "GE Genius PCIM Lan")) << shown(result);
    EXPECT_TRUE(contains(result.out, "\u250C\u2500\u2500")) << "box drawing of the banner's top edge\n" << shown(result);
    EXPECT_TRUE(contains(result.out, "Z U R P M")) << shown(result);
}

TEST_F(OfflineTool, MissingDriverLibrarySaysWhereItLooked) {
    const RunResult result = run(zurpm, {"--driver", "/nonexistent/libzurpm.so", "info"}, place.path());
    EXPECT_EQ(result.status, 3) << shown(result);
    EXPECT_TRUE(contains(result.err, "/nonexistent/libzurpm.so")) << shown(result);
}

struct CheckCase {
    const char* name;
    const char* gates;  // the gate file
    int status;
    std::vector<std::string> expected;  // parts of the output, in order
};

TEST_F(OfflineTool, CheckJudgesAGateFileWithoutStartingCards) {
    const CheckCase cases[] = {
        {"all good", "name,address,type,block\nlevel,059R0010,,\npump,319i00ff,digital,\ntrend,059R0001,s16,64\n"
                     "bit,019R00100F,,\n",
         0,
         {"number base 16", "level", "station 5, memory 8 (%R registers), offset 15, bit -1, width 16",
          "pump", "station 31, memory 70", "offset 254, bit 0, width 1", "trend", "059R0001:s16:64",
          "bit", "offset 15, bit 15, width 1"}},
        {"one refused", "name,address,type,block\nlevel,059R0010,,\nodd,05XR0010,,\ntoo big,059R0001,s16,65\n",
         1,
         {"level", "station 5", "odd", "refused [8] ZURPM Error: The selected PLC type X is not valid", "too big",
          "refused [8] ZURPM Error: The requested block size 65 is to large"}},
        {"the base's length", "name,address,type,block\nlevel,059R00010,,\n", 1,
         {"refused [8] ZURPM Error: Gate address string is not 8 characters", "zurpm: number base 16 (BASE= in ",
          "/zurPM.int) expects 8 characters in an address (9 in base 10)"}},
        {"malformed", "name,address,type,block\nlevel,059R0010,,\npump,059Q0001,bool,\n", 2,
         {"gates.csv:3: type 'bool' is none of s16, u16, float, digital"}},
    };
    place.write("zurPM.int", "BASE=16\n");
    for (const CheckCase& c : cases) {
        place.write("gates.csv", c.gates);
        const RunResult result = run(zurpm, {"check", "--gates", "gates.csv"}, place.path());
        EXPECT_EQ(result.status, c.status) << c.name << "\n" << shown(result);
        const std::string all = result.out + result.err;
        size_t at = 0;
        for (const std::string& part : c.expected) {
            const size_t found = all.find(part, at);
            EXPECT_NE(found, std::string::npos) << c.name << ": '" << part << "' missing or out of order\n"
                                                << shown(result);
            if (found != std::string::npos) at = found + part.size();
        }
        EXPECT_FALSE(contains(result.err, "Starting Card")) << c.name << ": check must not start cards";
    }
}

TEST_F(OfflineTool, CheckTakesTheBaseFromTheOptionOverZurPmInt) {
    place.write("zurPM.int", "BASE=16\n");
    RunResult result = run(zurpm, {"check", "--base", "10", "059R00010"}, place.path());
    EXPECT_EQ(result.status, 0) << shown(result);
    EXPECT_TRUE(contains(result.out, "offset 9,")) << shown(result);
    result = run(zurpm, {"check", "059R00010"}, place.path());
    EXPECT_EQ(result.status, 1) << "base 16 from zurPM.int: a 9-character address is refused\n" << shown(result);
    EXPECT_TRUE(contains(result.out, "Gate address string is not 8 characters")) << shown(result);
    place.write("zurPM.int", "1=CC00\n");
    result = run(zurpm, {"check", "059R00010"}, place.path());
    EXPECT_EQ(result.status, 0) << "no BASE= line: the driver's default 10\n" << shown(result);
}

TEST_F(OfflineTool, MissingDeviceSaysWhichAndWhere) {
    place.write("zurPM.int", configuration);
    const RunResult result = run(zurpm, {"read", "039R0001"}, place.path());
    EXPECT_EQ(result.status, 3) << shown(result);
    EXPECT_TRUE(contains(result.err, "[32] ZURPM Error: Unable to open XPORTIO.SYS")) << shown(result);
    EXPECT_TRUE(contains(result.err, place.path() + "/XPORTIO")) << shown(result);
}

// pcimsim serving the test plant in a directory that holds the matching zurPM.int.
class ToolAgainstPcimsim : public testing::Test {
protected:
    static void SetUpTestSuite() {
        place_ = std::make_unique<TemporaryDirectory>();
        place_->write("plant.toml", plantFile);
        place_->write("zurPM.int", configuration);
        simulator_ = std::make_unique<Background>(pcimsim, std::vector<std::string>{"plant.toml", "--socket", "XPORTIO", "--trace"},
                                                  place_->path());
        ready_ = simulator_->waitForLine("ready", 30);
    }
    static void TearDownTestSuite() {
        simulator_.reset();
        place_.reset();
    }
    void SetUp() override { ASSERT_TRUE(ready_) << "pcimsim did not get ready:\n" << simulator_->output(); }

    RunResult zurpmHere(const std::vector<std::string>& args) { return run(zurpm, args, place_->path()); }

    static std::unique_ptr<TemporaryDirectory> place_;
    static std::unique_ptr<Background> simulator_;
    static bool ready_;
};

std::unique_ptr<TemporaryDirectory> ToolAgainstPcimsim::place_;
std::unique_ptr<Background> ToolAgainstPcimsim::simulator_;
bool ToolAgainstPcimsim::ready_ = false;

TEST_F(ToolAgainstPcimsim, ReadShowsTheValuesOfEveryType) {
    const RunResult result =
        zurpmHere({"read", "039R0001", "039R0002", "039R0002:u16", "039L0001", "039I0011", "039I0010", "05GD0001::4",
                   "05GA0002"});
    ASSERT_EQ(result.status, 0) << shown(result);
    const std::vector<std::string> expected{
        "039R0001  100", "039R0002  -7", "039R0002  65529", "039L0001  4095", "039I0011  1", "039I0010  0",
        "05GD0001  1",   "05GD0002  0",  "05GD0003  1",     "05GD0004  0",    "05GA0002  4660"};
    EXPECT_EQ(valueLines(result.out), expected) << shown(result);
    EXPECT_TRUE(contains(result.err, "[32] ZURPM Message: Genius device number for PCIM card is 31")) << shown(result);
    EXPECT_TRUE(simulator_->waitForLine("card 1 device 3 read  %R offset 0 length 2 -> 100 -7  status 0x04", 10))
        << "pcimsim --trace shows each datagram decoded, the three register gates read as one block:\n"
        << simulator_->output();
}

TEST_F(ToolAgainstPcimsim, WrittenValuesOfEveryTypeReadBack) {
    const std::vector<std::vector<std::string>> writes{
        {"039R0010", "-123"},     {"039R0011:u16", "65535"}, {"039F0041", "3.25"},  {"039Q0003", "1"},
        {"039R001203", "1"},      {"039R0020:s16:3", "7", "8", "9"},                {"05GA0003", "4660"},
        {"05GD0011:digital:8", "1", "0", "1", "1", "0", "0", "0", "1"}};
    for (const std::vector<std::string>& write : writes) {
        std::vector<std::string> args{"write"};
        args.insert(args.end(), write.begin(), write.end());
        const RunResult result = zurpmHere(args);
        EXPECT_EQ(result.status, 0) << write.front() << "\n" << shown(result);
        EXPECT_TRUE(contains(result.out, "written")) << shown(result);
    }
    const RunResult result = zurpmHere({"read", "039R0010", "039R0011:u16", "039F0041", "039Q0003", "039R001203",
                                        "039R0012", "039R0020::3", "05GA0003", "05GD0011::8"});
    ASSERT_EQ(result.status, 0) << shown(result);
    const std::vector<std::string> expected{
        "039R0010  -123", "039R0011  65535", "039F0041  3.25", "039Q0003  1",  "039R001203  1", "039R0012  8",
        "039R0020  7",    "039R0021  8",     "039R0022  9",    "05GA0003  4660",
        "05GD0011  1",    "05GD0012  0",     "05GD0013  1",    "05GD0014  1",  "05GD0015  0",  "05GD0016  0",
        "05GD0017  0",    "05GD0018  1"};
    EXPECT_EQ(valueLines(result.out), expected) << shown(result);
}

TEST_F(ToolAgainstPcimsim, BadValuesAreRefusedBeforeAnyCardStarts) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"write", "039R0010", "40000"}, "value '40000' is out of range for s16 (-32768 to 32767)"},
        {{"write", "039R0010:u16", "-1"}, "out of range for u16"},
        {{"write", "039Q0001", "2"}, "not a digital value"},
        {{"write", "039F0041", "warm"}, "not a number"},
        {{"write", "039R0010", "1", "2"}, "takes one value"},
        {{"write", "039R0010:s16:2", "1", "2", "3"}, "3 values do not fit the block of 2"},
        {{"read", "039R0010:word"}, "type 'word'"},
    };
    for (const auto& [args, words] : cases) {
        const RunResult result = zurpmHere(args);
        EXPECT_EQ(result.status, 2) << shown(result);
        EXPECT_TRUE(contains(result.err, words)) << shown(result);
        EXPECT_FALSE(contains(result.err, "Starting Card")) << "bad input must not start the cards\n" << shown(result);
    }
}

TEST_F(ToolAgainstPcimsim, RefusedGateCostsNoCardStart) {
    const RunResult result = zurpmHere({"read", "039R0001", "03XR0001"});
    EXPECT_EQ(result.status, 1) << shown(result);
    EXPECT_TRUE(contains(result.out, "refused [8] ZURPM Error: The selected PLC type X is not valid")) << shown(result);
    EXPECT_FALSE(contains(result.err, "Starting Card")) << shown(result);
}

TEST_F(ToolAgainstPcimsim, ReadOfAnAbsentDeviceFailsWithTheDriversWords) {
    const RunResult result = zurpmHere({"read", "109R0001"});
    EXPECT_EQ(result.status, 1) << shown(result);
    EXPECT_TRUE(contains(result.err, "[32] ZURPM Error: Error transmitting request packet")) << shown(result);
    EXPECT_TRUE(contains(result.out, "109R0001  read failed")) << shown(result);
}

TEST_F(ToolAgainstPcimsim, PollWritesOneCsvLinePerGatePerPoll) {
    place_->write("poll.csv", "name,address,type,block\nlevel,039R0001,,\ninputs,039I0011,digital,2\n");
    const RunResult result = zurpmHere({"poll", "--gates", "poll.csv", "--interval", "100", "--count", "3", "--csv"});
    ASSERT_EQ(result.status, 0) << shown(result);
    std::vector<std::string> lines;
    for (const std::string& line : linesOf(result.out))
        if (contains(line, ",")) lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u + 3u * 3u) << shown(result);
    EXPECT_EQ(lines[0], "time,name,address,value,status");
    const std::vector<std::string> tails{",level,039R0001,100,ok", ",inputs[0],039I0011,1,ok", ",inputs[1],039I0012,0,ok"};
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& tail = tails[(i - 1) % 3];
        EXPECT_TRUE(lines[i].size() > tail.size() && lines[i].compare(lines[i].size() - tail.size(), tail.size(), tail) == 0)
            << "line " << i << ": " << lines[i] << " should end in " << tail;
    }
}

TEST_F(ToolAgainstPcimsim, CtrlCEndsAPollCleanly) {
    Background poll(zurpm, {"poll", "039R0001", "--interval", "100"}, place_->path());
    ASSERT_TRUE(poll.waitForLine("039R0001  100  ok", 60)) << poll.output();
    EXPECT_EQ(poll.interrupt(30), 0) << "Ctrl-C ends the poll with the driver stopped, exit 0\n" << poll.output();
    EXPECT_TRUE(contains(poll.output(), "--- station 3 (card 1, device 3) ---\n")) << "the closing summary\n" << poll.output();
    EXPECT_TRUE(contains(poll.output(), "time min/median/p99/max = ")) << poll.output();
    // The device is free again for the next program.
    const RunResult after = zurpmHere({"read", "039R0001"});
    EXPECT_EQ(after.status, 0) << shown(after);
}

// --emulate: the plant runs inside zurpm, afresh for each run, with the zurPM.int made from the
// plant file (base 10, a line per card) unless the directory has one.
struct EmulateCase {
    const char* what;
    std::vector<std::string> args;
    bool ownConfiguration;  // the directory's zurPM.int (base 16, card 1 only)
    std::vector<std::string> out;
    std::vector<std::string> err;
};

TEST(Emulate, RunsAgainstThePlantFileInsteadOfTheDevice) {
    const EmulateCase cases[] = {
        {"the example plant's values, both cards",
         {"read", "--emulate", "example.toml", "039R00001", "039R00002::3", "049R00010", "34GD00001::4"}, false,
         {"039R00001  100", "039R00004  400", "049R00010  -1", "34GD00002  1", "34GD00004  1"},
         {"zurPM.int made from the plant (2 cards, base 10)"}},
        {"a write, traced", {"write", "--emulate", "plant.toml", "--trace", "039R0001", "42"}, true, {"written"},
         {"card 1 device 3 write %R offset 0 length 1 <- 42  status 0x04 completed", "zurPM.int of this directory"}},
        {"a read after it finds the plant afresh", {"read", "--emulate", "plant.toml", "--trace", "039R0001"}, true,
         {"039R0001  100"}, {"card 1 device 3 read  %R offset 0 length 1 -> 100  status 0x04 completed"}},
    };
    for (const EmulateCase& c : cases) {
        SCOPED_TRACE(c.what);
        TemporaryDirectory place;
        TemporaryDirectory temporary;
        place.write("plant.toml", plantFile);
        std::filesystem::copy_file(std::string(ZURPM_EXAMPLES_DIR) + "/plant-two-cards.toml", place.path() + "/example.toml");
        if (c.ownConfiguration) place.write("zurPM.int", configuration);
        const RunResult result = run(zurpm, c.args, place.path(), {{"TMPDIR", temporary.path()}});
        ASSERT_EQ(result.status, 0) << shown(result);
        for (const std::string& line : c.out) EXPECT_TRUE(contains(result.out, line)) << line << "\n" << shown(result);
        for (const std::string& line : c.err) EXPECT_TRUE(contains(result.err, line)) << line << "\n" << shown(result);
        EXPECT_TRUE(std::filesystem::is_empty(temporary.path())) << "the plant's directory was left behind";
    }
}

// Bad input with --emulate: the documented exit status, a clear word, and nothing left behind in
// the temporary folder or the engineer's directory.
TEST(Emulate, BadInputLeavesNothingBehind) {
    const std::string besideTool = std::filesystem::path(zurpm).parent_path().string();
    const struct {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {"a mistake in the plant file", {"read", "--emulate", "bad.toml", "039R00001"}, 2, "bad.toml:4: "},
        {"no plant file", {"read", "--emulate", "missing.toml", "039R00001"}, 2, "missing.toml"},
        {"--trace alone", {"read", "--trace", "039R00001"}, 2, "--trace requires --emulate"},
        {"a library that is no driver",
         {"--driver", besideTool + "/liborvant.so", "read", "--emulate", "plant.toml", "039R00001"}, 3, "liborvant.so"},
        {"a device the driver cannot open", {"scan", "--emulate", "closed.toml"}, 3,
         "[32] ZURPM Error: Unable to open XPORTIO.SYS"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TemporaryDirectory place;
        TemporaryDirectory temporary;
        place.write("plant.toml", plantFile);
        place.write("bad.toml", "[[card]]\nsegment = 0xCC00\n\ncolour = \"red\"\n");
        place.write("closed.toml", std::string("[xportio]\ncannot_open = true\n") + plantFile);
        const RunResult result = run(zurpm, c.args, place.path(), {{"TMPDIR", temporary.path()}});
        EXPECT_EQ(result.status, c.status) << shown(result);
        EXPECT_TRUE(contains(result.err, c.err)) << c.err << "\n" << shown(result);
        EXPECT_TRUE(std::filesystem::is_empty(temporary.path())) << "the plant's directory was left behind";
        size_t files = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(place.path())) ++files;
        EXPECT_EQ(files, 3u) << "something was added to the engineer's directory";
    }
}

TEST(Demo, RunsItsOwnPlantAndShowsChangingValues) {
    TemporaryDirectory place;
    const RunResult result = run(zurpm, {"demo", "--seconds", "2"}, place.path(), {{"TMPDIR", place.path()}});
    ASSERT_EQ(result.status, 0) << shown(result);
    std::set<std::string> levels;
    std::set<std::string> gates;
    for (const std::string& line : linesOf(result.out)) {
        std::vector<std::string> words;
        size_t at = 0;
        while (at < line.size()) {
            const size_t next = line.find("  ", at);
            words.push_back(line.substr(at, next - at));
            if (next == std::string::npos) break;
            at = next + 2;
        }
        if (words.size() < 5) continue;
        gates.insert(words[2]);
        if (words[1] == "tank_level") levels.insert(words[3]);
        EXPECT_EQ(words[4], "ok") << line;
    }
    EXPECT_GE(levels.size(), 2u) << "the tank level should move between polls\n" << shown(result);
    for (const char* address : {"019R0001", "019L0001", "019O0001", "019F0011", "019I0001", "019Q0001", "019T0001",
                                "019M0001", "019A0001", "019B0001", "019C0001", "019D0001", "019G0001", "019R000300",
                                "37GA0002", "37GD0001"})
        EXPECT_TRUE(gates.count(address)) << address << " not polled\n" << shown(result);
    for (const auto& entry : std::filesystem::directory_iterator(place.path()))
        ADD_FAILURE() << "the demo left " << entry.path() << " behind";
}

}  // namespace
