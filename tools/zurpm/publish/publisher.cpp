// The broker side of zurpm publish.
#include "publisher.h"

#include <algorithm>
#include <iostream>

#include "driver_library.h"
#include "driver_messages.h"
#include "poller.h"
#include "tool_error.h"
#include "topic_name.h"


namespace zurtool {

namespace sp = broker::sparkplug;

namespace {

constexpr uint32_t connectTimeoutMs = 3000;

void say(const std::string& text) { std::cerr << "zurpm publish: " << text << std::endl; }

std::string shownBroker(const broker::BrokerAddress& address) {
    const bool bracketed = address.host.find(':') != std::string::npos;
    return (bracketed ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

uint64_t epochMsNow() { return static_cast<uint64_t>(LocalTime::now().epochMs); }

}  // namespace

std::string nodeNameDefault() {
    std::string name = hostName();
    if (name.empty() || broker::topicLevelProblem(name)) name = "zurpm";
    return name;
}

Publisher::Publisher(PublishSettings settings, std::unique_ptr<broker::Connection> connection)
    : settings_(std::move(settings)), client_(std::move(connection)) {}

void Publisher::connectFirst() { tryConnect(true); }

void Publisher::tryConnect(bool first) {
    broker::ConnectOptions options;
    options.clientId = settings_.clientId;
    options.cleanSession = true;  // nothing kept for us across sessions: no command is replayed
    options.keepAliveSeconds = settings_.keepAliveSeconds;
    options.userName = settings_.user;
    options.password = settings_.password;
    broker::Will will;
    will.qos = 1;
    if (sparkplug()) {
        const uint8_t bdSeq = sequence_.beginSession();
        will.topic = sp::topic(*settings_.sparkplugGroup, sp::MessageType::ndeath, settings_.node);
        will.payload = sp::encodePayload(sp::nodeDeath(bdSeq, epochMsNow()));
    } else {
        will.topic = plainStatusTopic(settings_.node);
        will.payload = bytesOf("offline");
        will.retain = true;
    }
    options.will = will;

    const auto result = client_.connect(settings_.broker, options, connectTimeoutMs);
    const uint64_t now = broker::steadyClockMs();
    if (result.outcome != broker::MqttClient::ConnectResult::Outcome::connected) {
        const std::string what = "the broker at " + shownBroker(settings_.broker) +
                                 (result.outcome == broker::MqttClient::ConnectResult::Outcome::refused
                                      ? " refused the connection: "
                                      : " cannot be reached: ") +
                                 result.message;
        if (first && result.outcome == broker::MqttClient::ConnectResult::Outcome::refused) throw unavailable(what);
        schedule_.failed(now);
        say(what + "; trying again in " + std::to_string((schedule_.nextAttemptMs() - now + 500) / 1000) + " s");
        return;
    }
    schedule_.connected();
    if (session_ != nullptr) subscribeToCommands();
    if (!client_.connected()) {
        schedule_.failed(now);
        return;
    }
    say("connected to the broker at " + shownBroker(settings_.broker) + " as " +
        (sparkplug() ? sp::topic(*settings_.sparkplugGroup, sp::MessageType::nbirth, settings_.node)
                     : plainGateTopic(settings_.node, "")));
    needBirth_ = true;
    births();
}

// Commands are asked for only once the cards have started: one sent while they start is the
// broker's to drop, never a write done seconds after it was asked.
void Publisher::subscribeToCommands() {
    std::vector<broker::Subscription> subscriptions;
    if (sparkplug()) {
        subscriptions.push_back({sp::topic(*settings_.sparkplugGroup, sp::MessageType::ncmd, settings_.node), 1});
        subscriptions.push_back({sp::topic(*settings_.sparkplugGroup, sp::MessageType::dcmd, settings_.node, "+"), 1});
    } else {
        subscriptions.push_back({plainSetFilter(settings_.node), 1});
    }
    if (!client_.subscribe(subscriptions, connectTimeoutMs))
        say("the broker did not take the subscription to commands: " + client_.problem());
}

void Publisher::attach(DriverSession* session, const std::vector<DefinedGate>& gates) {
    session_ = session;
    gates_ = &gates;
    latest_.assign(gates.size(), GateSnapshot{});
    published_.assign(gates.size(), Published{});
    if (client_.connected()) subscribeToCommands();
}

bool Publisher::send(const std::string& topic, std::vector<uint8_t> payload, bool retain, uint8_t qos) {
    if (!client_.connected()) return false;
    broker::Publish message;
    message.topic = topic;
    message.payload = std::move(payload);
    message.retain = retain;
    message.qos = qos;
    return client_.publish(std::move(message));
}

bool Publisher::sendJson(const std::string& topic, const JsonObject& object, bool retain) {
    return send(topic, bytesOf(dumpJson(object)), retain);
}

void Publisher::passDone(const std::vector<GateReading>& readings, const LinkStatistics& statistics) {
    statistics_ = &statistics;
    const LocalTime now = LocalTime::now();
    const uint64_t nowMs = broker::steadyClockMs();
    std::vector<size_t> changed;
    for (size_t g = 0; g < readings.size() && g < latest_.size(); ++g) {
        const GateReading& reading = readings[g];
        if (!reading.read) continue;
        const DefinedGate& gate = (*gates_)[g];
        GateSnapshot& snapshot = latest_[g];
        snapshot.read = true;
        snapshot.ok = reading.transfer.done();
        snapshot.values = snapshot.ok ? takeValues(reading.buffer, gate.item.kind, elementCount(gate))
                                      : std::vector<GateValue>{};
        snapshot.messages = reading.transfer.messages;
        snapshot.failure = snapshot.ok ? std::string() : failureKind(snapshot.messages);
        snapshot.time = now;
        const Published& last = published_[g];
        if (!last.done || last.ok != snapshot.ok || last.failure != snapshot.failure ||
            (snapshot.ok && valuesChanged(snapshot.values, last.values, settings_.deadband)) ||
            (settings_.republishMs != 0 && nowMs - last.ms >= settings_.republishMs))
            changed.push_back(g);
    }
    if (!client_.connected()) return;  // the latest state waits for the next birth
    if (needBirth_) {
        births();
    } else if (sparkplug()) {
        publishSparkplug(changed);
    } else {
        for (const size_t g : changed) publishPlainGate(g);
    }
    if (settings_.statsMs != 0 && nowMs - lastStatsMs_ >= settings_.statsMs && !needBirth_) {
        publishStatistics();
        lastStatsMs_ = nowMs;
    }
}

void Publisher::publishPlainGate(size_t g) {
    const GateSnapshot& snapshot = latest_[g];
    if (!snapshot.read) return;
    const DefinedGate& gate = (*gates_)[g];
    if (!sendJson(plainGateTopic(settings_.node, gate.item.name), gatePayloadJson(gate, snapshot), true)) return;
    published_[g] = Published{true, snapshot.ok, snapshot.failure, snapshot.values, broker::steadyClockMs()};
}

void Publisher::births() {
    if (!client_.connected() || gates_ == nullptr || latest_.empty() || !latest_.front().read) return;
    if (sparkplug()) {
        const std::string& group = *settings_.sparkplugGroup;
        const sp::Payload birth = sp::nodeBirth(sequence_.bdSeq(), sequence_.birthSeq(), epochMsNow(), nodeMetrics());
        if (!send(sp::topic(group, sp::MessageType::nbirth, settings_.node), sp::encodePayload(birth), false)) return;
        deviceBorn_.clear();
        std::vector<size_t> all(gates_->size());
        for (size_t g = 0; g < all.size(); ++g) all[g] = g;
        publishSparkplug(all);
    } else {
        for (size_t g = 0; g < gates_->size(); ++g) publishPlainGate(g);
        send(plainStatusTopic(settings_.node), bytesOf("online"), true, 1);
    }
    if (client_.connected()) {
        needBirth_ = false;
        say("published every gate (birth)");
    }
}

void Publisher::publishSparkplug(const std::vector<size_t>& changed) {
    const std::string& group = *settings_.sparkplugGroup;
    std::map<int32_t, std::vector<size_t>> stations;  // every gate, by station
    for (size_t g = 0; g < gates_->size(); ++g) stations[(*gates_)[g].address.station].push_back(g);
    const uint64_t nowMs = broker::steadyClockMs();
    const auto markPublished = [&](size_t g) {
        const GateSnapshot& snapshot = latest_[g];
        published_[g] = Published{true, snapshot.ok, snapshot.failure, snapshot.values, nowMs};
    };
    for (const auto& [station, members] : stations) {
        const bool alive = std::any_of(members.begin(), members.end(), [&](size_t g) { return latest_[g].ok; });
        bool& born = deviceBorn_[station];
        const std::string device = sparkplug_scheme::deviceName(station);
        sp::Payload payload;
        payload.timestamp = epochMsNow();
        sp::MessageType type = sp::MessageType::ddata;
        if (alive && !born) {
            type = sp::MessageType::dbirth;
            for (const size_t g : members)
                for (sp::Metric& metric : sparkplug_scheme::gateMetrics((*gates_)[g], latest_[g]))
                    payload.metrics.push_back(std::move(metric));
        } else if (!alive && born) {
            type = sp::MessageType::ddeath;
        } else if (alive) {
            for (const size_t g : members)
                if (std::find(changed.begin(), changed.end(), g) != changed.end())
                    for (sp::Metric& metric : sparkplug_scheme::gateMetrics((*gates_)[g], latest_[g]))
                        payload.metrics.push_back(std::move(metric));
            if (payload.metrics.empty()) continue;
        } else {
            for (const size_t g : members) markPublished(g);
            continue;
        }
        payload.seq = sequence_.nextSeq();
        if (!send(sp::topic(group, type, settings_.node, device), sp::encodePayload(payload), false)) return;
        born = type != sp::MessageType::ddeath;
        if (type == sp::MessageType::ddeath) say("station " + std::to_string(station) + " stopped answering: DDEATH");
        for (const size_t g : members) markPublished(g);
    }
}

std::vector<sp::Metric> Publisher::nodeMetrics() const {
    uint64_t requests = 0;
    uint64_t successes = 0;
    if (statistics_ != nullptr)
        for (const auto& [station, counts] : statistics_->stations()) {
            requests += counts.requests;
            successes += counts.successes;
        }
    return {sp::uint64Metric("Link/Requests", requests), sp::uint64Metric("Link/Successes", successes),
            sp::uint64Metric("Link/Failures", requests - successes)};
}

void Publisher::publishStatistics() {
    if (statistics_ == nullptr) return;
    if (sparkplug()) {
        sp::Payload payload;
        payload.timestamp = epochMsNow();
        payload.metrics = nodeMetrics();
        payload.seq = sequence_.nextSeq();
        send(sp::topic(*settings_.sparkplugGroup, sp::MessageType::ndata, settings_.node), sp::encodePayload(payload),
             false);
    } else {
        sendJson(plainStatsTopic(settings_.node), summaryJson(isoLocalTimeNow(), *statistics_), false);
    }
}

void Publisher::serveUntil(uint64_t untilMs) {
    bool once = true;
    while (!stopRequested()) {
        const uint64_t now = broker::steadyClockMs();
        if (now >= untilMs && !once) return;
        once = false;
        const auto left = static_cast<uint32_t>(std::min<uint64_t>(now >= untilMs ? 0 : untilMs - now, 50));
        if (!client_.connected()) {
            if (schedule_.due(now)) {
                tryConnect(false);
                continue;
            }
            sleepMilliseconds(left);
            continue;
        }
        for (const broker::Publish& message : client_.service(left)) command(message);
        if (!client_.connected()) {
            say("lost the broker: " + client_.problem());
            needBirth_ = true;
        }
    }
}

void Publisher::command(const broker::Publish& message) {
    if (message.retain) {
        say("passed over a retained command on " + message.topic + " (commands are never replayed)");
        return;
    }
    if (sparkplug()) {
        sparkplugCommand(message);
        return;
    }
    if (const auto gate = plainSetGate(message.topic, settings_.node))
        plainCommand(*gate, std::string(message.payload.begin(), message.payload.end()));
}

void Publisher::plainCommand(const std::string& gate, const std::string& payload) {
    writeGate(gate, payload, [&](const DefinedGate& defined) { return parseWriteValues(defined.item, payload); });
}

void Publisher::sparkplugCommand(const broker::Publish& message) {
    const auto parts = sp::parseTopic(message.topic);
    if (!parts || parts->group != *settings_.sparkplugGroup || parts->node != settings_.node) return;
    const auto decoded = sp::decodeCommand(message.payload);
    if (const auto* problem = std::get_if<std::string>(&decoded)) {
        say("malformed command on " + message.topic + ": " + *problem + "; nothing written");
        return;
    }
    const sp::Command& command = std::get<sp::Command>(decoded);
    if (parts->type == sp::MessageType::ncmd) {
        if (command.rebirth) {
            say("rebirth asked");
            needBirth_ = true;
            births();
        }
        for (const sp::MetricWrite& write : command.writes)
            answer(write.name, "", "refused", "the node has no writable metric of that name");
        return;
    }
    if (parts->type != sp::MessageType::dcmd) return;
    const std::optional<int32_t> station = sparkplug_scheme::stationOfDevice(parts->device);
    for (const sp::MetricWrite& write : command.writes) {
        const auto [name, index] = sparkplug_scheme::metricGate(write.name);
        if (const auto* problem = std::get_if<std::string>(&write.value)) {
            answer(write.name, "", "refused", *problem);
            continue;
        }
        const sp::Value& value = std::get<sp::Value>(write.value);
        // A single gate by its whole name (which may itself end in [N]); NAME[i] names an element
        // only of a block gate.
        const DefinedGate* gate = nullptr;
        if (gates_ != nullptr) {
            for (const DefinedGate& defined : *gates_)
                if (!defined.item.isBlock() && defined.item.name == write.name) gate = &defined;
            if (gate == nullptr && name != write.name)
                for (const DefinedGate& defined : *gates_)
                    if (defined.item.isBlock() && defined.item.name == name) gate = &defined;
        }
        if (gate == nullptr || !station || gate->address.station != *station) {
            answer(write.name, "", "refused", "no metric of that name on device " + parts->device);
            continue;
        }
        if (gate->item.isBlock()) {
            answer(write.name, "", "refused", "an element of a block gate is not written alone");
            continue;
        }
        std::string asked;
        try {
            asked = sparkplug_scheme::valueText(gate->item.kind, value);
        } catch (const ToolError& error) {
            answer(write.name, "", "refused", error.what());
            continue;
        }
        writeGate(gate->item.name, asked, [&](const DefinedGate& defined) {
            return std::vector<GateValue>{parseValue(defined.item.kind, asked)};
        });
    }
}

void Publisher::writeGate(const std::string& name, const std::string& asked,
                          const std::function<std::vector<GateValue>(const DefinedGate&)>& valuesOf) {
    const DefinedGate* gate = nullptr;
    if (gates_ != nullptr)
        for (const DefinedGate& defined : *gates_)
            if (defined.item.name == name) gate = &defined;
    if (gate == nullptr || session_ == nullptr) {
        answer(name, asked, "refused", gate == nullptr ? "no gate of that name" : "the card is not started yet");
        return;
    }
    if (settings_.writable.count(name) == 0) {
        answer(name, asked, "refused", "the gate is not writable (--writable)");
        return;
    }
    std::vector<GateValue> values;
    try {
        values = valuesOf(*gate);
    } catch (const ToolError& error) {
        answer(name, asked, "refused", error.what());
        return;
    }
    ValueBuffer buffer = emptyValueBuffer();
    putValues(buffer, values);
    const Transfer transfer = session_->write(*gate, static_cast<int32_t>(values.size()), buffer);
    if (transfer.done())
        answer(name, asked, "written", "");
    else
        answer(name, asked, "failed", failureKind(transfer.messages) + ": " + showMessages(transfer.messages));
}

void Publisher::answer(const std::string& gate, const std::string& asked, const std::string& status,
                       const std::string& reason) {
    say("write of '" + asked + "' to " + gate + " " + status + (reason.empty() ? "" : ": " + reason));
    const std::string level = broker::topicLevelProblem(gate) ? "-" : gate;
    sendJson(plainResultTopic(settings_.node, level), writeResultJson(gate, asked, status, reason), false);
}

void Publisher::leave() {
    if (!client_.connected()) return;
    if (sparkplug()) {
        // The will goes with DISCONNECT: the node's death is told by the node itself.
        send(sp::topic(*settings_.sparkplugGroup, sp::MessageType::ndeath, settings_.node),
             sp::encodePayload(sp::nodeDeath(sequence_.bdSeq(), epochMsNow())), false, 1);
    } else {
        send(plainStatusTopic(settings_.node), bytesOf("offline"), true, 1);
    }
    client_.disconnect();
    say("left the broker");
}

}  // namespace zurtool
