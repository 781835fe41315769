// An emulated plant as the place where the driver runs (open_session.h): a temporary directory
// that holds the plant's zurPM.int and a private XPORTIO socket, served in this process by the
// emulator's device server; the directory is entered and XPORTIO_SOCKET names the socket while the
// session lives; the plant's process, when it has one, is stepped on a thread of its own. After
// the driver has stopped, everything is taken down and removed, and the current directory and
// XPORTIO_SOCKET are as they were. Built where the device server is (a Unix socket: Linux).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "open_session.h"
#include "pcimemu/emulator.h"
#include "pcimemu/plant_file.h"

namespace zurtool {

struct PlantToEmulate {
    const pcimemu::PlantFile& plant;
    std::string configurationText;  // the plant's zurPM.int
    // Steps the plant's process every 100 ms under the plant's lock, with the time since the
    // start; none: the plant holds its values.
    std::function<void(pcimemu::Plant&, uint64_t elapsedMs)> process;
    std::string purpose = "plant";  // in the directory's name and in messages: "demo"
};

class EmulatedPlant : public SessionPlace {
public:
    // Throws an unavailable ToolError when the directory, the zurPM.int or the socket cannot be
    // made.
    explicit EmulatedPlant(const PlantToEmulate& plant);
    ~EmulatedPlant() override;

    std::filesystem::path socket() const;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace zurtool
