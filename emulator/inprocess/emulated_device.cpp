// An emulated plant behind zurpm.dll's own device calls: see pcimemu/emulated_device.h.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "pcimemu/emulated_device.h"

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "pcimemu/card_map.h"
#include "pcimemu/import_table.h"

namespace pcimemu {

namespace {

constexpr const char* systemDll = "kernel32.dll";

using CreateFileFunction = HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
using DeviceIoControlFunction = BOOL(WINAPI*)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
using CloseHandleFunction = BOOL(WINAPI*)(HANDLE);

// Windows' own functions, as the driver's table held them; they stay valid after a detach, for a
// call that was already on its way.
CreateFileFunction systemCreateFile = nullptr;
DeviceIoControlFunction systemDeviceIoControl = nullptr;
CloseHandleFunction systemCloseHandle = nullptr;

// \\.\XPORTIO, its letters in any case.
bool namesTheDevice(const char* path) {
    const char* device = "\\\\.\\xportio";
    for (; *device != '\0'; ++path, ++device) {
        const char c = *path >= 'A' && *path <= 'Z' ? static_cast<char>(*path - 'A' + 'a') : *path;
        if (c != *device) return false;
    }
    return *path == '\0';
}

bool isControlCode(DWORD code) {
    return code == cardmap::xportioMapMemory || code == cardmap::xportioUnmapMemory ||
           code == cardmap::xportioReadPort || code == cardmap::xportioWritePort;
}

class Attachment;

// The attached device; the lock is held by every redirected call that serves it and by the detach.
std::mutex attachLock;
Attachment* attached = nullptr;

class Attachment : public EmulatedDevice {
public:
    Attachment(PlantSpec plant, HMODULE pinned) : device_(std::move(plant)), pinned_(pinned) {}

    ~Attachment() override {
        {
            std::lock_guard<std::mutex> hold(attachLock);
            win32::restoreImports(imports_);
            if (handle_ != nullptr) {
                device_.close();
                retired_.push_back(handle_);
                handle_ = nullptr;
            }
            for (HANDLE handle : retired_) CloseHandle(handle);
            if (attached == this) attached = nullptr;
        }
        FreeLibrary(pinned_);
    }

    InProcessDevice& device() override { return device_; }
    DeviceCalls calls() const override {
        std::lock_guard<std::mutex> hold(attachLock);
        return calls_;
    }

    std::vector<win32::ImportRedirection>& imports() { return imports_; }

    bool owns(HANDLE handle) const { return handle != nullptr && handle == handle_; }
    bool retired(HANDLE handle) const {
        return std::find(retired_.begin(), retired_.end(), handle) != retired_.end();
    }

