// The operating system's library loader, for DriverLibrary.
#include "driver_library.h"

#include <cstdio>
#include <filesystem>

#include "tool_error.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#endif

namespace zurtool {

namespace {

#if defined(_WIN32)

constexpr const char* libraryName = "zurpm.dll";

std::string executableDirectory() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::filesystem::path(path).parent_path().string();
}

void* openLibrary(const std::string& path, std::string& failure) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) failure = "Windows error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(module);
}

void* findExport(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

std::string fileOfLibrary(void* handle, const std::string& fallback) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(static_cast<HMODULE>(handle), path, MAX_PATH);
    return (length == 0 || length >= MAX_PATH) ? fallback : std::string(path);
}

void closeLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }

const char* searchPathWords = "the Windows DLL search path";

#else

constexpr const char* libraryName = "libzurpm.so";

std::string executableDirectory() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.parent_path().string();
}

void* openLibrary(const std::string& path, std::string& failure) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* text = dlerror();
        failure = text != nullptr ? text : "unknown loader error";
    }
    return handle;
}

void* findExport(void* handle, const char* name) { return dlsym(handle, name); }

std::string fileOfLibrary(void* handle, const std::string& fallback) {
    void* symbol = dlsym(handle, "ZurMain");
    Dl_info info{};
    if (symbol != nullptr && dladdr(symbol, &info) != 0 && info.dli_fname != nullptr) {
        std::error_code error;
        const auto absolute = std::filesystem::absolute(info.dli_fname, error);
        return error ? std::string(info.dli_fname) : absolute.string();
    }
    return fallback;
}

void closeLibrary(void* handle) { dlclose(handle); }

const char* searchPathWords = "the loader's search path (LD_LIBRARY_PATH, ld.so.cache, /usr/lib)";

#endif

}  // namespace

const char* driverLibraryName() { return libraryName; }

DriverLibrary::DriverLibrary(const std::string& explicitPath) {
    std::string failure;
    std::string looked;
    if (!explicitPath.empty()) {
        handle_ = openLibrary(explicitPath, failure);
        looked = explicitPath;
        if (handle_ == nullptr)
            throw unavailable("cannot load the driver library " + explicitPath + ": " + failure);
    } else {
        const std::string directory = executableDirectory();
        if (!directory.empty()) {
            const std::filesystem::path beside = std::filesystem::path(directory) / libraryName;
            looked = beside.string();
            std::error_code error;
            if (std::filesystem::exists(beside, error)) handle_ = openLibrary(beside.string(), failure);
        }
        if (handle_ == nullptr) {
            std::string searchFailure;
            handle_ = openLibrary(libraryName, searchFailure);
            if (handle_ == nullptr) {
                std::string text = std::string("cannot load the driver library ") + libraryName +
                                   ": looked beside zurpm (" + (looked.empty() ? "?" : looked) + ")";
                if (!failure.empty()) text += ", which failed: " + failure;
                text += ", and in " + std::string(searchPathWords) + ": " + searchFailure;
                throw unavailable(text);
            }
        }
    }
    zurMain_ = reinterpret_cast<ZurMainFunction>(findExport(handle_, "ZurMain"));
    loadedFrom_ = fileOfLibrary(handle_, looked.empty() ? libraryName : looked);
    if (zurMain_ == nullptr) {
        closeLibrary(handle_);
        handle_ = nullptr;
        throw unavailable("the library " + loadedFrom_ + " does not export ZurMain");
    }
}

DriverLibrary::~DriverLibrary() {
    if (handle_ != nullptr) closeLibrary(handle_);
}

std::string deviceLocationHint() {
#if defined(_WIN32)
    return "the driver opens \\\\.\\XPORTIO: is the XPORTIO kernel driver installed and started?";
#else
    const char* socket = std::getenv("XPORTIO_SOCKET");
    if (socket != nullptr && *socket != '\0')
        return std::string("the driver connects to the XPORTIO device at ") + socket +
               " (XPORTIO_SOCKET): is pcimsim serving it, and is no other program using it?";
    std::error_code error;
    const auto here = std::filesystem::current_path(error);
    return "the driver connects to the XPORTIO device at " +
           (error ? std::string("./XPORTIO") : (here / "XPORTIO").string()) +
           " (set XPORTIO_SOCKET for another place): is pcimsim serving it, and is no other program using it?";
#endif
}

void sleepMilliseconds(uint32_t ms) {
#if defined(_WIN32)
    Sleep(ms);
#else
    timespec wait{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
#endif
}

std::string hostName() {
#if defined(_WIN32)
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    return GetComputerNameA(name, &length) ? std::string(name, length) : std::string();
#else
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
#endif
}

ConsoleDiversion::ConsoleDiversion(ConsoleLines where) {
    if (where == ConsoleLines::keep) return;
    std::fflush(stdout);
#if defined(_WIN32)
    const int target = where == ConsoleLines::discard ? _open("NUL", _O_WRONLY) : _dup(_fileno(stderr));
    if (target < 0) return;
    saved_ = _dup(_fileno(stdout));
    if (saved_ >= 0) _dup2(target, _fileno(stdout));
    _close(target);
#else
    const int target = where == ConsoleLines::discard ? open("/dev/null", O_WRONLY) : dup(STDERR_FILENO);
    if (target < 0) return;
    saved_ = dup(STDOUT_FILENO);
    if (saved_ >= 0) dup2(target, STDOUT_FILENO);
    close(target);
#endif
}

ConsoleDiversion::~ConsoleDiversion() {
    if (saved_ < 0) return;
    std::fflush(stdout);
#if defined(_WIN32)
    _dup2(saved_, _fileno(stdout));
    _close(saved_);
#else
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
#endif
}

bool prepareTerminalOutput() {
#if defined(_WIN32)
    if (!_isatty(_fileno(stdout))) return false;
    HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (console != INVALID_HANDLE_VALUE && GetConsoleMode(console, &mode))
        SetConsoleMode(console, mode | 0x0004 /* ENABLE_VIRTUAL_TERMINAL_PROCESSING */);
    SetConsoleOutputCP(65001);  // the banner and the table are UTF-8
    return true;
#else
    return isatty(STDOUT_FILENO) == 1;
#endif
}

}  // namespace zurtool
