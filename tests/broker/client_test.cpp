// The client over a scripted connection and a clock of the test's own: keepalive by counts of
// PINGREQ at given times, and a broker that sends what no broker may, which closes the
// connection with its reason and leaves the client ready to connect again.
#include <gtest/gtest.h>

#include <deque>

#include "mqtt_client.h"

namespace {

using namespace zurtool::broker;

const Bytes connackAccepted{0x20, 0x02, 0x00, 0x00};

// A broker that answers CONNECT with CONNACK, PINGREQ with PINGRESP when told to, and otherwise
// sends the chunks it is given; a receive with nothing to give lets the clock run to its time-out.
class ScriptedBroker final : public Connection {
public:
    explicit ScriptedBroker(uint64_t& clock) : clock_(clock) {}
    std::string open(const std::string&, uint16_t, uint32_t) override { return {}; }
    bool send(std::span<const uint8_t> bytes, uint32_t) override {
        sent.emplace_back(bytes.begin(), bytes.end());
        if (bytes[0] >> 4 == 1) incoming.push_back(connackAccepted);
        if (bytes[0] >> 4 == 12 && answerPings) incoming.push_back({0xD0, 0x00});
        return true;
    }
    long receive(std::span<uint8_t> buffer, uint32_t timeoutMs) override {
        if (incoming.empty()) {
            clock_ += timeoutMs;
            return 0;
        }
        const Bytes chunk = incoming.front();
        incoming.pop_front();
        std::copy(chunk.begin(), chunk.end(), buffer.begin());
        return static_cast<long>(chunk.size());
    }
    void close() override { ++closed; }

    std::deque<Bytes> incoming;
    std::vector<Bytes> sent;
    bool answerPings = false;
    int closed = 0;

private:
    uint64_t& clock_;
};

struct ClientOnScript {
    uint64_t now = 1000;
    ScriptedBroker* broker;
    MqttClient client;
    ClientOnScript()
        : broker(new ScriptedBroker(now)),
          client(std::unique_ptr<Connection>(broker), [this] { return now; }) {
        ConnectOptions options;
        options.clientId = "pc-1";
        options.keepAliveSeconds = 10;
        EXPECT_EQ(client.connect({"broker", 1883}, options, 5000).outcome, MqttClient::ConnectResult::Outcome::connected);
    }
    int sentOfType(int type) const {
        int count = 0;
        for (const Bytes& packet : broker->sent) count += packet[0] >> 4 == type;
        return count;
    }
};

TEST(ClientKeepalive, PingsAfterAQuietKeepaliveAndGivesUpWhenNoPingrespComes) {
    ClientOnScript answered;
    answered.broker->answerPings = true;
    answered.client.service(35000);
    EXPECT_EQ(answered.sentOfType(12), 3);  // at 10, 20 and 30 s
    EXPECT_TRUE(answered.client.connected());

    ClientOnScript silent;
    silent.client.service(35000);
    EXPECT_EQ(silent.sentOfType(12), 1);
    EXPECT_FALSE(silent.client.connected());
    EXPECT_EQ(silent.now, 1000u + 20000u);  // closed when the PINGRESP was a keepalive late
    EXPECT_EQ(silent.client.problem(), "the broker did not answer PINGREQ within 10 s");
}

TEST(ClientAgainstABadBroker, ClosesTheConnectionWithTheReason) {
    const struct { std::vector<Bytes> chunks; const char* problem; } cases[] = {
        {{{0xF0, 0x00}}, "the broker sent a malformed packet: reserved type 15, which a broker never sends to this client"},
        {{{0x40, 0x02, 0x00, 0x07}}, "PUBACK for packet 7, which awaits none"},
        {{connackAccepted}, "a second CONNACK"},
        {{{0x30, 0x80}, {0x80, 0x80, 0x80, 0x01}}, "the broker sent a malformed packet: remaining length longer than 4 bytes"},
    };
    for (const auto& c : cases) {
        ClientOnScript script;
        for (const Bytes& chunk : c.chunks) script.broker->incoming.push_back(chunk);
        EXPECT_TRUE(script.client.service(1000).empty());
        EXPECT_FALSE(script.client.connected()) << c.problem;
        EXPECT_EQ(script.client.problem(), c.problem);
        EXPECT_EQ(script.broker->closed, 1) << c.problem;
        EXPECT_FALSE(script.client.publish({"zurpm/pc-1/status", {'x'}}));
    }
}

TEST(ClientAgainstABadBroker, AcknowledgesAQos1MessageSplitAcrossReads) {
    ClientOnScript script;
    script.broker->incoming = {{0x32, 0x09, 0x00, 0x03}, {'a', '/', 'b', 0x12, 0x34}, {'o', 'n'}};
    const std::vector<Publish> received = script.client.service(1000);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].topic, "a/b");
    EXPECT_EQ(received[0].payload, (Bytes{'o', 'n'}));
    EXPECT_EQ(script.broker->sent.back(), (Bytes{0x40, 0x02, 0x12, 0x34}));
}

}  // namespace
