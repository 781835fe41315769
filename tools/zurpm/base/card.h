// A PCIM card as the driver's start reported it: the one record of a card that the scan shows, the
// run header keeps and the report prints.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zurtool {

struct Card {
    int32_t number = 0;                // 1 to 3
    std::string segment;               // "CC00"
    std::string port;                  // "3E0"
    bool started = false;
    std::optional<int32_t> ownDevice;  // the card's own device number on its Genius LAN
    std::string version;               // as the start showed it, hexadecimal
};

}  // namespace zurtool
