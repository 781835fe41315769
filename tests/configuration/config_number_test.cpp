// The number readings of zurPM.int: the same values on the 32-bit and the 64-bit build.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "cards/config_numbers.h"

namespace {

struct NumberCase {
    const char* text;
    int base;
    int32_t expected;
};

// What the C library reads, clamped as a 32-bit long clamps.
int32_t libraryReading(const char* text, int base) {
    const long long value = std::strtoll(text, nullptr, base);
    return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<int32_t>(value);
}

TEST(ConfigNumbers, ReadLikeThe32BitLibraryConversions) {
    const NumberCase cases[] = {
        {"CC00", 16, 0xCC00},        {"cc00;3E0", 16, 0xCC00},   {"0xCC00", 16, 0xCC00},
        {"0X3e0", 16, 0x3E0},        {"  \t3E0", 16, 0x3E0},     {"-10", 16, -16},
        {"+1f", 16, 31},             {"0x", 16, 0},              {"0xg", 16, 0},
        {"", 16, 0},                 {";", 16, 0},               {"g1", 16, 0},
        {"7FFFFFFF", 16, INT32_MAX}, {"80000000", 16, INT32_MAX}, {"FFFFFFFFFFFF", 16, INT32_MAX},
        {"-80000000", 16, INT32_MIN}, {"-80000001", 16, INT32_MIN}, {"30\n", 10, 30},
        {"16", 10, 16},              {"0x10", 10, 0},            {"1A", 10, 1},
        {"-2147483648", 10, INT32_MIN}, {"2147483648", 10, INT32_MAX},
        {"99999999999999999999999", 10, INT32_MAX}, {"- 5", 10, 0}, {"\r\n", 10, 0},
    };
    for (const NumberCase& c : cases) {
        EXPECT_EQ(zurpm::readConfigNumber(c.text, c.base), c.expected)
            << "\"" << c.text << "\" in base " << c.base;
        EXPECT_EQ(c.expected, libraryReading(c.text, c.base))
            << "the table disagrees with the C library for \"" << c.text << "\"";
    }
}

}  // namespace
