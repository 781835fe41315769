// The card transport. A packet addressed to Series 90 PLC memory goes out as a Genius datagram
// through the card's host command interface; one addressed to Genius block data (codes 128 to 130)
// is applied to the card's global-data tables while the card grants them under its lockout.
//
// The card changes its command status, reply and tables on its own: every look at the window is a
// fresh read, and writes go in the order the card expects (command block, request data, command
// code, and the command status last; the lockout request before any table access and its release
// after the last one).
#include "exchange/transport.h"

#include "exchange/packet_layout.h"
#include "gates/memory_types.h"
#include "host/messages.h"
#include "hw/window.h"
#include "platform/platform.h"

namespace zurpm {

namespace {

uint32_t offsetField(const RequestPacket& packet) {
    return packet.body[bodyOffsetByte] | (static_cast<uint32_t>(packet.body[bodyOffsetByte + 1]) << 8);
}

constexpr const char* directionName[] = {"read from", "write to"};

constexpr uint32_t pollSleepMs = 1;

bool isGlobalDataCode(uint8_t selector) { return codeGroupOf(selector).globalData; }

// Polls until the command interface is free, or the time-out has passed: true when free.
bool waitUntilFree(const volatile uint8_t* memory, int32_t timeoutMs) {
    const uint32_t start = platform::tickCountMs();
    for (;;) {
        if ((window::read8(memory, window::commandStatus) & window::statusBusyMask) == 0) return true;
        if (hasTimedOut(start, timeoutMs)) return false;
        platform::sleepMs(pollSleepMs);
    }
}

void listActiveDevices(const volatile uint8_t* memory) {
    consolePrint("PCIM message: Listing of active devices:\t");
    for (uint32_t device = 0; device < window::deviceCount; ++device)
        consolePrint("%d ", static_cast<int>(window::read8(memory, window::presenceOffset(device))));
    consolePrint("\n\n");
}

// Where a global-data access lies in its 128-byte table: first byte and byte count.
struct TableSpan {
    uint32_t first;
    uint32_t count;
};

TableSpan globalDataSpan(uint8_t selector, uint32_t offset, uint32_t length) {
    if (selector == memBlockPoint) return {offset / 8, 1};
    if (selector == memBlockPoints) return {offset, length};
    return {2 * offset, 2 * length};  // words
}

int transmitGlobalData(RequestPacket* packet, CardConfig* card) {
    volatile uint8_t* memory = card->window;
    const uint8_t selector = packet->body[bodySelectorByte];
    const uint32_t offset = offsetField(*packet);
    const uint32_t length = packet->body[bodyLengthByte];

    if (!isGlobalDataCode(selector)) {
        hostMessage(levelDriver, "ZURPM Error: Memory type %d is not Genius block data",
                    static_cast<int>(selector));
        return 2;
    }
    // The request must stay inside the device's table, whatever the host asked for.
    const TableSpan span = globalDataSpan(selector, offset, length);
    if (span.first + span.count > window::globalTableLength ||
        span.count > packetBodySize - bodyDataByte) {
        hostMessage(levelDriver,
                    "ZURPM Error: Global data access of %d bytes at byte %d is outside the 128 byte "
                    "table of device %d",
                    static_cast<int>(span.count), static_cast<int>(span.first),
                    static_cast<int>(packet->device));
        return 2;
    }

    window::write8(memory, window::lockoutRequest, 1);
    const uint32_t start = platform::tickCountMs();
    while (window::read8(memory, window::lockoutGranted) == 0) {
        if (hasTimedOut(start, card->accessTimeoutMs)) {
            // Given up: the request is withdrawn, or a card that grants late would hold its tables
            // for us, and stop exchanging them with the blocks on the LAN, until some later
            // global-data request happened to give them back.
            window::write8(memory, window::lockoutRequest, 0);
            hostMessage(levelDriver, "ZURPM Error: Lockout table malfunction");
            return 2;
        }
        platform::sleepMs(pollSleepMs);
    }

    const uint32_t table = packet->device == card->deviceNumber
                               ? window::ownOutputTable
                               : window::inputTableOffset(packet->device);
    uint8_t* data = packet->body + bodyDataByte;
    if (packet->direction == directionWrite) {
        if (selector == memBlockPoint) {
            const uint32_t at = table + span.first;
            const uint8_t mask = static_cast<uint8_t>(1u << (offset % 8));
            const uint8_t old = window::read8(memory, at);
            window::write8(memory, at, data[0] != 0 ? old | mask : old & static_cast<uint8_t>(~mask));
        } else {
            // Only the points of a block are changed: a partial last byte is merged under its mask.
            const uint8_t lastMask = selector == memBlockPoints ? lastByteMask(*packet) : 0xFF;
            const uint32_t whole = lastMask != 0xFF && span.count > 0 ? span.count - 1 : span.count;
            window::writeBytes(memory, table + span.first, data, whole);
            if (whole < span.count) {
                const uint32_t at = table + span.first + whole;
                const uint8_t old = window::read8(memory, at);
                window::write8(memory, at,
                               static_cast<uint8_t>((old & ~lastMask) | (data[whole] & lastMask)));
            }
        }
    } else {
        window::readBytes(memory, table + span.first, data, span.count);
    }

    window::write8(memory, window::lockoutRequest, 0);
    platform::sleepMs(pollSleepMs);
    return 0;
}

int transmitDatagram(RequestPacket* packet, CardConfig* card) {
    volatile uint8_t* memory = card->window;
    const bool write = packet->direction == directionWrite;
    const int device = packet->device;

    // The datagram's data must be all there is: a body longer than the packet holds is not sent.
    if (packet->bodyLength > packetBodySize) {
        hostMessage(levelDriver, "ZURPM Error: Datagram of %d bytes is longer than a request packet",
                    static_cast<int>(packet->bodyLength));
        return 2;
    }
    if (!waitUntilFree(memory, card->accessTimeoutMs)) {
        hostMessage(levelDriver, "ZURPM Error: Timeout waiting for clear to transmit");
        return 1;
    }

    // The command block.
    window::write8(memory, window::commandParams + 0, packet->device);
    window::write8(memory, window::commandParams + 1, window::geniusDatagramFunction);
    window::write8(memory, window::commandParams + 2, packet->requestSubfunction);
    if (write) {
        window::write8(memory, window::commandParams + 3, 0);
        window::write8(memory, window::commandParams + 4, packet->bodyLength);
    } else {
        window::write8(memory, window::commandParams + 3, packet->replySubfunction);
        window::write8(memory, window::commandParams + 4, 0);
        window::write8(memory, window::commandParams + 5, packet->bodyLength);
        window::write8(memory, window::replyLength, 0);
    }
    window::writeBytes(memory, window::requestData, packet->body, packet->bodyLength);
    window::write8(memory, window::commandCode,
                   write ? window::commandSendDatagram : window::commandSendDatagramReply);
    window::write8(memory, window::commandStatus, window::statusIssue);
    platform::sleepMs(pollSleepMs);

    if (!waitUntilFree(memory, card->replyTimeoutMs)) {
        hostMessage(levelDriver, "ZURPM Error: Device %d failed to respond", device);
        return 2;
    }

    const uint8_t status = window::read8(memory, window::commandStatus);
    const char* direction = directionName[write ? 1 : 0];
    if (status & window::statusCompleted) {
        if (write) return 0;
        const uint8_t length = window::read8(memory, window::replyLength);
        // The reply area ends where the lockout bytes begin; a longer reply is not a reply.
        if (length > window::replyDataRoom) {
            hostMessage(levelDriver, "ZURPM Error: Reply of %d bytes from device %d is too long",
                        static_cast<int>(length), device);
            return 2;
        }
        packet->bodyLength = length;
        window::readBytes(memory, window::replyData, packet->body, length);
        return 0;
    }
    if (status & window::statusSyntaxError) {
        hostMessage(levelDriver, "ZURPM Error: Syntax error occurred on %s device %d", direction, device);
        return 2;
    }
    if (status & window::statusProcessError) {
        hostMessage(levelDriver, "ZURPM Error: Process error occurred on %s device %d", direction, device);
        return 2;
    }
    hostMessage(levelDriver, "ZURPM Error: Unknown error %d occurred on %s device %d",
                static_cast<int>(status), direction, device);
    return 2;
}

}  // namespace

bool hasTimedOut(uint32_t startTick, int32_t timeoutMs) {
    if (timeoutMs == 0) return false;
    // Unsigned difference: right across the wrap of the 32-bit tick count. A negative time-out (a
    // misread zurPM.int) expires at once rather than never.
    const uint32_t elapsed = platform::tickCountMs() - startTick;
    return static_cast<int64_t>(elapsed) > static_cast<int64_t>(timeoutMs);
}

int transmitPacket(RequestPacket* packet, CardConfig* card) {
    if (card == nullptr || card->window == nullptr || packet->device >= window::deviceCount) {
        hostMessage(levelDriver, "ZURPM Error: No PCIM card memory for device %d",
                    static_cast<int>(packet->device));
        return 2;
    }
    const volatile uint8_t* memory = card->window;
    const uint8_t selector = packet->body[bodySelectorByte];
    const bool own = packet->device == card->deviceNumber;

    if (own && !isGlobalDataCode(selector)) {
        hostMessage(levelDriver, "ZURPM Error: Datagram may not be sent to host PCIM\n");
        return 2;
    }
    if (!own && window::read8(memory, window::presenceOffset(packet->device)) == 0) {
        hostMessage(levelDriver, "ZURPM Error: Device %d not found on network",
                    static_cast<int>(packet->device));
        listActiveDevices(memory);
        return 2;
    }
    if (selector >= memBlockPoint) return transmitGlobalData(packet, card);
    return transmitDatagram(packet, card);
}

}  // namespace zurpm
