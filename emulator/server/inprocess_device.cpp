// The XPORTIO device served in the driver's own process: see pcimemu/inprocess_device.h.
#include "pcimemu/inprocess_device.h"

#include <cstring>

#include "plant_clock.h"

namespace pcimemu {

// In one process a window is handed over as its address, pointer-sized as the client's pointers
// are, and an unmap names the window by that address.
class InProcessWindows : public WindowPassing {
public:
    bool handOver(const Plant::Mapping& window, ServedRequest& served) override {
        if (served.outputLength < sizeof window.address) return false;
        served.output.resize(sizeof window.address);
        std::memcpy(served.output.data(), &window.address, sizeof window.address);
        served.windowSent = true;
        return true;
    }

    std::optional<size_t> named(const std::vector<uint8_t>& input,
                                const std::vector<Plant::Mapping>& granted) override {
        uint8_t* address = nullptr;
        if (input.size() != sizeof address) return std::nullopt;
        std::memcpy(&address, input.data(), sizeof address);
        for (size_t i = 0; i < granted.size(); ++i)
            if (granted[i].address == address) return i;
        return std::nullopt;
    }
};

InProcessDevice::InProcessDevice(PlantSpec setup)
    : plant_(std::make_unique<Plant>(std::move(setup))),  // windows on the heap: plain process memory
      passing_(std::make_unique<InProcessWindows>()),
      requests_(std::make_unique<DeviceRequests>(*plant_, plantLock_, *passing_)),
      clock_(std::make_unique<PlantClock>(*plant_, plantLock_)) {
    clock_->start();
}

InProcessDevice::~InProcessDevice() { clock_->stop(); }

bool InProcessDevice::open() { return requests_->open(); }

void InProcessDevice::close() { requests_->close(); }

bool InProcessDevice::control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                              uint32_t& returned) {
    returned = 0;
    const auto* bytes = static_cast<const uint8_t*>(in);
    std::vector<uint8_t> input;
    if (bytes != nullptr) input.assign(bytes, bytes + inLength);
    const ServedRequest served = requests_->answer(code, std::move(input), outLength);
    if (!served.accepted || served.output.size() > outLength || (out == nullptr && !served.output.empty()))
        return false;
    if (!served.output.empty()) std::memcpy(out, served.output.data(), served.output.size());
    returned = static_cast<uint32_t>(served.output.size());
    return true;
}

}  // namespace pcimemu
