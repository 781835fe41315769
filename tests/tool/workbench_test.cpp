// The field engineer's workbench end to end: a scan of the example plant, link statistics of the
// failures pcimsim is told to produce, JSON lines that parse, and block reads that give every gate
// what a read of its own gives, in fewer datagrams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include <nlohmann/json.hpp>

#include "json_lines.h"
#include "link_stats.h"
#include "read_plan.h"
#include "tool_process.h"

namespace {

using nlohmann::json;
using tooltest::Background;
using tooltest::linesOf;
using tooltest::pcimsim;
using tooltest::run;
using tooltest::RunResult;
using tooltest::shown;
using tooltest::TemporaryDirectory;
using tooltest::zurpm;

const std::string examplePlant = ZURPM_EXAMPLES_DIR "/plant-two-cards.toml";

std::vector<json> jsonLines(const std::string& out) {
    std::vector<json> objects;
    for (const std::string& line : linesOf(out))
        if (!line.empty()) objects.push_back(json::parse(line));  // throws, and fails the test, on bad JSON
    return objects;
}

// pcimsim serving a plant (a file, or the text of one) with --trace, in a directory with a
// matching zurPM.int.
struct Simulated {
    Simulated(std::string plant, const std::string& configuration, const std::string& plantText = {}) {
        place.write("zurPM.int", configuration);
        if (!plantText.empty()) {
            place.write("plant.toml", plantText);
            plant = "plant.toml";
        }
        simulator = std::make_unique<Background>(pcimsim, std::vector<std::string>{plant, "--socket", "XPORTIO", "--trace"},
                                                 place.path());
        ready = simulator->waitForLine("ready", 30);
    }
    RunResult zurpmHere(const std::vector<std::string>& args) const { return run(zurpm, args, place.path()); }

