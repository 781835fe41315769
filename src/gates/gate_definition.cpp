// Command 3: a single gate. The address string is checked in a fixed order (length, station
// digits, station range, offset digits, PLC type, region, value type) and becomes the gate's
// hardware address; strings longer than a single-gate address name one bit of a word and go to
// the bit form.
#include "gates/gate_address.h"
#include "gates/gate_definition.h"
#include "gates/region_tables.h"

namespace zurpm {

namespace {

// Longest single-gate address (base 10); anything longer is the bit-of-word form.
constexpr size_t singleGateLongest = 9;

constexpr char messagePlcType[] = "ZURPM Error: The selected PLC type %c is not valid";
constexpr char messageRegion[] = "ZURPM Error: The selected PLC region %c is not valid";
constexpr char messageOutsideGlobalData[] =
    "ZURPM Error: Genius block address %d is outside the 128 byte global data table";

}  // namespace

int32_t defineGate(ZurRequest* request) {
    DefinitionInput input;
    if (openDefinition(request, &input) != 0) return ZUR_RESULT_REFUSED;
    const AddressText& address = input.address;
    if (address.length > singleGateLongest) return defineBitOfWordGate(request);

    GateDefinition* gate = input.gate;
    HardwareAddress* hardwareAddress = &gate->hardwareAddress;
    if (readSingleAddress(input, hardwareAddress, messageStationNotDigits) != 0) return ZUR_RESULT_REFUSED;
    const uint32_t elementNumber = static_cast<uint32_t>(hardwareAddress->offset) + 1;

    const char typeCharacter = address.characters[typePosition];
    const PlcType* type = findPlcType(typeCharacter);
    if (type == nullptr) return refuseGate(messagePlcType, shownCharacter(asciiUpper(typeCharacter)));
    const char regionLetter = address.characters[regionPosition];
    const SingleRegion* region = findSingleRegion(*type, regionLetter);
    if (region == nullptr) return refuseGate(messageRegion, shownCharacter(asciiUpper(regionLetter)));
    const AcceptedValue* value = findAcceptedValue(*region, gate->valueType);
    if (value == nullptr) return refuseGate(region->valueTypeMessage);

    // A Genius device's table holds 1024 points, 64 words or 32 floats. The element size is known
    // only once the value type is accepted, so the table is checked last: every refusal that a
    // string has always had keeps its place, and nothing beyond the table is ever accepted.
    if (type->inGlobalData && (elementNumber < 1 || elementNumber > static_cast<uint32_t>(
                                                                        globalDataElements(value->width))))
        return refuseGate(messageOutsideGlobalData, static_cast<int>(elementNumber));

    if (region->halvesOffset) hardwareAddress->offset >>= 1;
    hardwareAddress->width = value->width;
    hardwareAddress->bit = region->bit;
    hardwareAddress->memoryType = region->memoryType;
    return ZUR_RESULT_OK;
}

}  // namespace zurpm
