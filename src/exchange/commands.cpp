// The data commands. The station chooses the card (32 stations a card) and the device on its LAN;
// the access becomes a request packet, travels through the card, and what was read lands in the
// host's buffer. One bit of a PLC word is written by reading the word, changing the bit and
// writing the word back.
//
// Every failure is reported at the driver level and ends with "Error transmitting request packet";
// a failed read leaves the host's buffer as it was.
#include "exchange/commands.h"

#include <cstring>

#include "cards/card_service.h"
#include "exchange/packet.h"
#include "exchange/transport.h"
#include "gates/memory_types.h"
#include "host/messages.h"

namespace zurpm {

namespace {

constexpr int32_t stationsPerCard = 32;
constexpr int32_t highestStation = 127;

int32_t failed() {
    hostMessage(levelDriver, "ZURPM Error: Error transmitting request packet");
    return ZUR_RESULT_FAILED;
}

GateAccess* accessOf(ZurRequest* request) { return static_cast<GateAccess*>(request->gate); }

// The card of the access's station, or null when the request cannot be served there, after any
// message that says why. A station whose card is not configured fails with no other word than the
// caller's; a card of a context from before the last start is named as such.
CardConfig* cardOf(const GateAccess* access) {
    if (access == nullptr) {
        hostMessage(levelDriver, "ZURPM Error: No gate record for the request");
        return nullptr;
    }
    const int32_t station = access->hardwareAddress.station;
    if (station < 0 || station > highestStation) {
        hostMessage(levelDriver, "ZURPM Error: Station %d is out of range", station);
        return nullptr;
    }
    const int slot = station / stationsPerCard;
    CardConfig* card = configuredCard(slot);
    if (card == nullptr && fromEarlierStart(slot))
        hostMessage(levelDriver, "ZURPM Error: PCIM card %d of this request belongs to an earlier start of the driver",
                    slot + 1);
    return card;
}

// Carries the access through its card. With oneValue (a bit of a word, whatever its count) the host's
// count is checked as for any access and then one value travels: the host's buffer holds that one.
int32_t transferGate(ZurRequest* request, uint8_t direction, bool oneValue = false) {
    GateAccess* access = accessOf(request);
    CardConfig* card = cardOf(access);
    if (card == nullptr) return failed();
    const int32_t station = access->hardwareAddress.station;
    const int slot = station / stationsPerCard;
    if (access->data == nullptr) {
        hostMessage(levelDriver, "ZURPM Error: No value buffer for the gate");
        return failed();
    }
    if (checkRequestCapacity(access, direction) != 0) return failed();
    if (card->window == nullptr) {
        hostMessage(levelDriver, "ZURPM Error: PCIM card %d is not in service", slot + 1);
        return failed();
    }

    GateAccess one = *access;
    one.count = 1;
    if (oneValue) access = &one;
    RequestPacket packet{};
    packet.direction = direction;
    if (buildRequestPacket(access, &packet) != 0) return failed();
    packet.device = static_cast<uint8_t>(station % stationsPerCard);
    if (transmitPacket(&packet, card) != 0) return failed();
    if (parseReplyPacket(access, &packet) != 0) return failed();
    return ZUR_RESULT_OK;
}

bool isWordMemory(int32_t memoryType) {
    return memoryType == memRegisters || memoryType == memAnalogInputs ||
           memoryType == memAnalogOutputs;
}

bool isBitOfWord(const GateAccess* access) {
    return access != nullptr && isWordMemory(access->hardwareAddress.memoryType) &&
           access->hardwareAddress.bit != -1;
}

}  // namespace

// One bit of a word is one value, 0 or 1, whatever count the host's record holds: read as a block,
// its count of words would land in a buffer that holds one value.
int32_t readGate(ZurRequest* request) {
    return transferGate(request, directionRead, isBitOfWord(accessOf(request)));
}

// One bit of a word goes by read, modify and write whichever write command carries it: sent as it
// stands, the host's 0 or 1 would replace the other fifteen bits of the word. Its count is checked
// as every write's is, then its one value is taken.
int32_t writeGate(ZurRequest* request) {
    if (isBitOfWord(accessOf(request))) return writeBitOfWord(request, true);
    return transferGate(request, directionWrite);
}

int32_t readSingleGate(ZurRequest* request) {
    if (GateAccess* access = accessOf(request)) access->count = 1;
    return readGate(request);
}

int32_t writeSingleGate(ZurRequest* request) {
    GateAccess* access = accessOf(request);
    if (isBitOfWord(access)) return writeBitOfWord(request, false);
    if (access != nullptr) access->count = 1;
    return writeGate(request);
}

int32_t writeBitOfWord(ZurRequest* request, bool checkCount) {
    const GateAccess* access = accessOf(request);
    // The card first, as for every other request.
    if (cardOf(access) == nullptr) return failed();
    if (access->data == nullptr) {
        hostMessage(levelDriver, "ZURPM Error: No value buffer for the gate");
        return failed();
    }
    // A count no write could carry is refused before the host's buffer is looked at.
    if (checkCount && checkRequestCapacity(access, directionWrite) != 0) return failed();
    const int32_t bit = access->hardwareAddress.bit;
    if (bit < 0 || bit > 15) {
        hostMessage(levelDriver, "ZURPM Error: Bit %d of the gate is not a bit of a 16-bit word", bit);
        return failed();
    }

    // The word travels through private copies: the host's records stay as they are.
    uint8_t word[4] = {};
    GateAccess wordAccess = *access;
    wordAccess.hardwareAddress.bit = -1;
    wordAccess.count = 1;
    wordAccess.data = word;
    ZurRequest wordRequest = *request;
    wordRequest.gate = &wordAccess;

    const int32_t readResult = readSingleGate(&wordRequest);
    if (readResult != ZUR_RESULT_OK) return readResult;

    int16_t hostValue;
    std::memcpy(&hostValue, static_cast<const uint8_t*>(access->data) + 2, sizeof hostValue);
    uint16_t value;
    std::memcpy(&value, word + 2, sizeof value);
    const uint16_t mask = static_cast<uint16_t>(1u << bit);
    value = hostValue == 1 ? static_cast<uint16_t>(value | mask) : static_cast<uint16_t>(value & ~mask);
    std::memcpy(word + 2, &value, sizeof value);

    return writeGate(&wordRequest);
}

}  // namespace zurpm
