// Requests to ZurMain, built from the host's records, and the host library's message sink.
#include "driver_session.h"

#include <iterator>

#include "orvant.h"

namespace zurtool {

namespace {

DriverContext& processContext() {
    static DriverContext context{};
    return context;
}

void ORVANT_CDECL messageSink(int32_t level, const char* text, void* user) {
    static_cast<DriverSession*>(user)->deliver(level, text);
}

}  // namespace

std::string showMessage(const HostMessage& message) {
    return "[" + std::to_string(message.level) + "] " + message.text;
}

std::string showMessages(const std::vector<HostMessage>& messages) {
    std::string text;
    for (const HostMessage& message : messages) {
        if (!text.empty()) text += " ";
        text += showMessage(message);
    }
    return text;
}

DriverSession::DriverSession(DriverLibrary& library) : zurMain_(library.zurMain()), context_(processContext()) {
    orvantSetSink(messageSink, this);
}

DriverSession::~DriverSession() {
    stop();
    orvantSetSink(nullptr, nullptr);
}

void DriverSession::deliver(int32_t level, const char* text) {
    HostMessage message{level, text != nullptr ? text : ""};
    if (echo) echo(message);
    messages_.push_back(std::move(message));
}

int32_t DriverSession::call(int32_t command, void* record) {
    messages_.clear();
    const ConsoleDiversion diversion(consoleLines);
    ZurRequest request{};
    request.context = &context_;
    request.command = command;
    request.gate = record;
    return zurMain_(&request);
}

DriverInfo DriverSession::describe() {
    DriverInfo info{};
    call(ZUR_CMD_DESCRIBE, &info);
    return info;
}

int32_t DriverSession::start() {
    const int32_t result = call(ZUR_CMD_START, nullptr);
    startMessages_ = messages_;
    // A start that could not open the device has opened nothing that a stop would close.
    started_ = result == ZUR_RESULT_OK;
    return result;
}

void DriverSession::stop() {
    if (!started_) return;
    call(ZUR_CMD_STOP, nullptr);
    started_ = false;
}

int DriverSession::configuredCards() const {
    int count = 0;
    for (CardConfig* card : context_.cards)
        if (card != nullptr) ++count;
    return count;
}

std::vector<int32_t> DriverSession::configuredCardNumbers() const {
    std::vector<int32_t> numbers;
    for (size_t slot = 0; slot < std::size(context_.cards); ++slot)
        if (context_.cards[slot] != nullptr) numbers.push_back(static_cast<int32_t>(slot) + 1);
    return numbers;
}

DefinedGate DriverSession::define(const GateItem& item) {
    DefinedGate gate;
    gate.item = item;
    GateDefinition definition{};
    definition.addressString = item.address.c_str();
    definition.valueType = static_cast<int32_t>(item.kind);
    definition.blockSize = item.blockSize.value_or(1);
    definition.hardwareAddress = HardwareAddress{0, 0, 0, -1, 0};
    gate.result = call(item.isBlock() ? ZUR_CMD_DEFINE_BLOCK_GATE : ZUR_CMD_DEFINE_GATE, &definition);
    gate.address = definition.hardwareAddress;
    gate.messages = messages_;
    return gate;
}

Transfer DriverSession::read(const DefinedGate& gate, int32_t count, ValueBuffer& buffer) {
    GateAccess access{};
    access.hardwareAddress = gate.address;
    access.count = count;
    access.data = buffer.data();
    const bool single = count == 1 && !gate.item.isBlock();
    Transfer transfer;
    transfer.result = call(single ? ZUR_CMD_READ_SINGLE : ZUR_CMD_READ, &access);
    transfer.messages = messages_;
    return transfer;
}

Transfer DriverSession::write(const DefinedGate& gate, int32_t count, ValueBuffer& buffer) {
    GateAccess access{};
    access.hardwareAddress = gate.address;
    access.count = count;
    access.data = buffer.data();
    Transfer transfer;
    transfer.result = call(gate.item.isBlock() ? ZUR_CMD_WRITE : ZUR_CMD_WRITE_SINGLE, &access);
    transfer.messages = messages_;
    return transfer;
}

}  // namespace zurtool