    TemporaryDirectory place;
    std::unique_ptr<Background> simulator;
    bool ready = false;
};

TEST(Scan, FindsExactlyTheDevicesOfTheExamplePlant) {
    Simulated plant(examplePlant, "1=CC00;3E0\n2=D000;2E0\n");
    ASSERT_TRUE(plant.ready) << plant.simulator->output();
    const RunResult result = plant.zurpmHere({"scan", "--format", "jsonl"});
    ASSERT_EQ(result.status, 0) << shown(result);
    std::vector<uint8_t> boilerInputs(128, 0);
    boilerInputs[0] = 0x5A;
    boilerInputs[1] = 0xA5;
    struct Expected {
        int card, device;
        const char* kind;
        json detail;  // value of a PLC, data of a block
    };
    const Expected expected[] = {
        {1, 3, "plc", 100},  {1, 4, "plc", 0},  {1, 5, "block", std::vector<uint8_t>(128, 0)}, {1, 31, "card", nullptr},
        {2, 1, "plc", 1234}, {2, 2, "block", boilerInputs}, {2, 30, "card", nullptr},
    };
    const std::vector<json> objects = jsonLines(result.out);
    ASSERT_EQ(objects.size(), 2u * 32u + 1u) << shown(result);
    // A lone read after the scan marks its end in pcimsim's trace (%R00010, base 10: offset 9).
    const RunResult marker = plant.zurpmHere({"read", "039R00010"});
    ASSERT_TRUE(plant.simulator->waitForLine("card 1 device 3 read  %R offset 9 length 1", 20))
        << shown(marker) << plant.simulator->output();
    const std::vector<std::string> trace = linesOf(plant.simulator->output());
    const auto datagramsTo = [&](int card, int device) {
        const std::string to = "card " + std::to_string(card) + " device " + std::to_string(device) + " ";
        return std::count_if(trace.begin(), trace.end(), [&](const std::string& line) {
            return line.find(to + "read ") != std::string::npos || line.find(to + "write") != std::string::npos;
        });
    };
    EXPECT_TRUE(objects.back().value("summary", false)) << objects.back();
    for (size_t i = 0; i + 1 < objects.size(); ++i) {
        const json& device = objects[i];
        const int card = device["card"], number = device["device"];
        EXPECT_EQ(device["station"], (card - 1) * 32 + number) << device;
        const Expected* want = nullptr;
        for (const Expected& e : expected)
            if (e.card == card && e.device == number) want = &e;
        if (want == nullptr) {
            EXPECT_EQ(device["kind"], "absent") << device;
            // The card's device table tells it at once: no datagram, no waiting for one.
            EXPECT_EQ(datagramsTo(card, number), 0) << "an absent device costs no waiting: " << device;
            continue;
        }
        EXPECT_EQ(device["kind"], want->kind) << device;
        if (std::string(want->kind) == "plc") {
            EXPECT_EQ(device["value"], want->detail) << device;
            EXPECT_GT(datagramsTo(card, number), 0) << "the trace shows no datagram of the scan: " << device;
        }
        if (std::string(want->kind) == "block") {
            EXPECT_EQ(device["data"], want->detail) << device;
        }
        if (std::string(want->kind) == "card") {
            EXPECT_EQ(device["started"], true) << device;
        }
    }
    const RunResult one = plant.zurpmHere({"scan", "--card", "2"});
    EXPECT_EQ(one.status, 0) << shown(one);
    EXPECT_EQ(one.out.find("card 1"), std::string::npos) << "--card 2 scans card 2 only\n" << shown(one);
    EXPECT_NE(one.out.find("global data 5A A5"), std::string::npos) << shown(one);
}

// One card: a PLC at 3, an I/O block at 5, a PLC at 6 whose datagrams end in a syntax error, and a
// device 7 that is not on the LAN.
const char* const faultyPlant = R"(
[[card]]
boot_ms = 200
  [[card.device]]
  number = 3
  kind = "plc"
  sizes = { R = 128 }
    [card.device.memory]
    R1 = [100, -7, 300, 0x0108]
    R3 = [0, 0x4048]
    AI1 = [4095, 0x0020]
    AQ1 = 500
    I17 = 1
    Q1 = [1, 0, 1]
    T9 = 1
    M1 = [1, 0, 1, 1]
    SA1 = 1
    SB2 = 1
    SC3 = 1
    S4 = 1
    G5 = 1
  [[card.device]]
  number = 5
  kind = "ioblock"
  data = [0x05, 0x00, 0x34, 0x12]
  [[card.device]]
  number = 6
  kind = "plc"
  faults = { completion_status = 0x08 }
  [[card.device]]
  number = 7
  kind = "plc"
  faults = { absent = true }
)";

class Workbench : public testing::Test {
protected:
    static void SetUpTestSuite() {
        plant_ = std::make_unique<Simulated>("", "BASE=16\n1=CC00;3E0\n", faultyPlant);
    }
    static void TearDownTestSuite() { plant_.reset(); }
    void SetUp() override { ASSERT_TRUE(plant_->ready) << plant_->simulator->output(); }

    static std::unique_ptr<Simulated> plant_;
};
std::unique_ptr<Simulated> Workbench::plant_;

