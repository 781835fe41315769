// The XPORTIO device of an emulated plant, served over a Unix stream socket, with the plant's clock
// running against the wall clock. This is what pcimsim runs; tests start it in process.
//
// The wire, as the driver's posix client speaks it:
//   greeting        u32: 1 the device is now open for this client, 0 another client holds it (the
//                   connection is then closed); the device is open once at a time
//   request         u32 code, u32 inputLength, u32 outputLength, then inputLength input bytes
//   reply           u32 status (1 accepted, 0 refused), u32 length (at most outputLength), then
//                   length output bytes
// all little-endian, answered in order, one at a time. A granted map (0xD0532000) is answered with
// length 0 and the card's window memory attached as a descriptor (SCM_RIGHTS), whose first bytes
// are the window; the client maps it itself. Unmap (0xD0532004) carries the client's own address,
// which means nothing here: the server releases the client's windows toward the plant oldest
// first, which is the order in which a driver maps and unmaps its cards. When the client goes, its
// remaining windows are released toward the plant and the device is closed; the next client is
// then accepted.
//
// The requests are decoded and answered by DeviceRequests (pcimemu/device_requests.h), as the
// device served inside a Windows host answers them; this server carries them over the socket.
//
// Two threads call the plant, the server's and the clock's (which advances it once for every
// millisecond of the monotonic clock); both take the one lock that withPlant() also takes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pcimemu/device_requests.h"
#include "pcimemu/emulator.h"

namespace pcimemu {

class WindowMemory;
class PlantClock;
class SocketWindows;

// What happened to the device's client, for a trace.
enum class ClientEvent { opened, refused, closed };

class DeviceServer {
public:
    // Builds the plant with its windows in shared memory. Throws std::system_error when shared
    // memory cannot be had, and what Plant throws for a plant it does not accept.
    explicit DeviceServer(PlantSpec setup);
    ~DeviceServer();  // stops
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;

    // Listens at path and starts serving and the clock. A stale socket file there (nobody listening)
    // is removed first; a live server's socket and any other kind of file are left alone. False,
    // with the reason in error, when it cannot listen.
    bool start(const std::string& path, std::string& error);
    // Stops serving and the clock, drops the client and removes the socket file. Idempotent.
    void stop();
    bool running() const { return running_; }
    const std::string& path() const { return path_; }

    // Runs action with the plant under the plant's lock.
    template <typename Action>
    auto withPlant(Action&& action) {
        std::lock_guard<std::mutex> hold(plantLock_);
        return action(*plant_);
    }

    // Observers, called on the server thread outside the plant's lock. Set them before start().
    void onRequest(std::function<void(const ServedRequest&)> observer) { requests_->onRequest(std::move(observer)); }
    void onClient(std::function<void(ClientEvent)> observer) { clientObserver_ = std::move(observer); }

    // How many clients have been given the device so far (tests wait on it).
    uint32_t clientsServed() const { return clientsServed_; }

private:
    void serve();
    void acceptClient();
    void dropClient();
    int readFromClient();
    int answer(uint32_t code, std::vector<uint8_t> input, uint32_t outputLength);

    std::unique_ptr<WindowMemory> windows_;
    std::unique_ptr<Plant> plant_;
    std::mutex plantLock_;
    std::unique_ptr<PlantClock> clock_;
    std::unique_ptr<SocketWindows> passing_;
    std::unique_ptr<DeviceRequests> requests_;

    std::string path_;
    int listener_ = -1;
    int wakePipe_[2] = {-1, -1};
    uint64_t socketInode_ = 0;
    uint64_t socketDeviceId_ = 0;
    std::thread server_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};

    int client_ = -1;
    std::vector<uint8_t> pending_;             // request bytes received and not yet answered
    std::atomic<uint32_t> clientsServed_{0};

    std::function<void(ClientEvent)> clientObserver_;
};

}  // namespace pcimemu
