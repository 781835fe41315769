#include "mqtt_packet.h"

#include "topic_name.h"

namespace zurtool::broker {

namespace {

constexpr uint8_t protocolLevel = 4;  // MQTT 3.1.1

void appendU16(uint16_t value, Bytes& out) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}

void appendBinary(std::span<const uint8_t> data, Bytes& out) {
    appendU16(static_cast<uint16_t>(data.size()), out);
    out.insert(out.end(), data.begin(), data.end());
}

void appendString(std::string_view text, Bytes& out) {
    appendBinary({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, out);
}

Bytes refuse(std::string* problem, std::string why) {
    if (problem) *problem = std::move(why);
    return {};
}

// The fixed header (first byte, remaining length) in front of `body`; empty when too large.
Bytes framed(uint8_t firstByte, const Bytes& body, std::string* problem) {
    Bytes packet{firstByte};
    if (body.size() > maxRemainingLength || !appendRemainingLength(static_cast<uint32_t>(body.size()), packet))
        return refuse(problem, "packet of " + std::to_string(body.size()) + " bytes exceeds MQTT's maximum");
    packet.insert(packet.end(), body.begin(), body.end());
    return packet;
}

uint8_t firstByte(PacketType type, uint8_t flags = 0) {
    return static_cast<uint8_t>(static_cast<uint8_t>(type) << 4 | flags);
}

// A checked reader over one packet's variable header and payload.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    size_t left() const { return bytes_.size() - at_; }
    bool u8(uint8_t& value) {
        if (left() < 1) return false;
        value = bytes_[at_++];
        return true;
    }
    bool u16(uint16_t& value) {
        if (left() < 2) return false;
        value = static_cast<uint16_t>(bytes_[at_] << 8 | bytes_[at_ + 1]);
        at_ += 2;
        return true;
    }
    bool string(std::string& text) {
        uint16_t length = 0;
        if (!u16(length) || left() < length) return false;
        text.assign(reinterpret_cast<const char*>(bytes_.data() + at_), length);
        at_ += length;
        return true;
    }
    Bytes rest() {
        Bytes out(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), bytes_.end());
        at_ = bytes_.size();
        return out;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

Decoded malformed(std::string reason) {
    Decoded decoded;
    decoded.outcome = Decoded::Outcome::malformed;
    decoded.reason = std::move(reason);
    return decoded;
}

const char* packetName(uint8_t type) {
    static const char* const names[16] = {
        "reserved type 0", "CONNECT", "CONNACK", "PUBLISH", "PUBACK", "PUBREC", "PUBREL", "PUBCOMP",
        "SUBSCRIBE", "SUBACK", "UNSUBSCRIBE", "UNSUBACK", "PINGREQ", "PINGRESP", "DISCONNECT",
        "reserved type 15"};
    return names[type & 0x0F];
}

// The body of a packet of `type` with fixed-header `flags`; the reason when it is malformed.
std::variant<Incoming, std::string> decodeBody(uint8_t type, uint8_t flags, std::span<const uint8_t> body) {
    Reader reader(body);
    const auto fixedSize = [&](size_t size) -> std::optional<std::string> {
        if (flags != 0) return std::string(packetName(type)) + " with flags " + std::to_string(flags);
        if (body.size() != size)
            return std::string(packetName(type)) + " of remaining length " + std::to_string(body.size()) +
                   " instead of " + std::to_string(size);
        return std::nullopt;
    };
    switch (static_cast<PacketType>(type)) {
    case PacketType::connack: {
        if (auto problem = fixedSize(2)) return *problem;
        uint8_t acknowledge = 0, code = 0;
        reader.u8(acknowledge);
        reader.u8(code);
        if (acknowledge & 0xFE) return "CONNACK with reserved acknowledge flags " + std::to_string(acknowledge);
        if (code > 5) return "CONNACK with unknown return code " + std::to_string(code);
        if (code != 0 && (acknowledge & 1)) return "refused CONNACK with session present";
        return Incoming{Connack{(acknowledge & 1) != 0, static_cast<ConnackCode>(code)}};
    }
    case PacketType::publish: {
        Publish message;
        message.duplicate = (flags & 0x08) != 0;
        message.qos = static_cast<uint8_t>(flags >> 1 & 0x03);
        message.retain = (flags & 0x01) != 0;
        if (message.qos == 3) return std::string("PUBLISH with QoS 3");
        if (message.qos == 2) return std::string("PUBLISH with QoS 2, which this client never subscribes with");
        if (message.qos == 0 && message.duplicate) return std::string("PUBLISH with QoS 0 marked duplicate");
        if (!reader.string(message.topic)) return std::string("PUBLISH shorter than its topic name");
        if (auto problem = topicNameProblem(message.topic)) return "PUBLISH topic name: " + *problem;
        if (message.qos > 0) {
            if (!reader.u16(message.packetId)) return std::string("PUBLISH without its packet identifier");
            if (message.packetId == 0) return std::string("PUBLISH with packet identifier 0");
        }
        message.payload = reader.rest();
        return Incoming{std::move(message)};
    }
    case PacketType::puback: {
        if (auto problem = fixedSize(2)) return *problem;
        Puback ack;
        reader.u16(ack.packetId);
        if (ack.packetId == 0) return std::string("PUBACK with packet identifier 0");
        return Incoming{ack};
    }
    case PacketType::suback: {
        if (flags != 0) return "SUBACK with flags " + std::to_string(flags);
        Suback ack;
        if (!reader.u16(ack.packetId) || reader.left() == 0)
            return "SUBACK of remaining length " + std::to_string(body.size()) + ", under 3";
        if (ack.packetId == 0) return std::string("SUBACK with packet identifier 0");
        ack.granted = reader.rest();
        for (uint8_t code : ack.granted)
            if (code > 2 && code != 0x80) return "SUBACK with return code " + std::to_string(code);
        return Incoming{std::move(ack)};
    }
    case PacketType::pingresp:
        if (auto problem = fixedSize(0)) return *problem;
        return Incoming{Pingresp{}};
    default:
        return std::string(packetName(type)) + ", which a broker never sends to this client";
    }
}

}  // namespace

bool appendRemainingLength(uint32_t length, Bytes& out) {
    if (length > maxRemainingLength) return false;
    do {
        uint8_t digit = length % 128;
        length /= 128;
        if (length > 0) digit |= 0x80;
        out.push_back(digit);
    } while (length > 0);
    return true;
}

RemainingLength readRemainingLength(std::span<const uint8_t> bytes) {
    uint32_t length = 0;
    for (size_t i = 0; i < 4; ++i) {
        if (i == bytes.size()) return {RemainingLength::Outcome::needMore};
        length |= static_cast<uint32_t>(bytes[i] & 0x7F) << (7 * i);
        if ((bytes[i] & 0x80) == 0) return {RemainingLength::Outcome::complete, length, i + 1};
    }
    return {RemainingLength::Outcome::malformed};
}

std::optional<std::string> utf8StringProblem(std::string_view text) {
    if (text.size() > 65535) return "longer than 65535 bytes (" + std::to_string(text.size()) + ")";
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    for (size_t i = 0; i < text.size();) {
        const uint8_t lead = bytes[i];
        const std::string at = " at byte " + std::to_string(i);
        if (lead == 0) return "contains U+0000" + at;
        size_t extra;
        uint32_t point, minimum;
        if (lead < 0x80) { ++i; continue; }
        if ((lead & 0xE0) == 0xC0) { extra = 1; point = lead & 0x1F; minimum = 0x80; }
        else if ((lead & 0xF0) == 0xE0) { extra = 2; point = lead & 0x0F; minimum = 0x800; }
        else if ((lead & 0xF8) == 0xF0) { extra = 3; point = lead & 0x07; minimum = 0x10000; }
        else return "not UTF-8" + at;
        if (text.size() - i <= extra) return "truncated UTF-8" + at;
        for (size_t k = 1; k <= extra; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return "not UTF-8" + at;
            point = point << 6 | (bytes[i + k] & 0x3F);
        }
        if (point < minimum) return "overlong UTF-8" + at;
        if (point >= 0xD800 && point <= 0xDFFF) return "UTF-16 surrogate" + at;
        if (point > 0x10FFFF) return "beyond U+10FFFF" + at;
        i += extra + 1;
    }
    return std::nullopt;
}

Bytes encodeConnect(const ConnectOptions& options, std::string* problem) {
    const auto check = [&](std::string_view what, std::string_view text) -> std::optional<std::string> {
        if (auto why = utf8StringProblem(text)) return std::string(what) + ": " + *why;
        return std::nullopt;
    };
    if (auto why = check("client id", options.clientId)) return refuse(problem, *why);
    if (options.clientId.empty() && !options.cleanSession)
        return refuse(problem, "an empty client id needs a clean session");
    if (options.password && !options.userName) return refuse(problem, "a password needs a user name");
    if (options.userName)
        if (auto why = check("user name", *options.userName)) return refuse(problem, *why);
    if (options.password && options.password->size() > 65535) return refuse(problem, "password longer than 65535 bytes");
    if (options.will) {
        if (auto why = publishTopicProblem(options.will->topic)) return refuse(problem, "will topic: " + *why);
        if (options.will->qos > 1) return refuse(problem, "will QoS above 1");
        if (options.will->payload.size() > 65535) return refuse(problem, "will payload longer than 65535 bytes");
    }

    Bytes body;
    appendString("MQTT", body);
    body.push_back(protocolLevel);
    uint8_t flags = options.cleanSession ? 0x02 : 0;
    if (options.will) flags |= static_cast<uint8_t>(0x04 | options.will->qos << 3 | (options.will->retain ? 0x20 : 0));
    if (options.password) flags |= 0x40;
    if (options.userName) flags |= 0x80;
    body.push_back(flags);
    appendU16(options.keepAliveSeconds, body);
    appendString(options.clientId, body);
    if (options.will) {
        appendString(options.will->topic, body);
        appendBinary(options.will->payload, body);
    }
    if (options.userName) appendString(*options.userName, body);
    if (options.password) appendString(*options.password, body);
    return framed(firstByte(PacketType::connect), body, problem);
}

Bytes encodePublish(const Publish& message, std::string* problem) {
    if (auto why = publishTopicProblem(message.topic)) return refuse(problem, "topic name: " + *why);
    if (message.qos > 1) return refuse(problem, "QoS above 1");
    if (message.qos == 1 && message.packetId == 0) return refuse(problem, "a QoS 1 PUBLISH needs a packet identifier");
    if (message.qos == 0 && message.duplicate) return refuse(problem, "a QoS 0 PUBLISH is never a duplicate");
    Bytes body;
    appendString(message.topic, body);
    if (message.qos == 1) appendU16(message.packetId, body);
    body.insert(body.end(), message.payload.begin(), message.payload.end());
    const uint8_t flags = static_cast<uint8_t>((message.duplicate ? 0x08 : 0) | message.qos << 1 | (message.retain ? 1 : 0));
    return framed(firstByte(PacketType::publish, flags), body, problem);
}

Bytes encodeSubscribe(uint16_t packetId, const std::vector<Subscription>& subscriptions, std::string* problem) {
    if (packetId == 0) return refuse(problem, "a SUBSCRIBE needs a packet identifier");
    if (subscriptions.empty()) return refuse(problem, "a SUBSCRIBE needs a topic filter");
    Bytes body;
    appendU16(packetId, body);
    for (const Subscription& subscription : subscriptions) {
        if (auto why = topicFilterProblem(subscription.filter)) return refuse(problem, "topic filter: " + *why);
        if (subscription.qos > 1) return refuse(problem, "subscription QoS above 1");
        appendString(subscription.filter, body);
        body.push_back(subscription.qos);
    }
    // SUBSCRIBE's fixed header carries the reserved flags 0010.
    return framed(firstByte(PacketType::subscribe, 0x02), body, problem);
}

Bytes encodePuback(uint16_t packetId) {
    Bytes packet{firstByte(PacketType::puback), 2};
    appendU16(packetId, packet);
    return packet;
}

Bytes encodePingreq() { return {firstByte(PacketType::pingreq), 0}; }

Bytes encodeDisconnect() { return {firstByte(PacketType::disconnect), 0}; }

const char* connackMeaning(ConnackCode code) {
    static const char* const meanings[] = {
        "connection accepted",
        "refused: the broker does not speak MQTT 3.1.1",
        "refused: the broker rejects the client id",
        "refused: the broker is unavailable",
        "refused: bad user name or password",
        "refused: not authorized",
    };
    const auto index = static_cast<size_t>(code);
    return index < std::size(meanings) ? meanings[index] : "refused: unknown return code";
}

Decoded decodePacket(std::span<const uint8_t> buffer, size_t maxPacket) {
    if (buffer.empty()) return {};
    const RemainingLength length = readRemainingLength(buffer.subspan(1));
    if (length.outcome == RemainingLength::Outcome::needMore) return {};
    if (length.outcome == RemainingLength::Outcome::malformed)
        return malformed("remaining length longer than 4 bytes");
    const size_t size = 1 + length.size + length.length;
    if (size > maxPacket)
        return malformed(std::string(packetName(buffer[0] >> 4)) + " of " + std::to_string(size) +
                         " bytes, over the limit of " + std::to_string(maxPacket));
    if (buffer.size() < size) return {};
    auto body = decodeBody(static_cast<uint8_t>(buffer[0] >> 4), buffer[0] & 0x0F,
                           buffer.subspan(1 + length.size, length.length));
    if (auto* reason = std::get_if<std::string>(&body)) return malformed(std::move(*reason));
    Decoded decoded;
    decoded.outcome = Decoded::Outcome::packet;
    decoded.size = size;
    decoded.packet = std::move(std::get<Incoming>(body));
    return decoded;
}

}  // namespace zurtool::broker
