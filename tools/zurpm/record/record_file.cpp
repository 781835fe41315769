// Writing the run header line, and reading a record back.
#include "record_file.h"

#include <fstream>
#include <map>

#include "driver_messages.h"
#include "tool_error.h"

namespace zurtool {

namespace {

std::optional<double> optionalNumber(const nlohmann::json& value) {
    if (value.is_number()) return value.get<double>();
    return std::nullopt;
}

// Counts as the summary line carries them (countsJson of json_lines.cpp).
LinkFigures linkFiguresOf(const nlohmann::json& counts) {
    LinkFigures figures;
    figures.requests = counts.value("requests", uint64_t{0});
    figures.successes = counts.value("successes", uint64_t{0});
    if (counts.contains("failures") && counts["failures"].is_object())
        for (const auto& [kind, count] : counts["failures"].items()) figures.failures.emplace_back(kind, count.get<uint64_t>());
    if (counts.contains("ms") && counts["ms"].is_object()) {
        const nlohmann::json& ms = counts["ms"];
        figures.minMs = optionalNumber(ms.value("min", nlohmann::json()));
        figures.medianMs = optionalNumber(ms.value("median", nlohmann::json()));
        figures.p99Ms = optionalNumber(ms.value("p99", nlohmann::json()));
        figures.maxMs = optionalNumber(ms.value("max", nlohmann::json()));
    }
    return figures;
}

std::vector<HostMessage> messagesOf(const nlohmann::json& list) {
    std::vector<HostMessage> messages;
    if (!list.is_array()) return messages;
    for (const nlohmann::json& message : list)
        messages.push_back({message.value("level", 0), message.value("text", std::string())});
    return messages;
}

void readHeader(const nlohmann::json& object, RunRecord& run) {
    RunHeader& header = run.header;
    header.known = true;
    if (const auto started = LocalTime::parse(object.value("time", std::string()))) header.started = *started;
    header.host = object.value("host", std::string());
    header.command = object.value("command", std::string());
    const nlohmann::json driver = object.value("driver", nlohmann::json::object());
    header.driverName = driver.value("name", std::string());
    header.driverVersion = driver.value("version", std::string());
    header.driverLibrary = driver.value("library", std::string());
    header.numberBase = object.value("number_base", 10);
    header.intervalMs = object.value("interval_ms", 0u);
    header.configurationLines = object.value("configuration", std::vector<std::string>());
    for (const nlohmann::json& card : object.value("cards", nlohmann::json::array())) {
        Card c;
        c.number = card.value("card", 0);
        c.segment = card.value("segment", std::string());
        c.port = card.value("port", std::string());
        c.started = card.value("started", false);
        if (card.contains("own_device") && card["own_device"].is_number()) c.ownDevice = card["own_device"].get<int32_t>();
        c.version = card.value("version", std::string());
        header.cards.push_back(c);
    }
    for (const HostMessage& message : messagesOf(object.value("messages", nlohmann::json::array())))
        run.messages.push_back({header.started, message.level, message.text, {}});
    for (const nlohmann::json& gate : object.value("gates", nlohmann::json::array())) {
        std::optional<int32_t> block;
        if (gate.contains("block") && gate["block"].is_number()) block = gate["block"].get<int32_t>();
        std::optional<RunAddress> where;
        if (gate.value("status", std::string()) == "accepted")
            where = RunAddress{gate.value("station", -1), gate.value("memory_type", 0), gate.value("offset", 0),
                               gate.value("bit", -1), gate.value("width", 16)};
        run.addGate(gate.value("name", std::string()), gate.value("address", std::string()),
                    gate.value("type", std::string()), block, where);
    }
}

}  // namespace

JsonObject runHeaderJson(const RunHeader& header, const std::vector<HostMessage>& startMessages,
                         const std::vector<DefinedGate>& gates) {
    const std::string time = header.started.iso();
    JsonObject cards = JsonObject::array();
    for (const Card& card : header.cards) {
        JsonObject object{{"card", card.number}, {"segment", card.segment}, {"port", card.port}, {"started", card.started}};
        object["own_device"] = card.ownDevice ? JsonObject(*card.ownDevice) : JsonObject(nullptr);
        object["version"] = card.version;
        cards.push_back(std::move(object));
    }
    JsonObject list = JsonObject::array();
    for (const DefinedGate& gate : gates) list.push_back(checkedGateJson(time, gate));
    return JsonObject{{"time", time},
                      {"header", true},
                      {"host", header.host},
                      {"command", header.command},
                      {"driver", {{"name", header.driverName}, {"version", header.driverVersion}, {"library", header.driverLibrary}}},
                      {"number_base", header.numberBase},
                      {"interval_ms", header.intervalMs},
                      {"configuration", header.configurationLines},
                      {"cards", cards},
                      {"messages", messagesJson(startMessages)},
                      {"gates", list}};
}

RunRecord readRunFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw badInput("cannot read the record " + path);
    RunRecord run;
    std::map<std::string, size_t> elementOf;  // name and address of an element line
    auto key = [](const std::string& name, const std::string& address) { return name + '\x1f' + address; };
    size_t lineNumber = 0;
    bool started = false;
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        const std::string where = path + ":" + std::to_string(lineNumber) + ": ";
        const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
        if (object.is_discarded() || !object.is_object()) throw badInput(where + "not a JSON object");
        const std::optional<LocalTime> time = LocalTime::parse(object.value("time", std::string()));
        if (object.value("header", false)) {
            if (started) throw badInput(where + "a second run header");
            readHeader(object, run);
            for (const RunGate& element : run.gates) elementOf.emplace(key(element.name, element.address), &element - run.gates.data());
            started = true;
            continue;
        }
        if (object.value("summary", false)) {
            for (const nlohmann::json& gate : object.value("gates", nlohmann::json::array()))
                run.gateLinks.push_back(linkFiguresOf(gate));
            for (const nlohmann::json& station : object.value("stations", nlohmann::json::array()))
                run.stationLinks[station.value("station", -1)] = linkFiguresOf(station);
            if (time) run.ended = *time;
            continue;
        }
        if (!object.contains("name") || !object.contains("index") || !object.contains("status")) continue;  // no poll line
        if (!time) throw badInput(where + "no time in ISO 8601 form");
        const std::string name = object.value("name", std::string());
        const std::string address = object.value("address", std::string());
        if (!started) {
            // JSON lines of a poll without a run header: the first line's time starts the run.
            run.header.started = *time;
            started = true;
        }
        auto found = elementOf.find(key(name, address));
        if (found == elementOf.end()) {
            run.addGate(name, address, object.value("type", std::string()), std::nullopt, std::nullopt);
            found = elementOf.emplace(key(name, address), run.gates.size() - 1).first;
        }
        RunGate& element = run.gates[found->second];
        const std::vector<HostMessage> messages = messagesOf(object.value("messages", nlohmann::json::array()));
        RunSample sample{time->epochMs, std::nullopt, -1};
        if (object.value("status", std::string()) == "ok") {
            if (!object.contains("value") || !object["value"].is_number()) throw badInput(where + "an ok element without a value");
            sample.value = object["value"].get<double>();
        } else {
            sample.failureKind = run.failureKindIndex(failureKind(messages));
        }
        element.samples.push_back(sample);
        // A block's elements repeat the messages of their one request.
        if (object.value("index", 0) == 0) {
            const std::string gateName = element.index == 0 && name.size() > 3 && name.compare(name.size() - 3, 3, "[0]") == 0
                                             ? name.substr(0, name.size() - 3)
                                             : name;
            for (const HostMessage& message : messages) run.messages.push_back({*time, message.level, message.text, gateName});
        }
    }
    if (run.gates.empty()) throw badInput(path + ": no poll in it (JSON lines of zurpm poll --record)");
    return run;
}

}  // namespace zurtool
