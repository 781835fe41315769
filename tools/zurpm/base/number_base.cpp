// Where the number base came from, and the address lengths of each base.
#include "number_base.h"

#include <filesystem>

#include "gate_item.h"
#include "int_file.h"

namespace zurtool {

namespace {

// Characters of an address of one element (single and block gates) and of one bit of a word.
struct AddressLengths {
    int32_t base;
    size_t element;
    size_t bitOfWord;
};

constexpr AddressLengths addressLengths[] = {{16, 8, 10}, {10, 9, 11}};

const AddressLengths* lengthsOf(int32_t base) {
    for (const AddressLengths& lengths : addressLengths)
        if (lengths.base == base) return &lengths;
    return nullptr;
}

std::string configurationPathHere() {
    std::error_code error;
    const std::filesystem::path here = std::filesystem::current_path(error);
    return error ? std::string(configurationFileName) : (here / configurationFileName).string();
}

}  // namespace

NumberBase numberBaseBeforeStart() {
    NumberBase base;
    base.value = driverDefaultNumberBase;
    base.configurationPath = configurationPathHere();
    std::error_code error;
    base.configurationFound = std::filesystem::exists(configurationFileName, error);
    if (const auto configured = configuredNumberBase()) {
        base.value = *configured;
        base.origin = NumberBase::Origin::configuration;
    }
    return base;
}

NumberBase numberBaseFromOption(int32_t value) {
    NumberBase base = numberBaseBeforeStart();
    base.value = value;
    base.origin = NumberBase::Origin::option;
    return base;
}

std::string NumberBase::originWords() const {
    switch (origin) {
    case Origin::option: return "--base";
    case Origin::configuration: return std::string("the BASE= line of ") + configurationFileName;
    case Origin::driverDefault: break;
    }
    return std::string("the driver's default, no BASE= line in ") + configurationFileName;
}

std::string NumberBase::addressHint(std::string_view address, bool block) const {
    std::string text = "zurpm: number base " + std::to_string(value) + " (";
    switch (origin) {
    case Origin::option: text += "--base"; break;
    case Origin::configuration: text += "BASE= in " + configurationPath; break;
    case Origin::driverDefault:
        text += configurationFound ? "the driver's default: no BASE= line in " + configurationPath
                                   : "the driver's default: no " + std::string(configurationFileName) + " in " +
                                         std::filesystem::path(configurationPath).parent_path().string();
        break;
    }
    text += ")";
    const AddressLengths* lengths = lengthsOf(value);
    if (lengths == nullptr) return text;
    // Command 3 takes an address longer than any element's for one bit of a word.
    const bool bitOfWord = !block && address.size() > longestElementAddress;
    const AddressLengths& other = *lengthsOf(value == 16 ? 10 : 16);
    text += " expects " + std::to_string(bitOfWord ? lengths->bitOfWord : lengths->element) + " characters in an address" +
            (bitOfWord ? " with a bit number" : "") + " (" +
            std::to_string(bitOfWord ? other.bitOfWord : other.element) + " in base " + std::to_string(other.base) + ")";
    return text;
}

}  // namespace zurtool
