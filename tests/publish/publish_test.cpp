// zurpm publish end to end: the program polls a pcimsim plant and publishes to a real mosquitto;
// mosquitto_sub, mosquitto_pub and the Sparkplug reference codec (sparkplug_peer.js) are the other
// side. The values on the broker are compared with what `zurpm read` shows for the same gates.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>

#include "peer_process.h"
#include "tool_process.h"

namespace {

using brokertest::Child;
using brokertest::Mosquitto;
using brokertest::program;
using nlohmann::json;
using tooltest::Background;
using tooltest::linesOf;
using tooltest::TemporaryDirectory;

// One card: two PLCs, stations 3 and 4.
const char* const plantFile = R"(
[[card]]
segment = 0xCC00
port = 0x3E0
own_device = 31
boot_ms = 200

  [[card.device]]
  number = 3
  kind = "plc"
  name = "Line 1 CPU"
    [card.device.memory]
    R1 = 100
    R2 = [-7, 300, 400]
    R31 = [0, 16416]
    I17 = 1

  [[card.device]]
  number = 4
  kind = "plc"
  name = "Line 2 CPU"
    [card.device.memory]
    R10 = -1
)";

struct Gate {
    const char* name;
    const char* item;  // as `zurpm read` takes it
    const char* line;  // of the gate file
    int elements;
};
// setpoint is the gate the tests write; the others keep their plant values.
const Gate gates[] = {
    {"level", "039R00001", "level,039R00001,,", 1},
    {"trend", "039R00002:s16:3", "trend,039R00002,s16,3", 3},
    {"word", "039R00002:u16", "word,039R00002,u16,", 1},
    {"temp", "039F00031", "temp,039F00031,float,", 1},
    {"inputs", "039I00017:digital:2", "inputs,039I00017,digital,2", 2},
    {"line2", "049R00010", "line2,049R00010,,", 1},
    {"setpoint", "039R00020", "setpoint,039R00020,,", 1},
};
constexpr size_t gateCount = std::size(gates);

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string gateFile() {
    std::string text = "name,address,type,block\n";
    for (const Gate& gate : gates) text += std::string(gate.line) + "\n";
    return text;
}

// A pcimsim plant in a folder of its own, with zurPM.int and the gate file beside it.
struct Plant {
    TemporaryDirectory place;
    std::unique_ptr<Background> simulator;

    Plant() {
        place.write("plant.toml", plantFile);
        place.write("zurPM.int", "BASE=10\n1=CC00;3E0\n");
        place.write("gates.csv", gateFile());
        simulator = std::make_unique<Background>(
            tooltest::pcimsim, std::vector<std::string>{"plant.toml", "--socket", "XPORTIO", "--trace"}, place.path());
        if (!simulator->waitForLine("ready", 30)) throw std::runtime_error("pcimsim did not get ready");
    }
};

