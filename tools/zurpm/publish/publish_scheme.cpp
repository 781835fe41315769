// The plain and Sparkplug schemes of zurpm publish.
#include "publish_scheme.h"

#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "gate_file.h"
#include "tool_error.h"
#include "topic_name.h"

namespace zurtool {

namespace {

std::string trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

// The line of the gate file that names the gate, 0 when none does.
size_t lineOfGate(const std::string& gateFile, const std::string& name) {
    std::ifstream in(gateFile);
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        if (number == 1 || trimmed(line).empty() || trimmed(line)[0] == '#') continue;
        try {
            const std::vector<std::string> fields = splitCsvLine(line);
            if (!fields.empty() && fields[0] == name) return number;
        } catch (const ToolError&) {
        }
    }
    return 0;
}

}  // namespace

std::optional<std::string> gateNameProblem(std::string_view name) { return broker::topicLevelProblem(name); }

void checkGateNames(const std::vector<GateItem>& items, const std::string& gateFile) {
    std::set<std::string> seen;
    for (const GateItem& item : items) {
        const std::optional<std::string> problem = gateNameProblem(item.name);
        const bool twice = !seen.insert(item.name).second;
        if (!problem && !twice) continue;
        const size_t line = gateFile.empty() ? 0 : lineOfGate(gateFile, item.name);
        const std::string where = line == 0 ? std::string() : gateFile + ":" + std::to_string(line) + ": ";
        if (problem)
            throw badInput(where + "gate name '" + item.name + "' cannot be a topic level or metric name: " + *problem);
        // One topic, one metric and one command per name: two gates of one name would share them.
        throw badInput(where + "gate name '" + item.name + "' is given to more than one gate");
    }
}

std::set<std::string> readWritable(const std::string& option, const std::vector<GateItem>& items) {
    std::vector<std::string> names;
    if (!option.empty() && option[0] == '@') {
        std::ifstream in(option.substr(1));
        if (!in) throw badInput("cannot read the writable gates' file " + option.substr(1));
        std::string line;
        while (std::getline(in, line)) {
            const std::string name = trimmed(line);
            if (!name.empty() && name[0] != '#') names.push_back(name);
        }
    } else {
        std::stringstream list(option);
        std::string name;
        while (std::getline(list, name, ','))
            if (!trimmed(name).empty()) names.push_back(trimmed(name));
    }
    std::set<std::string> writable;
    for (const std::string& name : names) {
        bool known = false;
        for (const GateItem& item : items) known = known || item.name == name;
        if (!known) throw badInput("--writable names '" + name + "', which is no gate of the gate file");
        writable.insert(name);
    }
    return writable;
}

std::string plainGateTopic(std::string_view node, std::string_view gate) {
    return "zurpm/" + std::string(node) + "/" + std::string(gate);
}
std::string plainStatusTopic(std::string_view node) { return plainGateTopic(node, "status"); }
std::string plainStatsTopic(std::string_view node) { return plainGateTopic(node, "stats"); }
std::string plainSetFilter(std::string_view node) { return plainGateTopic(node, "+/set"); }
std::string plainResultTopic(std::string_view node, std::string_view gate) {
    return plainGateTopic(node, gate) + "/result";
}

std::optional<std::string> plainSetGate(std::string_view topic, std::string_view node) {
    const std::string head = "zurpm/" + std::string(node) + "/";
    const std::string_view tail = "/set";
    if (topic.size() <= head.size() + tail.size() || topic.substr(0, head.size()) != head ||
        topic.substr(topic.size() - tail.size()) != tail)
        return std::nullopt;
    const std::string_view gate = topic.substr(head.size(), topic.size() - head.size() - tail.size());
    if (gate.find('/') != std::string_view::npos) return std::nullopt;
    return std::string(gate);
}

JsonObject gatePayloadJson(const DefinedGate& gate, const GateSnapshot& snapshot) {
    JsonObject object{{"time", snapshot.time.iso()},
                      {"name", gate.item.name},
                      {"address", gate.item.address},
                      {"type", kindName(gate.item.kind)}};
    if (!snapshot.ok) {
        object["value"] = nullptr;
    } else if (gate.item.isBlock()) {
        JsonObject values = JsonObject::array();
        for (const GateValue& value : snapshot.values) values.push_back(valueJson(value));
        object["value"] = values;
    } else {
        object["value"] = snapshot.values.empty() ? JsonObject(nullptr) : valueJson(snapshot.values.front());
    }
    object["status"] = snapshot.ok ? "ok" : "failed";
    object["messages"] = messagesJson(snapshot.messages);
    object["failure"] = snapshot.ok ? JsonObject(nullptr) : JsonObject(snapshot.failure);
    return object;
}

JsonObject writeResultJson(std::string_view gate, std::string_view asked, const std::string& status,
                           const std::string& reason) {
    return JsonObject{{"time", isoLocalTimeNow()},
                      {"name", std::string(gate)},
                      {"value", std::string(asked)},
                      {"status", status},
                      {"reason", reason}};
}

std::string dumpJson(const JsonObject& object) {
    return object.dump(-1, ' ', false, JsonObject::error_handler_t::replace);
}