    HANDLE open(DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD attributes,
                HANDLE templateFile) {
        calls_.access = access;
        calls_.shareMode = share;
        calls_.disposition = disposition;
        calls_.attributes = attributes;
        calls_.securityGiven = security != nullptr;
        calls_.templateGiven = templateFile != nullptr;
        const bool installed = !device_.withPlant([](Plant& plant) { return plant.xportioFaults().cannotOpen; });
        if (!installed || handle_ != nullptr || !device_.open()) {
            ++calls_.refusedOpens;
            SetLastError(installed ? ERROR_SHARING_VIOLATION : ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        // A handle of this process that nothing else can be given while the device (or its memory
        // of a closed handle) holds it: an event that is never signalled.
        HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (handle == nullptr) {
            device_.close();
            ++calls_.refusedOpens;
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return INVALID_HANDLE_VALUE;
        }
        handle_ = handle;
        ++calls_.opens;
        SetLastError(ERROR_SUCCESS);
        return handle;
    }

    BOOL control(DWORD code, LPVOID in, DWORD inLength, LPVOID out, DWORD outLength, LPDWORD returned,
                 LPOVERLAPPED overlapped) {
        ++calls_.requests;
        if (overlapped != nullptr) ++calls_.overlappedRequests;
        DWORD error = ERROR_SUCCESS;
        uint32_t count = 0;
        if (returned == nullptr && overlapped == nullptr)
            error = ERROR_INVALID_PARAMETER;  // a synchronous request must be told where its count goes
        else if ((in == nullptr && inLength != 0) || (out == nullptr && outLength != 0))
            error = ERROR_NOACCESS;
        else if (!device_.control(code, in, inLength, out, outLength, count))
            error = isControlCode(code) ? ERROR_GEN_FAILURE : ERROR_INVALID_FUNCTION;
        if (returned != nullptr) *returned = count;
        if (error != ERROR_SUCCESS) {
            ++calls_.refusedRequests;
            SetLastError(error);
            return FALSE;
        }
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }

    BOOL close() {
        device_.close();
        retired_.push_back(handle_);
        handle_ = nullptr;
        ++calls_.closes;
        return TRUE;
    }

    BOOL stale() {
        ++calls_.staleUses;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }

private:
    InProcessDevice device_;
    HMODULE pinned_;
    std::vector<win32::ImportRedirection> imports_;
    HANDLE handle_ = nullptr;       // the open device
    std::vector<HANDLE> retired_;   // handles of the device closed since the attach
    DeviceCalls calls_;
};

HANDLE WINAPI emulatedCreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD attributes, HANDLE templateFile) {
    {
        std::lock_guard<std::mutex> hold(attachLock);
        if (attached != nullptr && path != nullptr && namesTheDevice(path))
            return attached->open(access, share, security, disposition, attributes, templateFile);
    }
    return systemCreateFile(path, access, share, security, disposition, attributes, templateFile);
}

BOOL WINAPI emulatedDeviceIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inLength, LPVOID out,
                                    DWORD outLength, LPDWORD returned, LPOVERLAPPED overlapped) {
    {
        std::lock_guard<std::mutex> hold(attachLock);
        if (attached != nullptr && attached->owns(handle))
            return attached->control(code, in, inLength, out, outLength, returned, overlapped);
        if (attached != nullptr && attached->retired(handle)) return attached->stale();
    }
    return systemDeviceIoControl(handle, code, in, inLength, out, outLength, returned, overlapped);
}

BOOL WINAPI emulatedCloseHandle(HANDLE handle) {
    {
        std::lock_guard<std::mutex> hold(attachLock);
        if (attached != nullptr && attached->owns(handle)) return attached->close();
        if (attached != nullptr && attached->retired(handle)) return attached->stale();
    }
    return systemCloseHandle(handle);
}

std::string moduleName(HMODULE module) {
    char name[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(module, name, sizeof name);
    return length > 0 ? std::string(name, length) : std::string("the driver");
}

}  // namespace

std::unique_ptr<EmulatedDevice> attachEmulatedDevice(HINSTANCE__* driver, PlantSpec plant, std::string& error,
                                                     AttachFailure* failure) {
    const auto fail = [&](AttachFailure kind, std::string text) {
        error = std::move(text);
        if (failure != nullptr) *failure = kind;
        return nullptr;
    };
    if (failure != nullptr) *failure = AttachFailure::none;
    {
        std::lock_guard<std::mutex> hold(attachLock);
        if (attached != nullptr) return fail(AttachFailure::attachedAlready, "an emulated device is attached already");
    }
    // Held while attached: the table must not go away under the device.
    HMODULE pinned = nullptr;
    if (driver == nullptr ||
        !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(driver), &pinned) ||
        pinned != driver) {
        if (pinned != nullptr) FreeLibrary(pinned);
        return fail(AttachFailure::notADriver, "no loaded driver was given");
    }
    const std::string name = moduleName(driver);

    std::unique_ptr<Attachment> attachment;
    try {
        attachment = std::make_unique<Attachment>(std::move(plant), pinned);
    } catch (const std::exception& refused) {
        FreeLibrary(pinned);
        return fail(AttachFailure::plantRefused, std::string("the plant cannot be emulated: ") + refused.what());
    }

    std::vector<win32::ImportRedirection>& imports = attachment->imports();
    imports = {{"CreateFileA", reinterpret_cast<void*>(&emulatedCreateFileA), {}, {}},
               {"DeviceIoControl", reinterpret_cast<void*>(&emulatedDeviceIoControl), {}, {}},
               {"CloseHandle", reinterpret_cast<void*>(&emulatedCloseHandle), {}, {}}};
    std::string reason;
    win32::Redirected outcome = win32::Redirected::notAModule;
    {
        std::lock_guard<std::mutex> hold(attachLock);
        if (attached != nullptr) return fail(AttachFailure::attachedAlready, "an emulated device is attached already");
        outcome = win32::redirectImports(driver, systemDll, imports, reason);
        if (outcome == win32::Redirected::done) {
            systemCreateFile = reinterpret_cast<CreateFileFunction>(imports[0].originals.front());
            systemDeviceIoControl = reinterpret_cast<DeviceIoControlFunction>(imports[1].originals.front());
            systemCloseHandle = reinterpret_cast<CloseHandleFunction>(imports[2].originals.front());
            attached = attachment.get();
        }
    }
    if (outcome == win32::Redirected::unchangeable)
        return fail(AttachFailure::tableUnchangeable, "cannot emulate the device behind " + name + ": " + reason);
    if (outcome != win32::Redirected::done)
        return fail(AttachFailure::notADriver, name + " is not a zurpm driver: " + reason);
    return attachment;
}

}  // namespace pcimemu
