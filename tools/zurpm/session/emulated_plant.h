// An emulated plant as the place where the driver runs (open_session.h), for --emulate and the
// demo: a temporary directory that holds the plant's zurPM.int, entered while the session lives,
// and the plant's XPORTIO device served in this process by the emulator. On Linux the device is a
// private socket in that directory (XPORTIO_SOCKET names it, pcimemu/device_server.h); on Windows
// it stands behind the loaded zurpm.dll's own imports of CreateFileA, DeviceIoControl and
// CloseHandle (pcimemu/emulated_device.h), the DLL unchanged. The plant's process, when it has
// one, is stepped on a thread of its own. After the driver has stopped, everything is taken down
// and removed (on Windows the imports put back, before the DLL is unloaded), and the current
// directory and XPORTIO_SOCKET are as they were.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "driver_library.h"
#include "open_session.h"
#include "pcimemu/emulator.h"
#include "pcimemu/plant_file.h"

namespace zurtool {

struct PlantToEmulate {
    pcimemu::PlantFile plant;
    std::string configurationText;  // the plant's zurPM.int
    std::string configurationFrom;  // for a message: "zurPM.int of this directory" or made
    // Steps the plant's process every 100 ms under the plant's lock, with the time since the
    // start; none: the plant holds its values.
    std::function<void(pcimemu::Plant&, uint64_t elapsedMs)> process;
    std::string purpose = "plant";  // in the directory's name and in messages: "demo"
    bool trace = false;             // each datagram and global-data change on standard error
};

// --emulate PATH: the plant file, read now, and the zurPM.int of the current directory as it is
// when there is one, else the one made for the plant (configurationForPlant). Throws a bad-input
// ToolError when the file cannot be read or is wrong ("FILE:LINE: what is wrong").
PlantToEmulate plantToEmulate(const std::string& path, bool trace);

// The zurPM.int that starts the driver on every card of plant: one card line each, with the
// card's segment and port, in the plant's order; the number base is the driver's default, 10.
std::string configurationForPlant(const pcimemu::PlantSpec& plant);

class EmulatedPlant : public SessionPlace {
public:
    // Throws an unavailable ToolError when the directory, the zurPM.int or the device cannot be
    // made (on Windows: a driver that is not a zurpm driver, or whose import table cannot be
    // changed), and a bad-input one when the emulator does not accept the plant.
    EmulatedPlant(const PlantToEmulate& plant, const DriverLibrary& driver);
    ~EmulatedPlant() override;

    // Where the device is served, for a message: the socket, or the device inside the tool.
    std::string where() const;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace zurtool
