// Opening the driver for a subcommand.
#include "open_session.h"

#include <algorithm>
#include <iostream>

#include "emulated_plant.h"
#include "poller.h"
#include "tool_error.h"

namespace zurtool {

namespace {

std::vector<DefinedGate> defineAll(DriverSession& session, const std::vector<GateItem>& items) {
    std::vector<DefinedGate> defined;
    for (const GateItem& item : items) defined.push_back(session.define(item));
    return defined;
}

}  // namespace

OpenSession::OpenSession(const SessionRequest& request)
    : library(request.driverPath), place(request.place ? request.place(library) : nullptr), session(library) {
    numberBase = request.numberBase ? numberBaseFromOption(*request.numberBase) : numberBaseBeforeStart();
    session.setNumberBase(numberBase.value);
    if (request.start && !request.gates.empty()) {
        gates = defineAll(session, request.gates);
        if (!allAccepted()) return;
    }
    if (request.echoMessages) echoMessagesToStandardError(session);
    session.consoleLines = request.consoleLines;
    if (!request.start) return;
    if (session.start() != ZUR_RESULT_OK)
        throw unavailable("the driver could not open the XPORTIO device; " +
                          (place ? std::string("the emulated plant's device did not open (its [xportio] faults?)")
                                 : deviceLocationHint()));
    numberBase.value = session.numberBase();
    gates = defineAll(session, request.gates);
}

bool OpenSession::allAccepted() const {
    return std::all_of(gates.begin(), gates.end(), [](const DefinedGate& gate) { return gate.accepted(); });
}

std::unique_ptr<OpenSession> openSession(const SessionRequest& request) {
    if (request.emulatedPlantFile.empty()) return std::make_unique<OpenSession>(request);
    // The plant file and this directory's zurPM.int are read before the place moves elsewhere.
    auto plant = std::make_shared<const PlantToEmulate>(plantToEmulate(request.emulatedPlantFile, request.tracePlant));
    // Ctrl-C or SIGTERM must not end the process before the plant's temporary folder is removed:
    // the subcommand finishes what it started, stops the driver and takes the plant down.
    catchStopSignals();
    SessionRequest emulated = request;
    emulated.place = [plant, file = request.emulatedPlantFile](const DriverLibrary& driver) {
        auto place = std::make_unique<EmulatedPlant>(*plant, driver);
        std::cerr << "zurpm: " << file << " emulated " << place->where() << ", with "
                  << plant->configurationFrom << "\n";
        return place;
    };
    return std::make_unique<OpenSession>(emulated);
}

void echoMessagesToStandardError(DriverSession& session) {
    session.echo = [](const HostMessage& message) {
        std::cerr << showMessage(message) << "\n";
        std::cerr.flush();
    };
}

}  // namespace zurtool
