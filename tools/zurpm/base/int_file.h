// What the tool needs to know of the driver's configuration file zurPM.int before it starts any
// card: the number base of gate addresses. The driver reads the file itself at start.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zurtool {

// The file the driver reads, in the current directory.
constexpr const char* configurationFileName = "zurPM.int";

// The value of the last BASE= line (any case, nothing before it, the number read as atol does),
// or nothing when the file cannot be opened or has no such line.
std::optional<int32_t> configuredNumberBase(const std::string& path = configurationFileName);

// The base the driver takes when the file sets none.
constexpr int32_t driverDefaultNumberBase = 10;

}  // namespace zurtool
