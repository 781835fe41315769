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
// True when standard output is a terminal; on Windows it is also switched to understand the
// escape sequences that redraw a table in place.
bool prepareTerminalOutput();

}  // namespace zurtool
