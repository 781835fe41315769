#include "mqtt_client.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <charconv>
#include <utility>

namespace zurtool::broker {

namespace {

constexpr uint32_t sendTimeoutMs = 10000;

}  // namespace

std::optional<BrokerAddress> parseBrokerAddress(std::string_view text, std::string* problem) {
    const auto refuse = [&](std::string why) -> std::optional<BrokerAddress> {
        if (problem) *problem = "broker \"" + std::string(text) + "\": " + why;
        return std::nullopt;
    };
    BrokerAddress address;
    std::string_view port;
    if (text.starts_with('[')) {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) return refuse("no ] after the IPv6 address");
        address.host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) return refuse("text after the IPv6 address");
        if (rest == ":") return refuse("no port after the colon");
        if (!rest.empty()) port = rest.substr(1);
    } else {
        const size_t colon = text.find(':');
        if (colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos)
            return refuse("an IPv6 address goes in brackets: [ADDRESS]:PORT");
        address.host = text.substr(0, colon);
        if (colon != std::string_view::npos) {
            port = text.substr(colon + 1);
            if (port.empty()) return refuse("no port after the colon");
        }
    }
    if (address.host.empty()) return refuse("no host");
    if (!port.empty()) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535)
            return refuse("port \"" + std::string(port) + "\" is not 1 to 65535");
        address.port = static_cast<uint16_t>(value);
    }
    return address;
}

uint32_t reconnectDelayMs(unsigned failures) {
    constexpr uint32_t firstMs = 1000, longestMs = 30000;
    return failures >= 5 ? longestMs : std::min(longestMs, firstMs << failures);
}

uint64_t steadyClockMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

MqttClient::MqttClient(std::unique_ptr<Connection> connection, Clock clock)
    : connection_(std::move(connection)), clock_(std::move(clock)) {}

MqttClient::ConnectResult MqttClient::connect(const BrokerAddress& broker, const ConnectOptions& options,
                                              uint32_t timeoutMs) {
    if (connected_) abandon();
    ConnectResult result;
    const std::string where = broker.host + ":" + std::to_string(broker.port);
    std::string problem;
    const Bytes packet = encodeConnect(options, &problem);
    if (packet.empty()) {
        result.message = "cannot connect: " + problem;
        problem_ = result.message;
        return result;
    }
    received_.clear();
    inbox_.clear();
    awaitingAck_.clear();
    connack_.reset();
    pingSentMs_.reset();
    keepAliveMs_ = options.keepAliveSeconds * 1000u;
    const std::string opened = connection_->open(broker.host, broker.port, timeoutMs);
    if (!opened.empty()) {
        result.message = "cannot reach the broker at " + where + ": " + opened;
        problem_ = result.message;
        return result;
    }
    connected_ = true;
    if (!send(packet)) {
        result.message = "broker at " + where + ": " + problem_;
        return result;
    }
    pump(timeoutMs, [&] { return connack_.has_value(); });
    if (!connack_) {
        if (connected_) closeFor("no CONNACK within " + std::to_string(timeoutMs) + " ms");
        result.message = "broker at " + where + ": " + problem_;
        problem_ = result.message;
        return result;
    }
    if (connack_->code != ConnackCode::accepted) {
        result.outcome = ConnectResult::Outcome::refused;
        result.code = connack_->code;
        result.message = "broker at " + where + " " + connackMeaning(connack_->code);
        closeFor(result.message);
        return result;
    }
    result.outcome = ConnectResult::Outcome::connected;
    result.message = "connected to the broker at " + where;
    return result;
}

bool MqttClient::subscribe(const std::vector<Subscription>& subscriptions, uint32_t timeoutMs) {
    if (!connected_) return false;
    const uint16_t id = nextPacketId();
    std::string problem;
    const Bytes packet = encodeSubscribe(id, subscriptions, &problem);
    if (packet.empty()) {
        problem_ = "cannot subscribe: " + problem;
        return false;
    }
    suback_.reset();
    if (!send(packet)) return false;
    pump(timeoutMs, [&] { return suback_.has_value(); });
    if (!suback_) {
        if (connected_) closeFor("no SUBACK within " + std::to_string(timeoutMs) + " ms");
        return false;
    }
    if (suback_->packetId != id || suback_->granted.size() != subscriptions.size()) {
        closeFor("SUBACK does not answer the SUBSCRIBE");
        return false;
    }
    for (size_t i = 0; i < subscriptions.size(); ++i)
        if (suback_->granted[i] == 0x80) {
            problem_ = "the broker refuses the subscription to " + subscriptions[i].filter;
            return false;
        }
    return true;
}

