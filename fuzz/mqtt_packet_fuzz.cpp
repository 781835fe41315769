// Any bytes from a broker, read as the client reads its stream: packet after packet until the
// decoder wants more or finds one malformed. A packet never claims more bytes than arrived, any
// prefix of it wants more, a malformed one says why, and a PUBLISH, encoded again, decodes to
// itself.
#include <cstdio>
#include <cstdlib>
#include <span>

#include "mqtt_packet.h"

namespace {

void require(bool holds, const char* invariant) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

bool samePublish(const zurtool::broker::Publish& a, const zurtool::broker::Publish& b) {
    return a.topic == b.topic && a.payload == b.payload && a.qos == b.qos && a.retain == b.retain &&
           a.duplicate == b.duplicate && a.packetId == b.packetId;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zurtool::broker;
    // The first byte picks the limit on a packet's size, so that both sides of it are searched.
    if (size == 0) return 0;
    const size_t limit = data[0] < 128 ? defaultMaxIncomingPacket : static_cast<size_t>(data[0]);
    std::span<const uint8_t> stream(data + 1, size - 1);
    while (true) {
        const Decoded decoded = decodePacket(stream, limit);
        if (decoded.outcome == Decoded::Outcome::needMore) break;
        if (decoded.outcome == Decoded::Outcome::malformed) {
            require(!decoded.reason.empty(), "a malformed packet says why");
            break;
        }
        require(decoded.size >= 2 && decoded.size <= stream.size() && decoded.size <= limit,
                "a packet lies within what arrived and the limit");
        require(decodePacket(stream.first(decoded.size - 1), limit).outcome == Decoded::Outcome::needMore,
                "a packet cut short wants more");
        if (const auto* message = std::get_if<Publish>(&decoded.packet); message && message->topic[0] != '$') {
            const Bytes again = encodePublish(*message);
            require(!again.empty(), "a PUBLISH the decoder takes can be encoded");
            const Decoded redecoded = decodePacket(again, again.size());
            require(redecoded.outcome == Decoded::Outcome::packet && redecoded.size == again.size() &&
                        samePublish(std::get<Publish>(redecoded.packet), *message),
                    "a PUBLISH encoded again decodes to itself");
        }
        stream = stream.subspan(decoded.size);
    }
    return 0;
}