TEST_F(Workbench, StatisticsCountTheFailuresTheDevicesProduce) {
    const RunResult result = plant_->zurpmHere({"poll", "--count", "3", "--interval", "50", "--format", "jsonl",
                                                "039R0001", "039R0002", "069R0001", "079R0001", "059R0001"});
    EXPECT_EQ(result.status, 1) << "the last poll failed for some gates\n" << shown(result);
    const std::vector<json> objects = jsonLines(result.out);
    ASSERT_EQ(objects.size(), 3u * 5u + 1u) << shown(result);
    const json& summary = objects.back();
    ASSERT_TRUE(summary.value("summary", false)) << summary;
    struct Station {
        int station;
        int requests, successes;
        json failures;
    };
    const Station stations[] = {
        {3, 3, 3, json::object()},  // two gates, one block read per poll
        {5, 3, 0, {{"process error", 3}}},  // an I/O block serves no Read Device
        {6, 3, 0, {{"syntax error", 3}}},
        {7, 3, 0, {{"not found", 3}}},
    };
    ASSERT_EQ(summary["stations"].size(), std::size(stations)) << summary;
    for (size_t i = 0; i < std::size(stations); ++i) {
        const json& got = summary["stations"][i];
        EXPECT_EQ(got["station"], stations[i].station) << got;
        EXPECT_EQ(got["requests"], stations[i].requests) << got;
        EXPECT_EQ(got["successes"], stations[i].successes) << got;
        EXPECT_EQ(got["failures"], stations[i].failures) << got;
        const json& ms = got["ms"];
        EXPECT_TRUE(ms["min"] <= ms["median"] && ms["median"] <= ms["p99"] && ms["p99"] <= ms["max"]) << got;
    }
    for (const json& gate : summary["gates"]) EXPECT_EQ(gate["requests"], 3) << gate;
    EXPECT_EQ(summary["gates"][2]["failures"], json({{"syntax error", 3}})) << summary;

    // Every element object carries its fields, a failed one with null and the driver's messages.
    // The local time with milliseconds and offset, by its shape: 'd' a digit, '+' either sign.
    const auto isIsoTime = [](const std::string& text) {
        const std::string shape = "dddd-dd-ddTdd:dd:dd.ddd+dd:dd";
        if (text.size() != shape.size()) return false;
        for (size_t i = 0; i < shape.size(); ++i) {
            const char c = text[i];
            const bool fits = shape[i] == 'd'   ? c >= '0' && c <= '9'
                              : shape[i] == '+' ? c == '+' || c == '-'
                                                : c == shape[i];
            if (!fits) return false;
        }
        return true;
    };
    for (size_t i = 0; i + 1 < objects.size(); ++i) {
        const json& element = objects[i];
        for (const char* field : {"time", "name", "address", "type", "index", "value", "status", "messages"})
            EXPECT_TRUE(element.contains(field)) << field << " missing: " << element;
        EXPECT_TRUE(isIsoTime(element["time"].get<std::string>())) << element;
        const bool ok = element["status"] == "ok";
        EXPECT_EQ(ok, element["address"].get<std::string>().rfind("03", 0) == 0) << element;
        EXPECT_EQ(element["value"].is_null(), !ok) << element;
        if (!ok) {
            EXPECT_EQ(element["messages"].back()["text"], "ZURPM Error: Error transmitting request packet") << element;
        }
    }
    EXPECT_EQ(objects[0]["value"], 100);
    EXPECT_EQ(objects[1]["value"], -7);
    EXPECT_EQ(objects[2]["messages"][0], json({{"level", 32}, {"text", "ZURPM Error: Syntax error occurred on read from device 6"}}));
}

TEST_F(Workbench, GroupedReadsGiveWhatGateByGateGivesInFewerDatagrams) {
    // Every memory and form of one PLC: words, u16, floats, bits of words, blocks, every point
    // memory, alone and in blocks, a gate at the end of %R and one past it, and Genius block data.
    const std::vector<std::string> gates{
        "039R0001", "039R0002",   "039R0002:u16", "039R000403", "039R000402", "039F0003", "039R0001::4", "039L0001",
        "039L000205", "039O0001", "039I0011",     "039I0001::24", "039I0012",  "039Q0001", "039Q0003",   "039T0009",
        "039M0001",  "039M0001::4", "039A0001",   "039B0002",   "039C0003",   "039D0004", "039G0005",    "039R0080",
        "039R0081",  "05GA0002",  "05GD0001",     "05GD0001::4"};
    // A lone read of an unused register marks a place in pcimsim's trace; returns where it ends.
    auto mark = [&](int marker) {
        char gate[16];
        std::snprintf(gate, sizeof gate, "039R%04X", 0x70 + marker);
        plant_->zurpmHere({"read", gate});
        char line[64];
        std::snprintf(line, sizeof line, "read  %%R offset %d length 1", 0x6F + marker);
        EXPECT_TRUE(plant_->simulator->waitForLine(line, 20)) << line << "\n" << plant_->simulator->output();
        const size_t at = plant_->simulator->output().find(line);
        return at == std::string::npos ? at : at + std::strlen(line);
    };
    auto datagramsTo3 = [&](const std::vector<std::string>& args, std::string& out, int marker) {
        const size_t begin = mark(marker - 1);
        out = plant_->zurpmHere(args).out;
        const size_t end = mark(marker);
        if (begin == std::string::npos || end == std::string::npos) return -1;
        int count = 0;
        for (const std::string& line : linesOf(plant_->simulator->output().substr(begin, end - begin)))
            if (line.find("device 3 read ") != std::string::npos) ++count;
        return count - 1;  // the closing mark's own read
    };
    std::string grouped, alone;
    std::vector<std::string> args{"read"};
    args.insert(args.end(), gates.begin(), gates.end());
    std::vector<std::string> noGroup = args;
    noGroup.push_back("--no-group");
    const int groupedDatagrams = datagramsTo3(args, grouped, 1);
    const int aloneDatagrams = datagramsTo3(noGroup, alone, 3);
    EXPECT_EQ(grouped, alone) << "grouped and gate by gate must show the same values and failures";
    EXPECT_NE(grouped.find("039R0081  read failed"), std::string::npos) << "past the end of %R: " << grouped;
    EXPECT_NE(grouped.find("039R000403  1"), std::string::npos) << grouped;
    EXPECT_NE(grouped.find("039F0003  3.125"), std::string::npos) << grouped;
    EXPECT_EQ(aloneDatagrams, 25) << "one datagram per PLC gate";
    // %R (with the refused block read again gate by gate: 1 + 2), %AI, %AQ alone, one block per
    // point memory with two gates or more (I, Q, M), T/A/B/C/D/G alone.
    EXPECT_EQ(groupedDatagrams, 3 + 1 + 1 + 3 + 6 + 1) << "trace:\n" << plant_->simulator->output();
}

