// The driver's thin layer over the XPORTIO device. The request records are laid out here, byte for
// byte; the platform only carries them.
#include "hw/port_device.h"

#include <cstring>

#include "host/messages.h"
#include "platform/platform.h"

namespace zurpm {

intptr_t deviceHandle = -1;
uint32_t bytesReturned = 0;

namespace {

bool sendRequest(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength) {
    return platform::deviceControl(deviceHandle, code, in, inLength, out, outLength, &bytesReturned);
}

// The address of a mapping, as the device reports it and takes it back: pointer-sized.
void sendUnmap(const uint8_t (&address)[sizeof(void*)]) {
    uint8_t in[sizeof(void*)];
    std::memcpy(in, address, sizeof in);
    sendRequest(XPORTIO_UNMAP_MEMORY, in, sizeof in, nullptr, 0);
}

}  // namespace

int openPortDevice() {
    deviceHandle = platform::deviceOpen();
    return deviceHandle != -1 ? 1 : 0;
}

void closePortDevice() {
    if (deviceHandle == -1) return;
    platform::deviceClose(deviceHandle);
    deviceHandle = -1;
}

volatile uint8_t* mapPhysicalMemory(uint16_t segment, uint16_t length) {
    if (deviceHandle == -1) return nullptr;
    uint8_t request[mapMemoryRequestSize] = {};
    putLittle32(request + mapRequestInterfaceType, isaInterfaceType);
    putLittle32(request + mapRequestBusNumber, 0);
    putLittle32(request + mapRequestPhysicalAddress, static_cast<uint32_t>(segment) << 4);
    putLittle32(request + mapRequestPhysicalAddress + 4, 0);
    putLittle32(request + mapRequestAddressSpace, 0);
    putLittle32(request + mapRequestLength, length);

    uint8_t address[sizeof(void*)] = {};
    if (!sendRequest(XPORTIO_MAP_MEMORY, request, sizeof request, address, sizeof address)) {
        // The device may hold a half-made mapping: hand back whatever address it left.
        sendUnmap(address);
        return nullptr;
    }
    volatile uint8_t* window;
    std::memcpy(&window, address, sizeof window);
    return window;
}

void unmapPhysicalMemory(volatile uint8_t* window) {
    if (deviceHandle == -1) return;
    uint8_t address[sizeof(void*)];
    std::memcpy(address, &window, sizeof address);
    sendUnmap(address);
}

uint16_t readPort(uint16_t port) {
    if (deviceHandle == -1) return 0;
    uint8_t in[2];
    uint8_t out[2] = {};
    putLittle16(in, port);
    if (!sendRequest(XPORTIO_READ_PORT, in, sizeof in, out, sizeof out)) {
        consolePrint("XPORTIO error: IOctl(rport) returned %d\n", 1);
        return 0;
    }
    return getLittle16(out);
}

int writePort(uint16_t port, uint16_t value) {
    if (deviceHandle == -1) return 1;
    uint8_t request[portWriteRequestSize];
    putLittle16(request, port);
    putLittle16(request + 2, value);
    return sendRequest(XPORTIO_WRITE_PORT, request, sizeof request, nullptr, 0) ? 0 : 1;
}

}  // namespace zurpm
