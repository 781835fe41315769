// A small MQTT 3.1.1 client over the connection seam: CONNECT and its CONNACK, SUBSCRIBE and its
// SUBACK, PUBLISH at QoS 0 and 1, incoming messages (acknowledged at once when QoS 1), PINGREQ
// when the connection has been quiet for the keepalive, DISCONNECT. It never reconnects by
// itself: the caller decides when, by the schedule of reconnectDelayMs. Whatever the broker
// sends is decoded by decodePacket; a malformed packet, a broken stream or an unanswered PINGREQ
// closes the connection (never the process) and problem() says why.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "connection.h"
#include "mqtt_packet.h"

namespace zurtool::broker {

struct BrokerAddress {
    std::string host;
    uint16_t port = 1883;
};
// HOST, HOST:PORT, or [IPv6]:PORT; nullopt (and `problem`) when the text is none of these.
std::optional<BrokerAddress> parseBrokerAddress(std::string_view text, std::string* problem = nullptr);

// The wait before the next attempt after `failures` failed attempts in a row: 1 s, doubling to 30 s.
uint32_t reconnectDelayMs(unsigned failures);

// When to try the broker again: due at once at first, then after each failure by reconnectDelayMs.
class ReconnectSchedule {
public:
    bool due(uint64_t nowMs) const { return nowMs >= nextAttemptMs_; }
    uint64_t nextAttemptMs() const { return nextAttemptMs_; }
    void failed(uint64_t nowMs) { nextAttemptMs_ = nowMs + reconnectDelayMs(failures_++); }
    void connected() { failures_ = 0; nextAttemptMs_ = 0; }

private:
    unsigned failures_ = 0;
    uint64_t nextAttemptMs_ = 0;
};

// Milliseconds of a monotonic clock.
uint64_t steadyClockMs();

class MqttClient {
public:
    using Clock = std::function<uint64_t()>;
    explicit MqttClient(std::unique_ptr<Connection> connection, Clock clock = steadyClockMs);

    struct ConnectResult {
        enum class Outcome { connected, refused, failed } outcome = Outcome::failed;
        ConnackCode code = ConnackCode::accepted;  // when refused
        std::string message;                       // what happened, for a person
    };
    // Opens the connection, sends CONNECT and waits for CONNACK, within timeoutMs each.
    ConnectResult connect(const BrokerAddress& broker, const ConnectOptions& options, uint32_t timeoutMs);

    // Subscribes and waits for SUBACK; false (connection kept) when the broker refuses a filter,
    // false (connection closed) when the exchange fails.
    bool subscribe(const std::vector<Subscription>& subscriptions, uint32_t timeoutMs);

    // Sends one message (a QoS 1 message gets the next packet identifier); false when it cannot
    // be encoded or the connection is closed or breaks.
    bool publish(Publish message);

    // Serves the connection for up to timeoutMs: reads what the broker sends, acknowledges QoS 1
    // messages, keeps the connection alive. Returns the messages received (also those that came
    // while waiting in connect or subscribe), at the first message or at the time-out.
    std::vector<Publish> service(uint32_t timeoutMs);

    // Leaves cleanly (DISCONNECT: the broker drops the will) and closes.
    void disconnect();
    // Closes without DISCONNECT: the broker publishes the will.
    void abandon();

    bool connected() const { return connected_; }
    // Why the connection was last closed or refused.
    const std::string& problem() const { return problem_; }
    // QoS 1 messages sent and not yet acknowledged in this connection.
    size_t unacknowledged() const { return awaitingAck_.size(); }

private:
    bool send(const Bytes& packet);
    void closeFor(std::string why);
    // Reads and handles what arrives within timeoutMs; stops early once `done` holds.
    void pump(uint32_t timeoutMs, const std::function<bool()>& done);
    void handle(Incoming& packet);
    uint16_t nextPacketId();

    std::unique_ptr<Connection> connection_;
    Clock clock_;
    bool connected_ = false;
    std::string problem_;
    Bytes received_;
    std::vector<Publish> inbox_;
    std::vector<uint16_t> awaitingAck_;
    std::optional<Connack> connack_;
    std::optional<Suback> suback_;
    uint16_t lastPacketId_ = 0;
    uint32_t keepAliveMs_ = 0;
    uint64_t lastSentMs_ = 0;
    std::optional<uint64_t> pingSentMs_;
};

}  // namespace zurtool::broker
