// One bit of a 16-bit PLC word as a digital gate: a single-gate address of a register, analog
// input or analog output word with two more digits, the bit number (0 the least significant).
// Reached through command 3 for strings longer than a single-gate address.
#include "gates/gate_address.h"
#include "gates/gate_definition.h"
#include "gates/region_tables.h"

namespace zurpm {

namespace {

// The word and the bit digits, positions 4 to the end. Base 10 is told the 8-character words,
// although it wants 11 characters.
constexpr AddressLayout bitOfWordLayouts[] = {
    {16, 10, "ZURPM Error: Gate address string is not 10 characters",
     "ZURPM Error: The last 6 charectors of the gate address string are not valid hex digits"},
    {10, 11, "ZURPM Error: Gate address string is not 8 characters",
     "ZURPM Error: The last 7 charectors of the gate address string are not valid digits"},
};

// The bit number is the last two digits, in the same base as the word digits.
constexpr size_t bitDigits = 2;
constexpr uint32_t highestBit = 15;
// The bit form names PLC memory only; its type character is compared as it stands.
constexpr char plcMemoryType = '9';

constexpr char messageNotDigital[] = "ZURPM : Must be digital gate to specify bit number";
constexpr char messageBitNumber[] = "ZURPM Error:  Invalid Bit Number %d";
constexpr char messagePlcType[] = "ZURPM Error: The selected PLC type %c is not valid for bit number";
constexpr char messageRegion[] =
    "ZURPM Error: The selected PLC region %c is not valid for bit number";

}  // namespace

int32_t defineBitOfWordGate(ZurRequest* request) {
    DefinitionInput input;
    if (openDefinition(request, &input) != 0) return ZUR_RESULT_REFUSED;
    const AddressText& address = input.address;
    GateDefinition* gate = input.gate;
    HardwareAddress* hardwareAddress = &gate->hardwareAddress;

    // The value type comes before anything of the string.
    if (gate->valueType != ZUR_VALUE_DIGITAL) return refuseGate(messageNotDigital);
    const AddressLayout* layout = findLayout(bitOfWordLayouts, input.numberBase);
    if (address.length != layout->length) return refuseGate(layout->lengthMessage);
    if (readStation(address, hardwareAddress, messageStationNotDigits) != 0) return ZUR_RESULT_REFUSED;
    if (!allDigitsOfBase(address, offsetPosition, address.length, input.numberBase))
        return refuseGate(layout->digitsMessage);

    const size_t bitPosition = address.length - bitDigits;
    const uint32_t bitNumber = digitsValue(address, bitPosition, address.length, input.numberBase);
    hardwareAddress->bit = static_cast<int32_t>(bitNumber);
    if (bitNumber > highestBit) return refuseGate(messageBitNumber, static_cast<int>(bitNumber));

    const uint32_t wordNumber = digitsValue(address, offsetPosition, bitPosition, input.numberBase);
    hardwareAddress->offset = static_cast<int32_t>(wordNumber) - 1;
    hardwareAddress->width = 1;

    const char typeCharacter = address.characters[typePosition];
    if (typeCharacter != plcMemoryType)
        return refuseGate(messagePlcType, shownCharacter(asciiUpper(typeCharacter)));
    const char regionLetter = address.characters[regionPosition];
    const BitOfWordRegion* region = findBitOfWordRegion(regionLetter);
    if (region == nullptr) return refuseGate(messageRegion, shownCharacter(asciiUpper(regionLetter)));

    hardwareAddress->memoryType = region->memoryType;
    return ZUR_RESULT_OK;
}

}  // namespace zurpm
