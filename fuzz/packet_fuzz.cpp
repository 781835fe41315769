// Any access record (memory type, offset, bit, width, count) with a host buffer exactly as large
// as records.h says the access needs, and any reply bytes and length from the card. The packet is
// built and the reply parsed as the read and write commands do: nothing is touched outside the
// packet or the buffer, a write never changes the buffer, and a refused reply leaves it as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "exchange/packet.h"
#include "fuzz_check.h"
#include "platform/virtual/virtual_platform.h"

namespace {

constexpr int32_t widths[] = {1, 16, 32};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using fuzz::require;
    using namespace zurpm;
    FuzzedDataProvider input(data, size);
    virt::reset();

    GateAccess access{};
    HardwareAddress& address = access.hardwareAddress;
    const std::vector<int32_t>& codes = fuzz::gateCodes();
    address.memoryType = input.ConsumeBool() ? codes[input.ConsumeIntegralInRange<size_t>(0, codes.size() - 1)]
                                             : input.ConsumeIntegral<int32_t>();
    address.width = input.ConsumeBool() ? input.PickValueInArray(widths) : input.ConsumeIntegral<int32_t>();
    address.bit = input.ConsumeIntegralInRange<int32_t>(-2, 17);
    address.offset = input.ConsumeBool() ? input.ConsumeIntegralInRange<int32_t>(-1, 2048) : input.ConsumeIntegral<int32_t>();
    access.count = input.ConsumeBool() ? input.ConsumeIntegralInRange<int32_t>(-1, 1100) : input.ConsumeIntegral<int32_t>();
    const uint8_t direction = input.ConsumeBool() ? directionWrite : directionRead;
    const uint8_t replyLength = input.ConsumeIntegral<uint8_t>();

    // No access that can travel needs more than a packet's data; a larger one gets no bytes at all,
    // so that any touch of its buffer is caught.
    const size_t documentedSize = fuzz::valueBufferSize(access);
    const size_t bufferSize = documentedSize <= packetBodySize ? documentedSize : 0;
    const std::vector<uint8_t> before = input.ConsumeBytes<uint8_t>(bufferSize);
    const auto buffer = std::make_unique<uint8_t[]>(bufferSize);  // exactly as large as documented
    std::copy(before.begin(), before.end(), buffer.get());
    const std::vector<uint8_t> original(buffer.get(), buffer.get() + bufferSize);
    access.data = buffer.get();
    const auto unchanged = [&] { return std::equal(original.begin(), original.end(), buffer.get()); };

    if (checkRequestCapacity(&access, direction) != 0) {
        require(unchanged(), "a refused access leaves the buffer as it was");
        return 0;
    }
    const auto packet = std::make_unique<RequestPacket>();
    packet->direction = direction;
    require(buildRequestPacket(&access, packet.get()) == 0, "an access that passed the check is built");
    require(packet->bodyLength <= packetBodySize, "a request fits the packet body");
    require(unchanged(), "building leaves the buffer as it was");

    if (direction == directionRead) {
        // The card's reply, as the transport leaves it in the packet.
        packet->bodyLength = replyLength;
        const std::vector<uint8_t> reply = input.ConsumeBytes<uint8_t>(packetBodySize);
        std::copy(reply.begin(), reply.end(), packet->body);
    }
    const int parsed = parseReplyPacket(&access, packet.get());
    if (parsed != 0 || direction == directionWrite)
        require(unchanged(), "a refused reply, and any write, leave the buffer as it was");
    return 0;
}
