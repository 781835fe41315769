// The XPORTIO device's answers to its control requests: see pcimemu/device_requests.h.
#include "pcimemu/device_requests.h"

#include "pcimemu/card_map.h"
#include "zurpm/little_endian.h"

namespace pcimemu {

bool DeviceRequests::open() {
    std::lock_guard<std::mutex> hold(plantLock_);
    if (!plant_.openDevice()) return false;
    granted_.clear();
    return true;
}

void DeviceRequests::close() {
    // The client's own mappings are its business; the plant's record of them ends here.
    std::lock_guard<std::mutex> hold(plantLock_);
    for (const Plant::Mapping& mapping : granted_) plant_.unmap(reinterpret_cast<uintptr_t>(mapping.address));
    granted_.clear();
    plant_.closeDevice();
}

void DeviceRequests::map(ServedRequest& served) {
    if (served.input.size() != cardmap::mapRequestSize) return;
    const uint8_t* request = served.input.data();
    const uint32_t interfaceType = zurpm::getLittle32(request + cardmap::mapRequestInterfaceType);
    const uint32_t busNumber = zurpm::getLittle32(request + cardmap::mapRequestBusNumber);
    const uint64_t physicalAddress = zurpm::getLittle64(request + cardmap::mapRequestPhysicalAddress);
    const uint32_t addressSpace = zurpm::getLittle32(request + cardmap::mapRequestAddressSpace);
    const uint32_t length = zurpm::getLittle32(request + cardmap::mapRequestLength);
    std::lock_guard<std::mutex> hold(plantLock_);
    const std::optional<Plant::Mapping> mapping =
        plant_.map(physicalAddress, length, interfaceType, busNumber, addressSpace);
    if (!mapping) return;
    if (!windows_.handOver(*mapping, served)) {
        // Not a window this client can be given: refuse rather than give it wrong memory.
        plant_.unmap(reinterpret_cast<uintptr_t>(mapping->address));
        served.output.clear();
        served.windowSent = false;
        return;
    }
    granted_.push_back(*mapping);
    served.accepted = true;
}

void DeviceRequests::unmap(ServedRequest& served) {
    const std::optional<size_t> window = windows_.named(served.input, granted_);
    if (!window || *window >= granted_.size()) return;
    std::lock_guard<std::mutex> hold(plantLock_);
    if (!plant_.unmap(reinterpret_cast<uintptr_t>(granted_[*window].address))) return;
    granted_.erase(granted_.begin() + static_cast<std::ptrdiff_t>(*window));
    served.accepted = true;
}

ServedRequest DeviceRequests::answer(uint32_t code, std::vector<uint8_t> input, uint32_t outputLength) {
    ServedRequest served;
    served.code = code;
    served.input = std::move(input);
    served.outputLength = outputLength;
    const std::vector<uint8_t>& in = served.input;

    switch (code) {
    case cardmap::xportioMapMemory:
        map(served);
        break;
    case cardmap::xportioUnmapMemory:
        unmap(served);
        break;
    case cardmap::xportioReadPort:
        if (in.size() == cardmap::portReadRequestSize && outputLength >= cardmap::portReadReplySize) {
            std::optional<uint16_t> value;
            {
                std::lock_guard<std::mutex> hold(plantLock_);
                value = plant_.readPort(zurpm::getLittle16(in.data()));
            }
            if (value) {
                served.accepted = true;
                served.output.resize(cardmap::portReadReplySize);
                zurpm::putLittle16(served.output.data(), *value);
            }
        }
        break;
    case cardmap::xportioWritePort:
        if (in.size() == cardmap::portWriteRequestSize) {
            std::lock_guard<std::mutex> hold(plantLock_);
            served.accepted = plant_.writePort(zurpm::getLittle16(in.data()), zurpm::getLittle16(in.data() + 2));
        }
        break;
    default:
        break;  // not a request of this device: refused
    }
    if (observer_) observer_(served);
    return served;
}

}  // namespace pcimemu