TEST_F(Workbench, BadInputIsRefusedWithStatusTwo) {
    struct Case {
        std::vector<std::string> args;
        const char* words;
    };
    const Case cases[] = {
        {{"check", "--format", "xml", "039R0001"}, "--format xml is none of table, lines, csv, jsonl"},
        {{"read", "--format", "yaml", "039R0001"}, "--format yaml is none of"},
        {{"poll", "--format", "", "--count", "1", "039R0001"}, ""},
        {{"read", "--csv", "--format", "jsonl", "039R0001"}, "--csv and --format jsonl contradict each other"},
        {{"scan", "--card", "4"}, "--card 4 is outside 1 to 3"},
        {{"scan", "--card", "2"}, "--card 2 is not configured in zurPM.int (configured: 1)"},
    };
    for (const Case& c : cases) {
        const RunResult result = plant_->zurpmHere(c.args);
        if (c.words[0] == '\0') {
            EXPECT_EQ(result.status, 0) << "an empty --format is the default\n" << shown(result);
            continue;
        }
        EXPECT_EQ(result.status, 2) << shown(result);
        EXPECT_NE(result.err.find(c.words), std::string::npos) << shown(result);
    }
    // The refused --card started the driver to learn the cards; it stopped it again.
    EXPECT_EQ(plant_->zurpmHere({"read", "039R0001"}).status, 0);
}

