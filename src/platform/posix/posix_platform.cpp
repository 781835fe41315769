// The posix platform: real sleeps, the monotonic clock, and the host library liborvant.so.
#include <dlfcn.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace zurpm::platform {

void sleepMs(uint32_t ms) {
    timespec wait{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

uint32_t tickCountMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

TextFile fileOpen(const char* name) { return std::fopen(name, "r"); }

bool fileReadPiece(TextFile file, char* piece, int size) {
    return std::fgets(piece, size, static_cast<std::FILE*>(file)) != nullptr;
}

void fileClose(TextFile file) { std::fclose(static_cast<std::FILE*>(file)); }

namespace {

// Without a host library the operator still sees every message.
void errToStandardError(int32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "[%d] ", static_cast<int>(level));
    std::vfprintf(stderr, format, args);
    // One line a message: some of the driver's texts bring their own line end.
    const size_t length = std::strlen(format);
    if (length == 0 || format[length - 1] != '\n') std::fputc('\n', stderr);
    std::fflush(stderr);
    va_end(args);
}

}  // namespace

HostErrFunction hostErr() {
    // The host's own copy of its library when it has loaded one, else the first on the loader's
    // search path. err is looked up on that library only: the process-wide symbol err is libc's
    // err(3), which ends the process.
    static HostErrFunction found = [] {
        void* library = dlopen("liborvant.so", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) return static_cast<HostErrFunction>(errToStandardError);
        void* symbol = dlsym(library, "err");
        if (symbol == nullptr) return static_cast<HostErrFunction>(errToStandardError);
        return reinterpret_cast<HostErrFunction>(symbol);
    }();
    return found;
}

void consolePrint(const char* format, va_list args) {
    std::vprintf(format, args);
    std::fflush(stdout);
}

}  // namespace zurpm::platform
