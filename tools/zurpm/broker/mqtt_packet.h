// MQTT 3.1.1 packets as pure functions over bytes: the packets a client sends are encoded here, the
// packets a broker sends are decoded here, and nothing here touches a socket. Every byte from the
// broker is untrusted: the decoder takes whatever has arrived so far and answers "need more", one
// packet of N bytes, or malformed with its reason, and never reads past what it was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace zurtool::broker {

using Bytes = std::vector<uint8_t>;

enum class PacketType : uint8_t {
    connect = 1, connack = 2, publish = 3, puback = 4, pubrec = 5, pubrel = 6, pubcomp = 7,
    subscribe = 8, suback = 9, unsubscribe = 10, unsuback = 11, pingreq = 12, pingresp = 13,
    disconnect = 14,
};

// The remaining length: 7 bits a byte, low bits first, at most 4 bytes, so at most 268435455.
constexpr uint32_t maxRemainingLength = 268435455;
// Appends the encoding of `length` to `out`; false (and nothing appended) above the maximum.
bool appendRemainingLength(uint32_t length, Bytes& out);

struct RemainingLength {
    enum class Outcome { needMore, complete, malformed } outcome;
    uint32_t length = 0;  // when complete
    size_t size = 0;      // bytes the encoding takes, when complete
};
// Reads a remaining length from the start of `bytes` (the bytes after the fixed header's first).
RemainingLength readRemainingLength(std::span<const uint8_t> bytes);

// Strings in packets: well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF),
// no U+0000, at most 65535 bytes. The reason a string is refused, or nullopt when it is fine.
std::optional<std::string> utf8StringProblem(std::string_view text);

struct Will {
    std::string topic;
    Bytes payload;
    uint8_t qos = 0;
    bool retain = false;
};

struct ConnectOptions {
    std::string clientId;
    bool cleanSession = true;
    uint16_t keepAliveSeconds = 60;
    std::optional<Will> will;
    std::optional<std::string> userName;
    std::optional<std::string> password;  // only with a user name, as MQTT 3.1.1 wants
};

struct Publish {
    std::string topic;
    Bytes payload;
    uint8_t qos = 0;  // 0 or 1
    bool retain = false;
    bool duplicate = false;
    uint16_t packetId = 0;  // with QoS 1 only, never 0 then
};

struct Subscription {
    std::string filter;
    uint8_t qos = 0;
};

// Encoders. A packet that MQTT does not allow (a string that is not valid UTF-8 or too long, a
// QoS 1 publish without a packet id, a password without a user name, a packet over the maximum)
// is refused: the result is empty and `problem`, when given, says why.
Bytes encodeConnect(const ConnectOptions& options, std::string* problem = nullptr);
Bytes encodePublish(const Publish& message, std::string* problem = nullptr);
Bytes encodeSubscribe(uint16_t packetId, const std::vector<Subscription>& subscriptions,
                      std::string* problem = nullptr);
Bytes encodePuback(uint16_t packetId);
Bytes encodePingreq();
Bytes encodeDisconnect();

// CONNACK's return codes 0-5.
enum class ConnackCode : uint8_t {
    accepted = 0,
    unacceptableProtocolVersion = 1,
    identifierRejected = 2,
    serverUnavailable = 3,
    badUserNameOrPassword = 4,
    notAuthorized = 5,
};
// What a return code means, in words a user can act on.
const char* connackMeaning(ConnackCode code);

struct Connack {
    bool sessionPresent = false;
    ConnackCode code = ConnackCode::accepted;
};
struct Puback {
    uint16_t packetId = 0;
};
struct Suback {
    uint16_t packetId = 0;
    std::vector<uint8_t> granted;  // a QoS 0-2 per subscription, or 0x80 for a refused one
};
struct Pingresp {};

using Incoming = std::variant<Connack, Publish, Puback, Suback, Pingresp>;

// The packets a broker may send to this client are CONNACK, PUBLISH (QoS 0 and 1: this client
// subscribes with QoS 1 at most), PUBACK, SUBACK and PINGRESP. Anything else is malformed here.
struct Decoded {
    enum class Outcome { needMore, packet, malformed } outcome = Outcome::needMore;
    size_t size = 0;     // the packet's bytes, fixed header included, when outcome is packet
    Incoming packet;     // when outcome is packet
    std::string reason;  // when outcome is malformed
};

// A packet larger than this is refused before it is read whole: commands are small.
constexpr size_t defaultMaxIncomingPacket = 256 * 1024;

// Decodes the first packet of `buffer`, the bytes received so far from the broker.
Decoded decodePacket(std::span<const uint8_t> buffer, size_t maxPacket = defaultMaxIncomingPacket);

}  // namespace zurtool::broker
