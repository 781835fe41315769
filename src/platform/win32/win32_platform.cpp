// The Windows platform of zurpm.dll: the XPORTIO device through CreateFileA, DeviceIoControl and
// CloseHandle, Sleep and GetTickCount, a 1 ms system timer (winmm) while the device is held, the host
// library's err imported from ORVANT.dll, and the process console through the C runtime.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>

#include "platform/platform.h"

// The host library's message function. ORVANT.dll comes with the host; the driver only imports it.
extern "C" __declspec(dllimport) void __cdecl err(int32_t level, const char* format, ...);

namespace zurpm::platform {

namespace {

constexpr const char* portDevicePath = "\\\\.\\XPORTIO";

HANDLE asHandle(intptr_t device) { return reinterpret_cast<HANDLE>(device); }

// Sleep(1) lasts until the system timer next ticks: every 15.6 ms by default. Before Windows 10
// version 2004 the timer ran at whatever any process had asked for; since then a process gets only
// what it asks for itself. The card transport polls with 1 ms sleeps, so the driver asks for a 1 ms
// timer exactly while it holds the device (from command 1 to command 11), and gives back only a
// request that was granted.
constexpr UINT timerPeriodMs = 1;
bool timerPeriodHeld = false;

void holdTimerPeriod() {
    if (!timerPeriodHeld) timerPeriodHeld = timeBeginPeriod(timerPeriodMs) == TIMERR_NOERROR;
}

void releaseTimerPeriod() {
    if (timerPeriodHeld) timeEndPeriod(timerPeriodMs);
    timerPeriodHeld = false;
}

}  // namespace

void sleepMs(uint32_t ms) { Sleep(ms); }

uint32_t tickCountMs() { return GetTickCount(); }

intptr_t deviceOpen() {
    HANDLE device = CreateFileA(portDevicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    // INVALID_HANDLE_VALUE is -1, the closed value of the driver's handle.
    if (device == INVALID_HANDLE_VALUE) return -1;
    holdTimerPeriod();
    return reinterpret_cast<intptr_t>(device);
}

bool deviceControl(intptr_t device, uint32_t code, const void* in, uint32_t inLength, void* out,
                   uint32_t outLength, uint32_t* bytesReturned) {
    // Synchronous: the device was opened without FILE_FLAG_OVERLAPPED and no OVERLAPPED is given,
    // so the request has completed when DeviceIoControl returns.
    DWORD returned = 0;
    const BOOL accepted = DeviceIoControl(asHandle(device), code, const_cast<void*>(in), inLength, out,
                                          outLength, &returned, nullptr);
    if (bytesReturned != nullptr) *bytesReturned = returned;
    return accepted != FALSE;
}

void deviceClose(intptr_t device) {
    CloseHandle(asHandle(device));
    releaseTimerPeriod();
}

// "r" is text mode: a line end of "\r\n" reaches the reader as "\n".
TextFile fileOpen(const char* name) { return std::fopen(name, "r"); }

bool fileReadPiece(TextFile file, char* piece, int size) {
    return std::fgets(piece, size, static_cast<std::FILE*>(file)) != nullptr;
}

void fileClose(TextFile file) { std::fclose(static_cast<std::FILE*>(file)); }

HostErrFunction hostErr() { return err; }

void consolePrint(const char* format, va_list args) {
    std::vprintf(format, args);
    std::fflush(stdout);
}

}  // namespace zurpm::platform
