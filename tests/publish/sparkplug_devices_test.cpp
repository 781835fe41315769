// A station's life as Sparkplug tells it, with readings made up in the test (pcimsim cannot silence
// one PLC on cue): the publisher in this process, a real mosquitto, and the reference codec
// (sparkplug_peer.js) that decodes what arrives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "peer_process.h"
#include "publisher.h"

namespace {

using namespace zurtool;
using brokertest::Child;
using brokertest::Mosquitto;
using nlohmann::json;

DefinedGate gateAt(const char* name, int32_t station, ValueKind kind) {
    DefinedGate gate;
    gate.item = GateItem{name, "address", kind, std::nullopt};
    gate.result = ZUR_RESULT_OK;
    gate.address = HardwareAddress{station, 8, 0, -1, 16};
    return gate;
}

GateReading reading(std::optional<int32_t> value, ValueKind kind) {
    GateReading made;
    made.read = true;
    made.buffer = emptyValueBuffer();
    if (value) {
        putValues(made.buffer, {GateValue{kind, *value, 0.0f}});
    } else {
        made.transfer.result = 1;
        made.transfer.messages = {{32, "ZURPM Error: Device 4 failed to respond"}};
    }
    return made;
}

TEST(SparkplugDevices, AStationThatStopsAnsweringDiesAndIsBornAgainAndAFailedGateIsNull) {
    Mosquitto broker;
    const char* modules = std::getenv("ZURPM_NODE_MODULES");
    const std::string nodeFolder = ZURPM_BROKER_NODE_FOLDER;
    Child peer(brokertest::program("node", "ZURPM_NODE"),
               {nodeFolder + "/sparkplug_peer.js", std::to_string(broker.port()), "Life", "7", "0", "[]"},
               {{"NODE_PATH", modules ? modules : nodeFolder + "/node_modules"}});
    ASSERT_EQ(peer.nextLine(), "ready");

    PublishSettings settings;
    settings.broker = {"127.0.0.1", broker.port()};
    settings.node = "pc";
    settings.clientId = "zurpm-pc";
    settings.statsMs = 0;
    settings.sparkplugGroup = "Life";
    Publisher publisher(settings, broker::makeSocketConnection());
    publisher.connectFirst();
    const std::vector<DefinedGate> gates{gateAt("level", 3, ValueKind::signed16), gateAt("flow", 3, ValueKind::unsigned16),
                                         gateAt("pump", 4, ValueKind::digital)};
    publisher.attach(nullptr, gates);
    LinkStatistics statistics;
    // Everything answers; station 4 goes silent while level fails alone; all answer again.
    const std::optional<int32_t> passes[][3] = {{-5, 7, 1}, {std::nullopt, 7, std::nullopt}, {-5, 7, 1}};
    for (const auto& pass : passes)
        publisher.passDone({reading(pass[0], ValueKind::signed16), reading(pass[1], ValueKind::unsigned16),
                            reading(pass[2], ValueKind::digital)},
                           statistics);

    std::vector<json> messages;
    std::string said;
    while (messages.size() < 7) {
        const std::optional<std::string> line = peer.nextLine();
        said += line.value_or("(nothing)") + "\n";
        if (!line || !line->starts_with("{")) break;
        messages.push_back(json::parse(*line));
    }
    ASSERT_EQ(messages.size(), 7u) << said;
    const std::string at = "spBv1.0/Life/";
    const std::vector<std::string> topics{at + "NBIRTH/pc",         at + "DBIRTH/pc/station-3", at + "DBIRTH/pc/station-4",
                                          at + "DDATA/pc/station-3", at + "DDEATH/pc/station-4", at + "DDATA/pc/station-3",
                                          at + "DBIRTH/pc/station-4"};
    for (size_t i = 0; i < topics.size(); ++i) {
        EXPECT_EQ(messages[i]["topic"], topics[i]) << said;
        EXPECT_EQ(messages[i]["payload"]["seq"], std::to_string(i)) << said;
    }
    const json& failed = messages[3]["payload"]["metrics"];
    ASSERT_EQ(failed.size(), 1u) << said;
    EXPECT_EQ(failed[0]["name"], "level");
    EXPECT_EQ(failed[0]["type"], "Int16");
    EXPECT_TRUE(failed[0]["value"].is_null()) << said;
    EXPECT_EQ(messages[5]["payload"]["metrics"][0]["value"], -5) << said;
    EXPECT_EQ(messages[6]["payload"]["metrics"][0]["value"], true) << said;
    publisher.leave();
}

}  // namespace
