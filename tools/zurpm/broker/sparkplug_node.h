// The rules of a Sparkplug B edge node, as small pure pieces: its topics, the seq and bdSeq
// numbers, the payloads of its birth and death, and the commands a host sends it (NCMD: Node
// Control/Rebirth; DCMD: writes of device metrics).
//
// bdSeq ties a birth to its death: each new MQTT session registers an NDEATH as its will with the
// session's bdSeq, and the NBIRTH of that session carries the same number; the next session has the
// next number, 255 wrapping to 0. seq orders a node's messages: 0 in its NBIRTH, then one more in
// every DBIRTH, NDATA, DDATA and DDEATH, 255 wrapping to 0; NDEATH has none. A rebirth in the same
// session starts again at 0 with the same bdSeq.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "sparkplug_payload.h"

namespace zurtool::broker::sparkplug {

enum class MessageType { nbirth, ndeath, dbirth, ddeath, ndata, ddata, ncmd, dcmd };
const char* messageTypeName(MessageType type);

// spBv1.0/GROUP/TYPE/NODE, or spBv1.0/GROUP/TYPE/NODE/DEVICE for a device's messages.
std::string topic(std::string_view group, MessageType type, std::string_view node, std::string_view device = {});

struct TopicParts {
    MessageType type = MessageType::nbirth;
    std::string group, node, device;  // device empty for a node's messages
};
// The parts of a Sparkplug B topic; nullopt when `name` is none (another namespace, an unknown
// message type, a device where none belongs or none where one does, an empty part).
std::optional<TopicParts> parseTopic(std::string_view name);

// Why a group, node or device id cannot be one: empty, holding /, + or #, or not a valid string.
std::optional<std::string> idProblem(std::string_view id);

class NodeSequence {
public:
    // A new MQTT session: its bdSeq (0 for the first).
    uint8_t beginSession();
    uint8_t bdSeq() const { return bdSeq_; }
    // The NBIRTH's seq: 0, counting starts again.
    uint8_t birthSeq();
    // The seq of any later message of the node or its devices.
    uint8_t nextSeq();

private:
    bool started_ = false;
    uint8_t bdSeq_ = 0;
    uint8_t seq_ = 0;
};

inline constexpr const char* bdSeqMetricName = "bdSeq";
inline constexpr const char* rebirthMetricName = "Node Control/Rebirth";

// NDEATH, the will of a session: its bdSeq (Int64) alone.
Payload nodeDeath(uint8_t bdSeq, uint64_t timeMs);
// NBIRTH: seq 0, the session's bdSeq, Node Control/Rebirth (false), then the node's own metrics.
Payload nodeBirth(uint8_t bdSeq, uint8_t seq, uint64_t timeMs, std::vector<Metric> metrics);

// A metric of a command: its name and the value asked for, or why it cannot be taken.
struct MetricWrite {
    std::string name;
    std::variant<Value, std::string> value;
};
struct Command {
    bool rebirth = false;             // Node Control/Rebirth set true
    std::vector<MetricWrite> writes;  // every other metric, in the command's order
};
// The command in an NCMD or DCMD payload, or why the payload is none. A metric that names no
// metric (an alias alone: this node gives none), whose name is not UTF-8 (kept without it), or
// whose value does not fit its datatype is kept as a write with its reason, so that the answer
// can name it.
std::variant<Command, std::string> decodeCommand(std::span<const uint8_t> payload);

}  // namespace zurtool::broker::sparkplug
