// Objects of the JSON lines, built with nlohmann-json.
#include "json_lines.h"

namespace zurtool {

namespace {

double roundedMs(double ms) { return static_cast<double>(static_cast<long long>(ms * 1000.0 + 0.5)) / 1000.0; }

JsonObject timesJson(const RequestTimes& times) {
    if (times.count() == 0) return JsonObject{{"min", nullptr}, {"median", nullptr}, {"p99", nullptr}, {"max", nullptr}};
    return JsonObject{{"min", roundedMs(times.min())},
                      {"median", roundedMs(times.median())},
                      {"p99", roundedMs(times.p99())},
                      {"max", roundedMs(times.max())}};
}

}  // namespace

JsonObject messagesJson(const std::vector<HostMessage>& messages) {
    JsonObject list = JsonObject::array();
    for (const HostMessage& message : messages) list.push_back(JsonObject{{"level", message.level}, {"text", message.text}});
    return list;
}

JsonObject valueJson(const GateValue& value) {
    // A float as the table shows it (7 significant digits), not with the noise of its binary form.
    if (value.kind == ValueKind::float32) return std::stod(formatValue(value));
    return value.integer;
}

JsonObject elementJson(const ElementRecord& element) {
    JsonObject object{{"time", element.time},
                      {"name", element.name},
                      {"address", element.address},
                      {"type", kindName(element.kind)},
                      {"index", element.index}};
    object["value"] = element.value ? valueJson(*element.value) : JsonObject(nullptr);
    object["status"] = element.ok ? "ok" : "failed";
    object["messages"] = messagesJson(element.messages);
    return object;
}

JsonObject checkedGateJson(const std::string& time, const DefinedGate& gate) {
    JsonObject object{{"time", time},
                      {"name", gate.item.name},
                      {"address", gate.item.address},
                      {"type", kindName(gate.item.kind)}};
    object["block"] = gate.item.blockSize ? JsonObject(*gate.item.blockSize) : JsonObject(nullptr);
    object["status"] = gate.accepted() ? "accepted" : "refused";
    if (gate.accepted()) {
        object["station"] = gate.address.station;
        object["memory_type"] = gate.address.memoryType;
        object["offset"] = gate.address.offset;
        object["bit"] = gate.address.bit;
        object["width"] = gate.address.width;
    }
    object["messages"] = messagesJson(gate.messages);
    return object;
}

JsonObject scanDeviceJson(const std::string& time, const ScanDevice& device, const CardStart* start) {
    JsonObject object{{"time", time}, {"card", device.card}, {"device", device.device}, {"station", device.station},
                      {"kind", deviceKindName(device.kind)}};
    switch (device.kind) {
    case DeviceKind::plc:
        object["value"] = device.firstRegister ? JsonObject(*device.firstRegister) : JsonObject(nullptr);
        break;
    case DeviceKind::block: object["data"] = device.data; break;
    case DeviceKind::silent: object["waited_ms"] = roundedMs(device.ms); break;
    case DeviceKind::card:
        if (start != nullptr) {
            object["segment"] = start->card.segment;
            object["port"] = start->card.port;
            object["started"] = start->card.started;
            object["version"] = start->card.version;
        }
        break;
    case DeviceKind::absent: break;
    }
    object["ms"] = roundedMs(device.ms);
    object["messages"] = messagesJson(device.kind == DeviceKind::card && start != nullptr ? start->messages : device.messages);
    return object;
}

JsonObject countsJson(const LinkCounts& counts) {
    JsonObject failures = JsonObject::object();
    for (const auto& [kind, count] : counts.failures) failures[kind] = count;
    return JsonObject{{"requests", counts.requests},
                      {"successes", counts.successes},
                      {"failures", failures},
                      {"ms", timesJson(counts.times)}};
}

JsonObject summaryJson(const std::string& time, const LinkStatistics& statistics) {
    JsonObject gates = JsonObject::array();
    for (const LinkStatistics::Gate& gate : statistics.gates()) {
        JsonObject object{{"name", gate.name}, {"address", gate.address}};
        object.update(countsJson(gate.counts));
        gates.push_back(std::move(object));
    }
    JsonObject stations = JsonObject::array();
    for (const auto& [station, counts] : statistics.stations()) {
        JsonObject object{{"station", station}, {"card", station / 32 + 1}, {"device", station % 32}};
        object.update(countsJson(counts));
        stations.push_back(std::move(object));
    }
    return JsonObject{{"time", time}, {"summary", true}, {"gates", gates}, {"stations", stations}};
}

void writeJsonLine(std::ostream& out, const JsonObject& object) {
    // Names from a gate file may hold anything; bytes that are no UTF-8 are replaced, not fatal.
    out << object.dump(-1, ' ', false, JsonObject::error_handler_t::replace) << '\n';
}

void writeElement(std::ostream& out, const ElementRecord& element) { writeJsonLine(out, elementJson(element)); }

void writeScanDevice(std::ostream& out, const std::string& time, const ScanDevice& device, const CardStart* card) {
    writeJsonLine(out, scanDeviceJson(time, device, card));
}

void writeSummary(std::ostream& out, const LinkStatistics& statistics) {
    writeJsonLine(out, summaryJson(isoLocalTimeNow(), statistics));
}

}  // namespace zurtool
