// Cards into service and out of it. Start opens the XPORTIO device, reads zurPM.int, maps each
// card's window and takes the card through its start-up handshake (wake-up, heartbeat,
// configuration block and command, checks after setup); restart repeats the handshake; stop resets
// each card and gives its window and the device back.
//
// The driver keeps its own list of the card records its last start made (heldCards). The host's
// slots are trusted only where they point at one of those: before the first start, or in a context
// that was never started, the host's block may hold anything. What the driver gives back (at stop,
// and at a new start) it finds in that list too. The records of an earlier start are kept, never
// freed, as every card record is: so no later record can take the address a stale slot still holds.
#include "cards/card_service.h"

#include <cstdlib>

#include "entry/context.h"
#include "host/messages.h"
#include "hw/port_device.h"
#include "hw/window.h"
#include "platform/platform.h"

namespace zurpm {

namespace {

constexpr int slotCount = 4;

// The records of the last start, by slot; null where that start configured no card.
CardConfig* heldCards[slotCount] = {};
// The records of every earlier start, chained through earlierStart.
CardConfig* retiredCards = nullptr;

// Handshake timing, in milliseconds, and its budgets.
constexpr uint32_t wakeUpWaitMs = 2000;
constexpr uint32_t heartbeatPollWaitMs = 100;
constexpr int heartbeatPolls = 10;
constexpr uint32_t configurationLookWaitMs = 100;
constexpr int configurationLooks = 5;
constexpr uint32_t afterSetupWaitMs = 1000;

// Port values of the wake-up and the reset.
constexpr uint16_t wakeRegister3 = 0x99;
constexpr uint16_t controlFirst = 0x01;
constexpr uint16_t controlRun = 0x43;

// The handshake's verdicts on the configuration status.
struct ConfigurationVerdict {
    uint8_t status;
    const char* message;  // null: accepted
};
constexpr ConfigurationVerdict configurationVerdicts[] = {
    {window::configAccepted, nullptr},
    {window::configSyntaxError, "ZURPM Error: PCIM configuration syntax error"},
    {window::configNoChange, "ZURPM Error: PCIM no config change found"},
};
constexpr const char* configurationErrorMessage = "ZURPM Error: PCIM configuration error returned\n";
constexpr const char* configurationPendingMessage = "ZURPM Error: PCIM configuration never accepted";

// A time-out below 0 expires at the first look: a datagram that the card has not completed when it
// is first looked at, 1 ms after it was sent, fails, and so does every request that has to wait for
// the card's command interface or its lockout. Said at start, where the operator looks for what
// zurPM.int did.
struct TimeoutField {
    int32_t CardConfig::*field;
    const char* message;
};
constexpr TimeoutField timeoutFields[] = {
    {&CardConfig::replyTimeoutMs,
     "ZURPM Warning: Reply time-out of PCIM card %d is %d ms: datagrams that the card does not complete "
     "within the first 1 ms wait will fail"},
    {&CardConfig::accessTimeoutMs,
     "ZURPM Warning: Access time-out of PCIM card %d is %d ms: requests that wait for the card will fail"},
};

void warnOfNegativeTimeouts(const CardConfig* card, int cardNumber) {
    for (const TimeoutField& timeout : timeoutFields)
        if (card->*timeout.field < 0) hostMessage(levelDriver, timeout.message, cardNumber, card->*timeout.field);
}

uint16_t port(const CardConfig* card, uint16_t offset) {
    return static_cast<uint16_t>(card->ioPort + offset);
}

// Gives back what the last start holds: its windows and the device; its records retire.
void releaseEarlierStart() {
    for (CardConfig*& held : heldCards) {
        if (held == nullptr) continue;
        if (held->window != nullptr) unmapPhysicalMemory(held->window);
        held->window = nullptr;
        held->earlierStart = retiredCards;
        retiredCards = held;
        held = nullptr;
    }
    closePortDevice();
}

// Polls the heartbeat after the wake-up: true when the card is alive.
bool waitForHeartbeat(CardConfig* card) {
    for (int poll = 0; poll < heartbeatPolls; ++poll) {
        readPort(port(card, window::ioStatus));
        if (window::read8(card->window, window::heartbeat) == 1) return true;
        platform::sleepMs(heartbeatPollWaitMs);
    }
    return false;
}

// Looks at the configuration status until the card has judged the block: 0 accepted, 1 refused or
// never judged (and said so).
int waitForConfiguration(CardConfig* card) {
    int looksLeft = configurationLooks;
    for (;;) {
        const uint8_t status = window::read8(card->window, window::commandStatus);
        if (status == 1 || status == 2) {
            if (--looksLeft == 0) {
                hostMessage(levelCard, configurationPendingMessage);
                return 1;
            }
            platform::sleepMs(configurationLookWaitMs);
            continue;
        }
        for (const ConfigurationVerdict& verdict : configurationVerdicts) {
            if (verdict.status != status) continue;
            if (verdict.message == nullptr) return 0;
            hostMessage(levelCard, verdict.message);
            return 1;
        }
        hostMessage(levelCard, configurationErrorMessage);
        return 1;
    }
}

}  // namespace

CardConfig* configuredCard(int slot) {
    if (currentContext == nullptr || slot < 0 || slot >= slotCount) return nullptr;
    CardConfig* card = currentContext->cards[slot];
    return card != nullptr && card == heldCards[slot] ? card : nullptr;
}

bool fromEarlierStart(int slot) {
    if (currentContext == nullptr || slot < 0 || slot >= slotCount) return false;
    const CardConfig* card = currentContext->cards[slot];
    if (card == nullptr) return false;
    // Only compared, never followed: the host's slot may hold anything.
    for (const CardConfig* retired = retiredCards; retired != nullptr; retired = retired->earlierStart)
        if (retired == card) return true;
    return false;
}

int mapCardWindow(CardConfig* card) {
    card->window = mapPhysicalMemory(card->memorySegment, cardWindowLength);
    return card->window == nullptr ? 1 : 0;
}

void resetCard(CardConfig* card) {
    writePort(port(card, window::ioControl), controlFirst);
    writePort(port(card, window::ioRegister3), wakeRegister3);
    writePort(port(card, window::ioControl), controlFirst);
}

int startCard(CardConfig* card) {
    // A card without a window (refused map, or after stop) has nothing to shake hands with.
    if (card->window == nullptr) return 1;
    volatile uint8_t* memory = card->window;

    writePort(port(card, window::ioRegister3), wakeRegister3);
    writePort(port(card, window::ioControl), controlFirst);
    writePort(port(card, window::ioControl), controlRun);
    platform::sleepMs(wakeUpWaitMs);

    if (!waitForHeartbeat(card)) {
        hostMessage(levelCard, "ZURPM Error: No Heart beat detected on PCIM card");
        return 1;
    }

    window::write16(memory, window::configWord1, card->configWord1);
    window::write8(memory, window::configByte3, card->configByte3);
    window::write8(memory, window::configByte4, card->configByte4);
    window::write8(memory, window::configByte5, card->configByte5);
    window::write8(memory, window::commandCode, window::commandConfigure);
    window::write8(memory, window::commandStatus, window::statusIssue);
    platform::sleepMs(configurationLookWaitMs);

    if (waitForConfiguration(card) != 0) return 1;

    // The port bits that count are those read before the wait.
    const uint16_t portBits = readPort(port(card, window::ioStatus)) & 0x1F;
    platform::sleepMs(afterSetupWaitMs);

    if (window::read8(memory, window::heartbeat) != 1) {
        hostMessage(levelCard, "ZURPM Error: No heartbeat detected after setup complete");
        return 1;
    }
    if (portBits & window::statusOkMissing) {
        hostMessage(levelCard, "ZURPM Error: PCIM OK signal never received from card");
        return 1;
    }
    if (portBits & window::statusCommError) {
        hostMessage(levelCard, "ZURPM Error: PCIM communications error");
        return 1;
    }

    window::fill(memory, window::flagBlockA, 0, window::flagBlockLength);
    window::fill(memory, window::flagBlockB, 1, window::flagBlockLength - 1);
    window::write8(memory, window::flagBlockB + window::flagBlockLength - 1, 0);

    card->deviceNumber = window::read8(memory, window::ownDeviceNumber) & 0x1F;
    hostMessage(levelDriver, "ZURPM Message: Genius device number for PCIM card is %d",
                static_cast<int>(card->deviceNumber));
    hostMessage(levelDriver, "ZURPM Message: Card version number is %x",
                static_cast<unsigned>(window::read8(memory, window::cardVersion)));
    return 0;
}

int32_t startDriver(ZurRequest*) {
    if (currentContext == nullptr) return ZUR_RESULT_FAILED;
    // The device is opened without sharing: what an earlier start holds is given back first, or
    // the new open would fail.
    releaseEarlierStart();

    currentContext->numberBase = 10;
    for (CardConfig*& slot : currentContext->cards) slot = nullptr;

    if (openPortDevice() == 0) {
        hostMessage(levelDriver, "ZURPM Error: Unable to open XPORTIO.SYS");
        return ZUR_RESULT_FAILED;
    }

    if (readConfiguration() != 0) {
        hostMessage(levelDriver, "ZURPM Warning: No ZURPM.INT found using defaults");
        if (useDefaultCard() != 0)
            hostMessage(levelDriver, "ZURPM Error: Unable to allocate PCIM card %d", 1);
    }
    for (int slot = 0; slot < slotCount; ++slot) heldCards[slot] = currentContext->cards[slot];

    for (int slot = 0; slot < slotCount; ++slot) {
        CardConfig* card = heldCards[slot];
        if (card == nullptr) continue;
        hostMessage(levelDriver, "ZURPM Message: Starting Card at memmory adrress %X \n\t I/O port %X",
                    static_cast<unsigned>(card->memorySegment), static_cast<unsigned>(card->ioPort));
        warnOfNegativeTimeouts(card, slot + 1);
        if (mapCardWindow(card) != 0) {
            hostMessage(levelDriver, "ZURPM Error: Unable to get pointer to PCIM card %d", slot + 1);
            continue;
        }
        if (startCard(card) != 0)
            hostMessage(levelDriver, "ZURPM Error: Unable to start PCIM card %d", slot + 1);
    }
    return ZUR_RESULT_OK;
}

int32_t restartCards(ZurRequest*) {
    for (int slot = 0; slot < slotCount; ++slot) {
        CardConfig* card = configuredCard(slot);
        if (card == nullptr) {
            // Said as reads and writes say it: the host restarts nothing with a block of the past.
            if (fromEarlierStart(slot))
                hostMessage(levelDriver,
                            "ZURPM Error: PCIM card %d of this request belongs to an earlier start of the driver",
                            slot + 1);
            continue;
        }
        if (startCard(card) != 0)
            hostMessage(levelDriver, "ZURPM Error: Unable to restart PCIM card %d", slot + 1);
    }
    return ZUR_RESULT_OK;
}

int32_t stopDriver(ZurRequest*) {
    // Every card the last start holds, whichever context this call came with: closing the device
    // takes the windows with it, so none may stay behind in a record.
    for (CardConfig* card : heldCards) {
        if (card == nullptr) continue;
        resetCard(card);
        unmapPhysicalMemory(card->window);
        // No pointer to released memory stays behind.
        card->window = nullptr;
    }
    closePortDevice();
    return ZUR_RESULT_OK;
}

}  // namespace zurpm
