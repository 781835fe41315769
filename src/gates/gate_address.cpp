// The shared layout of gate addresses: character classes, conversions, the station rule and the
// checks that come before any rule of the address string.
#include "gates/gate_address.h"

#include "entry/context.h"

namespace zurpm {

namespace {

// The bases in which an address can be read: the layouts of every form exist for these only.
constexpr int32_t supportedNumberBases[] = {10, 16};

constexpr char messageNoGateRecord[] = "ZURPM Error: The gate definition request carries no gate record";
constexpr char messageNoContext[] = "ZURPM Error: No driver context for the gate definition";
constexpr char messageNoAddress[] = "ZURPM Error: The gate has no address string";
constexpr char messageUnsupportedBase[] =
    "ZURPM Error: Number base %d is not supported; BASE= must be 10 or 16";
constexpr char messageStationRange[] = "ZURPM Error: The station number is out of range";

// Stations 0 to 95: three cards of 32 stations each.
constexpr int32_t stationLimit = 96;

constexpr int32_t notADigit = 16;

bool isSupportedBase(int32_t numberBase) {
    for (int32_t base : supportedNumberBases)
        if (base == numberBase) return true;
    return false;
}

// Copies the host's string up to its NUL, but never more than addressLengthLimit + 1 characters:
// no byte past the terminator, and no more of an over-long string than its length test needs.
void copyAddress(const char* hostString, AddressText* address) {
    size_t length = 0;
    while (length <= addressLengthLimit && hostString[length] != '\0') {
        address->characters[length] = hostString[length];
        ++length;
    }
    address->characters[length] = '\0';
    address->length = length;
}

}  // namespace

// The same length words in both bases, although base 10 wants 9 characters.
const AddressLayout singleAddressLayouts[2] = {
    {16, 8, "ZURPM Error: Gate address string is not 8 characters",
     "ZURPM Error: The last 4 charectors of the gate address string are not valid hex digits"},
    {10, 9, "ZURPM Error: Gate address string is not 8 characters",
     "ZURPM Error: The last 4 charectors of the gate address string are not valid digits"},
};

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

int32_t digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return notADigit;
}

char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool allDigitsOfBase(const AddressText& address, size_t from, size_t to, int32_t numberBase) {
    for (size_t position = from; position < to && position < address.length; ++position)
        if (digitValue(address.characters[position]) >= numberBase) return false;
    return to <= address.length;
}

uint32_t digitsValue(const AddressText& address, size_t from, size_t to, int32_t numberBase) {
    uint32_t value = 0;
    for (size_t position = from; position < to && position < address.length; ++position)
        value = value * static_cast<uint32_t>(numberBase) +
                static_cast<uint32_t>(digitValue(address.characters[position]));
    return value;
}

int32_t openDefinition(ZurRequest* request, DefinitionInput* input) {
    input->gate = request == nullptr ? nullptr : static_cast<GateDefinition*>(request->gate);
    if (input->gate == nullptr) return refuseGate(messageNoGateRecord);
    const DriverContext* context = currentContext;
    if (context == nullptr) return refuseGate(messageNoContext);
    if (input->gate->addressString == nullptr) return refuseGate(messageNoAddress);
    input->numberBase = context->numberBase;
    if (!isSupportedBase(input->numberBase))
        return refuseGate(messageUnsupportedBase, static_cast<int>(input->numberBase));
    copyAddress(input->gate->addressString, &input->address);
    return 0;
}

int32_t readStation(const AddressText& address, HardwareAddress* hardwareAddress,
                    const char* digitsMessage) {
    if (address.length < 2 || !isDecimalDigit(address.characters[0]) ||
        !isDecimalDigit(address.characters[1]))
        return refuseGate(digitsMessage);
    hardwareAddress->station = (address.characters[0] - '0') * 10 + (address.characters[1] - '0');
    if (hardwareAddress->station >= stationLimit) return refuseGate(messageStationRange);
    return 0;
}

int32_t readSingleAddress(const DefinitionInput& input, HardwareAddress* hardwareAddress,
                          const char* stationDigitsMessage) {
    const AddressText& address = input.address;
    const AddressLayout* layout = findLayout(singleAddressLayouts, input.numberBase);
    if (address.length != layout->length) return refuseGate(layout->lengthMessage);
    if (readStation(address, hardwareAddress, stationDigitsMessage) != 0) return 1;
    if (!allDigitsOfBase(address, offsetPosition, address.length, input.numberBase))
        return refuseGate(layout->digitsMessage);
    const uint32_t elementNumber = digitsValue(address, offsetPosition, address.length, input.numberBase);
    hardwareAddress->offset = static_cast<int32_t>(elementNumber) - 1;
    return 0;
}

}  // namespace zurpm
