// The XPORTIO device of an emulated plant served inside the process that loads the driver: the
// plant's cards advanced by a clock thread in real time, their windows in this process's own memory,
// and each control request answered as pcimsim's device server answers it (DeviceRequests). A
// granted map is answered with the window's address in the process, pointer-sized, as the kernel
// driver answers it; an unmap names a window by that address. The device is open for one client
// at a time.
//
// This is the device behind zurpm.dll's own CreateFileA, DeviceIoControl and CloseHandle when a
// Windows host tool emulates a plant (pcimemu/emulated_device.h); the class itself knows nothing
// of Windows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "pcimemu/device_requests.h"
#include "pcimemu/emulator.h"

namespace pcimemu {

class PlantClock;
class InProcessWindows;

class InProcessDevice {
public:
    // Builds the plant (what Plant throws for a plant it does not accept) and starts its clock.
    explicit InProcessDevice(PlantSpec setup);
    ~InProcessDevice();  // the clock stops
    InProcessDevice(const InProcessDevice&) = delete;
    InProcessDevice& operator=(const InProcessDevice&) = delete;

    // False: the device is held already, or the plant's device cannot be opened.
    bool open();
    // The client is done: the windows it did not unmap are released toward the plant.
    void close();

    // One request as DeviceIoControl carries it: inLength bytes in, room for outLength bytes out.
    // Accepted: true, the answer in out and its length in returned. Refused: false, returned 0.
    bool control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                 uint32_t& returned);

    // Runs action with the plant under the plant's lock.
    template <typename Action>
    auto withPlant(Action&& action) {
        std::lock_guard<std::mutex> hold(plantLock_);
        return action(*plant_);
    }

    // Called after each request, outside the plant's lock. Set it before the driver starts.
    void onRequest(std::function<void(const ServedRequest&)> observer) { requests_->onRequest(std::move(observer)); }

private:
    std::unique_ptr<Plant> plant_;
    std::mutex plantLock_;
    std::unique_ptr<InProcessWindows> passing_;
    std::unique_ptr<DeviceRequests> requests_;
    std::unique_ptr<PlantClock> clock_;
};

}  // namespace pcimemu
