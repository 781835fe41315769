// The host side of the driver: one DriverContext for the life of the tool, the gate records, and
// one ZurMain request at a time. Every message the driver sends to the host's err arrives here
// through the host library's sink, with its level.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver_library.h"
#include "gate_item.h"
#include "gate_values.h"
#include "zurpm/records.h"

namespace zurtool {

struct HostMessage {
    int32_t level = 0;
    std::string text;
};

// "[level] text".
std::string showMessage(const HostMessage& message);
// The messages of one request, joined for one line of output.
std::string showMessages(const std::vector<HostMessage>& messages);

// A gate after its definition: what the driver made of it.
struct DefinedGate {
    GateItem item;
    int32_t result = 0;  // of command 3 or 4
    HardwareAddress address{};
    std::vector<HostMessage> messages;  // the refusal, when refused

    bool accepted() const { return result == ZUR_RESULT_OK; }
};

// The elements that a read of the gate moves: its block size, or 1.
inline int32_t elementCount(const DefinedGate& gate) { return gate.item.blockSize.value_or(1); }

struct Transfer {
    int32_t result = 0;  // of the read or write command
    std::vector<HostMessage> messages;

    bool done() const { return result == ZUR_RESULT_OK; }
};

class DriverSession {
public:
    // Installs the message sink.
    explicit DriverSession(DriverLibrary& library);
    ~DriverSession();  // stops the driver when it was started; removes the sink
    DriverSession(const DriverSession&) = delete;
    DriverSession& operator=(const DriverSession&) = delete;

    // Receives each message as it comes, besides keeping it (null: kept only).
    std::function<void(const HostMessage&)> echo;
    // Where the driver's console lines go during its requests.
    ConsoleLines consoleLines = ConsoleLines::keep;

    DriverInfo describe();                  // command 14
    int32_t start();                        // command 1
    void stop();                            // command 11, when started
    bool started() const { return started_; }
    int32_t numberBase() const { return context_.numberBase; }
    void setNumberBase(int32_t base) { context_.numberBase = base; }
    // The context's card slots that hold a card.
    int configuredCards() const;
    // Their card numbers, 1 to 4, in order.
    std::vector<int32_t> configuredCardNumbers() const;

    DefinedGate define(const GateItem& item);  // command 3, or 4 for a block
    // Reads `count` elements (command 5 when count is 1 and the gate no block, else 6).
    Transfer read(const DefinedGate& gate, int32_t count, ValueBuffer& buffer);
    // Writes one value (command 7) or `count` elements of a block (command 10).
    Transfer write(const DefinedGate& gate, int32_t count, ValueBuffer& buffer);

    // Messages that arrived since the last request began.
    const std::vector<HostMessage>& lastMessages() const { return messages_; }
    // The messages of the last start (command 1): the cards as they started.
    const std::vector<HostMessage>& startMessages() const { return startMessages_; }

    // Called by the host library's sink.
    void deliver(int32_t level, const char* text);

private:
    int32_t call(int32_t command, void* record);

    ZurMainFunction zurMain_;
    // The host's context block lives as long as the process: the card records that the driver
    // hangs on it are the driver's for the life of the process.
    DriverContext& context_;
    bool started_ = false;
    std::vector<HostMessage> messages_;
    std::vector<HostMessage> startMessages_;
};

}  // namespace zurtool
