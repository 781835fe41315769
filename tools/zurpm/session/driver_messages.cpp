// The table of the driver's texts, and the readings made of it.
#include "driver_messages.h"

#include <cstdlib>

namespace zurtool {

namespace {

const std::vector<KnownText> table{
    {DriverText::errorPrefix, "ZURPM Error: "},
    {DriverText::requestFailed, "Error transmitting request packet"},
    {DriverText::notFound, "not found on network"},
    {DriverText::failedToRespond, "failed to respond"},
    {DriverText::syntaxError, "Syntax error occurred"},
    {DriverText::processError, "Process error occurred"},
    {DriverText::unknownError, "Unknown error"},
    {DriverText::clearToTransmit, "clear to transmit"},
    {DriverText::lockout, "Lockout table"},
    {DriverText::ownDevice, "may not be sent to host PCIM"},
    {DriverText::cardStarting, "Starting Card at memmory adrress "},
    {DriverText::cardPort, "I/O port "},
    {DriverText::cardOwnDevice, "Genius device number for PCIM card is "},
    {DriverText::cardVersion, "Card version number is "},
    {DriverText::cardUnable, "Unable to "},
    {DriverText::addressLength, "Gate address string is not "},
    {DriverText::addressDigits, "of the gate address string are not valid"},
};

struct NamedKind {
    FailureKind kind;
    const char* name;
    DriverText text;  // the transport's words for it; requestFailed where none
};

constexpr NamedKind kinds[] = {
    {FailureKind::notFound, "not found", DriverText::notFound},
    {FailureKind::failedToRespond, "failed to respond", DriverText::failedToRespond},
    {FailureKind::syntaxError, "syntax error", DriverText::syntaxError},
    {FailureKind::processError, "process error", DriverText::processError},
    {FailureKind::unknownError, "unknown error", DriverText::unknownError},
    {FailureKind::clearToTransmit, "clear to transmit", DriverText::clearToTransmit},
    {FailureKind::lockout, "lockout", DriverText::lockout},
    {FailureKind::ownDevice, "own device", DriverText::ownDevice},
    {FailureKind::cardNotConfigured, "card not configured", DriverText::requestFailed},
    {FailureKind::noMessage, "no message", DriverText::requestFailed},
};

// The message of a failure that tells why: the first that is not the command's closing line.
const HostMessage* reason(const std::vector<HostMessage>& messages) {
    for (const HostMessage& message : messages)
        if (!says(message.text, DriverText::requestFailed)) return &message;
    return nullptr;
}

std::string withoutPrefix(const std::string& text) {
    const std::string prefix = wordsOf(DriverText::errorPrefix);
    std::string plain = text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text;
    while (!plain.empty() && (plain.back() == '\n' || plain.back() == ' ')) plain.pop_back();
    return plain;
}

std::string firstWord(const std::string& text) {
    size_t end = 0;
    while (end < text.size() && text[end] != ' ' && text[end] != '\n' && text[end] != '\t') ++end;
    return text.substr(0, end);
}

}  // namespace

const std::vector<KnownText>& knownDriverTexts() { return table; }

const char* wordsOf(DriverText text) {
    for (const KnownText& known : table)
        if (known.text == text) return known.words;
    return "";
}

bool says(const std::string& message, DriverText text) { return message.find(wordsOf(text)) != std::string::npos; }

std::string after(const std::string& message, DriverText text) {
    const std::string words = wordsOf(text);
    const size_t at = message.find(words);
    return at == std::string::npos ? std::string() : message.substr(at + words.size());
}

FailureKind classifyFailure(const std::vector<HostMessage>& messages) {
    if (const HostMessage* message = reason(messages)) {
        for (const NamedKind& entry : kinds)
            if (entry.text != DriverText::requestFailed && says(message->text, entry.text)) return entry.kind;
        return FailureKind::other;
    }
    return messages.empty() ? FailureKind::noMessage : FailureKind::cardNotConfigured;
}

const char* failureKindName(FailureKind kind) {
    for (const NamedKind& entry : kinds)
        if (entry.kind == kind) return entry.name;
    return "other";
}

std::string failureKind(const std::vector<HostMessage>& messages) {
    const FailureKind kind = classifyFailure(messages);
    if (kind == FailureKind::other) return withoutPrefix(reason(messages)->text);
    return failureKindName(kind);
}

bool refusedByDevice(FailureKind kind) {
    return kind == FailureKind::syntaxError || kind == FailureKind::processError || kind == FailureKind::unknownError;
}

bool refusedForTheBase(const std::vector<HostMessage>& messages) {
    for (const HostMessage& message : messages)
        if (says(message.text, DriverText::addressLength) || says(message.text, DriverText::addressDigits)) return true;
    return false;
}

std::vector<CardStart> cardsFromStart(const std::vector<HostMessage>& messages, const std::vector<int32_t>& numbers) {
    std::vector<CardStart> cards;
    std::vector<HostMessage> preamble;
    for (const HostMessage& message : messages) {
        if (says(message.text, DriverText::cardStarting)) {
            CardStart start;
            start.card.number =
                cards.size() < numbers.size() ? numbers[cards.size()] : static_cast<int32_t>(cards.size()) + 1;
            start.messages = preamble;
            const std::string rest = after(message.text, DriverText::cardStarting);
            start.card.segment = firstWord(rest);
            start.card.port = firstWord(after(rest, DriverText::cardPort));
            cards.push_back(std::move(start));
        }
        if (cards.empty()) {
            preamble.push_back(message);
            continue;
        }
        CardStart& start = cards.back();
        start.messages.push_back(message);
        if (says(message.text, DriverText::cardOwnDevice)) {
            start.card.ownDevice = std::atoi(after(message.text, DriverText::cardOwnDevice).c_str());
            start.card.started = true;
        }
        if (says(message.text, DriverText::cardVersion))
            start.card.version = firstWord(after(message.text, DriverText::cardVersion));
        if (says(message.text, DriverText::cardUnable)) start.card.started = false;
    }
    return cards;
}

}  // namespace zurtool