std::vector<std::string> publishArgs(const Mosquitto& broker, const std::string& node, std::vector<std::string> more) {
    std::vector<std::string> args{"publish", "--gates", "gates.csv", "--broker", "127.0.0.1:" + std::to_string(broker.port()),
                                  "--node", node, "--interval", "100", "--stats", "0"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// zurpm publish in the plant's folder as a child that a test may kill outright.
std::unique_ptr<Child> publishChild(const Plant& plant, const std::vector<std::string>& args) {
    std::string command = "cd '" + plant.place.path() + "' && exec '" + tooltest::zurpm + "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    return std::make_unique<Child>("/bin/sh", std::vector<std::string>{"-c", command});
}

std::vector<std::string> at(const Mosquitto& broker, std::vector<std::string> args) {
    args.insert(args.begin(), {"-h", "127.0.0.1", "-p", std::to_string(broker.port()), "-V", "mqttv311"});
    return args;
}

// "TOPIC PAYLOAD" lines of mosquitto_sub -v.
std::pair<std::string, std::string> topicAndPayload(const std::string& line) {
    const size_t space = line.find(' ');
    return {line.substr(0, space), space == std::string::npos ? "" : line.substr(space + 1)};
}

// The broker and one plant for the suite, and `zurpm read` of every gate: each gate's values.
class Publish : public testing::Test {
protected:
    static void SetUpTestSuite() {
        broker_ = std::make_unique<Mosquitto>();
        plant_ = std::make_unique<Plant>();
        std::vector<std::string> args{"read", "--format", "jsonl"};
        for (const Gate& gate : gates) args.push_back(gate.item);
        const tooltest::RunResult read = tooltest::run(tooltest::zurpm, args, plant_->place.path());
        if (read.status != 0) throw std::runtime_error("zurpm read: " + tooltest::shown(read));
        std::vector<json> elements;
        for (const std::string& line : linesOf(read.out)) {
            const json object = json::parse(line);
            if (!object.contains("summary")) elements.push_back(object["value"]);
        }
        size_t next = 0;
        for (const Gate& gate : gates)
            for (int i = 0; i < gate.elements && next < elements.size(); ++i) read_[gate.name].push_back(elements[next++]);
    }
    static void TearDownTestSuite() {
        plant_.reset();
        broker_.reset();
    }

    // The value a gate's retained message should carry: one value, or a block's array.
    static json readValue(const Gate& gate) {
        const std::vector<json>& values = read_.at(gate.name);
        return gate.elements == 1 ? values.front() : json(values);
    }

    brokertest::Ran sub(std::vector<std::string> args) { return brokertest::run(program("mosquitto_sub"), at(*broker_, args)); }
    brokertest::Ran pub(std::vector<std::string> args) { return brokertest::run(program("mosquitto_pub"), at(*broker_, args)); }

    static std::unique_ptr<Mosquitto> broker_;
    static std::unique_ptr<Plant> plant_;
    static std::map<std::string, std::vector<json>> read_;
};

std::unique_ptr<Mosquitto> Publish::broker_;
std::unique_ptr<Plant> Publish::plant_;
std::map<std::string, std::vector<json>> Publish::read_;

TEST_F(Publish, RetainedValuesAreWhatReadShowsAndOnlyAllowedWritesReachThePlc) {
    // A retained command from before the start must never be done.
    ASSERT_EQ(pub({"-t", "zurpm/plain/setpoint/set", "-r", "-m", "666"}).status, 0);
    Background publisher(tooltest::zurpm, publishArgs(*broker_, "plain", {"--writable", "setpoint"}), plant_->place.path());
    ASSERT_TRUE(publisher.waitForLine("published every gate", 60)) << publisher.output();

    const brokertest::Ran retained = sub({"-t", "zurpm/plain/+", "-v", "-C", std::to_string(gateCount + 1), "-W", "20"});
    ASSERT_EQ(retained.status, 0) << retained.output;
    std::map<std::string, std::string> seen;
    for (const std::string& line : linesOf(retained.output)) seen.insert(topicAndPayload(line));
    EXPECT_EQ(seen["zurpm/plain/status"], "online");
    for (const Gate& gate : gates) {
        ASSERT_TRUE(seen.count(std::string("zurpm/plain/") + gate.name)) << gate.name << "\n" << retained.output;
        const json payload = json::parse(seen[std::string("zurpm/plain/") + gate.name]);
        EXPECT_EQ(payload["value"], readValue(gate)) << gate.name;
        EXPECT_EQ(payload["status"], "ok") << gate.name;
        EXPECT_EQ(payload["name"], gate.name);
        EXPECT_TRUE(payload["failure"].is_null()) << payload;
    }

    // The answers: the subscription is in place once the retained status has come.
    Child answers(program("mosquitto_sub"), at(*broker_, {"-t", "zurpm/plain/status", "-t", "zurpm/plain/+/result", "-v"}));
    ASSERT_EQ(answers.nextLine(), "zurpm/plain/status online");
    struct Command {
        const char* topic;
        const char* value;
        const char* answer;  // its topic
        const char* status;
    };
    const Command commands[] = {
        {"zurpm/plain/level/set", "5", "zurpm/plain/level/result", "refused"},  // not allowed
        {"zurpm/plain/setpoint/set", "40000", "zurpm/plain/setpoint/result", "refused"},  // out of s16
        {"zurpm/plain/nothing/set", "1", "zurpm/plain/nothing/result", "refused"},  // no such gate
        {"zurpm/plain/setpoint/set", "-321", "zurpm/plain/setpoint/result", "written"},
    };
    for (const Command& command : commands) ASSERT_EQ(pub({"-t", command.topic, "-m", command.value}).status, 0);
    for (const Command& command : commands) {
        const auto [topic, payload] = topicAndPayload(answers.nextLine().value_or("(none)"));
        EXPECT_EQ(topic, command.answer) << payload;
        EXPECT_EQ(json::parse(payload.empty() ? "{}" : payload).value("status", ""), command.status) << payload;
    }
    EXPECT_TRUE(plant_->simulator->waitForLine("card 1 device 3 write %R offset 19 length 1 <- -321", 20))
        << plant_->simulator->output();
    const std::string trace = plant_->simulator->output();
    EXPECT_FALSE(contains(trace, "<- 666")) << "the retained command was done";
    EXPECT_FALSE(contains(trace, "write %R offset 0 ")) << "a write to level, which is not writable, reached the PLC";
    EXPECT_FALSE(contains(trace, "<- 40000"));

    EXPECT_EQ(publisher.interrupt(30), 0) << publisher.output();
    const brokertest::Ran status = sub({"-t", "zurpm/plain/status", "-v", "-C", "1", "-W", "10"});
    EXPECT_EQ(status.output, "zurpm/plain/status offline\n") << "a clean stop says offline itself";
    pub({"-t", "zurpm/plain/setpoint/set", "-r", "-n"});
}

TEST_F(Publish, SparkplugBirthsAndDataDecodeToTheValuesReadShows) {
    const char* modules = std::getenv("ZURPM_NODE_MODULES");
    const std::string nodeFolder = ZURPM_BROKER_NODE_FOLDER;
    const json commands = json::array({
        {{"topic", "spBv1.0/Works/DCMD/edge/station-3"},
         {"payload", {{"metrics", {{{"name", "setpoint"}, {"type", "Int16"}, {"value", 1234}},
                                   {{"name", "level"}, {"type", "Int16"}, {"value", 1}}}}}}},
    });
    // NBIRTH, DBIRTH of stations 3 and 4, then after the command the setpoint's DDATA.
    Child peer(program("node", "ZURPM_NODE"),
               {nodeFolder + "/sparkplug_peer.js", std::to_string(broker_->port()), "Works", "4", "3", commands.dump()},
               {{"NODE_PATH", modules ? modules : nodeFolder + "/node_modules"}});
    ASSERT_EQ(peer.nextLine(), "ready");
    auto publisher = publishChild(*plant_, publishArgs(*broker_, "edge", {"--sparkplug", "Works", "--writable", "setpoint"}));

    std::vector<json> messages;
    std::string said;
    while (messages.size() < 4) {
        const std::optional<std::string> line = peer.nextLine(60);
        said += line.value_or("(nothing)") + "\n";
        if (!line) break;
        if (line->starts_with("{")) messages.push_back(json::parse(*line));
    }
    ASSERT_EQ(messages.size(), 4u) << said;
    EXPECT_EQ(messages[0]["topic"], "spBv1.0/Works/NBIRTH/edge");
    EXPECT_EQ(messages[1]["topic"], "spBv1.0/Works/DBIRTH/edge/station-3");
    EXPECT_EQ(messages[2]["topic"], "spBv1.0/Works/DBIRTH/edge/station-4");
    EXPECT_EQ(messages[3]["topic"], "spBv1.0/Works/DDATA/edge/station-3");
    for (size_t i = 0; i < messages.size(); ++i) EXPECT_EQ(messages[i]["payload"]["seq"], std::to_string(i)) << said;

    std::map<std::string, json> metrics;  // of the births
    for (size_t i = 0; i < 3; ++i)
        for (const json& metric : messages[i]["payload"]["metrics"]) metrics[metric["name"]] = metric;
    EXPECT_EQ(metrics["bdSeq"]["value"], "0");
    EXPECT_EQ(metrics["Node Control/Rebirth"]["value"], false);
    const std::map<std::string, std::string> types{{"level", "Int16"}, {"word", "UInt16"}, {"temp", "Float"},
                                                   {"inputs", "Boolean"}};
    for (const Gate& gate : gates) {
        if (std::string(gate.name) == "setpoint") continue;  // another test writes it
        for (int i = 0; i < gate.elements; ++i) {
            const std::string name = gate.elements == 1 ? gate.name : gate.name + ("[" + std::to_string(i) + "]");
            ASSERT_TRUE(metrics.count(name)) << name << "\n" << said;
            json expected = read_.at(gate.name)[static_cast<size_t>(i)];
            if (metrics[name]["type"] == "Boolean") expected = expected == 1;
            EXPECT_EQ(metrics[name]["value"], expected) << name;
            if (types.count(gate.name)) {
                EXPECT_EQ(metrics[name]["type"], types.at(gate.name)) << name;
            }
        }
    }
    const json& changed = messages[3]["payload"]["metrics"];
    ASSERT_EQ(changed.size(), 1u) << said;
    EXPECT_EQ(changed[0]["name"], "setpoint");
    EXPECT_EQ(changed[0]["value"], 1234);
    EXPECT_TRUE(plant_->simulator->waitForLine("write %R offset 19 length 1 <- 1234", 20));
    EXPECT_FALSE(contains(plant_->simulator->output(), "write %R offset 0 ")) << "level is not writable";
}

TEST_F(Publish, ThreePlantPcsAreEachBornOnceWithEveryValueAndTheKilledOneDies) {
    Plant plants[3];
    // A retained marker tells that the subscription is in place.
    ASSERT_EQ(pub({"-t", "marker/three", "-r", "-m", "here"}).status, 0);
    Child watcher(program("mosquitto_sub"), at(*broker_, {"-t", "marker/three", "-t", "zurpm/pc0/+", "-t", "zurpm/pc1/+", "-t", "zurpm/pc2/+", "-v"}));
    ASSERT_EQ(watcher.nextLine(), "marker/three here");

    std::vector<std::unique_ptr<Child>> publishers;
    for (int i = 0; i < 3; ++i)
        publishers.push_back(publishChild(plants[i], publishArgs(*broker_, "pc" + std::to_string(i), {})));
    std::map<std::string, int> times;  // each topic's messages
    std::string said;
    const size_t expected = 3 * (gateCount + 1);
    for (size_t n = 0; n < expected; ++n) {
        const std::optional<std::string> line = watcher.nextLine(60);
        if (!line) break;
        said += *line + "\n";
        ++times[topicAndPayload(*line).first];
    }
    publishers[1]->kill();
    const std::optional<std::string> will = watcher.nextLine(60);
    EXPECT_EQ(will, "zurpm/pc1/status offline") << "the last will of a killed publisher\n" << said;
    for (int i = 0; i < 3; ++i) {
        const std::string node = "zurpm/pc" + std::to_string(i) + "/";
        EXPECT_EQ(times[node + "status"], 1) << said;
        for (const Gate& gate : gates) EXPECT_EQ(times[node + gate.name], 1) << node << gate.name << "\n" << said;
    }
    pub({"-t", "marker/three", "-r", "-n"});
}

TEST(PublishFaults, ABrokerDownAtStartOrGoneIsTriedAgainAndGetsEverythingAfterEachConnect) {
    Plant plant;
    const uint16_t port = brokertest::freeLoopbackPort();
    Background publisher(tooltest::zurpm,
                         {"publish", "--gates", "gates.csv", "--broker", "127.0.0.1:" + std::to_string(port), "--node",
                          "late", "--interval", "100", "--stats", "0"},
                         plant.place.path());
    ASSERT_TRUE(publisher.waitForLine("cannot be reached", 30)) << publisher.output();
    const auto everything = [&](const Mosquitto& broker) {
        const brokertest::Ran retained = brokertest::run(
            program("mosquitto_sub"), at(broker, {"-t", "zurpm/late/+", "-v", "-C", std::to_string(gateCount + 1), "-W", "30"}));
        std::set<std::string> topics;
        for (const std::string& line : linesOf(retained.output)) topics.insert(topicAndPayload(line).first);
        return topics.size();
    };
    for (int round = 0; round < 2; ++round) {
        // A fresh broker each round, on the same port: nothing is retained but what comes again.
        Mosquitto broker("allow_anonymous true\n", port);
        ASSERT_TRUE(publisher.waitForLine("published every gate", 60)) << round << "\n" << publisher.output();
        EXPECT_EQ(everything(broker), gateCount + 1) << round << "\n" << publisher.output();
    }
    ASSERT_TRUE(publisher.waitForLine("lost the broker", 30)) << publisher.output();
    EXPECT_EQ(publisher.interrupt(30), 0) << "polling went on while the broker was away\n" << publisher.output();
}

struct BadStart {
    const char* name;
    std::string gateLines;
    std::vector<std::string> args;
    int status;
    const char* words;
};

TEST(PublishStart, RefusesBadNamesAndARefusingBrokerBeforeAnyCardStarts) {
    Mosquitto locked("allow_anonymous false\n");
    TemporaryDirectory place;
    place.write("zurPM.int", "BASE=10\n1=CC00;3E0\n");
    const std::string broker = "127.0.0.1:" + std::to_string(locked.port());
    const BadStart cases[] = {
        {"slash", "level,039R00001,,\n# a comment\nlevel/hi,039R00002,,\n", {}, 2, "gates.csv:4: gate name 'level/hi'"},
        {"plus", "a+b,039R00001,,\n", {}, 2, "gates.csv:2: gate name 'a+b'"},
        {"hash", "ok,039R00001,,\n#x,039R00002,,\nb#,039R00002,,\n", {}, 2, "gates.csv:4: gate name 'b#'"},
        {"one name twice", "level,039R00001,,\nlevel,049R00010,,\n", {}, 2, "gates.csv:2: gate name 'level' is given to more than one gate"},
        {"not writable", "level,039R00001,,\n", {"--writable", "level,pump"}, 2, "'pump', which is no gate"},
        {"refused", "level,039R00001,,\n", {}, 3, "refused the connection"},
    };
    for (const BadStart& c : cases) {
        place.write("gates.csv", "name,address,type,block\n" + c.gateLines);
        std::vector<std::string> args{"publish", "--gates", "gates.csv", "--broker", broker, "--user", "someone"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const tooltest::RunResult result = tooltest::run(tooltest::zurpm, args, place.path(),
                                                         {{"ZURPM_MQTT_PASSWORD", "wrong"}});
        EXPECT_EQ(result.status, c.status) << c.name << "\n" << tooltest::shown(result);
        EXPECT_TRUE(contains(result.err, c.words)) << c.name << "\n" << tooltest::shown(result);
        EXPECT_FALSE(contains(result.err, "Starting Card")) << c.name;
    }
}

}  // namespace
