// Request packets: one read or write of a gate turned into a Genius datagram body (address header
// and data), and the body of a reply copied back into the host's value buffer.
//
// Every access is first laid out as a PacketPlan: segment selector, offset and length fields, the
// shape of the data and how many bytes of it travel. The capacity check, the builder and the parser
// all work from the same plan, so what the check lets through is exactly what the other two can
// move without reaching outside the host's buffer or the packet's body.
#include <cstring>

#include "exchange/packet.h"
#include "exchange/packet_layout.h"
#include "host/messages.h"

namespace zurpm {

namespace {

// Where the data of one access sits in the host's buffer and in the body.
enum class DataShape : uint8_t {
    value32,  // one value of width 32: host bytes 0-3, body bytes 6-9
    value16,  // one word: host bytes 2-3, body bytes 6-7 (one bit of it for a bit-of-word read)
    point,    // one point: a 16-bit 0 or 1 at host byte 2; in body byte 6 at its place in its byte
    words,    // a block of words (or 32-bit values): from host byte 0 and body byte 6
    points,   // a block of points: packed from host byte 0; in the body at their places in memory
};

struct PacketPlan {
    uint8_t selector;
    uint16_t offsetField;
    uint8_t lengthField;
    DataShape shape;
    uint32_t dataBytes;     // body data bytes a write carries and a read's reply must hold
    uint32_t hostBytes;     // bytes of the host's buffer the access covers (from byte 0)
    uint32_t firstPoint;    // points: place of the first point in the first data byte
    uint8_t lastByteBits;   // global-data point blocks: the block's bits of the last data byte
    bool globalData;
};

// Why an access cannot travel. The messages take the count, the memory type and the offset, in
// this order; a text uses as many of them as it names.
enum class PlanFault : uint8_t { none, count, wholeBytes, offset, noBuffer };

constexpr const char* planFaultMessages[] = {
    nullptr,
    "ZURPM Error: Cannot transfer %d elements of memory type %d in one request",
    "ZURPM Error: Cannot transfer %d points of memory type %d from offset %d in whole bytes",
    "ZURPM Error: Cannot transfer %d elements of memory type %d at offset %d: out of address range",
    "ZURPM Error: Cannot transfer %d elements of memory type %d without a value buffer",
};

constexpr const char* replyTooShortMessage =
    "ZURPM Error: Reply of %d bytes does not hold the %d bytes requested";
constexpr const char* replyTooLongMessage =
    "ZURPM Error: Reply of %d bytes does not fit the packet body of %d bytes";

constexpr uint32_t bytesForPoints(uint32_t points) { return (points + pointsPerByte - 1) / pointsPerByte; }

// Bits 0 to points - 1 of a byte, for the last byte of a block; a whole byte when points is a
// multiple of 8.
constexpr uint8_t lowBits(uint32_t points) {
    const uint32_t inLastByte = points % pointsPerByte;
    return inLastByte == 0 ? uint8_t{0xFF} : static_cast<uint8_t>((1u << inLastByte) - 1);
}

void planSinglePoint(int32_t offset, PacketPlan& plan) {
    plan.shape = DataShape::point;
    plan.dataBytes = 1;
    plan.firstPoint = static_cast<uint32_t>(offset) % pointsPerByte;
}

PlanFault planRequest(const GateAccess& access, uint8_t direction, PacketPlan& plan) {
    const HardwareAddress& address = access.hardwareAddress;
    const CodeGroup code = codeGroupOf(address.memoryType);
    const int32_t count = access.count;

    if (code.group == PacketGroup::none || count < 1) return PlanFault::count;
    if (access.data == nullptr) return PlanFault::noBuffer;
    if (address.offset < 0) return PlanFault::offset;

    plan = PacketPlan{};
    plan.selector = static_cast<uint8_t>(address.memoryType);
    plan.globalData = code.globalData;
    plan.lastByteBits = 0xFF;
    const uint32_t offset = static_cast<uint32_t>(address.offset);
    const uint32_t points = static_cast<uint32_t>(count);
    uint64_t offsetField = offset;
    uint32_t lengthField = points;

    switch (code.group) {
    case PacketGroup::words: {
        // A 32-bit value occupies two words: offset and length count words.
        const bool wide = address.width == 32;
        const uint32_t valueBytes = wide ? 4 : 2;
        if (points > bodyDataCapacity / valueBytes) return PlanFault::count;
        if (wide) {
            offsetField *= 2;
            lengthField *= 2;
        }
        plan.shape = count > 1 ? DataShape::words : wide ? DataShape::value32 : DataShape::value16;
        plan.dataBytes = points * valueBytes;
        plan.hostBytes = count > 1 ? plan.dataBytes : 4;
        break;
    }
    case PacketGroup::points: {
        plan.hostBytes = count > 1 ? bytesForPoints(points) : 4;
        if (count == 1) {
            planSinglePoint(address.offset, plan);
            break;
        }
        if (points > bodyDataCapacity * pointsPerByte) return PlanFault::count;
        plan.shape = DataShape::points;
        const int32_t bitModeLargest =
            direction == directionWrite ? writeBitModeLargest : readBitModeLargest;
        if (count > bitModeLargest) {
            // Byte mode: the same memory by its byte-mode code, offset and length in bytes. Never
            // rounded: a block that does not cover whole bytes from a byte boundary is refused.
            if (offset % pointsPerByte != 0 || points % pointsPerByte != 0) return PlanFault::wholeBytes;
            plan.selector = static_cast<uint8_t>(byteModeCode(address.memoryType));
            offsetField = offset / pointsPerByte;
            lengthField = points / pointsPerByte;
            plan.dataBytes = lengthField;
        } else {
            // Bit mode: the length counts points, and the data are every byte of memory that holds
            // one of them, from the byte of the first point.
            plan.firstPoint = offset % pointsPerByte;
            plan.dataBytes = bytesForPoints(plan.firstPoint + points);
        }
        break;
    }
    case PacketGroup::globalPoint:
        // One point; a block of global-data points is code 129.
        if (count != 1) return PlanFault::count;
        plan.hostBytes = 4;
        planSinglePoint(address.offset, plan);
        break;
    case PacketGroup::globalPoints:
        plan.hostBytes = count > 1 ? bytesForPoints(points) : 4;
        if (count == 1) {
            // A single point of a block travels exactly as a single global-data point.
            plan.selector = static_cast<uint8_t>(memBlockPoint);
            planSinglePoint(address.offset, plan);
            break;
        }
        if (points > static_cast<uint32_t>(globalDataBytes)) return PlanFault::count;
        if (offset % pointsPerByte != 0) return PlanFault::wholeBytes;
        // Offset and length in bytes of the device's table: the bytes that hold the points.
        offsetField = offset / pointsPerByte;
        lengthField = bytesForPoints(points);
        plan.shape = DataShape::points;
        plan.dataBytes = lengthField;
        plan.lastByteBits = lowBits(points);
        break;
    case PacketGroup::none:
        return PlanFault::count;
    }

    if (offsetField > largestOffsetField) return PlanFault::offset;
    plan.offsetField = static_cast<uint16_t>(offsetField);
    plan.lengthField = static_cast<uint8_t>(lengthField);
    return PlanFault::none;
}

void reportPlanFault(PlanFault fault, const GateAccess& access) {
    hostMessage(levelDriver, planFaultMessages[static_cast<int>(fault)], access.count,
                access.hardwareAddress.memoryType, access.hardwareAddress.offset);
}

uint16_t hostWordAt(const uint8_t* host, uint32_t byte) {
    uint16_t value;
    std::memcpy(&value, host + byte, sizeof value);
    return value;
}

void setHostWordAt(uint8_t* host, uint32_t byte, uint16_t value) {
    std::memcpy(host + byte, &value, sizeof value);
}

bool pointAt(const uint8_t* bytes, uint32_t place) {
    return (bytes[place / pointsPerByte] >> (place % pointsPerByte)) & 1u;
}

void setPointAt(uint8_t* bytes, uint32_t place) {
    bytes[place / pointsPerByte] = static_cast<uint8_t>(bytes[place / pointsPerByte] | (1u << (place % pointsPerByte)));
}

// The data of a write, from the host's buffer into the body.
void placeWriteData(const PacketPlan& plan, const GateAccess& access, uint8_t* data) {
    const uint8_t* host = static_cast<const uint8_t*>(access.data);
    switch (plan.shape) {
    case DataShape::value32:
        std::memcpy(data, host, 4);
        break;
    case DataShape::value16:
        // One bit of a word is written as its whole word: the command has merged the bit.
        std::memcpy(data, host + 2, 2);
        break;
    case DataShape::point:
        // Only bit 0 of the host's value counts.
        data[0] = static_cast<uint8_t>((hostWordAt(host, 2) & 1u) << plan.firstPoint);
        break;
    case DataShape::words:
        std::memcpy(data, host, plan.dataBytes);
        break;
    case DataShape::points:
        for (uint32_t point = 0; point < static_cast<uint32_t>(access.count); ++point)
            if (pointAt(host, point)) setPointAt(data, plan.firstPoint + point);
        break;
    }
}

// The data of a reply, from the body into the host's buffer.
void copyReplyData(const PacketPlan& plan, GateAccess& access, const uint8_t* data) {
    uint8_t* host = static_cast<uint8_t*>(access.data);
    const int32_t bit = access.hardwareAddress.bit;
    if ((plan.shape == DataShape::value16 || plan.shape == DataShape::value32) && bit != -1) {
        // One bit of a word: 1 or 0 as the host's 16-bit value.
        const uint32_t word = data[0] | (uint32_t{data[1]} << 8);
        const bool set = bit >= 0 && bit < 16 && ((word >> bit) & 1u);
        setHostWordAt(host, 2, set ? 1 : 0);
        return;
    }
    switch (plan.shape) {
    case DataShape::value32:
        std::memcpy(host, data, 4);
        break;
    case DataShape::value16:
        std::memcpy(host + 2, data, 2);
        break;
    case DataShape::point:
        setHostWordAt(host, 2, pointAt(data, plan.firstPoint) ? 1 : 0);
        break;
    case DataShape::words:
        std::memcpy(host, data, plan.dataBytes);
        break;
    case DataShape::points: {
        // Packed from bit 0 of host byte 0; the bits past the block in the last byte are 0.
        uint8_t packed[bodyDataCapacity] = {};
        for (uint32_t point = 0; point < static_cast<uint32_t>(access.count); ++point)
            if (pointAt(data, plan.firstPoint + point)) setPointAt(packed, point);
        std::memcpy(host, packed, plan.hostBytes);
        break;
    }
    }
}

}  // namespace

int checkRequestCapacity(const GateAccess* access, uint8_t direction) {
    if (access == nullptr) return 1;
    PacketPlan plan;
    const PlanFault fault = planRequest(*access, direction, plan);
    if (fault == PlanFault::none) return 0;
    reportPlanFault(fault, *access);
    return 1;
}

int buildRequestPacket(const GateAccess* access, RequestPacket* packet) {
    if (access == nullptr || packet == nullptr) return 1;
    std::memset(packet->body, 0, sizeof packet->body);
    packet->lastByteBits = 0xFF;
    packet->bodyLength = 0;

    PacketPlan plan;
    if (planRequest(*access, packet->direction, plan) != PlanFault::none) return 1;

    uint8_t* body = packet->body;
    body[bodySelectorByte] = plan.selector;
    body[bodyOffsetByte] = static_cast<uint8_t>(plan.offsetField);
    body[bodyOffsetByte + 1] = static_cast<uint8_t>(plan.offsetField >> 8);
    body[bodyLengthByte] = plan.lengthField;
    packet->lastByteBits = plan.lastByteBits;

    if (packet->direction == directionRead) {
        packet->requestSubfunction = subfunctionReadDevice;
        packet->replySubfunction = subfunctionReadDeviceReply;
        packet->bodyLength = bodyHeaderBytes;
        return 0;
    }
    packet->requestSubfunction = subfunctionWriteDevice;
    packet->replySubfunction = subfunctionNoReply;
    placeWriteData(plan, *access, body + bodyDataByte);
    packet->bodyLength = static_cast<uint8_t>(bodyHeaderBytes + plan.dataBytes);
    return 0;
}

int parseReplyPacket(GateAccess* access, const RequestPacket* packet) {
    if (access == nullptr || packet == nullptr) return 1;
    if (packet->direction != directionRead) return 0;

    PacketPlan plan;
    const PlanFault fault = planRequest(*access, directionRead, plan);
    if (fault != PlanFault::none) {
        reportPlanFault(fault, *access);
        return 1;
    }
    // A datagram reply's length is the card's word; the global-data path fills the body itself.
    if (!plan.globalData) {
        const uint32_t replyBytes = packet->bodyLength;
        if (replyBytes > packetBodySize) {
            hostMessage(levelDriver, replyTooLongMessage, static_cast<int>(replyBytes),
                        static_cast<int>(packetBodySize));
            return 1;
        }
        if (replyBytes < bodyHeaderBytes + plan.dataBytes) {
            hostMessage(levelDriver, replyTooShortMessage, static_cast<int>(replyBytes),
                        static_cast<int>(bodyHeaderBytes + plan.dataBytes));
            return 1;
        }
    }
    copyReplyData(plan, *access, packet->body + bodyDataByte);
    return 0;
}

}  // namespace zurpm