TEST_F(Workbench, JsonLinesOfEverySubcommandCarryTheirFields) {
    const std::vector<std::string> element{"time", "name", "address", "type", "index", "value", "status", "messages"};
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> fields;  // of every object but the summary
        size_t objects;                   // summary included
        bool summary;
    };
    const Case cases[] = {
        {{"check", "039R0001", "03XR0001", "039R0001::64"},
         {"time", "name", "address", "type", "block", "status", "messages"}, 3, false},
        {{"read", "039R0001", "039M0001::4"}, element, 1 + 4 + 1, true},
        {{"write", "039R0021:s16:2", "7", "-8"}, element, 2 + 1, true},
        {{"write", "079R0001", "1"}, element, 1 + 1, true},
        {{"poll", "--count", "2", "--interval", "10", "039F0003"}, element, 2 + 1, true},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin() + 1, {"--format", "jsonl"});
        const RunResult result = plant_->zurpmHere(args);
        const std::vector<json> objects = jsonLines(result.out);
        ASSERT_EQ(objects.size(), c.objects) << shown(result);
        EXPECT_EQ(objects.back().value("summary", false), c.summary) << objects.back();
        for (size_t i = 0; i + (c.summary ? 1 : 0) < objects.size(); ++i)
            for (const std::string& field : c.fields) EXPECT_TRUE(objects[i].contains(field)) << field << ": " << objects[i];
    }
    const RunResult check = plant_->zurpmHere({"check", "--format", "jsonl", "039R0001", "03XR0001"});
    const std::vector<json> checked = jsonLines(check.out);
    ASSERT_EQ(checked.size(), 2u) << shown(check);
    EXPECT_EQ(checked[0]["memory_type"], 8);
    EXPECT_EQ(checked[0]["status"], "accepted");
    EXPECT_EQ(checked[1]["status"], "refused");
    EXPECT_EQ(checked[1]["messages"][0]["level"], 8);
    const RunResult written = plant_->zurpmHere({"write", "--format", "jsonl", "039R0021:s16:2", "7", "-8"});
    const std::vector<json> elements = jsonLines(written.out);
    ASSERT_EQ(elements.size(), 3u) << shown(written);
    EXPECT_EQ(elements[1]["address"], "039R0022");
    EXPECT_EQ(elements[1]["index"], 1);
    EXPECT_EQ(elements[1]["value"], -8);
    const RunResult failed = plant_->zurpmHere({"write", "--format", "jsonl", "079R0001", "1"});
    EXPECT_EQ(failed.status, 1) << shown(failed);
    EXPECT_TRUE(jsonLines(failed.out).front()["value"].is_null()) << "a failed write has no value: " << failed.out;
}

TEST(Scan, TellsASilentDeviceByTheTimeItWaited) {
    const char* const plant = R"(
[[card]]
boot_ms = 200
  [[card.device]]
  number = 3
  kind = "plc"
  [[card.device]]
  number = 8
  kind = "plc"
  faults = { never_complete = true }
)";
    Simulated simulated("", "BASE=16\n1=CC00;3E0;1\n", plant);  // replies time out after 100 ms
    ASSERT_TRUE(simulated.ready) << simulated.simulator->output();
    const RunResult result = simulated.zurpmHere({"scan", "--format", "jsonl"});
    ASSERT_EQ(result.status, 0) << shown(result);
    const std::vector<json> objects = jsonLines(result.out);
    ASSERT_EQ(objects.size(), 33u) << shown(result);
    EXPECT_EQ(objects[3]["kind"], "plc") << objects[3];
    EXPECT_EQ(objects[8]["kind"], "silent") << objects[8];
    EXPECT_GE(objects[8]["waited_ms"].get<double>(), 100.0) << objects[8];
    EXPECT_EQ(objects[9]["kind"], "absent") << "absent devices are known without the card: " << objects[9];
    const json& station8 = objects.back()["stations"][1];
    EXPECT_EQ(station8["failures"], json({{"failed to respond", 1}})) << objects.back();
}

