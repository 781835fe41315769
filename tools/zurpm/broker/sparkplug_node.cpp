#include "sparkplug_node.h"

#include "mqtt_packet.h"
#include "topic_name.h"

namespace zurtool::broker::sparkplug {

namespace {

constexpr std::string_view topicNamespace = "spBv1.0";

constexpr const char* messageTypeNames[] = {"NBIRTH", "NDEATH", "DBIRTH", "DDEATH", "NDATA", "DDATA", "NCMD", "DCMD"};

bool isDeviceMessage(MessageType type) {
    return type == MessageType::dbirth || type == MessageType::ddeath || type == MessageType::ddata ||
           type == MessageType::dcmd;
}

}  // namespace

const char* messageTypeName(MessageType type) { return messageTypeNames[static_cast<size_t>(type)]; }

std::string topic(std::string_view group, MessageType type, std::string_view node, std::string_view device) {
    std::string name(topicNamespace);
    for (std::string_view part : {group, std::string_view(messageTypeName(type)), node}) {
        name += '/';
        name += part;
    }
    if (isDeviceMessage(type)) {
        name += '/';
        name += device;
    }
    return name;
}

std::optional<TopicParts> parseTopic(std::string_view name) {
    std::vector<std::string_view> levels;
    for (size_t start = 0;;) {
        const size_t slash = name.find('/', start);
        levels.push_back(name.substr(start, slash == std::string_view::npos ? slash : slash - start));
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    if (levels.size() < 4 || levels.size() > 5 || levels[0] != topicNamespace) return std::nullopt;
    TopicParts parts;
    size_t type = 0;
    while (type < std::size(messageTypeNames) && levels[2] != messageTypeNames[type]) ++type;
    if (type == std::size(messageTypeNames)) return std::nullopt;
    parts.type = static_cast<MessageType>(type);
    if ((levels.size() == 5) != isDeviceMessage(parts.type)) return std::nullopt;
    for (size_t i = 1; i < levels.size(); ++i)
        if (i != 2 && idProblem(levels[i])) return std::nullopt;
    parts.group = levels[1];
    parts.node = levels[3];
    if (levels.size() == 5) parts.device = levels[4];
    return parts;
}

std::optional<std::string> idProblem(std::string_view id) { return topicLevelProblem(id); }

uint8_t NodeSequence::beginSession() {
    if (started_) bdSeq_ = static_cast<uint8_t>(bdSeq_ + 1);
    started_ = true;
    seq_ = 0;
    return bdSeq_;
}

uint8_t NodeSequence::birthSeq() {
    seq_ = 0;
    return seq_;
}

uint8_t NodeSequence::nextSeq() {
    seq_ = static_cast<uint8_t>(seq_ + 1);
    return seq_;
}

Payload nodeDeath(uint8_t bdSeq, uint64_t timeMs) {
    Payload payload;
    payload.timestamp = timeMs;
    payload.metrics.push_back(int64Metric(bdSeqMetricName, bdSeq));
    return payload;
}

Payload nodeBirth(uint8_t bdSeq, uint8_t seq, uint64_t timeMs, std::vector<Metric> metrics) {
    Payload payload;
    payload.timestamp = timeMs;
    payload.seq = seq;
    payload.metrics.push_back(int64Metric(bdSeqMetricName, bdSeq));
    payload.metrics.push_back(booleanMetric(rebirthMetricName, false));
    for (Metric& metric : metrics) payload.metrics.push_back(std::move(metric));
    return payload;
}

std::variant<Command, std::string> decodeCommand(std::span<const uint8_t> bytes) {
    auto decoded = decodePayload(bytes);
    if (auto* problem = std::get_if<std::string>(&decoded)) return std::move(*problem);
    Command command;
    for (const Metric& metric : std::get<Payload>(decoded).metrics) {
        MetricWrite write;
        if (!metric.name || metric.name->empty()) {
            write.value = metric.alias ? "metric alias " + std::to_string(*metric.alias) + " without a name: this node gives no aliases"
                                       : std::string("metric without a name");
            command.writes.push_back(std::move(write));
            continue;
        }
        if (auto problem = utf8StringProblem(*metric.name)) {
            // Kept nameless: the answer that names it must stay valid text.
            write.value = "metric name " + *problem;
            command.writes.push_back(std::move(write));
            continue;
        }
        write.name = *metric.name;
        write.value = valueOf(metric);
        if (write.name == rebirthMetricName) {
            const auto* value = std::get_if<Value>(&write.value);
            const auto* asked = value ? std::get_if<bool>(value) : nullptr;
            if (asked && *asked) {
                command.rebirth = true;
                continue;
            }
            write.value = std::string("Node Control/Rebirth takes the Boolean true only");
        }
        command.writes.push_back(std::move(write));
    }
    return command;
}

}  // namespace zurtool::broker::sparkplug
