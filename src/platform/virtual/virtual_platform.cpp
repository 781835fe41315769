// The virtual platform: see virtual_platform.h.
#include "platform/virtual/virtual_platform.h"

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

namespace zurpm::virt {

namespace {

struct State {
    DeviceBackend* device = nullptr;
    bool open = false;
    uint32_t now = 0;
    std::vector<HostMessage> messages;
    std::string console;
    std::vector<DeviceRequest> requests;
    int opens = 0;
    int closes = 0;
    uint32_t refuseAt = 0;  // count of requests at which the refusal begins; 0 none
    bool refuseFromThenOn = false;
    std::optional<std::string> configuration;
    int openFiles = 0;
};

// An open zurPM.int: the text and how far it has been read.
struct OpenFile {
    std::string text;
    size_t at = 0;
};

State& state() {
    static State instance;
    return instance;
}

std::string format(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(length));
    return text;
}

void captureErr(int32_t level, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    state().messages.push_back({level, fmt, format(fmt, args)});
    va_end(args);
}

// The one device handle this platform hands out.
constexpr intptr_t virtualHandle = 7;

}  // namespace

void installDevice(DeviceBackend* device) {
    state().device = device;
    state().open = false;
}

void setTickCount(uint32_t ms) { state().now = ms; }
uint32_t tickCount() { return state().now; }

void advance(uint32_t ms) {
    State& s = state();
    for (uint32_t i = 0; i < ms; ++i) {
        ++s.now;
        if (s.device != nullptr) s.device->advance(s.now);
    }
}

const std::vector<HostMessage>& messages() { return state().messages; }
std::string consoleText() { return state().console; }
const std::vector<DeviceRequest>& deviceRequests() { return state().requests; }
int deviceOpenCount() { return state().opens; }
int deviceCloseCount() { return state().closes; }

void refuseDeviceRequest(uint32_t n, bool fromThenOn) {
    State& s = state();
    s.refuseAt = n == 0 ? 0 : static_cast<uint32_t>(s.requests.size()) + n;
    s.refuseFromThenOn = fromThenOn;
}

void setConfigurationFile(std::optional<std::string> text) { state().configuration = std::move(text); }
int openConfigurationFiles() { return state().openFiles; }

void reset() { state() = State{}; }

}  // namespace zurpm::virt

namespace zurpm::platform {

using namespace zurpm::virt;

void sleepMs(uint32_t ms) { virt::advance(ms); }
uint32_t tickCountMs() { return virt::tickCount(); }

intptr_t deviceOpen() {
    State& s = state();
    ++s.opens;
    if (s.device == nullptr || s.open || !s.device->open()) return -1;
    s.open = true;
    return virtualHandle;
}

bool deviceControl(intptr_t device, uint32_t code, const void* in, uint32_t inLength, void* out,
                   uint32_t outLength, uint32_t* bytesReturned) {
    State& s = state();
    DeviceRequest request{code, {}, outLength, false, s.now};
    if (in != nullptr && inLength > 0) {
        const auto* bytes = static_cast<const uint8_t*>(in);
        request.input.assign(bytes, bytes + inLength);
    }
    const uint32_t number = static_cast<uint32_t>(s.requests.size()) + 1;
    const bool refused = s.refuseAt != 0 && (number == s.refuseAt || (s.refuseFromThenOn && number > s.refuseAt));
    if (device == virtualHandle && s.open && s.device != nullptr && !refused)
        request.accepted = s.device->control(code, in, inLength, out, outLength, bytesReturned);
    s.requests.push_back(std::move(request));
    return s.requests.back().accepted;
}

void deviceClose(intptr_t device) {
    State& s = state();
    ++s.closes;
    if (device != virtualHandle || !s.open) return;
    s.open = false;
    if (s.device != nullptr) s.device->close();
}

TextFile fileOpen(const char* name) {
    State& s = state();
    if (!s.configuration || std::string(name) != "zurPM.int") return nullptr;
    ++s.openFiles;
    return new OpenFile{*s.configuration};
}

bool fileReadPiece(TextFile file, char* piece, int size) {
    auto* open = static_cast<OpenFile*>(file);
    if (size < 1 || open->at >= open->text.size()) return false;
    int length = 0;
    while (length < size - 1 && open->at < open->text.size()) {
        const char c = open->text[open->at++];
        piece[length++] = c;
        if (c == '\n') break;
    }
    piece[length] = '\0';
    return true;
}

void fileClose(TextFile file) {
    --state().openFiles;
    delete static_cast<OpenFile*>(file);
}

HostErrFunction hostErr() { return captureErr; }

void consolePrint(const char* fmt, va_list args) { state().console += format(fmt, args); }

}  // namespace zurpm::platform
