// The one way a subcommand opens the driver: load the library, set up the place where the driver
// runs, install the message sink, check the gates offline with the base the driver will take from
// zurPM.int (so that a refused gate costs no card start), start (command 1) and define the gates.
// Every subcommand that talks to the driver asks here; the options that change where and how
// the driver runs belong in SessionRequest.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver_library.h"
#include "driver_session.h"
#include "gate_item.h"
#include "number_base.h"

namespace zurtool {

// Where the driver runs when not in the current directory against the device there: an emulated
// plant (emulated_plant.h), for --emulate and the demo. Set up after the library is loaded (a
// relative --driver path still names the file the engineer meant; on Windows the plant stands
// behind the loaded DLL's imports) and before the first request, taken down after the driver has
// stopped and before the library is unloaded.
class SessionPlace {
public:
    virtual ~SessionPlace() = default;
};

struct SessionRequest {
    std::string driverPath;  // --driver; empty: beside zurpm, then the loader's search path
    // Checked offline before the start, defined after it.
    std::vector<GateItem> gates;
    bool start = true;  // command 1; false: gates are defined without any card (check, info)
    std::optional<int32_t> numberBase;  // --base, for definitions without a start
    bool echoMessages = true;           // each driver message on standard error as it comes
    ConsoleLines consoleLines = ConsoleLines::toStandardError;
    // --emulate: the plant file to run against instead of the device (read before the library is
    // loaded: a file with a mistake is bad input), and --trace: its datagrams on standard error.
    std::string emulatedPlantFile;
    bool tracePlant = false;
    // The place, when there is one (the demo's plant); --emulate sets it from the plant file.
    std::function<std::unique_ptr<SessionPlace>(const DriverLibrary&)> place;
};

// The driver as a subcommand holds it. Members are taken down in reverse: the driver stops before
// its place goes, and the library is unloaded last.
class OpenSession {
public:
    // Throws an unavailable ToolError when the library cannot be loaded, its place cannot be set
    // up, or the start could not open the XPORTIO device (it says where the driver looked); a
    // bad-input one for a plant file with a mistake.
    explicit OpenSession(const SessionRequest& request);

    DriverLibrary library;
    std::unique_ptr<SessionPlace> place;
    DriverSession session;
    // In force for the gates: --base, zurPM.int's, or the default; after a start, the driver's.
    NumberBase numberBase;
    // The request's gates as the driver defined them: after the start, or in the offline check
    // when it refused some (nothing was started then).
    std::vector<DefinedGate> gates;

    bool allAccepted() const;
};

std::unique_ptr<OpenSession> openSession(const SessionRequest& request);

// Messages to standard error, each with its level, as they arrive.
void echoMessagesToStandardError(DriverSession& session);

}  // namespace zurtool
