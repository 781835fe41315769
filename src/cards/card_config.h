// The driver's record of one PCIM card, and the reader of zurPM.int that creates these records.
#pragma once

#include <cstdint>

#include "zurpm/records.h"

// Global, as the host's records name it.
struct CardConfig {
    volatile uint8_t* window;   // the card's 16 KB shared memory as mapped at start; null if not
    uint16_t memorySegment;     // physical address of the window / 16
    uint16_t ioPort;            // first of the card's I/O ports
    uint16_t configWord1;       // configuration block values, copied to the card at start-up
    uint8_t configByte3;
    uint8_t configByte4;
    uint8_t configByte5;
    int32_t replyTimeoutMs;     // wait for a datagram's completion; 0 no limit
    int32_t accessTimeoutMs;    // wait for the command interface and the lockout; 0 no limit
    uint8_t deviceNumber;       // the card's own Genius device number, once its handshake passed
    CardConfig* earlierStart;   // records of earlier starts, kept for the life of the process
};

namespace zurpm {

// What a card is before its handshake has told it its own device number: no device has it.
constexpr uint8_t noDeviceNumber = 0xFF;

constexpr uint16_t defaultMemorySegment = 0xCC00;
constexpr uint16_t defaultIoPort = 0x3E0;
constexpr int32_t defaultReplyTimeoutMs = 3000;
constexpr int32_t defaultAccessTimeoutMs = 150;

// A new record with every default; null when it cannot be allocated.
CardConfig* newDefaultCardConfig();

// Reads zurPM.int of the current directory into the current context: the number base and cards 1
// to 3. 0 when read to its end, 1 when it could not be opened or was rejected. Writes no message.
int readConfiguration();

// What start does when the file is missing or rejected: card records the file made are released,
// a default card 1 takes slot 1 and slots 2 to 4 are emptied. 0 done, 1 the record could not be
// allocated (no card then).
int useDefaultCard();

// Releases one record made by newDefaultCardConfig or by the reader (the records are made with
// new (std::nothrow) and released with delete); null is allowed.
void releaseCardConfig(CardConfig* card);

// Releases every card record in the current context and empties the slots.
void releaseCardConfigs();

}  // namespace zurpm
