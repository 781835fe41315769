// The seam between the driver and the world. Everything the driver needs from an operating system,
// from the host library and from the XPORTIO device comes through these few functions; the rest of
// the driver includes no system header. Three implementations exist: win32 (the plant), posix
// (Linux, the device served over a Unix socket) and virtual (tests: a virtual clock and an
// in-process card emulator).
#pragma once

#include <cstdarg>
#include <cstdint>

namespace zurpm::platform {

// Millisecond sleep and the 32-bit millisecond tick count, which wraps like GetTickCount.
void sleepMs(uint32_t ms);
uint32_t tickCountMs();

// The XPORTIO device. deviceOpen answers -1 when the device cannot be opened. deviceControl sends
// one device control request and answers true when the device accepted it; the bytes of input and
// output are laid out by the caller and only carried here.
intptr_t deviceOpen();
bool deviceControl(intptr_t device, uint32_t code, const void* in, uint32_t inLength, void* out,
                   uint32_t outLength, uint32_t* bytesReturned);
void deviceClose(intptr_t device);

// A text file of the current directory (zurPM.int), opened for reading in text mode. fileOpen
// answers null when it cannot be opened. fileReadPiece reads as fgets does: at most size - 1
// characters, up to and with a line end, then a NUL; false at the end of the file.
using TextFile = void*;
TextFile fileOpen(const char* name);
bool fileReadPiece(TextFile file, char* piece, int size);
void fileClose(TextFile file);

// The host library's message function, err(level, format, ...). Returned as the function itself so
// that the driver hands the host its own format and values, exactly as a printf-style call.
using HostErrFunction = void (*)(int32_t level, const char* format, ...);
HostErrFunction hostErr();

// The process console (standard output).
void consolePrint(const char* format, va_list args);

}  // namespace zurpm::platform
