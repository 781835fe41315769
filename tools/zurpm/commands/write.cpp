// zurpm write: start the driver in the current directory, define a gate, write one value or the
// elements of a block, stop.
#include <chrono>
#include <iostream>

#include "commands.h"
#include "definitions.h"
#include "elements.h"
#include "gate_file.h"
#include "link_stats.h"
#include "open_session.h"
#include "output_format.h"
#include "regions.h"
#include "tool_error.h"

namespace zurtool {

namespace {

// Genius I/O block data leaves the card at its next bus scan, not when the driver writes it into
// the card's table; a stop right away resets the card first. A Genius bus scan takes at most about
// 400 ms, so the tool waits this long after a write of block data before it stops the driver.
constexpr uint32_t blockDataSettleMs = 500;

}  // namespace

int runWrite(const CommonOptions& common, const WriteOptions& options) {
    const OutputFormat format = chooseOutputFormat(options.format, options.csv);
    const std::vector<GateItem> items = collectGates({options.gate}, {});
    const GateItem& item = items.front();
    if (options.values.empty()) throw badInput("no value given for " + item.address);
    if (!item.isBlock() && options.values.size() != 1)
        throw badInput("gate " + item.address + " takes one value; write a block as ADDRESS:TYPE:N to give " +
                       std::to_string(options.values.size()));
    if (item.isBlock() && options.values.size() > static_cast<size_t>(*item.blockSize))
        throw badInput(std::to_string(options.values.size()) + " values do not fit the block of " +
                       std::to_string(*item.blockSize) + " at " + item.address);
    std::vector<GateValue> values;
    for (const std::string& text : options.values) values.push_back(parseValue(item.kind, text));

    SessionRequest request;
    request.driverPath = common.driverPath;
    request.emulatedPlantFile = options.emulate.plantFile;
    request.tracePlant = options.emulate.trace;
    request.gates = items;
    const auto open = openSession(request);
    if (!open->allAccepted()) return showRefusals(open->gates, open->numberBase, format);
    DriverSession& session = open->session;
    const DefinedGate& gate = open->gates.front();
    LinkStatistics statistics;
    statistics.setGates(open->gates);

    ValueBuffer buffer = emptyValueBuffer();
    putValues(buffer, values);
    const auto begin = std::chrono::steady_clock::now();
    const Transfer transfer = session.write(gate, static_cast<int32_t>(values.size()), buffer);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    statistics.recordGate(0, transfer.done(), transfer.messages, ms);
    statistics.recordStation(gate.address.station, transfer.done(), transfer.messages, ms);
    printElementHeader(format);
    if (transfer.done() && isGeniusBlockData(gate.address.memoryType)) sleepMilliseconds(blockDataSettleMs);
    for (size_t i = 0; i < values.size(); ++i) {
        const auto index = static_cast<int32_t>(i);
        // A failed write is one line in words, one record per element for programs.
        if (!transfer.done() && !forPrograms(format) && i > 0) break;
        const std::string address = !transfer.done() && !forPrograms(format)
                                        ? item.address
                                        : addressOfElement(gate, session.numberBase(), index);
        printElement(ElementOut{gate, index, address, values[i], transfer}, format, true);
    }
    std::cout.flush();
    if (format != OutputFormat::lines && format != OutputFormat::csv) printClosingSummary(statistics, format);
    session.stop();
    return transfer.done() ? exitDone : exitRefused;
}

}  // namespace zurtool
