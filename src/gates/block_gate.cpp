// Command 4: a block gate, a run of consecutive elements of one region. The address names the
// first element as a single-gate address does; after the whole address has passed, the block
// size is judged against the region: start on a byte boundary, largest size, whole bytes.
#include "gates/gate_address.h"
#include "gates/gate_definition.h"
#include "gates/region_tables.h"

namespace zurpm {

namespace {

constexpr char messageStationDigits[] =
    "ZURPM Error: The first two characters of the gate address string are not numbers";
constexpr char messagePlcType[] = "ZURPM Error: The selected PLC type %c is not valid";
constexpr char messageRegion[] = "ZURPM Error: The selected PLC region %c is not valid";
constexpr char messageByteBoundary[] =
    "ZURPM Error: The requested block start address %d is is not on a byte boundery";
constexpr char messageTooLarge[] = "ZURPM Error: The requested block size %d is to large";
constexpr char messageNotWholeBytes[] =
    "ZURPM Error: The requested block size %d is not even byte count";
constexpr char messageOutsideGlobalData[] =
    "ZURPM Error: Genius block address %d with block size %d is outside the 128 byte global data "
    "table";

constexpr int32_t pointsPerByte = 8;

}  // namespace

int32_t defineBlockGate(ZurRequest* request) {
    DefinitionInput input;
    if (openDefinition(request, &input) != 0) return ZUR_RESULT_REFUSED;
    const AddressText& address = input.address;
    GateDefinition* gate = input.gate;
    HardwareAddress* hardwareAddress = &gate->hardwareAddress;

    // There is no bit form of a block: a long string fails the length test like any other.
    if (readSingleAddress(input, hardwareAddress, messageStationDigits) != 0) return ZUR_RESULT_REFUSED;
    const uint32_t elementNumber = static_cast<uint32_t>(hardwareAddress->offset) + 1;
    const int32_t offset = hardwareAddress->offset;

    const char typeCharacter = address.characters[typePosition];
    const PlcType* type = findPlcType(typeCharacter);
    if (type == nullptr) return refuseGate(messagePlcType, shownCharacter(asciiUpper(typeCharacter)));
    const char regionLetter = address.characters[regionPosition];
    const BlockRegion* region = findBlockRegion(*type, regionLetter);
    if (region == nullptr) return refuseGate(messageRegion, shownCharacter(asciiUpper(regionLetter)));

    // The size is compared signed: a block size of 0 or below passes (each access brings its own
    // count, and the access refuses counts below 1).
    const int32_t blockSize = gate->blockSize;
    if (region->startsOnByteBoundary && offset % pointsPerByte != 0)
        return refuseGate(messageByteBoundary, static_cast<int>(offset));
    if (blockSize > region->largestBlockSize)
        return refuseGate(messageTooLarge, static_cast<int>(blockSize));
    if (region->wholeBytesAbove != 0 && blockSize > region->wholeBytesAbove &&
        blockSize % pointsPerByte != 0)
        return refuseGate(messageNotWholeBytes, static_cast<int>(blockSize));

    // A block of Genius global data must lie inside the device's 128-byte table: its first element
    // exists (number 1 on) and its last one too. Checked after the region's own rules, so that
    // every request those rules refuse keeps its message.
    if (type->inGlobalData) {
        const int64_t elements = globalDataElements(region->width);
        const int64_t lastElement = static_cast<int64_t>(offset) + (blockSize > 1 ? blockSize : 1);
        if (elementNumber < 1 || lastElement > elements)
            return refuseGate(messageOutsideGlobalData, static_cast<int>(elementNumber),
                              static_cast<int>(blockSize));
    }

    if (region->halvesOffset) hardwareAddress->offset >>= 1;
    hardwareAddress->bit = region->bit;
    hardwareAddress->width = region->width;
    hardwareAddress->memoryType = region->memoryType;
    return ZUR_RESULT_OK;
}

}  // namespace zurpm
