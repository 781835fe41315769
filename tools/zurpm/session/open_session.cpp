// Opening the driver for a subcommand.
#include "open_session.h"

#include <algorithm>
#include <iostream>

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
    : library(request.driverPath), place(request.place ? request.place() : nullptr), session(library) {
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
        throw unavailable("the driver could not open the XPORTIO device; " + deviceLocationHint());
    numberBase.value = session.numberBase();
    gates = defineAll(session, request.gates);
}

bool OpenSession::allAccepted() const {
    return std::all_of(gates.begin(), gates.end(), [](const DefinedGate& gate) { return gate.accepted(); });
}

std::unique_ptr<OpenSession> openSession(const SessionRequest& request) {
    return std::make_unique<OpenSession>(request);
}

void echoMessagesToStandardError(DriverSession& session) {
    session.echo = [](const HostMessage& message) {
        std::cerr << showMessage(message) << "\n";
        std::cerr.flush();
    };
}

}  // namespace zurtool