TEST(JsonLines, TimeIsLocalWithItsOffset) {
    const char* previous = std::getenv("TZ");
    const std::string kept = previous != nullptr ? previous : "";
    const std::pair<const char*, const char*> zones[] = {
        {"<+0530>-5:30", "1970-01-01T05:30:00.250+05:30"},
        {"<-03>3", "1969-12-31T21:00:00.250-03:00"},
        {"UTC0", "1970-01-01T00:00:00.250+00:00"},
    };
    for (const auto& [zone, expected] : zones) {
        setenv("TZ", zone, 1);
        tzset();
        EXPECT_EQ(zurtool::isoLocalTime(std::chrono::system_clock::time_point(std::chrono::milliseconds(250))), expected)
            << zone;
    }
    if (previous != nullptr)
        setenv("TZ", kept.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(GroupSpans, KeepWithinTheLimitsOfABlockGate) {
    auto gate = [](int32_t memoryType, int32_t offset, int32_t bit, int32_t width, int32_t block = 0) {
        zurtool::DefinedGate defined;
        defined.address = HardwareAddress{3, memoryType, offset, bit, width};
        if (block > 0) defined.item.blockSize = block;
        return defined;
    };
    struct Case {
        const char* name;
        std::vector<zurtool::DefinedGate> gates;
        std::vector<std::vector<int32_t>> spans;  // first, count, members...
    };
    const Case cases[] = {
        {"64 words", {gate(8, 0, -1, 16), gate(8, 63, -1, 16)}, {{0, 64, 0, 1}}},
        {"65 words", {gate(8, 0, -1, 16), gate(8, 64, -1, 16)}, {}},
        {"a float covers two words", {gate(8, 0, -1, 16), gate(8, 31, -1, 32)}, {{0, 64, 0, 1}}},
        {"a bit of a word", {gate(10, 5, 3, 1), gate(10, 6, -1, 16)}, {{5, 2, 0, 1}}},
        {"one word twice stays alone", {gate(8, 5, -1, 16), gate(8, 5, 2, 1)}, {}},
        {"points from a byte boundary", {gate(70, 3, 0, 1), gate(70, 17, 0, 1)}, {{0, 24, 0, 1}}},
        {"1024 points", {gate(72, 0, 0, 1), gate(72, 1023, 0, 1)}, {{0, 1024, 0, 1}}},
        {"1025 points", {gate(72, 0, 0, 1), gate(72, 1024, 0, 1)}, {}},
        {"a block of points", {gate(76, 8, 0, 1, 16), gate(76, 30, 0, 1)}, {{8, 24, 0, 1}}},
        {"other memories apart", {gate(8, 0, -1, 16), gate(12, 1, -1, 16), gate(8, 1, -1, 16)}, {{0, 2, 0, 2}}},
        {"Genius block data alone", {gate(130, 0, -1, 16), gate(130, 1, -1, 16)}, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<int32_t>> spans;
        for (const zurtool::GroupSpan& span : zurtool::groupSpans(c.gates)) {
            std::vector<int32_t> row{span.first, span.count};
            for (const size_t member : span.members) row.push_back(static_cast<int32_t>(member));
            spans.push_back(row);
        }
        EXPECT_EQ(spans, c.spans) << c.name;
    }
}

TEST(LinkStatistics, NameEachFailureByTheDriversMessage) {
    using zurtool::HostMessage;
    const HostMessage closing{32, "ZURPM Error: Error transmitting request packet"};
    const std::pair<const char*, const char*> cases[] = {
        {"ZURPM Error: Device 7 not found on network", "not found"},
        {"ZURPM Error: Device 3 failed to respond", "failed to respond"},
        {"ZURPM Error: Syntax error occurred on read from device 6", "syntax error"},
        {"ZURPM Error: Process error occurred on write to device 5", "process error"},
        {"ZURPM Error: Unknown error 32 occurred on read from device 7", "unknown error"},
        {"ZURPM Error: Timeout waiting for clear to transmit", "clear to transmit"},
        {"ZURPM Error: Lockout table malfunction", "lockout"},
        {"ZURPM Error: Datagram may not be sent to host PCIM\n", "own device"},
        {"ZURPM Error: Something new\n", "Something new"},
    };
    for (const auto& [text, kind] : cases) EXPECT_EQ(zurtool::failureKind({{32, text}, closing}), kind) << text;
    EXPECT_EQ(zurtool::failureKind({closing}), "card not configured");
}

TEST(LinkStatistics, TimesKeepExactEndsAndNearestRankQuantiles) {
    zurtool::RequestTimes times;
    EXPECT_EQ(times.median(), 0.0) << "no times yet";
    for (int i = 100; i >= 1; --i) times.add(i);
    EXPECT_EQ(times.min(), 1.0);
    EXPECT_EQ(times.median(), 50.0);
    EXPECT_EQ(times.p99(), 99.0);
    EXPECT_EQ(times.max(), 100.0);
    // Beyond the times kept, a sample of them all: the ends stay exact, the median stays near.
    zurtool::RequestTimes many;
    const size_t count = zurtool::RequestTimes::keptTimes * 3;
    for (size_t i = 0; i < count; ++i) many.add(static_cast<double>((i * 7919) % count));
    EXPECT_EQ(many.count(), count);
    EXPECT_EQ(many.min(), 0.0);
    EXPECT_EQ(many.max(), static_cast<double>(count - 1));
    EXPECT_NEAR(many.median(), count / 2.0, count * 0.02);
}

}  // namespace
