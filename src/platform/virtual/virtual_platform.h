// The virtual platform, for tests: a virtual millisecond clock, the host's messages and the console
// captured in memory, and the XPORTIO device served in process by whatever backend the test
// installs (the card emulator). Sleeping advances the clock one millisecond at a time and lets the
// device act at each one, so a whole start-up handshake runs in microseconds, deterministically.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zurpm::virt {

// What the device sees: implemented by the emulator's XPORTIO adapter.
class DeviceBackend {
public:
    virtual ~DeviceBackend() = default;
    virtual bool open() = 0;  // false: the device cannot be opened (already open, or absent)
    virtual void close() = 0;
    virtual bool control(uint32_t code, const void* in, uint32_t inLength, void* out,
                         uint32_t outLength, uint32_t* bytesReturned) = 0;
    // Called once for every millisecond of virtual time, with the new tick count.
    virtual void advance(uint32_t nowMs) = 0;
};

// Installs the device (null: there is no device, opening fails). Not owned.
void installDevice(DeviceBackend* device);

// The clock. setTickCount starts it anywhere, just below 2^32 included.
void setTickCount(uint32_t ms);
uint32_t tickCount();
// Advances the clock as a sleep of the driver does.
void advance(uint32_t ms);

struct HostMessage {
    int32_t level;
    std::string format;  // the format as the driver passed it
    std::string text;    // formatted
};
const std::vector<HostMessage>& messages();
std::string consoleText();

// Every device request the driver sent, in order.
struct DeviceRequest {
    uint32_t code;
    std::vector<uint8_t> input;
    uint32_t outputLength;
    bool accepted;
    uint32_t atMs;
};
const std::vector<DeviceRequest>& deviceRequests();
int deviceOpenCount();
int deviceCloseCount();

// Refuses the n-th device control request from now (1 the next one): only that one, or that one
// and every later one. The driver sees a refusal as the device's; deviceRequests() records it.
void refuseDeviceRequest(uint32_t n, bool fromThenOn = false);

// The zurPM.int the driver finds (nullopt: there is none). The text is served as a file opened in
// text mode on Linux would be, in the same pieces.
void setConfigurationFile(std::optional<std::string> text);
int openConfigurationFiles();  // opened and not yet closed

// Back to a fresh state: clock at 0, nothing captured, no device installed, no refusals, no
// zurPM.int.
void reset();

}  // namespace zurpm::virt
