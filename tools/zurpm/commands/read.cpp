// zurpm read: start the driver in the current directory, define, read in as few requests as the
// gates allow, stop.
#include <iostream>

#include "commands.h"
#include "definitions.h"
#include "elements.h"
#include "gate_file.h"
#include "link_stats.h"
#include "open_session.h"
#include "output_format.h"
#include "read_plan.h"
#include "tool_error.h"

namespace zurtool {

int runRead(const CommonOptions& common, const ReadOptions& options) {
    const OutputFormat format = chooseOutputFormat(options.format, options.csv);
    std::vector<GateItem> items = collectGates(options.gates, {});
    if (options.count) {
        if (*options.count < 1 || *options.count > largestBlock)
            throw badInput("--count " + std::to_string(*options.count) + " is outside 1 to " +
                           std::to_string(largestBlock));
        // N elements from a gate on: the gate as a block of N, which the driver judges.
        for (GateItem& item : items)
            item = makeGateItem(item.name, item.address, kindName(item.kind), std::to_string(*options.count));
    }

    SessionRequest request;
    request.driverPath = common.driverPath;
    request.emulatedPlantFile = options.emulate.plantFile;
    request.tracePlant = options.emulate.trace;
    request.gates = items;
    const auto open = openSession(request);
    if (!open->allAccepted()) return showRefusals(open->gates, open->numberBase, format);
    DriverSession& session = open->session;
    const std::vector<DefinedGate>& gates = open->gates;

    printElementHeader(format);
    LinkStatistics statistics;
    statistics.setGates(gates);
    ReadPlan plan(session, gates, !options.noGroup);
    const std::vector<GateReading> readings = plan.readAll(session, &statistics);
    int status = exitDone;
    for (size_t g = 0; g < gates.size(); ++g) {
        const DefinedGate& gate = gates[g];
        const GateReading& reading = readings[g];
        const int32_t count = elementCount(gate);
        if (!reading.transfer.done()) {
            status = exitRefused;
            // A failed block is one line in words, one object per element for programs.
            const int32_t shown = forPrograms(format) ? count : 1;
            for (int32_t i = 0; i < shown; ++i) {
                const std::string address =
                    count > 1 && shown == 1 ? gate.item.address : addressOfElement(gate, session.numberBase(), i);
                printElement(ElementOut{gate, i, address, std::nullopt, reading.transfer}, format, false);
            }
            continue;
        }
        const std::vector<GateValue> values = takeValues(reading.buffer, gate.item.kind, count);
        for (int32_t i = 0; i < count; ++i)
            printElement(ElementOut{gate, i, addressOfElement(gate, session.numberBase(), i),
                                    values[static_cast<size_t>(i)], reading.transfer},
                         format, false);
    }
    std::cout.flush();
    if (format != OutputFormat::lines && format != OutputFormat::csv) printClosingSummary(statistics, format);
    session.stop();
    return status;
}

}  // namespace zurtool
