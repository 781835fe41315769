// The schemes' rules that the end-to-end tests do not reach: what a plain command may ask, when a
// value counts as changed, and how a Sparkplug metric name leads back to its gate.
#include <gtest/gtest.h>

#include "publish_scheme.h"
#include "tool_error.h"

namespace {

using namespace zurtool;

GateItem item(ValueKind kind, std::optional<int32_t> block = std::nullopt) {
    return GateItem{"g", "039R00001", kind, block};
}
GateValue integer(ValueKind kind, int32_t value) { return GateValue{kind, value, 0.0f}; }
GateValue real(float value) { return GateValue{ValueKind::float32, 0, value}; }

TEST(PlainCommand, TakesValuesTheGateCanHoldAndRefusesTheRest) {
    struct Case {
        GateItem gate;
        const char* payload;
        std::vector<GateValue> values;  // empty: refused
    };
    const Case cases[] = {
        {item(ValueKind::signed16), " -123\n", {integer(ValueKind::signed16, -123)}},
        {item(ValueKind::signed16), "40000", {}},
        {item(ValueKind::signed16), "1 2", {}},
        {item(ValueKind::signed16), "", {}},
        {item(ValueKind::unsigned16), "-1", {}},
        {item(ValueKind::digital), "on", {integer(ValueKind::digital, 1)}},
        {item(ValueKind::float32), "2.5", {real(2.5f)}},
        {item(ValueKind::signed16, 3), "[7, 8,9]",
         {integer(ValueKind::signed16, 7), integer(ValueKind::signed16, 8), integer(ValueKind::signed16, 9)}},
        {item(ValueKind::signed16, 3), "[7,8]", {integer(ValueKind::signed16, 7), integer(ValueKind::signed16, 8)}},
        {item(ValueKind::signed16, 3), "1,2,3,4", {}},
        {item(ValueKind::signed16), "{\"value\": 1}", {}},
    };
    for (const Case& c : cases) {
        if (c.values.empty()) {
            EXPECT_THROW(parseWriteValues(c.gate, c.payload), ToolError) << c.payload;
        } else {
            EXPECT_EQ(parseWriteValues(c.gate, c.payload), c.values) << c.payload;
        }
    }
}

TEST(ChangeRule, TheDeadbandHoldsAnalogValuesButNeverPoints) {
    struct Case {
        GateValue now, published;
        double deadband;
        bool changed;
    };
    const Case cases[] = {
        {integer(ValueKind::signed16, 105), integer(ValueKind::signed16, 100), 5.0, false},
        {integer(ValueKind::signed16, 106), integer(ValueKind::signed16, 100), 5.0, true},
        {integer(ValueKind::unsigned16, 94), integer(ValueKind::unsigned16, 100), 5.0, true},
        {real(2.55f), real(2.5f), 0.1, false},
        {real(2.5f), real(2.6001f), 0.1, true},
        {integer(ValueKind::digital, 1), integer(ValueKind::digital, 0), 5.0, true},
        {integer(ValueKind::signed16, 101), integer(ValueKind::signed16, 100), 0.0, true},
        {integer(ValueKind::signed16, 100), integer(ValueKind::signed16, 100), 0.0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(valuesChanged({c.now}, {c.published}, c.deadband), c.changed)
            << formatValue(c.now) << " after " << formatValue(c.published) << " deadband " << c.deadband;
}

TEST(SparkplugNames, MetricsAndDevicesLeadBackToGatesAndStations) {
    const std::pair<const char*, std::pair<std::string, int32_t>> metrics[] = {
        {"level", {"level", -1}}, {"trend[2]", {"trend", 2}}, {"odd[x]", {"odd[x]", -1}}, {"a[]", {"a[]", -1}},
        {"b[1]c", {"b[1]c", -1}},
    };
    for (const auto& [name, gate] : metrics) EXPECT_EQ(sparkplug_scheme::metricGate(name), gate) << name;
    EXPECT_EQ(sparkplug_scheme::stationOfDevice(sparkplug_scheme::deviceName(33)), 33);
    EXPECT_EQ(sparkplug_scheme::stationOfDevice("station-"), std::nullopt);
    EXPECT_EQ(sparkplug_scheme::stationOfDevice("plc-3"), std::nullopt);
    EXPECT_EQ(plainSetGate("zurpm/n/level/set", "n"), "level");
    EXPECT_EQ(plainSetGate("zurpm/n/a/b/set", "n"), std::nullopt);
    EXPECT_EQ(plainSetGate("zurpm/other/level/set", "n"), std::nullopt);
}

}  // namespace
