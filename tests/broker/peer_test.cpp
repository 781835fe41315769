// The client and the Sparkplug codec against real peers: a mosquitto broker of the test's own,
// mosquitto_sub and mosquitto_pub for plain MQTT, and the Sparkplug reference payload codec
// (npm sparkplug-payload, over npm mqtt) for births, data, deaths and commands.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "mqtt_client.h"
#include "peer_process.h"
#include "sparkplug_node.h"

namespace {

using namespace zurtool::broker;
using brokertest::Child;
using brokertest::Mosquitto;
using brokertest::program;
using Outcome = MqttClient::ConnectResult::Outcome;

Bytes bytesOf(const std::string& text) { return {text.begin(), text.end()}; }
std::string textOf(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

ConnectOptions clientNamed(const std::string& id) {
    ConnectOptions options;
    options.clientId = id;
    options.keepAliveSeconds = 30;
    return options;
}

std::vector<std::string> at(const Mosquitto& broker, std::vector<std::string> args) {
    args.insert(args.begin(), {"-h", "127.0.0.1", "-p", std::to_string(broker.port()), "-V", "mqttv311"});
    return args;
}

// Serves the client until `count` messages came (or a generous number of rounds passed).
std::vector<Publish> receive(MqttClient& client, size_t count) {
    std::vector<Publish> received;
    for (int round = 0; round < 100 && received.size() < count && client.connected(); ++round)
        for (Publish& message : client.service(200)) received.push_back(std::move(message));
    return received;
}

TEST(RealBroker, RetainedMessagesReachMosquittoSub) {
    Mosquitto broker;
    MqttClient client(makeSocketConnection());
    const auto connected = client.connect({"127.0.0.1", broker.port()}, clientNamed("pc-1"), 5000);
    ASSERT_EQ(connected.outcome, Outcome::connected) << connected.message;
    // Remaining lengths of one, two and three bytes; a name beyond ASCII.
    const struct { std::string topic; std::string payload; uint8_t qos; } cases[] = {
        {"zurpm/pc-1/R1", R"({"value":12,"status":"ok"})", 0},
        {"zurpm/pc-1/Kühlwasser", R"({"value":-3})", 1},
        {"zurpm/pc-1/block", std::string(20000, 'b'), 1},
        {"zurpm/pc-1/big", std::string(300000, 'x'), 0},
    };
    for (const auto& c : cases) ASSERT_TRUE(client.publish({c.topic, bytesOf(c.payload), c.qos, true})) << client.problem();
    for (int round = 0; round < 100 && client.unacknowledged() > 0; ++round) client.service(100);
    EXPECT_EQ(client.unacknowledged(), 0u) << "PUBACKs missing";
    client.disconnect();

    const auto seen = brokertest::run(program("mosquitto_sub"),
                                      at(broker, {"-t", "zurpm/pc-1/#", "-q", "1", "-C", "4", "-W", "20", "-F", "%t|%r|%q|%p"}));
    ASSERT_EQ(seen.status, 0) << seen.output;
    std::map<std::string, std::string> byTopic;
    for (size_t start = 0, end; (end = seen.output.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = seen.output.substr(start, end - start);
        byTopic[line.substr(0, line.find('|'))] = line.substr(line.find('|') + 1);
    }
    for (const auto& c : cases)
        EXPECT_EQ(byTopic[c.topic], "1|" + std::to_string(c.qos) + "|" + c.payload) << c.topic;
}

TEST(RealBroker, CommandsFromMosquittoPubReachTheClientAndARetainedOneIsMarked) {
    Mosquitto broker;
    const auto pub = [&](std::vector<std::string> args) {
        const auto ran = brokertest::run(program("mosquitto_pub"), at(broker, std::move(args)));
        ASSERT_EQ(ran.status, 0) << ran.output;
    };
    pub({"-t", "zurpm/pc-1/R3/set", "-m", "stale", "-r"});  // left on the broker before we came
    MqttClient client(makeSocketConnection());
    ASSERT_EQ(client.connect({"127.0.0.1", broker.port()}, clientNamed("pc-1"), 5000).outcome, Outcome::connected);
    ASSERT_TRUE(client.subscribe({{"zurpm/pc-1/+/set", 1}}, 5000)) << client.problem();
    pub({"-t", "zurpm/pc-1/R1", "-m", "not a command"});
    pub({"-t", "zurpm/pc-1/R1/set", "-m", "42", "-q", "1"});
    pub({"-t", "zurpm/pc-1/Kühlwasser/set", "-m", "{\"value\":-3}", "-q", "0"});

    const struct { const char* topic; const char* payload; uint8_t qos; bool retain; } expected[] = {
        {"zurpm/pc-1/R3/set", "stale", 0, true},
        {"zurpm/pc-1/R1/set", "42", 1, false},
        {"zurpm/pc-1/Kühlwasser/set", "{\"value\":-3}", 0, false},
    };
    const std::vector<Publish> received = receive(client, std::size(expected));
    ASSERT_EQ(received.size(), std::size(expected)) << client.problem();
    for (size_t i = 0; i < received.size(); ++i) {
        EXPECT_EQ(received[i].topic, expected[i].topic);
        EXPECT_EQ(textOf(received[i].payload), expected[i].payload);
        EXPECT_EQ(received[i].qos, expected[i].qos) << expected[i].topic;
        EXPECT_EQ(received[i].retain, expected[i].retain) << expected[i].topic;
    }
    EXPECT_TRUE(client.connected());
}

TEST(RealBroker, TheLastWillFiresWhenTheConnectionDropsAndOnlyThen) {
    const struct { bool leaveCleanly; const char* logLine; const char* afterward; } cases[] = {
        {false, "Client pc-1 closed its connection.", "offline"},
        {true, "Client pc-1 disconnected.", "marker"},
    };
    for (const auto& c : cases) {
        Mosquitto broker;
        Child subscriber(program("mosquitto_sub"), at(broker, {"-t", "zurpm/pc-1/status", "-q", "1", "-F", "%p"}));
        ConnectOptions options = clientNamed("pc-1");
        options.will = Will{"zurpm/pc-1/status", bytesOf("offline"), 1, true};
        MqttClient client(makeSocketConnection());
        ASSERT_EQ(client.connect({"127.0.0.1", broker.port()}, options, 5000).outcome, Outcome::connected);
        ASSERT_TRUE(client.publish({"zurpm/pc-1/status", bytesOf("online"), 1, true}));
        EXPECT_EQ(subscriber.nextLine(), "online");
        c.leaveCleanly ? client.disconnect() : client.abandon();
        // Once the broker has let the client go, whatever it did about the will is done.
        ASSERT_TRUE(broker.logged(c.logLine)) << broker.log();
        const auto ran = brokertest::run(program("mosquitto_pub"), at(broker, {"-t", "zurpm/pc-1/status", "-m", "marker"}));
        ASSERT_EQ(ran.status, 0) << ran.output;
        EXPECT_EQ(subscriber.nextLine(), c.afterward) << c.logLine;
    }
}

TEST(RealBroker, ARefusedOrUnreachableBrokerSaysWhy) {
    const std::string passwords = (std::filesystem::temp_directory_path() /
                                   ("zurpm-broker-passwords-" + std::to_string(::getpid()))).string();
    ASSERT_EQ(brokertest::run(program("mosquitto_passwd"), {"-b", "-c", passwords, "plant", "secret"}).status, 0);
    Mosquitto broker("allow_anonymous false\npassword_file " + passwords + "\n");
    const struct { std::optional<std::string> user, password; Outcome outcome; const char* message; } cases[] = {
        {"plant", "secret", Outcome::connected, "connected to the broker at 127.0.0.1:"},
        {"plant", "wrong", Outcome::refused, "refused: not authorized"},
        {std::nullopt, std::nullopt, Outcome::refused, "refused: not authorized"},
    };
    for (const auto& c : cases) {
        ConnectOptions options = clientNamed("pc-1");
        options.userName = c.user;
        options.password = c.password;
        MqttClient client(makeSocketConnection());
        const auto result = client.connect({"127.0.0.1", broker.port()}, options, 5000);
        EXPECT_EQ(result.outcome, c.outcome) << result.message;
        EXPECT_NE(result.message.find(c.message), std::string::npos) << result.message;
        EXPECT_EQ(client.connected(), c.outcome == Outcome::connected);
    }
    std::filesystem::remove(passwords);

    MqttClient client(makeSocketConnection());
    const uint16_t nobody = brokertest::freeLoopbackPort();
    const auto result = client.connect({"127.0.0.1", nobody}, clientNamed("pc-1"), 5000);
    EXPECT_EQ(result.outcome, Outcome::failed);
    EXPECT_EQ(result.message, "cannot reach the broker at 127.0.0.1:" + std::to_string(nobody) + ": Connection refused");
}

TEST(RealBroker, ABrokerThatGoesAwayIsNoticedAndTheClientConnectsAgain) {
    std::optional<Mosquitto> broker(std::in_place);
    const uint16_t port = broker->port();
    MqttClient client(makeSocketConnection());
    ASSERT_EQ(client.connect({"127.0.0.1", port}, clientNamed("pc-1"), 5000).outcome, Outcome::connected);
    broker.reset();
    EXPECT_TRUE(receive(client, 1).empty());
    EXPECT_FALSE(client.connected());
    EXPECT_EQ(client.problem(), "the broker closed the connection");
    EXPECT_FALSE(client.publish({"zurpm/pc-1/R1", bytesOf("lost"), 1}));
    EXPECT_EQ(client.connect({"127.0.0.1", port}, clientNamed("pc-1"), 5000).outcome, Outcome::failed);

    broker.emplace("allow_anonymous true\n", port);
    const auto again = client.connect({"127.0.0.1", port}, clientNamed("pc-1"), 5000);
    ASSERT_EQ(again.outcome, Outcome::connected) << again.message;
    ASSERT_TRUE(client.subscribe({{"zurpm/pc-1/#", 1}}, 5000)) << client.problem();
    ASSERT_TRUE(client.publish({"zurpm/pc-1/R1", bytesOf("back"), 1}));
    const std::vector<Publish> received = receive(client, 1);
    ASSERT_EQ(received.size(), 1u) << client.problem();
    EXPECT_EQ(textOf(received[0].payload), "back");  // nothing of the first connection comes again
    for (int round = 0; round < 100 && client.unacknowledged() > 0; ++round) client.service(100);
    EXPECT_EQ(client.unacknowledged(), 0u);
}

// What the reference codec decoded: the metrics of one message by name.
std::map<std::string, nlohmann::json> metricsOf(const nlohmann::json& message) {
    std::map<std::string, nlohmann::json> metrics;
    for (const auto& metric : message["payload"]["metrics"]) metrics[metric["name"].get<std::string>()] = metric;
    return metrics;
}

TEST(SparkplugReferenceCodec, DecodesOurBirthsDataAndDeathAndEncodesCommandsWeRead) {
    using namespace sparkplug;
    Mosquitto broker;
    const char* modules = std::getenv("ZURPM_NODE_MODULES");
    const std::string nodeFolder = ZURPM_BROKER_NODE_FOLDER;
    const nlohmann::json commands = nlohmann::json::array({
        {{"topic", topic("Plant", MessageType::ncmd, "pc-1")},
         {"payload", {{"timestamp", 1700000000000}, {"metrics", {{{"name", "Node Control/Rebirth"}, {"type", "Boolean"}, {"value", true}}}}}}},
        {{"topic", topic("Plant", MessageType::dcmd, "pc-1", "station-7")},
         {"payload", {{"timestamp", 1700000000001}, {"metrics", {
             {{"name", "R1"}, {"type", "Int16"}, {"value", -1234}},
             {{"name", "R2"}, {"type", "UInt16"}, {"value", 65535}},
             {{"name", "AI3"}, {"type", "Float"}, {"value", 2.5}},
             {{"name", "I1"}, {"type", "Boolean"}, {"value", false}},
             {{"name", "R4"}, {"type", "Int16"}, {"value", 40000}},
         }}}}},
    });
    Child peer(program("node", "ZURPM_NODE"),
               {nodeFolder + "/sparkplug_peer.js", std::to_string(broker.port()), "Plant", "4", "3", commands.dump()},
               {{"NODE_PATH", modules ? modules : nodeFolder + "/node_modules"}});
    ASSERT_EQ(peer.nextLine(), "ready");

    NodeSequence sequence;
    const uint8_t bdSeq = sequence.beginSession();
    ConnectOptions options = clientNamed("pc-1");
    options.will = Will{topic("Plant", MessageType::ndeath, "pc-1"), encodePayload(nodeDeath(bdSeq, 1700000000000)), 1, false};
    MqttClient client(makeSocketConnection());
    ASSERT_EQ(client.connect({"127.0.0.1", broker.port()}, options, 5000).outcome, Outcome::connected);
    ASSERT_TRUE(client.subscribe({{topic("Plant", MessageType::ncmd, "pc-1"), 1},
                                  {topic("Plant", MessageType::dcmd, "pc-1", "+"), 1}}, 5000));
    const auto publish = [&](MessageType type, const std::string& device, const Payload& payload) {
        ASSERT_TRUE(client.publish({topic("Plant", type, "pc-1", device), encodePayload(payload), 0, false}));
    };
    publish(MessageType::nbirth, "",
            nodeBirth(bdSeq, sequence.birthSeq(), 1700000000100,
                      {uint64Metric("Link/Requests", 5000000000), int64Metric("Link/Failures", -1)}));
    publish(MessageType::dbirth, "station-7",
            Payload{1700000000200,
                    {int16Metric("R1", -5), uint16Metric("R2", 65535), floatMetric("AI3", 12.5f), booleanMetric("I1", true),
                     nullMetric("R9", DataType::int16), stringMetric("Name", "Kühlwasser")},
                    sequence.nextSeq()});
    Metric stamped = int16Metric("R1", -32768);
    stamped.timestamp = 1700000000299;
    publish(MessageType::ddata, "station-7", Payload{1700000000300, {stamped}, sequence.nextSeq()});

    // The peer's lines: a message decoded, or "sent" once its commands are acknowledged.
    int commandsSent = 0;
    std::string peerSaid;
    const auto nextMessage = [&] {
        std::optional<std::string> line;
        while ((line = peer.nextLine()) == "sent") ++commandsSent;
        peerSaid += line.value_or("(nothing)") + "\n";
        if (!line || !line->starts_with("{")) throw std::runtime_error("the peer said " + line.value_or("nothing"));
        return nlohmann::json::parse(*line);
    };
    std::vector<nlohmann::json> decoded;
    for (int i = 0; i < 3; ++i) decoded.push_back(nextMessage());
    EXPECT_EQ(decoded[0]["topic"], "spBv1.0/Plant/NBIRTH/pc-1");
    EXPECT_EQ(decoded[0]["payload"]["seq"], "0");
    auto node = metricsOf(decoded[0]);
    EXPECT_EQ(node["bdSeq"]["type"], "Int64");
    EXPECT_EQ(node["bdSeq"]["value"], "0");
    EXPECT_EQ(node["Node Control/Rebirth"]["value"], false);
    EXPECT_EQ(node["Link/Requests"]["type"], "UInt64");
    EXPECT_EQ(node["Link/Requests"]["value"], "5000000000");
    EXPECT_EQ(node["Link/Failures"]["value"], "-1");

    EXPECT_EQ(decoded[1]["topic"], "spBv1.0/Plant/DBIRTH/pc-1/station-7");
    EXPECT_EQ(decoded[1]["payload"]["seq"], "1");
    EXPECT_EQ(decoded[1]["payload"]["timestamp"], "1700000000200");
    auto station = metricsOf(decoded[1]);
    const struct { const char* name; const char* type; nlohmann::json value; } births[] = {
        {"R1", "Int16", -5}, {"R2", "UInt16", 65535}, {"AI3", "Float", 12.5}, {"I1", "Boolean", true},
        {"R9", "Int16", nullptr},  // without is_null the codec reads an Int16 of 0
        {"Name", "String", "Kühlwasser"},
    };
    for (const auto& birth : births) {
        EXPECT_EQ(station[birth.name]["type"], birth.type) << birth.name;
        EXPECT_EQ(station[birth.name]["value"], birth.value) << birth.name;
    }

    EXPECT_EQ(decoded[2]["topic"], "spBv1.0/Plant/DDATA/pc-1/station-7");
    EXPECT_EQ(decoded[2]["payload"]["seq"], "2");
    EXPECT_EQ(metricsOf(decoded[2])["R1"]["value"], -32768);
    EXPECT_EQ(metricsOf(decoded[2])["R1"]["timestamp"], "1700000000299");

    // The commands the reference codec encoded, as we read them.
    const std::vector<Publish> received = receive(client, 2);
    ASSERT_EQ(received.size(), 2u) << client.problem();
    std::map<std::string, Command> byTopic;
    for (const Publish& message : received) {
        auto command = decodeCommand(message.payload);
        ASSERT_TRUE(std::holds_alternative<Command>(command)) << std::get<std::string>(command);
        byTopic[message.topic] = std::get<Command>(command);
    }
    EXPECT_TRUE(byTopic["spBv1.0/Plant/NCMD/pc-1"].rebirth);
    EXPECT_TRUE(byTopic["spBv1.0/Plant/NCMD/pc-1"].writes.empty());
    const Command& writes = byTopic["spBv1.0/Plant/DCMD/pc-1/station-7"];
    EXPECT_FALSE(writes.rebirth);
    const struct { const char* name; std::variant<Value, std::string> value; } asked[] = {
        {"R1", Value{int64_t{-1234}}}, {"R2", Value{int64_t{65535}}}, {"AI3", Value{2.5f}}, {"I1", Value{false}},
        {"R4", std::string("Int16 value 40000 out of range")},
    };
    ASSERT_EQ(writes.writes.size(), std::size(asked));
    for (size_t i = 0; i < std::size(asked); ++i) {
        EXPECT_EQ(writes.writes[i].name, asked[i].name);
        EXPECT_EQ(writes.writes[i].value, asked[i].value) << asked[i].name;
    }

    // Dropped without DISCONNECT: the broker sends our NDEATH, with the birth's bdSeq.
    client.abandon();
    const auto deathMessage = nextMessage();
    EXPECT_EQ(commandsSent, 1) << peerSaid;
    EXPECT_EQ(deathMessage["topic"], "spBv1.0/Plant/NDEATH/pc-1");
    EXPECT_EQ(metricsOf(deathMessage)["bdSeq"]["value"], "0");
    EXPECT_FALSE(deathMessage["payload"].contains("seq"));
    std::string rest;
    EXPECT_EQ(peer.finish(rest), 0) << rest;
}

}  // namespace
