// The XPORTIO device's side of its four control requests, whatever carries them: the records of a
// request decoded, the plant acted on, the reply made. pcimsim's socket server and the device
// served inside a Windows host process both answer through this one class; only how a granted
// window reaches the client (a descriptor over a socket, an address in the same process) and which
// window an unmap names are theirs (WindowPassing).
//
//   map    (0xD0532000)  in the 24-byte map request; granted: the card's window is handed over
//   unmap  (0xD0532004)  in an address; the window it names is released toward the plant
//   read   (0xD0532008)  in the port (2 bytes); out its value (2 bytes), when the output holds 2
//   write  (0xD053200C)  in the port and the value (2 bytes each)
//
// Any other code, a record of the wrong size, and whatever the plant refuses are refused. The
// client's windows are kept oldest first, the order in which a driver maps and unmaps its cards;
// when the client goes (close()), those left are released toward the plant and the device closes.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "pcimemu/emulator.h"

namespace pcimemu {

// One request as the device answered it, for a trace.
struct ServedRequest {
    uint32_t code = 0;
    std::vector<uint8_t> input;
    uint32_t outputLength = 0;
    bool accepted = false;
    std::vector<uint8_t> output;
    bool windowSent = false;  // a granted map: the window was handed over (descriptor or address)
};

// How windows cross between the device and its client.
class WindowPassing {
public:
    virtual ~WindowPassing() = default;
    // Hands a granted window to the client: fills served.output and sets served.windowSent.
    // False when it cannot (the map is then refused and the window released toward the plant).
    // Called under the plant's lock.
    virtual bool handOver(const Plant::Mapping& window, ServedRequest& served) = 0;
    // Which of the client's windows (oldest first) an unmap request's input names; nullopt: none.
    virtual std::optional<size_t> named(const std::vector<uint8_t>& input,
                                        const std::vector<Plant::Mapping>& granted) = 0;
};

class DeviceRequests {
public:
    // Acts on plant under plantLock, which whoever else calls the plant (its clock) also takes.
    DeviceRequests(Plant& plant, std::mutex& plantLock, WindowPassing& windows)
        : plant_(plant), plantLock_(plantLock), windows_(windows) {}
    DeviceRequests(const DeviceRequests&) = delete;
    DeviceRequests& operator=(const DeviceRequests&) = delete;

    // The device for a new client. False: another client holds it, or it cannot be opened.
    bool open();
    // The client is gone: its windows are released toward the plant and the device closes.
    void close();
    // Answers one request of the open device's client, and tells the observer.
    ServedRequest answer(uint32_t code, std::vector<uint8_t> input, uint32_t outputLength);

    // Called after each request is answered, outside the plant's lock. Set it before requests come.
    void onRequest(std::function<void(const ServedRequest&)> observer) { observer_ = std::move(observer); }

private:
    void map(ServedRequest& served);
    void unmap(ServedRequest& served);

    Plant& plant_;
    std::mutex& plantLock_;
    WindowPassing& windows_;
    std::vector<Plant::Mapping> granted_;  // the client's windows, oldest first
    std::function<void(const ServedRequest&)> observer_;
};

}  // namespace pcimemu
