// Loading the driver as a host does: the library by name, its one export ZurMain. This is the one
// place of the tool that knows the operating system (dlopen on Linux, LoadLibraryA on Windows), so
// the few other things that differ between the two live here as well: sleeping, and whether
// standard output is a terminal that understands cursor movement.
#pragma once

#include <cstdint>
#include <string>

#include "zurpm/records.h"

namespace zurtool {

class DriverLibrary {
public:
    // An explicit path when one is given; otherwise the library beside the zurpm executable, then
    // wherever the system loader finds it. Throws an unavailable ToolError that says where it
    // looked.
    explicit DriverLibrary(const std::string& explicitPath = {});
    ~DriverLibrary();
    DriverLibrary(const DriverLibrary&) = delete;
    DriverLibrary& operator=(const DriverLibrary&) = delete;

    ZurMainFunction zurMain() const { return zurMain_; }
    // The file the loader took.
    const std::string& loadedFrom() const { return loadedFrom_; }
    // The loader's handle: the HMODULE on Windows, dlopen's on Linux.
    void* handle() const { return handle_; }

private:
    void* handle_ = nullptr;
    ZurMainFunction zurMain_ = nullptr;
    std::string loadedFrom_;
};

// "libzurpm.so" or "zurpm.dll".
const char* driverLibraryName();

// Where the driver looks for the XPORTIO device, for the message after a failed start.
std::string deviceLocationHint();

void sleepMilliseconds(uint32_t ms);
// The computer's name, as the network knows it; empty when the system does not say.
std::string hostName();

// Where the driver's console lines (the listing of active devices after "Device %d not found on
// network") go while a diversion lives: to standard error, so that standard output carries values
// alone, or nowhere, when the tool shows the same facts itself. What the driver printed is flushed
// before standard output comes back.
enum class ConsoleLines { keep, toStandardError, discard };
class ConsoleDiversion {
public:
    explicit ConsoleDiversion(ConsoleLines where);
    ~ConsoleDiversion();
    ConsoleDiversion(const ConsoleDiversion&) = delete;
    ConsoleDiversion& operator=(const ConsoleDiversion&) = delete;

private:
    int saved_ = -1;
};
// True when standard output is a terminal; on Windows it is also switched to understand the
// escape sequences that redraw a table in place.
bool prepareTerminalOutput();

}  // namespace zurtool
