// The Sparkplug B payload (the protocol buffers message of Sparkplug 3.0), written and read by our
// own code: the payload's timestamp, metrics and seq, and of each metric its name, alias,
// timestamp, datatype, is_null and value. The metrics' other fields (metadata, properties, data
// sets, templates) are skipped when read and never written; so are the payload's uuid and body.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace zurtool::broker::sparkplug {

// Sparkplug's datatype numbers, of those this node uses or may be sent.
enum class DataType : uint32_t {
    unknown = 0, int8 = 1, int16 = 2, int32 = 3, int64 = 4, uint8 = 5, uint16 = 6, uint32 = 7,
    uint64 = 8, float32 = 9, float64 = 10, boolean = 11, string = 12, dateTime = 13, text = 14,
};
// Sparkplug's name of a datatype ("Int16", "Float", ...); "Unknown" for others.
const char* dataTypeName(DataType type);

// The value field a metric carries on the wire: none, int_value, long_value, float_value,
// double_value, boolean_value or string_value.
using WireValue = std::variant<std::monostate, uint32_t, uint64_t, float, double, bool, std::string>;

struct Metric {
    std::optional<std::string> name;
    std::optional<uint64_t> alias;
    std::optional<uint64_t> timestamp;
    DataType datatype = DataType::unknown;
    bool isNull = false;
    WireValue value;
};

struct Payload {
    std::optional<uint64_t> timestamp;
    std::vector<Metric> metrics;
    std::optional<uint64_t> seq;
};

std::vector<uint8_t> encodePayload(const Payload& payload);
// The payload in `bytes`, or why they are none.
std::variant<Payload, std::string> decodePayload(std::span<const uint8_t> bytes);

// Metrics of the datatypes this node publishes. Signed values travel as two's complement in the
// unsigned field, as Sparkplug has it.
Metric int16Metric(std::string name, int16_t value);
Metric uint16Metric(std::string name, uint16_t value);
Metric floatMetric(std::string name, float value);
Metric booleanMetric(std::string name, bool value);
Metric int64Metric(std::string name, int64_t value);
Metric uint64Metric(std::string name, uint64_t value);
Metric stringMetric(std::string name, std::string value);
// A metric without a value (a failed read): is_null set, the datatype kept.
Metric nullMetric(std::string name, DataType type);

// A metric's value read by its datatype: null, a signed or unsigned integer, a float, a boolean or
// a string.
using Value = std::variant<std::monostate, int64_t, uint64_t, float, bool, std::string>;
// The value of `metric` for the datatypes above, or why it has none: a value field that does not
// belong to the datatype, a value outside the datatype's range, a datatype this node does not use.
std::variant<Value, std::string> valueOf(const Metric& metric);

}  // namespace zurtool::broker::sparkplug
