#include "sparkplug_payload.h"

#include <bit>

#include "mqtt_packet.h"
#include "protobuf_wire.h"

namespace zurtool::broker::sparkplug {

namespace {

using protobuf::WireType;

// Field numbers of the Payload and Metric messages.
enum PayloadField : uint32_t { payloadTimestamp = 1, payloadMetrics = 2, payloadSeq = 3 };
enum MetricField : uint32_t {
    metricName = 1, metricAlias = 2, metricTimestamp = 3, metricDatatype = 4, metricIsNull = 7,
    intValue = 10, longValue = 11, floatValue = 12, doubleValue = 13, booleanValue = 14, stringValue = 15,
};

std::span<const uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::vector<uint8_t> encodeMetric(const Metric& metric) {
    std::vector<uint8_t> out;
    if (metric.name) protobuf::appendBytesField(metricName, bytesOf(*metric.name), out);
    if (metric.alias) protobuf::appendVarintField(metricAlias, *metric.alias, out);
    if (metric.timestamp) protobuf::appendVarintField(metricTimestamp, *metric.timestamp, out);
    protobuf::appendVarintField(metricDatatype, static_cast<uint32_t>(metric.datatype), out);
    if (metric.isNull) {
        protobuf::appendVarintField(metricIsNull, 1, out);
        return out;
    }
    std::visit(
        [&](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, uint32_t>) protobuf::appendVarintField(intValue, value, out);
            else if constexpr (std::is_same_v<T, uint64_t>) protobuf::appendVarintField(longValue, value, out);
            else if constexpr (std::is_same_v<T, float>) protobuf::appendFixed32Field(floatValue, std::bit_cast<uint32_t>(value), out);
            else if constexpr (std::is_same_v<T, double>) protobuf::appendFixed64Field(doubleValue, std::bit_cast<uint64_t>(value), out);
            else if constexpr (std::is_same_v<T, bool>) protobuf::appendVarintField(booleanValue, value ? 1 : 0, out);
            else if constexpr (std::is_same_v<T, std::string>) protobuf::appendBytesField(stringValue, bytesOf(value), out);
        },
        metric.value);
    return out;
}

// One field of the expected wire type, or a reason.
bool expect(const protobuf::Field& field, WireType type, const char* name, std::string& problem) {
    if (field.type == type) return true;
    problem = std::string(name) + " with wire type " + std::to_string(static_cast<int>(field.type));
    return false;
}

std::variant<Metric, std::string> decodeMetric(std::span<const uint8_t> bytes) {
    Metric metric;
    protobuf::Reader reader(bytes);
    protobuf::Field field;
    std::string problem;
    while (reader.next(field)) {
        switch (field.number) {
        case metricName:
            if (!expect(field, WireType::lengthDelimited, "name", problem)) return problem;
            metric.name.emplace(reinterpret_cast<const char*>(field.bytes.data()), field.bytes.size());
            break;
        case metricAlias:
            if (!expect(field, WireType::varint, "alias", problem)) return problem;
            metric.alias = field.value;
            break;
        case metricTimestamp:
            if (!expect(field, WireType::varint, "timestamp", problem)) return problem;
            metric.timestamp = field.value;
            break;
        case metricDatatype:
            if (!expect(field, WireType::varint, "datatype", problem)) return problem;
            if (field.value > UINT32_MAX) return "datatype " + std::to_string(field.value);
            metric.datatype = static_cast<DataType>(field.value);
            break;
        case metricIsNull:
            if (!expect(field, WireType::varint, "is_null", problem)) return problem;
            metric.isNull = field.value != 0;
            break;
        case intValue:
            if (!expect(field, WireType::varint, "int_value", problem)) return problem;
            // A uint32 field: protocol buffers keep its low 32 bits.
            metric.value = static_cast<uint32_t>(field.value);
            break;
        case longValue:
            if (!expect(field, WireType::varint, "long_value", problem)) return problem;
            metric.value = field.value;
            break;
        case floatValue:
            if (!expect(field, WireType::fixed32, "float_value", problem)) return problem;
            metric.value = std::bit_cast<float>(static_cast<uint32_t>(field.value));
            break;
        case doubleValue:
            if (!expect(field, WireType::fixed64, "double_value", problem)) return problem;
            metric.value = std::bit_cast<double>(field.value);
            break;
        case booleanValue:
            if (!expect(field, WireType::varint, "boolean_value", problem)) return problem;
            metric.value = field.value != 0;
            break;
        case stringValue:
            if (!expect(field, WireType::lengthDelimited, "string_value", problem)) return problem;
            metric.value = std::string(reinterpret_cast<const char*>(field.bytes.data()), field.bytes.size());
            break;
        default:
            break;  // metadata, properties, data sets, templates, extensions: not ours
        }
    }
    if (!reader.problem().empty()) return reader.problem();
    return metric;
}

Metric make(std::string name, DataType type, WireValue value) {
    Metric metric;
    metric.name = std::move(name);
    metric.datatype = type;
    metric.value = std::move(value);
    return metric;
}

}  // namespace

const char* dataTypeName(DataType type) {
    static const char* const names[] = {"Unknown", "Int8",  "Int16",  "Int32",   "Int64",    "UInt8", "UInt16", "UInt32",
                                        "UInt64",  "Float", "Double", "Boolean", "String", "DateTime", "Text"};
    const auto index = static_cast<size_t>(type);
    return index < std::size(names) ? names[index] : "Unknown";
}

