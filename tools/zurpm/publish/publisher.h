// The broker side of zurpm publish: one MQTT connection, tried again with backoff while the poll
// goes on; the latest reading of each gate (one per gate, whatever the broker's state); what is
// published when (births after each connect and on a rebirth command, changes, --republish,
// statistics); and writes asked through the broker, each checked against the allow-list and the
// gate's type, done at once between passes, and answered. Nothing from the broker is queued: a
// command that arrives is done or refused as it comes, and a retained one is passed over.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "link_stats.h"
#include "mqtt_client.h"
#include "publish_scheme.h"
#include "read_plan.h"
#include "sparkplug_node.h"

namespace zurtool {

struct PublishSettings {
    broker::BrokerAddress broker;
    std::string node;
    std::string clientId;
    std::optional<std::string> user;
    std::optional<std::string> password;
    uint16_t keepAliveSeconds = 60;
    uint32_t republishMs = 0;  // 0: only on change
    double deadband = 0.0;
    uint32_t statsMs = 60000;  // 0: never
    std::optional<std::string> sparkplugGroup;
    std::set<std::string> writable;
};

class Publisher {
public:
    Publisher(PublishSettings settings, std::unique_ptr<broker::Connection> connection);

    // The first attempt, before any card starts. Throws an unavailable ToolError when the broker
    // refuses the connection (a bad user or password is not worth a card start); a broker that
    // cannot be reached is tried again later.
    void connectFirst();
    // The session (null: writes are refused as before a start) and its defined gates, before the
    // first pass.
    void attach(DriverSession* session, const std::vector<DefinedGate>& gates);
    // After each pass: the readings taken into the gates' latest state, and what changed
    // published when connected.
    void passDone(const std::vector<GateReading>& readings, const LinkStatistics& statistics);
    // Serves the broker until untilMs (steady clock) or a stop request: reconnects when due,
    // takes commands.
    void serveUntil(uint64_t untilMs);
    // Leaves the broker cleanly: plain "offline" first, then DISCONNECT.
    void leave();

private:
    void tryConnect(bool first);
    void subscribeToCommands();
    void births();
    bool send(const std::string& topic, std::vector<uint8_t> payload, bool retain, uint8_t qos = 0);
    bool sendJson(const std::string& topic, const JsonObject& object, bool retain);
    void publishPlainGate(size_t gate);
    void publishSparkplug(const std::vector<size_t>& changed);
    void publishStatistics();
    void command(const broker::Publish& message);
    void plainCommand(const std::string& gate, const std::string& payload);
    void sparkplugCommand(const broker::Publish& message);
    // Writes the values to the gate, or says why not; the answer goes to the result topic.
    void writeGate(const std::string& name, const std::string& asked, const std::function<std::vector<GateValue>(const DefinedGate&)>& values);
    void answer(const std::string& gate, const std::string& asked, const std::string& status, const std::string& reason);
    std::vector<broker::sparkplug::Metric> nodeMetrics() const;
    bool sparkplug() const { return settings_.sparkplugGroup.has_value(); }

    PublishSettings settings_;
    broker::MqttClient client_;
    broker::ReconnectSchedule schedule_;
    broker::sparkplug::NodeSequence sequence_;
    bool needBirth_ = false;
    DriverSession* session_ = nullptr;
    const std::vector<DefinedGate>* gates_ = nullptr;
    const LinkStatistics* statistics_ = nullptr;
    std::vector<GateSnapshot> latest_;
    struct Published {
        bool done = false;
        bool ok = false;
        std::string failure;
        std::vector<GateValue> values;
        uint64_t ms = 0;
    };
    std::vector<Published> published_;
    std::map<int32_t, bool> deviceBorn_;  // Sparkplug: by station, in this session
    uint64_t lastStatsMs_ = 0;
};

// --node's default: the computer's name, or "zurpm" when it cannot be one.
std::string nodeNameDefault();

}  // namespace zurtool
