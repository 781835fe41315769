#include "protobuf_wire.h"

namespace zurtool::broker::protobuf {

namespace {

void appendTag(uint32_t number, WireType type, std::vector<uint8_t>& out) {
    appendVarint(static_cast<uint64_t>(number) << 3 | static_cast<uint8_t>(type), out);
}

void appendLittleEndian(uint64_t value, int size, std::vector<uint8_t>& out) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

void appendVarint(uint64_t value, std::vector<uint8_t>& out) {
    while (value >= 0x80) {
        out.push_back(static_cast<uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<uint8_t>(value));
}

void appendVarintField(uint32_t number, uint64_t value, std::vector<uint8_t>& out) {
    appendTag(number, WireType::varint, out);
    appendVarint(value, out);
}

void appendFixed32Field(uint32_t number, uint32_t value, std::vector<uint8_t>& out) {
    appendTag(number, WireType::fixed32, out);
    appendLittleEndian(value, 4, out);
}

void appendFixed64Field(uint32_t number, uint64_t value, std::vector<uint8_t>& out) {
    appendTag(number, WireType::fixed64, out);
    appendLittleEndian(value, 8, out);
}

void appendBytesField(uint32_t number, std::span<const uint8_t> bytes, std::vector<uint8_t>& out) {
    appendTag(number, WireType::lengthDelimited, out);
    appendVarint(bytes.size(), out);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

bool Reader::fail(std::string why) {
    problem_ = std::move(why) + " at byte " + std::to_string(at_);
    at_ = bytes_.size();
    return false;
}

bool Reader::varint(uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 70; shift += 7) {
        if (at_ == bytes_.size()) return fail("varint cut short");
        const uint8_t byte = bytes_[at_++];
        if (shift == 63 && byte > 1) return fail("varint beyond 64 bits");
        value |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) return true;
    }
    return fail("varint longer than 10 bytes");
}

bool Reader::next(Field& field) {
    if (at_ == bytes_.size()) return false;
    uint64_t tag = 0;
    if (!varint(tag)) return false;
    if (tag >> 3 == 0 || tag >> 3 > 0x1FFFFFFF) return fail("field number " + std::to_string(tag >> 3));
    field.number = static_cast<uint32_t>(tag >> 3);
    field.bytes = {};
    field.value = 0;
    const size_t left = bytes_.size() - at_;
    switch (tag & 7) {
    case 0:
        field.type = WireType::varint;
        return varint(field.value);
    case 1:
    case 5: {
        const size_t size = (tag & 7) == 1 ? 8 : 4;
        if (left < size) return fail("fixed field cut short");
        for (size_t i = 0; i < size; ++i) field.value |= static_cast<uint64_t>(bytes_[at_ + i]) << (8 * i);
        at_ += size;
        field.type = size == 8 ? WireType::fixed64 : WireType::fixed32;
        return true;
    }
    case 2: {
        uint64_t length = 0;
        if (!varint(length)) return false;
        if (length > bytes_.size() - at_) return fail("length-delimited field of " + std::to_string(length) + " bytes runs past the end");
        field.type = WireType::lengthDelimited;
        field.bytes = bytes_.subspan(at_, static_cast<size_t>(length));
        at_ += static_cast<size_t>(length);
        return true;
    }
    default:
        return fail("wire type " + std::to_string(tag & 7));
    }
}

}  // namespace zurtool::broker::protobuf
