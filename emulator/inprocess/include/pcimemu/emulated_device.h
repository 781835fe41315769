// An emulated plant behind a loaded zurpm.dll on Windows: the DLL's own imports of CreateFileA,
// DeviceIoControl and CloseHandle (its import address table, in this process only; the file is not
// changed) are pointed at functions that serve \\.\XPORTIO (in any case, as Windows compares
// device names) from an InProcessDevice, and hand every other path and handle to Windows' own
// functions. Every byte the DLL sends crosses its real calls; nothing in it knows.
//
//     std::string error;
//     auto emulated = pcimemu::attachEmulatedDevice(LoadLibraryA("zurpm.dll"), plant, error);
//     if (!emulated) ... error says why (a DLL that is not a zurpm driver, a table that cannot
//                        be changed, a plant not accepted, a device attached already)
//     ... ZurMain as usual ...
//     emulated.reset();  // before the DLL is unloaded: the imports are put back
//
// One device is attached in a process at a time, as one XPORTIO device is installed. Windows only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pcimemu/emulator.h"
#include "pcimemu/inprocess_device.h"

struct HINSTANCE__;  // HMODULE

namespace pcimemu {

// What the driver did with the device through its redirected calls.
struct DeviceCalls {
    uint32_t opens = 0;          // CreateFileA of the device that gave a handle
    uint32_t refusedOpens = 0;   // ... that did not (held, or the plant's device cannot open)
    uint32_t closes = 0;         // CloseHandle of the open device
    uint32_t requests = 0;       // DeviceIoControl on the open device
    uint32_t refusedRequests = 0;
    uint32_t staleUses = 0;      // CloseHandle or DeviceIoControl of a device handle already closed
    uint32_t overlappedRequests = 0;  // DeviceIoControl given an OVERLAPPED
    // The arguments of the last CreateFileA of the device.
    uint32_t access = 0, shareMode = 0, disposition = 0, attributes = 0;
    bool securityGiven = false, templateGiven = false;
};

class EmulatedDevice {
public:
    virtual ~EmulatedDevice() = default;  // the imports put back, the device closed, the clock stopped
    virtual InProcessDevice& device() = 0;
    virtual DeviceCalls calls() const = 0;
};

// Why an attach failed: a driver refused (no zurpm driver, or its table cannot be changed), a
// plant not accepted, or a device attached already.
enum class AttachFailure { none, notADriver, tableUnchangeable, plantRefused, attachedAlready };

// Puts a device serving plant behind driver's imports and starts the plant's clock. Null, with the
// reason in error, when another device is attached in this process, when driver does not import
// all three functions from kernel32.dll (it is then no zurpm driver: error says so and names the
// file), when its import table cannot be changed, or when the plant is not accepted. The driver
// stays loaded while the device is attached.
std::unique_ptr<EmulatedDevice> attachEmulatedDevice(HINSTANCE__* driver, PlantSpec plant, std::string& error,
                                                     AttachFailure* failure = nullptr);

}  // namespace pcimemu
