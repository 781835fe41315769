// The reader of zurPM.int: the number base of gate addresses and one CardConfig record per card
// line, for cards 1 to 3. Also the default card that start falls back on when the file is missing
// or rejected, and the release of card records.
//
// The file is read in pieces of at most 255 characters, each judged as a line of its own. A line
// is either "BASE=<decimal>" (in any case) or "<card>=<segment>;<port>;<reply>;<config>;<access>",
// where a line may end after any value and the rest take their defaults.
#include <new>

#include "cards/card_config.h"
#include "cards/config_numbers.h"
#include "entry/context.h"
#include "platform/platform.h"

namespace zurpm {

namespace {

constexpr const char* configurationFileName = "zurPM.int";

// Pieces of a line are read into this buffer: 255 characters and the terminating NUL.
constexpr int linePieceSize = 256;

constexpr int firstCardNumber = 1;
constexpr int lastCardNumber = 3;  // the context has a fourth slot, but no line fills it

constexpr uint8_t defaultConfigByte5 = 128;
constexpr uint8_t largestConfigByte3 = 128;
constexpr int32_t replyTimeoutUnitMs = 100;  // the file gives the reply time-out in tenths of a second

// A number-base line begins with these five characters, in any case; its value follows them.
constexpr char numberBasePrefix[] = "BASE=";
constexpr int numberBasePrefixLength = sizeof numberBasePrefix - 1;

bool isNumberBaseLine(const char* line) {
    for (int i = 0; i < numberBasePrefixLength; ++i) {
        char c = line[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != numberBasePrefix[i]) return false;
    }
    return true;
}

// The values of a card line, in their order after the "=", and how each is stored.
void storeMemorySegment(CardConfig& card, int32_t value) {
    card.memorySegment = static_cast<uint16_t>(value);
}
void storeIoPort(CardConfig& card, int32_t value) { card.ioPort = static_cast<uint16_t>(value); }
void storeReplyTimeout(CardConfig& card, int32_t value) {
    // A time-out beyond the 32-bit range stays the longest one there is instead of wrapping.
    const int64_t ms = int64_t{value} * replyTimeoutUnitMs;
    card.replyTimeoutMs = ms > INT32_MAX ? INT32_MAX : ms < INT32_MIN ? INT32_MIN : static_cast<int32_t>(ms);
}
void storeConfigByte3(CardConfig& card, int32_t value) {
    uint8_t byte = static_cast<uint8_t>(value);
    if (byte == 0) byte = 1;
    if (byte > largestConfigByte3) byte = largestConfigByte3;
    card.configByte3 = byte;
}
void storeAccessTimeout(CardConfig& card, int32_t value) { card.accessTimeoutMs = value; }

struct CardLineValue {
    int base;
    void (*store)(CardConfig& card, int32_t value);
};
constexpr CardLineValue cardLineValues[] = {
    {16, storeMemorySegment},
    {16, storeIoPort},
    {10, storeReplyTimeout},
    {10, storeConfigByte3},
    {10, storeAccessTimeout},
    // Values after the fifth are ignored.
};

// The values of a card line over the defaults already in card. The first value follows the first
// "=" of the line, each further one the next ";" after the previous separator; where no separator
// follows, that value and all later ones keep their defaults.
void readCardValues(const char* line, CardConfig& card) {
    const char* separator = line;
    char wanted = '=';
    for (const CardLineValue& value : cardLineValues) {
        while (*separator != '\0' && *separator != wanted) ++separator;
        if (*separator == '\0') return;
        ++separator;
        value.store(card, readConfigNumber(separator, value.base));
        wanted = ';';
    }
}

void releaseCard(CardConfig*& slot) {
    delete slot;
    slot = nullptr;
}

}  // namespace

CardConfig* newDefaultCardConfig() {
    CardConfig* card = new (std::nothrow) CardConfig{};
    if (card == nullptr) return nullptr;
    card->window = nullptr;
    card->memorySegment = defaultMemorySegment;
    card->ioPort = defaultIoPort;
    card->configWord1 = 0;
    card->configByte3 = 0;
    card->configByte4 = 0;
    card->configByte5 = defaultConfigByte5;
    card->replyTimeoutMs = defaultReplyTimeoutMs;
    card->accessTimeoutMs = defaultAccessTimeoutMs;
    card->deviceNumber = noDeviceNumber;
    return card;
}

void releaseCardConfig(CardConfig* card) { delete card; }

int readConfiguration() {
    DriverContext* context = currentContext;
    if (context == nullptr) return 1;

    platform::TextFile file = platform::fileOpen(configurationFileName);
    if (file == nullptr) return 1;

    // Records this read made, and so may drop again when a later line replaces them. A slot that
    // held a record before the read is overwritten, never freed: that record is not ours.
    bool madeHere[lastCardNumber] = {};

    char line[linePieceSize];
    int result = 0;
    while (platform::fileReadPiece(file, line, linePieceSize)) {
        if (isNumberBaseLine(line)) {
            context->numberBase = readDecimal(line + numberBasePrefixLength);
            continue;
        }
        const int32_t cardNumber = readDecimal(line);
        if (cardNumber < firstCardNumber || cardNumber > lastCardNumber) {
            result = 1;
            break;
        }
        CardConfig* card = newDefaultCardConfig();
        if (card == nullptr) {
            result = 1;
            break;
        }
        readCardValues(line, *card);

        CardConfig*& slot = context->cards[cardNumber - 1];
        if (madeHere[cardNumber - 1]) releaseCard(slot);
        slot = card;
        madeHere[cardNumber - 1] = true;
    }
    platform::fileClose(file);
    return result;
}

void releaseCardConfigs() {
    DriverContext* context = currentContext;
    if (context == nullptr) return;
    for (CardConfig*& slot : context->cards) releaseCard(slot);
}

int useDefaultCard() {
    DriverContext* context = currentContext;
    if (context == nullptr) return 1;
    releaseCardConfigs();
    context->cards[0] = newDefaultCardConfig();
    return context->cards[0] == nullptr ? 1 : 0;
}

}  // namespace zurpm
