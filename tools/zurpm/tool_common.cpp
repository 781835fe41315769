// Shared steps of the subcommands.
#include "tool_common.h"

#include <cstdio>
#include <iostream>

#include "driver_library.h"
#include "gate_file.h"
#include "int_file.h"
#include "json_lines.h"
#include "regions.h"
#include "tool_error.h"

namespace zurtool {

std::vector<GateItem> collectGates(const std::vector<std::string>& items, const std::string& gateFile) {
    std::vector<GateItem> gates;
    for (const std::string& text : items) {
        try {
            gates.push_back(parseGateItem(text));
        } catch (const ToolError& error) {
            throw ToolError(error.status(), "gate " + text + ": " + error.what());
        }
    }
    if (!gateFile.empty()) {
        std::vector<GateItem> fromFile = readGateFile(gateFile);
        gates.insert(gates.end(), fromFile.begin(), fromFile.end());
    }
    if (gates.empty()) throw badInput("no gates given: name them as ADDRESS[:TYPE[:BLOCK]] or with --gates FILE");
    return gates;
}

int32_t numberBaseBeforeStart(std::string& origin) {
    if (const auto base = configuredNumberBase()) {
        origin = std::string("the BASE= line of ") + configurationFileName;
        return *base;
    }
    origin = std::string("the driver's default, no BASE= line in ") + configurationFileName;
    return driverDefaultNumberBase;
}

std::string describeDefinition(const DefinedGate& gate) {
    if (!gate.accepted()) {
        std::string text = "refused";
        if (!gate.messages.empty()) text += " " + showMessages(gate.messages);
        return text;
    }
    const HardwareAddress& a = gate.address;
    char text[256];
    std::snprintf(text, sizeof text, "station %d, memory %d (%s), offset %d, bit %d, width %d",
                  static_cast<int>(a.station), static_cast<int>(a.memoryType), memoryName(a.memoryType),
                  static_cast<int>(a.offset), static_cast<int>(a.bit), static_cast<int>(a.width));
    return text;
}

bool defineGates(DriverSession& session, const std::vector<GateItem>& items,
                 std::vector<DefinedGate>& defined) {
    bool allAccepted = true;
    defined.clear();
    for (const GateItem& item : items) {
        DefinedGate gate = session.define(item);
        if (!gate.accepted()) {
            allAccepted = false;
            std::cout << item.name << "  " << item.text() << "  " << describeDefinition(gate) << "\n";
        }
        defined.push_back(std::move(gate));
    }
    std::cout.flush();
    return allAccepted;
}

bool checkBeforeStart(DriverSession& session, const std::vector<GateItem>& items) {
    std::string origin;
    session.setNumberBase(numberBaseBeforeStart(origin));
    auto echo = std::move(session.echo);
    session.echo = nullptr;
    std::vector<DefinedGate> defined;
    const bool accepted = defineGates(session, items, defined);
    session.echo = std::move(echo);
    return accepted;
}

void startDriver(DriverSession& session) {
    if (session.start() == ZUR_RESULT_OK) return;
    throw unavailable("the driver could not open the XPORTIO device; " + deviceLocationHint());
}

void echoMessagesToStandardError(DriverSession& session) {
    session.echo = [](const HostMessage& message) {
        std::cerr << showMessage(message) << "\n";
        std::cerr.flush();
    };
}

int32_t elementCount(const DefinedGate& gate) { return gate.item.blockSize.value_or(1); }

OutputFormat chooseOutputFormat(const std::string& format, bool csv) {
    struct Named {
        const char* name;
        OutputFormat format;
    };
    static constexpr Named formats[] = {{"table", OutputFormat::table},
                                        {"lines", OutputFormat::lines},
                                        {"csv", OutputFormat::csv},
                                        {"jsonl", OutputFormat::jsonl}};
    if (format.empty()) {
        if (csv) return OutputFormat::csv;
        return prepareTerminalOutput() ? OutputFormat::table : OutputFormat::lines;
    }
    for (const Named& entry : formats) {
        if (format != entry.name) continue;
        if (csv && entry.format != OutputFormat::csv)
            throw badInput("--csv and --format " + format + " contradict each other");
        if (entry.format == OutputFormat::table) prepareTerminalOutput();
        return entry.format;
    }
    throw badInput("--format " + format + " is none of table, lines, csv, jsonl");
}

void printClosingSummary(const LinkStatistics& statistics, OutputFormat format) {
    if (format == OutputFormat::jsonl) {
        writeSummary(std::cout, statistics);
        std::cout.flush();
        return;
    }
    std::ostream& out = format == OutputFormat::table ? std::cout : std::cerr;
    for (const auto& [station, counts] : statistics.stations()) out << "\n" << stationSummary(station, counts);
    out.flush();
}

}  // namespace zurtool
