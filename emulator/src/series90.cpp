// The Series 90 side of Read Device (subfunction 30, answered by 31) and Write Device (32).
//
// Body: byte 0 = 0, byte 1 segment selector, byte 2 = 0, bytes 3-4 offset (little-endian), byte 5
// length, data from byte 6. Word memories count in words of 2 bytes, low byte first; bit mode
// counts points and carries the memory's own bytes from the one holding the first point to the one
// holding the last; byte mode counts bytes of the same discrete memories.
#include "series90.h"

#include <optional>

#include "pcimemu/card_map.h"

namespace pcimemu::detail {

namespace {

enum class Addressing { words, points, bytes };

struct Segment {
    uint8_t selector;
    PlcMemory memory;
    Addressing addressing;
};

constexpr Segment segments[] = {
    {8, PlcMemory::R, Addressing::words},   {10, PlcMemory::AI, Addressing::words},
    {12, PlcMemory::AQ, Addressing::words},
    {16, PlcMemory::I, Addressing::bytes},  {18, PlcMemory::Q, Addressing::bytes},
    {20, PlcMemory::T, Addressing::bytes},  {22, PlcMemory::M, Addressing::bytes},
    {24, PlcMemory::SA, Addressing::bytes}, {26, PlcMemory::SB, Addressing::bytes},
    {28, PlcMemory::SC, Addressing::bytes}, {30, PlcMemory::S, Addressing::bytes},
    {56, PlcMemory::G, Addressing::bytes},
    {70, PlcMemory::I, Addressing::points}, {72, PlcMemory::Q, Addressing::points},
    {74, PlcMemory::T, Addressing::points}, {76, PlcMemory::M, Addressing::points},
    {78, PlcMemory::SA, Addressing::points}, {80, PlcMemory::SB, Addressing::points},
    {82, PlcMemory::SC, Addressing::points}, {84, PlcMemory::S, Addressing::points},
    {86, PlcMemory::G, Addressing::points},
};

const Segment* findSegment(uint8_t selector) {
    for (const Segment& segment : segments)
        if (segment.selector == selector) return &segment;
    return nullptr;
}

// A request's address, checked against the PLC: what it covers and how many data bytes that is.
struct Span {
    const Segment* segment;
    uint32_t offset;     // in the segment's units
    uint32_t length;     // in the segment's units
    uint32_t dataBytes;  // bytes of data that carry it
};

struct Checked {
    std::optional<Span> span;
    uint8_t status = cardmap::completed;
};

Checked fail(uint8_t status) { return Checked{std::nullopt, status}; }

uint32_t unitsIn(const PlcDevice& plc, const Segment& segment) {
    switch (segment.addressing) {
        case Addressing::words:
        case Addressing::points: return plc.size(segment.memory);
        case Addressing::bytes: return plc.byteCount(segment.memory);
    }
    return 0;
}

uint32_t dataBytesOf(const Segment& segment, uint32_t offset, uint32_t length) {
    switch (segment.addressing) {
        case Addressing::words: return 2 * length;
        case Addressing::points: return (offset + length - 1) / 8 - offset / 8 + 1;
        case Addressing::bytes: return length;
    }
    return 0;
}

// The header checks shared by both directions. dataCarried: for a write, the data bytes that came
// with the request.
Checked checkHeader(const PlcDevice& plc, const std::vector<uint8_t>& request,
                    std::optional<uint32_t> dataCarried) {
    if (request.size() < cardmap::bodyHeaderLength) return fail(cardmap::syntaxError);
    if (request[0] != 0 || request[2] != 0) return fail(cardmap::syntaxError);
    const uint32_t offset = request[3] | (request[4] << 8);
    const uint32_t length = request[5];
    if (length == 0) return fail(cardmap::syntaxError);
    const Segment* segment = findSegment(request[1]);
    if (segment == nullptr) return fail(cardmap::processError);
    const uint32_t dataBytes = dataBytesOf(*segment, offset, length);
    if (dataCarried && *dataCarried != dataBytes) return fail(cardmap::syntaxError);
    if (!dataCarried && dataBytes > cardmap::largestReplyData) return fail(cardmap::syntaxError);
    if (offset + length > unitsIn(plc, *segment)) return fail(cardmap::processError);
    return Checked{Span{segment, offset, length, dataBytes}};
}

}  // namespace

DatagramAnswer readDevice(const PlcDevice& plc, const std::vector<uint8_t>& request) {
    const Checked checked = checkHeader(plc, request, std::nullopt);
    if (!checked.span) return {checked.status, {}};
    const Span& span = *checked.span;

    std::vector<uint8_t> body(request.begin(), request.begin() + cardmap::bodyHeaderLength);
    body.reserve(body.size() + span.dataBytes);
    switch (span.segment->addressing) {
        case Addressing::words:
            for (uint32_t i = 0; i < span.length; ++i) {
                const uint16_t value = plc.word(span.segment->memory, span.offset + i);
                body.push_back(static_cast<uint8_t>(value));
                body.push_back(static_cast<uint8_t>(value >> 8));
            }
            break;
        case Addressing::points:
            for (uint32_t i = 0; i < span.dataBytes; ++i)
                body.push_back(plc.byte(span.segment->memory, span.offset / 8 + i));
            break;
        case Addressing::bytes:
            for (uint32_t i = 0; i < span.length; ++i)
                body.push_back(plc.byte(span.segment->memory, span.offset + i));
            break;
    }
    return {cardmap::completed, std::move(body)};
}

DatagramAnswer writeDevice(PlcDevice& plc, const std::vector<uint8_t>& request) {
    const uint32_t carried = request.size() >= cardmap::bodyHeaderLength
                                 ? static_cast<uint32_t>(request.size() - cardmap::bodyHeaderLength)
                                 : 0;
    const Checked checked = checkHeader(plc, request, carried);
    if (!checked.span) return {checked.status, {}};
    const Span& span = *checked.span;
    const uint8_t* data = request.data() + cardmap::bodyHeaderLength;

    switch (span.segment->addressing) {
        case Addressing::words:
            for (uint32_t i = 0; i < span.length; ++i)
                plc.setWord(span.segment->memory, span.offset + i,
                            static_cast<uint16_t>(data[2 * i] | (data[2 * i + 1] << 8)));
            break;
        case Addressing::points: {
            const uint32_t firstByte = span.offset / 8;
            for (uint32_t point = span.offset; point < span.offset + span.length; ++point) {
                const bool set = (data[point / 8 - firstByte] >> (point % 8)) & 1;
                plc.setPoint(span.segment->memory, point, set);
            }
            break;
        }
        case Addressing::bytes:
            for (uint32_t i = 0; i < span.length; ++i)
                plc.setByte(span.segment->memory, span.offset + i, data[i]);
            break;
    }
    return {cardmap::completed, {}};
}

}  // namespace pcimemu::detail
