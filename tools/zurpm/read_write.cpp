// zurpm read and zurpm write: start the driver in the current directory, define, read or write,
// stop.
#include <chrono>
#include <iostream>
#include <optional>

#include "commands.h"
#include "driver_library.h"
#include "driver_session.h"
#include "gate_values.h"
#include "json_lines.h"
#include "link_stats.h"
#include "poll_loop.h"
#include "read_plan.h"
#include "regions.h"
#include "tool_common.h"
#include "tool_error.h"

namespace zurtool {

namespace {

// Genius I/O block data leaves the card at its next bus scan, not when the driver writes it into
// the card's table; a stop right away resets the card first. A Genius bus scan takes at most about
// 400 ms, so the tool waits this long after a write of block data before it stops the driver.
constexpr uint32_t blockDataSettleMs = 500;

// One element read or written, in the format asked for.
struct ElementOut {
    const DefinedGate& gate;
    int32_t index;
    std::string address;
    std::optional<GateValue> value;  // none: failed
    const Transfer& transfer;
    double ms;
};

std::string addressOfElement(const DefinedGate& gate, int32_t numberBase, int32_t index) {
    if (!gate.item.isBlock()) return gate.item.address;
    std::string address = elementAddress(gate.item.address, numberBase, index);
    return address.empty() ? gate.item.address + "[" + std::to_string(index) + "]" : address;
}

void printElement(const ElementOut& e, OutputFormat format, bool write) {
    const bool done = e.transfer.done();
    const std::string value = e.value ? formatValue(*e.value) : std::string();
    switch (format) {
    case OutputFormat::jsonl:
        writeElement(std::cout, ElementRecord{isoLocalTimeNow(), e.gate.item.name, e.address, e.gate.item.kind, e.index,
                                              done ? e.value : std::nullopt, done, e.transfer.messages});
        break;
    case OutputFormat::csv:
        std::cout << isoLocalTimeNow() << "," << csvField(e.gate.item.name) << "," << csvField(e.address) << "," << value
                  << "," << csvField(done ? "ok" : "error: " + showMessages(e.transfer.messages)) << "\n";
        break;
    case OutputFormat::table:
    case OutputFormat::lines:
        if (!done)
            std::cout << e.address << "  " << (write ? "write" : "read") << " failed\n";
        else if (write)
            std::cout << e.address << "  " << value << "  written\n";
        else
            std::cout << e.address << "  " << value << "\n";
        break;
    }
}

}  // namespace

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

    DriverLibrary library(common.driverPath);
    DriverSession session(library);
    if (!checkBeforeStart(session, items)) return exitRefused;
    echoMessagesToStandardError(session);
    session.consoleLines = ConsoleLines::toStandardError;
    startDriver(session);
    std::vector<DefinedGate> gates;
    if (!defineGates(session, items, gates)) return exitRefused;

    if (format == OutputFormat::csv) std::cout << "time,name,address,value,status\n";
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
            const int32_t shown = format == OutputFormat::jsonl || format == OutputFormat::csv ? count : 1;
            for (int32_t i = 0; i < shown; ++i) {
                const std::string address = count > 1 && shown == 1 ? gate.item.address : addressOfElement(gate, session.numberBase(), i);
                printElement(ElementOut{gate, i, address, std::nullopt, reading.transfer, reading.ms}, format, false);
            }
            continue;
        }
        const std::vector<GateValue> values = takeValues(reading.buffer, gate.item.kind, count);
        for (int32_t i = 0; i < count; ++i)
            printElement(ElementOut{gate, i, addressOfElement(gate, session.numberBase(), i), values[static_cast<size_t>(i)],
                                    reading.transfer, reading.ms},
                         format, false);
    }
    std::cout.flush();
    if (format != OutputFormat::lines && format != OutputFormat::csv) printClosingSummary(statistics, format);
    session.stop();
    return status;
}

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

    DriverLibrary library(common.driverPath);
    DriverSession session(library);
    if (!checkBeforeStart(session, items)) return exitRefused;
    echoMessagesToStandardError(session);
    session.consoleLines = ConsoleLines::toStandardError;
    startDriver(session);
    std::vector<DefinedGate> gates;
    if (!defineGates(session, items, gates)) return exitRefused;
    const DefinedGate& gate = gates.front();
    LinkStatistics statistics;
    statistics.setGates(gates);

    ValueBuffer buffer = emptyValueBuffer();
    putValues(buffer, values);
    const auto begin = std::chrono::steady_clock::now();
    const Transfer transfer = session.write(gate, static_cast<int32_t>(values.size()), buffer);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    statistics.recordGate(0, transfer.done(), transfer.messages, ms);
    statistics.recordStation(gate.address.station, transfer.done(), transfer.messages, ms);
    if (format == OutputFormat::csv) std::cout << "time,name,address,value,status\n";
    if (transfer.done() && isGeniusBlockData(gate.address.memoryType)) sleepMilliseconds(blockDataSettleMs);
    for (size_t i = 0; i < values.size(); ++i) {
        const auto index = static_cast<int32_t>(i);
        const bool shown = transfer.done() || format == OutputFormat::jsonl || format == OutputFormat::csv || i == 0;
        if (!shown) break;
        const std::string address =
            !transfer.done() && format != OutputFormat::jsonl && format != OutputFormat::csv
                ? item.address
                : addressOfElement(gate, session.numberBase(), index);
        printElement(ElementOut{gate, index, address, values[i], transfer, ms}, format, true);
    }
    std::cout.flush();
    if (format != OutputFormat::lines && format != OutputFormat::csv) printClosingSummary(statistics, format);
    session.stop();
    return transfer.done() ? exitDone : exitRefused;
}

}  // namespace zurtool
