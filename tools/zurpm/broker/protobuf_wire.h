// The protocol buffers wire format, as much as the Sparkplug payload needs: varints, 32- and 64-bit
// fixed fields and length-delimited fields, written and read field by field. The reader takes
// untrusted bytes: it reports a field that runs past the end, a varint over 10 bytes, field number
// 0 and the deprecated groups as malformed, and never reads outside what it was given.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zurtool::broker::protobuf {

enum class WireType : uint8_t { varint = 0, fixed64 = 1, lengthDelimited = 2, fixed32 = 5 };

void appendVarint(uint64_t value, std::vector<uint8_t>& out);
void appendVarintField(uint32_t number, uint64_t value, std::vector<uint8_t>& out);
void appendFixed32Field(uint32_t number, uint32_t value, std::vector<uint8_t>& out);
void appendFixed64Field(uint32_t number, uint64_t value, std::vector<uint8_t>& out);
void appendBytesField(uint32_t number, std::span<const uint8_t> bytes, std::vector<uint8_t>& out);

struct Field {
    uint32_t number = 0;
    WireType type = WireType::varint;
    uint64_t value = 0;               // varint and fixed fields
    std::span<const uint8_t> bytes;   // length-delimited fields
};

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    // The next field into `field`: true; false at the end or when malformed (then `problem` says why).
    bool next(Field& field);
    const std::string& problem() const { return problem_; }

private:
    bool varint(uint64_t& value);
    bool fail(std::string why);

    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
    std::string problem_;
};

}  // namespace zurtool::broker::protobuf
