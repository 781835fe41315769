// The number base of gate addresses in force, and where it came from: --base, the BASE= line of
// zurPM.int, or the driver's default. After the driver refuses an address for its length or its
// digits, the tool says which base was in force and what length it expects: the driver's words
// name 8 characters also where base 10 wants 9.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zurtool {

struct NumberBase {
    enum class Origin { option, configuration, driverDefault };

    int32_t value = 10;
    Origin origin = Origin::driverDefault;
    std::string configurationPath;  // zurPM.int where the driver reads it, as a full path
    bool configurationFound = false;

    // For check's header: "--base", "the BASE= line of zurPM.int", "the driver's default, no BASE=
    // line in zurPM.int".
    std::string originWords() const;
    // One line: the base, where it came from, and the length it expects of an address like this
    // one (a block's first element, a single gate, or one bit of a word):
    //   zurpm: number base 10 (the driver's default: no zurPM.int in /plant) expects 9 characters
    //   in an address (8 in base 16)
    std::string addressHint(std::string_view address, bool block) const;
};

// The base before any card is started: zurPM.int's BASE= line in the current directory if there is
// one, else the driver's default.
NumberBase numberBaseBeforeStart();
// The base that --base gave.
NumberBase numberBaseFromOption(int32_t value);

}  // namespace zurtool