std::vector<uint8_t> encodePayload(const Payload& payload) {
    std::vector<uint8_t> out;
    if (payload.timestamp) protobuf::appendVarintField(payloadTimestamp, *payload.timestamp, out);
    for (const Metric& metric : payload.metrics) protobuf::appendBytesField(payloadMetrics, encodeMetric(metric), out);
    if (payload.seq) protobuf::appendVarintField(payloadSeq, *payload.seq, out);
    return out;
}

std::variant<Payload, std::string> decodePayload(std::span<const uint8_t> bytes) {
    Payload payload;
    protobuf::Reader reader(bytes);
    protobuf::Field field;
    std::string problem;
    while (reader.next(field)) {
        switch (field.number) {
        case payloadTimestamp:
            if (!expect(field, WireType::varint, "payload timestamp", problem)) return problem;
            payload.timestamp = field.value;
            break;
        case payloadMetrics: {
            if (!expect(field, WireType::lengthDelimited, "metric", problem)) return problem;
            auto metric = decodeMetric(field.bytes);
            if (auto* why = std::get_if<std::string>(&metric))
                return "metric " + std::to_string(payload.metrics.size() + 1) + ": " + *why;
            payload.metrics.push_back(std::move(std::get<Metric>(metric)));
            break;
        }
        case payloadSeq:
            if (!expect(field, WireType::varint, "seq", problem)) return problem;
            payload.seq = field.value;
            break;
        default:
            break;  // uuid, body
        }
    }
    if (!reader.problem().empty()) return reader.problem();
    return payload;
}

Metric int16Metric(std::string name, int16_t value) {
    return make(std::move(name), DataType::int16, static_cast<uint32_t>(static_cast<int32_t>(value)));
}
Metric uint16Metric(std::string name, uint16_t value) { return make(std::move(name), DataType::uint16, uint32_t{value}); }
Metric floatMetric(std::string name, float value) { return make(std::move(name), DataType::float32, value); }
Metric booleanMetric(std::string name, bool value) { return make(std::move(name), DataType::boolean, value); }
Metric int64Metric(std::string name, int64_t value) {
    return make(std::move(name), DataType::int64, static_cast<uint64_t>(value));
}
Metric uint64Metric(std::string name, uint64_t value) { return make(std::move(name), DataType::uint64, value); }
Metric stringMetric(std::string name, std::string value) {
    return make(std::move(name), DataType::string, std::move(value));
}
Metric nullMetric(std::string name, DataType type) {
    Metric metric = make(std::move(name), type, {});
    metric.isNull = true;
    return metric;
}

namespace {

// The metric's value into value (left empty for a null metric), or false with the reason in
// problem. valueOf builds its result once from these: GCC 12 warns falsely of uninitialised
// storage when a variant inside another is returned from many places.
bool readValue(const Metric& metric, Value& value, std::string& problem) {
    const char* type = dataTypeName(metric.datatype);
    if (metric.isNull) return true;
    const auto refuse = [&](std::string reason) {
        problem = std::move(reason);
        return false;
    };
    const auto wrongField = [&] { return refuse(std::string(type) + " metric without its value field"); };
    switch (metric.datatype) {
    case DataType::int16:
    case DataType::uint16: {
        const auto* field = std::get_if<uint32_t>(&metric.value);
        if (!field) return wrongField();
        const uint32_t raw = *field;
        if (metric.datatype == DataType::uint16) {
            if (raw > 0xFFFF) return refuse("UInt16 value " + std::to_string(raw) + " out of range");
            value = int64_t{raw};
            return true;
        }
        // Two's complement over the field's 32 bits, as Sparkplug's own codecs write it: a value of
        // 16 bits alone (40000 for -25536) is out of range, never taken for a negative one.
        if (raw > 0x7FFF && raw < 0xFFFF8000u)
            return refuse("Int16 value " + std::to_string(static_cast<int32_t>(raw)) + " out of range");
        value = int64_t{static_cast<int32_t>(raw)};
        return true;
    }
    case DataType::int64:
    case DataType::uint64: {
        const auto* field = std::get_if<uint64_t>(&metric.value);
        if (!field) return wrongField();
        if (metric.datatype == DataType::int64)
            value = static_cast<int64_t>(*field);
        else
            value = *field;
        return true;
    }
    case DataType::float32:
        if (const auto* field = std::get_if<float>(&metric.value)) {
            value = *field;
            return true;
        }
        return wrongField();
    case DataType::boolean:
        if (const auto* field = std::get_if<bool>(&metric.value)) {
            value = *field;
            return true;
        }
        return wrongField();
    case DataType::string:
        if (const auto* field = std::get_if<std::string>(&metric.value)) {
            if (auto utf8 = utf8StringProblem(*field)) return refuse("String value " + *utf8);
            value = *field;
            return true;
        }
        return wrongField();
    default:
        return refuse(std::string("datatype ") + type + " (" + std::to_string(static_cast<uint32_t>(metric.datatype)) +
                      ") is not one this node uses");
    }
}

}  // namespace

std::variant<Value, std::string> valueOf(const Metric& metric) {
    Value value;
    std::string problem;
    std::variant<Value, std::string> result;
    if (readValue(metric, value, problem))
        result.emplace<Value>(std::move(value));
    else
        result.emplace<std::string>(std::move(problem));
    return result;
}

}  // namespace zurtool::broker::sparkplug
