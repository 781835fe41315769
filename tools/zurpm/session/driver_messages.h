// What the tool reads in the driver's messages, in one table: the texts that name why a request
// failed, the closing line of every failed command, the lines of a card's start, and the
// refusals of an address that the number base explains. Everything that tells messages apart
// asks here; the tool's tests find each text of the table in the driver's sources, so that a
// changed message breaks a test instead of a classification.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "card.h"
#include "driver_session.h"

namespace zurtool {

// Why a request failed.
enum class FailureKind {
    notFound,           // the device is not on the LAN
    failedToRespond,    // it did not answer in time
    syntaxError,        // the device refused the request (these three: a block that reaches past a
    processError,       // memory's end, or a device without Read Device, such as an I/O block)
    unknownError,
    clearToTransmit,    // the card did not let the datagram go
    lockout,            // the lockout of Genius block data failed
    ownDevice,          // the request named the card itself
    cardNotConfigured,  // the closing line alone: no card for the station
    noMessage,          // a failure without any message
    other,              // a message the table does not know
};

// The parts of the driver's texts that the tool looks for.
enum class DriverText {
    errorPrefix,         // "ZURPM Error: " before each error
    requestFailed,       // the closing line of every failed command
    notFound,
    failedToRespond,
    syntaxError,
    processError,
    unknownError,
    clearToTransmit,
    lockout,
    ownDevice,
    cardStarting,        // "Starting Card at memmory adrress CC00 ...", one per card
    cardPort,            // "... I/O port 3E0" of the same line
    cardOwnDevice,       // the card's own device number: it started
    cardVersion,
    cardUnable,          // a card that could not be opened or reached
    addressLength,       // an address of the wrong length for the base
    addressDigits,       // digits that are not of the base
};

struct KnownText {
    DriverText text;
    const char* words;  // as the driver's sources write them (a part of a message)
};

// The table.
const std::vector<KnownText>& knownDriverTexts();
const char* wordsOf(DriverText text);

// Whether the message holds the words of the text, and what follows them ("" when not there).
bool says(const std::string& message, DriverText text);
std::string after(const std::string& message, DriverText text);

// The kind of a failed request from its messages: the transport's message names it; the
// command's closing line alone means the card is not configured.
FailureKind classifyFailure(const std::vector<HostMessage>& messages);
// "not found", "failed to respond", "syntax error", "process error", "unknown error", "clear to
// transmit", "lockout", "own device", "card not configured", "no message".
const char* failureKindName(FailureKind kind);
// The name under which a failure is counted: its kind's, or for a message the table does not know,
// its text without the "ZURPM Error: " prefix.
std::string failureKind(const std::vector<HostMessage>& messages);
// The device refused the request itself (syntax, process or unknown error): the device is there,
// and a smaller request may fare better.
bool refusedByDevice(FailureKind kind);

// A refusal that the number base in force explains (the length or the digits of an address).
bool refusedForTheBase(const std::vector<HostMessage>& messages);

// A card and the driver's messages of its start.
struct CardStart {
    Card card;
    std::vector<HostMessage> messages;
};

// The start's messages, divided among the configured cards (`numbers`, from the context's slots):
// each card's part begins with its "Starting Card" line; what comes before the first (the
// configuration warning) belongs to all.
std::vector<CardStart> cardsFromStart(const std::vector<HostMessage>& messages, const std::vector<int32_t>& numbers);

}  // namespace zurtool
