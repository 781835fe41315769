// The Series 90 side of Read Device (subfunction 30, answered by 31) and Write Device (32).
//
// Body: byte 0 = 0, byte 1 segment selector, byte 2 = 0, bytes 3-4 offset (little-endian), byte 5
// length, data from byte 6. Word memories count in words of 2 bytes, low byte first; bit mode
// counts points and carries the memory's own bytes from the one holding the first point to the one
// holding the last; byte mode counts bytes of the same discrete memories.
#include "series90.h"

#include <optional>

#include "pcimemu/card_map.h"
#include "pcimemu/series90_map.h"
#include "zurpm/little_endian.h"

namespace pcimemu::detail {

namespace {

using series90::Addressing;
using series90::Segment;

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
    const uint32_t offset = zurpm::getLittle16(request.data() + cardmap::bodyOffset);
    const uint32_t length = request[cardmap::bodyLength];
    if (length == 0) return fail(cardmap::syntaxError);
    const Segment* segment = series90::segmentOf(request[cardmap::bodySelector]);
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
                uint8_t word[2];
                zurpm::putLittle16(word, plc.word(span.segment->memory, span.offset + i));
                body.insert(body.end(), word, word + 2);
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
                plc.setWord(span.segment->memory, span.offset + i, zurpm::getLittle16(data + 2 * i));
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