bool MqttClient::publish(Publish message) {
    if (!connected_) return false;
    if (message.qos == 1) message.packetId = nextPacketId();
    std::string problem;
    const Bytes packet = encodePublish(message, &problem);
    if (packet.empty()) {
        problem_ = "cannot publish: " + problem;
        return false;
    }
    if (!send(packet)) return false;
    if (message.qos == 1) awaitingAck_.push_back(message.packetId);
    return true;
}

std::vector<Publish> MqttClient::service(uint32_t timeoutMs) {
    if (inbox_.empty()) pump(timeoutMs, [&] { return !inbox_.empty(); });
    return std::exchange(inbox_, {});
}

void MqttClient::disconnect() {
    if (!connected_) return;
    send(encodeDisconnect());
    connection_->close();
    connected_ = false;
    problem_ = "disconnected";
}

void MqttClient::abandon() {
    connection_->close();
    connected_ = false;
    problem_ = "connection abandoned";
}

bool MqttClient::send(const Bytes& packet) {
    if (!connected_) return false;
    if (!connection_->send(packet, sendTimeoutMs)) {
        closeFor("the connection broke while sending");
        return false;
    }
    lastSentMs_ = clock_();
    return true;
}

void MqttClient::closeFor(std::string why) {
    connection_->close();
    connected_ = false;
    problem_ = std::move(why);
}

uint16_t MqttClient::nextPacketId() {
    lastPacketId_ = static_cast<uint16_t>(lastPacketId_ == 65535 ? 1 : lastPacketId_ + 1);
    return lastPacketId_;
}

void MqttClient::pump(uint32_t timeoutMs, const std::function<bool()>& done) {
    const uint64_t deadline = clock_() + timeoutMs;
    std::array<uint8_t, 4096> chunk;
    while (connected_ && !done()) {
        const uint64_t now = clock_();
        if (now >= deadline) return;
        uint64_t wakeAt = deadline;
        if (keepAliveMs_ > 0) {
            // PINGREQ once the connection has been quiet for the keepalive; its PINGRESP within as long.
            if (pingSentMs_ && now >= *pingSentMs_ + keepAliveMs_) {
                closeFor("the broker did not answer PINGREQ within " + std::to_string(keepAliveMs_ / 1000) + " s");
                return;
            }
            if (!pingSentMs_ && now >= lastSentMs_ + keepAliveMs_) {
                if (!send(encodePingreq())) return;
                pingSentMs_ = lastSentMs_;
            }
            wakeAt = std::min(wakeAt, pingSentMs_ ? *pingSentMs_ + keepAliveMs_ : lastSentMs_ + keepAliveMs_);
        }
        const uint64_t now2 = clock_();
        const auto waitMs = static_cast<uint32_t>(wakeAt > now2 ? wakeAt - now2 : 0);
        const long count = connection_->receive(chunk, waitMs);
        if (count < 0) {
            closeFor("the broker closed the connection");
            return;
        }
        received_.insert(received_.end(), chunk.begin(), chunk.begin() + count);
        while (connected_) {
            Decoded decoded = decodePacket(received_);
            if (decoded.outcome == Decoded::Outcome::needMore) break;
            if (decoded.outcome == Decoded::Outcome::malformed) {
                closeFor("the broker sent a malformed packet: " + decoded.reason);
                return;
            }
            received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(decoded.size));
            handle(decoded.packet);
        }
    }
}

void MqttClient::handle(Incoming& packet) {
    if (auto* connack = std::get_if<Connack>(&packet)) {
        if (connack_) return closeFor("a second CONNACK");
        connack_ = *connack;
    } else if (auto* message = std::get_if<Publish>(&packet)) {
        if (!connack_) return closeFor("PUBLISH before CONNACK");
        if (message->qos == 1 && !send(encodePuback(message->packetId))) return;
        inbox_.push_back(std::move(*message));
    } else if (auto* ack = std::get_if<Puback>(&packet)) {
        const auto waiting = std::find(awaitingAck_.begin(), awaitingAck_.end(), ack->packetId);
        if (waiting == awaitingAck_.end())
            return closeFor("PUBACK for packet " + std::to_string(ack->packetId) + ", which awaits none");
        awaitingAck_.erase(waiting);
    } else if (auto* suback = std::get_if<Suback>(&packet)) {
        suback_ = std::move(*suback);
    } else if (std::holds_alternative<Pingresp>(packet)) {
        pingSentMs_.reset();
    }
}

}  // namespace zurtool::broker