std::vector<GateValue> parseWriteValues(const GateItem& item, std::string_view payload) {
    std::string text = trimmed(payload);
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') text = text.substr(1, text.size() - 2);
    for (char& c : text)
        if (c == ',' || c == '\t' || c == '\r' || c == '\n') c = ' ';
    std::vector<std::string> words;
    std::stringstream in(text);
    for (std::string word; in >> word;) words.push_back(word);
    if (words.empty()) throw badInput("no value given");
    const size_t room = item.isBlock() ? static_cast<size_t>(*item.blockSize) : 1;
    if (words.size() > room)
        throw badInput(std::to_string(words.size()) + " values do not fit " +
                       (item.isBlock() ? "the block of " + std::to_string(room) : std::string("a single gate")));
    std::vector<GateValue> values;
    for (const std::string& word : words) values.push_back(parseValue(item.kind, word));
    return values;
}

bool valuesChanged(const std::vector<GateValue>& now, const std::vector<GateValue>& published, double deadband) {
    if (now.size() != published.size()) return true;
    for (size_t i = 0; i < now.size(); ++i) {
        const GateValue& a = now[i];
        const GateValue& b = published[i];
        if (a.kind == ValueKind::digital || deadband <= 0.0) {
            if (!(a == b)) return true;
            continue;
        }
        const double x = a.kind == ValueKind::float32 ? a.real : a.integer;
        const double y = b.kind == ValueKind::float32 ? b.real : b.integer;
        if (std::fabs(x - y) > deadband) return true;
    }
    return false;
}

namespace sparkplug_scheme {

using broker::sparkplug::DataType;
using broker::sparkplug::Metric;

std::string deviceName(int32_t station) { return "station-" + std::to_string(station); }

std::optional<int32_t> stationOfDevice(std::string_view device) {
    const std::string_view head = "station-";
    if (device.size() <= head.size() || device.substr(0, head.size()) != head || device.size() > head.size() + 3)
        return std::nullopt;
    int32_t station = 0;
    for (const char c : device.substr(head.size())) {
        if (c < '0' || c > '9') return std::nullopt;
        station = station * 10 + (c - '0');
    }
    return station;
}

DataType dataTypeOf(ValueKind kind) {
    switch (kind) {
    case ValueKind::signed16: return DataType::int16;
    case ValueKind::unsigned16: return DataType::uint16;
    case ValueKind::float32: return DataType::float32;
    case ValueKind::digital: return DataType::boolean;
    }
    return DataType::unknown;
}

namespace {

Metric metricOf(std::string name, const GateValue& value) {
    switch (value.kind) {
    case ValueKind::signed16: return broker::sparkplug::int16Metric(std::move(name), static_cast<int16_t>(value.integer));
    case ValueKind::unsigned16:
        return broker::sparkplug::uint16Metric(std::move(name), static_cast<uint16_t>(value.integer));
    case ValueKind::float32: return broker::sparkplug::floatMetric(std::move(name), value.real);
    case ValueKind::digital: return broker::sparkplug::booleanMetric(std::move(name), value.integer != 0);
    }
    return broker::sparkplug::nullMetric(std::move(name), DataType::unknown);
}

}  // namespace

std::vector<Metric> gateMetrics(const DefinedGate& gate, const GateSnapshot& snapshot) {
    std::vector<Metric> metrics;
    const int32_t count = elementCount(gate);
    for (int32_t i = 0; i < count; ++i) {
        std::string name = gate.item.isBlock() ? gate.item.name + "[" + std::to_string(i) + "]" : gate.item.name;
        const auto index = static_cast<size_t>(i);
        if (snapshot.ok && index < snapshot.values.size())
            metrics.push_back(metricOf(std::move(name), snapshot.values[index]));
        else
            metrics.push_back(broker::sparkplug::nullMetric(std::move(name), dataTypeOf(gate.item.kind)));
        metrics.back().timestamp = static_cast<uint64_t>(snapshot.time.epochMs);
    }
    return metrics;
}

std::pair<std::string, int32_t> metricGate(std::string_view metric) {
    if (!metric.empty() && metric.back() == ']') {
        const size_t open = metric.rfind('[');
        if (open != std::string_view::npos && open + 2 < metric.size()) {
            int32_t index = 0;
            bool digits = metric.size() - open - 2 <= 4;
            for (size_t i = open + 1; digits && i + 1 < metric.size(); ++i) {
                digits = metric[i] >= '0' && metric[i] <= '9';
                index = index * 10 + (metric[i] - '0');
            }
            if (digits) return {std::string(metric.substr(0, open)), index};
        }
    }
    return {std::string(metric), -1};
}

std::string valueText(ValueKind kind, const broker::sparkplug::Value& value) {
    if (const auto* integer = std::get_if<int64_t>(&value)) return std::to_string(*integer);
    if (const auto* natural = std::get_if<uint64_t>(&value)) return std::to_string(*natural);
    if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "1" : "0";
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    if (const auto* real = std::get_if<float>(&value)) {
        if (kind != ValueKind::float32 && std::trunc(*real) != *real)
            throw badInput("value " + std::to_string(*real) + " is not a whole number");
        std::ostringstream out;
        out.precision(9);
        out << *real;
        return out.str();
    }
    throw badInput("a null value cannot be written");
}

}  // namespace sparkplug_scheme

}  // namespace zurtool
