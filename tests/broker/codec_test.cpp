// The broker side's rules over bytes: the remaining length, what a broker must never get past the
// decoder, topic and Sparkplug names, Sparkplug values by datatype, seq and bdSeq, the reconnect
// schedule. What real peers make of our bytes is in peer_test.cpp.
#include <gtest/gtest.h>

#include "mqtt_client.h"
#include "mqtt_packet.h"
#include "sparkplug_node.h"
#include "topic_name.h"

namespace {

using namespace zurtool::broker;
using Outcome = Decoded::Outcome;

TEST(RemainingLength, EncodesInAtMostFourBytesAndReadsBack) {
    const struct { uint32_t length; Bytes bytes; } cases[] = {
        {0, {0x00}}, {127, {0x7F}}, {128, {0x80, 0x01}}, {16383, {0xFF, 0x7F}}, {16384, {0x80, 0x80, 0x01}},
        {2097151, {0xFF, 0xFF, 0x7F}}, {2097152, {0x80, 0x80, 0x80, 0x01}}, {268435455, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& c : cases) {
        Bytes out;
        ASSERT_TRUE(appendRemainingLength(c.length, out)) << c.length;
        EXPECT_EQ(out, c.bytes) << c.length;
        const RemainingLength read = readRemainingLength(out);
        EXPECT_EQ(read.outcome, RemainingLength::Outcome::complete) << c.length;
        EXPECT_EQ(read.length, c.length);
        EXPECT_EQ(read.size, c.bytes.size());
        EXPECT_EQ(readRemainingLength(std::span(out).first(out.size() - 1)).outcome, RemainingLength::Outcome::needMore);
    }
    Bytes out;
    EXPECT_FALSE(appendRemainingLength(268435456, out));
    EXPECT_TRUE(out.empty());
    const Bytes fiveBytes{0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(readRemainingLength(fiveBytes).outcome, RemainingLength::Outcome::malformed);
}

TEST(PacketDecoder, SaysNeedMoreOnePacketOrMalformedWithItsReason) {
    const struct { Bytes bytes; Outcome outcome; size_t size; const char* reason; } cases[] = {
        {{}, Outcome::needMore, 0, ""},
        {{0x30}, Outcome::needMore, 0, ""},
        {{0x30, 0x05, 0x00, 0x03, 'a'}, Outcome::needMore, 0, ""},
        {{0xD0, 0x00, 0x20, 0x02}, Outcome::packet, 2, ""},  // PINGRESP, the next packet begun
        {{0x20, 0x02, 0x01, 0x00}, Outcome::packet, 4, ""},
        {{0x30, 0x04, 0x00, 0x01, 'a', 'x'}, Outcome::packet, 6, ""},
        {{0x20, 0x02, 0x00, 0x06}, Outcome::malformed, 0, "unknown return code 6"},
        {{0x20, 0x02, 0x02, 0x00}, Outcome::malformed, 0, "reserved acknowledge flags"},
        {{0x20, 0x03, 0x00, 0x00, 0x00}, Outcome::malformed, 0, "remaining length 3 instead of 2"},
        {{0x36, 0x03, 0x00, 0x01, 'a'}, Outcome::malformed, 0, "QoS 3"},
        {{0x34, 0x05, 0x00, 0x01, 'a', 0x00, 0x01}, Outcome::malformed, 0, "QoS 2"},
        {{0x38, 0x03, 0x00, 0x01, 'a'}, Outcome::malformed, 0, "QoS 0 marked duplicate"},
        {{0x32, 0x05, 0x00, 0x01, 'a', 0x00, 0x00}, Outcome::malformed, 0, "packet identifier 0"},
        {{0x32, 0x04, 0x00, 0x01, 'a', 0x00}, Outcome::malformed, 0, "without its packet identifier"},
        {{0x30, 0x02, 0x00, 0x05}, Outcome::malformed, 0, "shorter than its topic name"},
        {{0x30, 0x05, 0x00, 0x03, 'a', '/', '#'}, Outcome::malformed, 0, "wildcard #"},
        {{0x30, 0x04, 0x00, 0x02, 0xC0, 0x80}, Outcome::malformed, 0, "overlong UTF-8"},
        {{0x30, 0x05, 0x00, 0x03, 0xED, 0xA0, 0x80}, Outcome::malformed, 0, "surrogate"},
        {{0x30, 0x02, 0x00, 0x00}, Outcome::malformed, 0, "empty"},
        {{0x90, 0x03, 0x00, 0x01, 0x03}, Outcome::malformed, 0, "SUBACK with return code 3"},
        {{0x90, 0x02, 0x00, 0x01}, Outcome::malformed, 0, "under 3"},
        {{0xD0, 0x01, 0x00}, Outcome::malformed, 0, "PINGRESP of remaining length 1"},
        {{0x10, 0x00}, Outcome::malformed, 0, "CONNECT, which a broker never sends"},
        {{0x00, 0x00}, Outcome::malformed, 0, "reserved type 0"},
        {{0x30, 0xFF, 0xFF, 0xFF, 0xFF}, Outcome::malformed, 0, "longer than 4 bytes"},
        {{0x30, 0xFF, 0xFF, 0xFF, 0x7F}, Outcome::malformed, 0, "over the limit"},  // not "need more"
    };
    for (const auto& c : cases) {
        const Decoded decoded = decodePacket(c.bytes);
        const std::string shown = ::testing::PrintToString(c.bytes);
        EXPECT_EQ(decoded.outcome, c.outcome) << shown << ": " << decoded.reason;
        if (c.outcome == Outcome::packet) {
            EXPECT_EQ(decoded.size, c.size) << shown;
        }
        EXPECT_NE(decoded.reason.find(c.reason), std::string::npos) << shown << ": " << decoded.reason;
    }
}

TEST(PacketEncoder, RefusesWhatMqttForbids) {
    std::string problem;
    const struct { Publish message; const char* reason; } cases[] = {
        {{"zurpm/a+b", {}}, "wildcard +"},
        {{"$SYS/x", {}}, "starts with $"},
        {{std::string(65536, 'a'), {}}, "longer than 65535"},
        {{"zurpm/a", {}, 1, false, false, 0}, "needs a packet identifier"},
        {{std::string("zurpm/\0", 7), {}}, "U+0000"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(encodePublish(c.message, &problem).empty()) << c.reason;
        EXPECT_NE(problem.find(c.reason), std::string::npos) << problem;
    }
    ConnectOptions options;
    options.password = "secret";
    EXPECT_TRUE(encodeConnect(options, &problem).empty());
    EXPECT_EQ(problem, "a password needs a user name");
}

TEST(TopicRules, NamesFiltersAndLevels) {
    const struct { const char* text; bool name, filter, level; } cases[] = {
        {"zurpm/plant-1/R1", true, true, false},
        {"zurpm//R1", true, true, false},  // an empty level is a level
        {"/", true, true, false},
        {"Kühlwasser", true, true, true},
        {"zurpm/+/set", false, true, false},
        {"zurpm/#", false, true, false},
        {"#", false, true, false},
        {"zurpm/a+/set", false, false, false},
        {"zurpm/#/set", false, false, false},
        {"zurpm/a#", false, false, false},
        {"", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(!topicNameProblem(c.text), c.name) << c.text;
        EXPECT_EQ(!topicFilterProblem(c.text), c.filter) << c.text;
        EXPECT_EQ(!topicLevelProblem(c.text), c.level) << c.text;
    }
}

TEST(Sparkplug, TopicsAreBuiltAndReadBack) {
    using sparkplug::MessageType;
    EXPECT_EQ(sparkplug::topic("Plant", MessageType::nbirth, "pc-1"), "spBv1.0/Plant/NBIRTH/pc-1");
    EXPECT_EQ(sparkplug::topic("Plant", MessageType::dcmd, "pc-1", "station-7"), "spBv1.0/Plant/DCMD/pc-1/station-7");
    const auto parts = sparkplug::parseTopic("spBv1.0/Plant/DCMD/pc-1/station-7");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->type, MessageType::dcmd);
    EXPECT_EQ(parts->group + "|" + parts->node + "|" + parts->device, "Plant|pc-1|station-7");
    for (const char* refused : {"spBv1.0/Plant/DCMD/pc-1", "spBv1.0/Plant/NCMD/pc-1/x", "spBv1.0/Plant/XCMD/pc-1",
                                "spBv2.0/Plant/NCMD/pc-1", "spBv1.0//NCMD/pc-1", "spBv1.0/Plant/DCMD/pc-1/a/b"})
        EXPECT_FALSE(sparkplug::parseTopic(refused)) << refused;
}

TEST(Sparkplug, ValuesAreReadByTheirDatatypeAndRange) {
    using namespace sparkplug;
    const auto withField = [](DataType type, WireValue value) {
        Metric metric;
        metric.name = "m";
        metric.datatype = type;
        metric.value = std::move(value);
        return metric;
    };
    const struct { Metric metric; Value value; const char* refusal; } cases[] = {
        {int16Metric("m", -5), int64_t{-5}, nullptr},
        {withField(DataType::int16, uint32_t{0xFFFF8000}), int64_t{-32768}, nullptr},
        {withField(DataType::int16, uint32_t{40000}), {}, "Int16 value 40000 out of range"},  // never -25536
        {withField(DataType::int16, uint32_t{0xFFFF7FFF}), {}, "out of range"},
        {uint16Metric("m", 65535), int64_t{65535}, nullptr},
        {withField(DataType::uint16, uint32_t{65536}), {}, "UInt16 value 65536 out of range"},
        {floatMetric("m", 2.5f), 2.5f, nullptr},
        {withField(DataType::float32, 2.5), {}, "Float metric without its value field"},
        {withField(DataType::boolean, uint32_t{1}), {}, "Boolean metric without its value field"},
        {int64Metric("m", -1), int64_t{-1}, nullptr},
        {nullMetric("m", DataType::int16), Value{}, nullptr},
        {withField(DataType::float64, 1.0), {}, "Double (10) is not one this node uses"},
    };
    for (const auto& c : cases) {
        // Through the bytes, so that the wire form is what is read.
        const auto decoded = decodePayload(encodePayload(Payload{{}, {c.metric}, {}}));
        ASSERT_TRUE(std::holds_alternative<Payload>(decoded));
        const auto value = valueOf(std::get<Payload>(decoded).metrics.at(0));
        if (c.refusal) {
            ASSERT_TRUE(std::holds_alternative<std::string>(value)) << c.refusal;
            EXPECT_NE(std::get<std::string>(value).find(c.refusal), std::string::npos) << std::get<std::string>(value);
        } else {
            ASSERT_TRUE(std::holds_alternative<Value>(value)) << std::get<std::string>(value);
            EXPECT_EQ(std::get<Value>(value), c.value);
        }
    }
}

TEST(Sparkplug, CommandsTakeRebirthAndKeepEveryRefusedWriteWithItsReason) {
    using namespace sparkplug;
    Metric aliasOnly;
    aliasOnly.alias = 3;
    aliasOnly.datatype = DataType::int16;
    aliasOnly.value = uint32_t{1};
    const Payload payload{1, {booleanMetric(rebirthMetricName, true), int16Metric("R1", -2), aliasOnly,
                              booleanMetric(rebirthMetricName, false), int16Metric("", 1),
                              int16Metric("\xC0\x80", 1), stringMetric("S", "\xFF")}, {}};
    const auto decoded = decodeCommand(encodePayload(payload));
    ASSERT_TRUE(std::holds_alternative<Command>(decoded));
    const Command& command = std::get<Command>(decoded);
    EXPECT_TRUE(command.rebirth);
    ASSERT_EQ(command.writes.size(), 6u);
    EXPECT_EQ(command.writes[0].name, "R1");
    EXPECT_EQ(std::get<Value>(command.writes[0].value), Value{int64_t{-2}});
    EXPECT_EQ(std::get<std::string>(command.writes[1].value), "metric alias 3 without a name: this node gives no aliases");
    EXPECT_EQ(std::get<std::string>(command.writes[2].value), "Node Control/Rebirth takes the Boolean true only");
    EXPECT_EQ(std::get<std::string>(command.writes[3].value), "metric without a name");
    EXPECT_EQ(command.writes[4].name, "");  // the answer names no text that is not UTF-8
    EXPECT_EQ(std::get<std::string>(command.writes[4].value), "metric name overlong UTF-8 at byte 0");
    EXPECT_EQ(std::get<std::string>(command.writes[5].value), "String value not UTF-8 at byte 0");

    const struct { Bytes bytes; const char* reason; } malformed[] = {
        {{0x12, 0x05, 0x0A}, "runs past the end"},
        {{0x12, 0x02, 0x20, 0x80}, "metric 1: varint cut short"},
        {{0x12, 0x05, 0x0D, 0x00, 0x00, 0x00, 0x00}, "metric 1: name with wire type 5"},
        {{0x00}, "field number 0"},
        {{0x0B}, "wire type 3"},
        {{0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02}, "beyond 64 bits"},
    };
    for (const auto& c : malformed) {
        const auto refused = decodeCommand(c.bytes);
        ASSERT_TRUE(std::holds_alternative<std::string>(refused)) << c.reason;
        EXPECT_NE(std::get<std::string>(refused).find(c.reason), std::string::npos) << std::get<std::string>(refused);
    }
}

TEST(Sparkplug, SeqWrapsAndEachSessionHasTheNextBdSeq) {
    sparkplug::NodeSequence sequence;
    EXPECT_EQ(sequence.beginSession(), 0);
    EXPECT_EQ(sequence.birthSeq(), 0);
    for (int i = 1; i <= 255; ++i) ASSERT_EQ(sequence.nextSeq(), i);
    EXPECT_EQ(sequence.nextSeq(), 0);
    EXPECT_EQ(sequence.birthSeq(), 0);  // a rebirth in the same session
    EXPECT_EQ(sequence.bdSeq(), 0);
    for (int session = 1; session <= 255; ++session) ASSERT_EQ(sequence.beginSession(), session);
    EXPECT_EQ(sequence.beginSession(), 0);
}

TEST(Reconnect, WaitsOneSecondDoublingToThirty) {
    const uint32_t expected[] = {1000, 2000, 4000, 8000, 16000, 30000, 30000};
    for (unsigned failures = 0; failures < std::size(expected); ++failures)
        EXPECT_EQ(reconnectDelayMs(failures), expected[failures]) << failures;
    EXPECT_EQ(reconnectDelayMs(40), 30000u);  // no shift past 32 bits
    ReconnectSchedule schedule;
    EXPECT_TRUE(schedule.due(0));
    schedule.failed(100);
    schedule.failed(1100);
    EXPECT_FALSE(schedule.due(3099));
    EXPECT_TRUE(schedule.due(3100));
    schedule.connected();
    schedule.failed(5000);
    EXPECT_EQ(schedule.nextAttemptMs(), 6000u);
}

TEST(BrokerAddress, HostAndPort) {
    const struct { const char* text; const char* host; uint16_t port; } cases[] = {
        {"broker.plant", "broker.plant", 1883}, {"10.0.0.5:8883", "10.0.0.5", 8883}, {"[::1]:1884", "::1", 1884},
        {"[fe80::1]", "fe80::1", 1883}, {"host:0", nullptr, 0}, {"host:65536", nullptr, 0}, {"host:", nullptr, 0},
        {":1883", nullptr, 0}, {"::1", nullptr, 0}, {"host:1x", nullptr, 0},
    };
    for (const auto& c : cases) {
        const auto address = parseBrokerAddress(c.text);
        ASSERT_EQ(address.has_value(), c.host != nullptr) << c.text;
        if (!address) continue;
        EXPECT_EQ(address->host, c.host);
        EXPECT_EQ(address->port, c.port);
    }
}

}  // namespace
