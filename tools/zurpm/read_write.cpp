// zurpm read and zurpm write: start the driver in the current directory, define, read or write,
// stop.
#include <iostream>

#include "commands.h"
#include "driver_library.h"
#include "driver_session.h"
#include "gate_values.h"
#include "tool_common.h"
#include "tool_error.h"

namespace zurtool {

namespace {

// Genius I/O block data leaves the card at its next bus scan, not when the driver writes it into
// the card's table; a stop right away resets the card first. A Genius bus scan takes at most about
// 400 ms, so the tool waits this long after a write of block data before it stops the driver.
constexpr uint32_t blockDataSettleMs = 500;

bool isGeniusBlockData(const HardwareAddress& address) {
    return address.memoryType >= 128 && address.memoryType <= 130;
}

// Each element of what was read, on a line of its own with its address.
void printValues(const DefinedGate& gate, int32_t numberBase, const std::vector<GateValue>& values) {
    if (values.size() == 1 && !gate.item.isBlock()) {
        std::cout << gate.item.address << "  " << formatValue(values.front()) << "\n";
        return;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        std::string address = elementAddress(gate.item.address, numberBase, static_cast<int32_t>(i));
        if (address.empty()) address = gate.item.address + "[" + std::to_string(i) + "]";
        std::cout << address << "  " << formatValue(values[i]) << "\n";
    }
}

}  // namespace

int runRead(const CommonOptions& common, const ReadOptions& options) {
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
    startDriver(session);
    std::vector<DefinedGate> gates;
    if (!defineGates(session, items, gates)) return exitRefused;

    int status = exitDone;
    for (const DefinedGate& gate : gates) {
        ValueBuffer buffer = emptyValueBuffer();
        const int32_t count = elementCount(gate);
        const Transfer transfer = session.read(gate, count, buffer);
        if (!transfer.done()) {
            std::cout << gate.item.address << "  read failed\n";
            status = exitRefused;
            continue;
        }
        printValues(gate, session.numberBase(), takeValues(buffer, gate.item.kind, count));
    }
    std::cout.flush();
    session.stop();
    return status;
}

int runWrite(const CommonOptions& common, const WriteOptions& options) {
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
    startDriver(session);
    std::vector<DefinedGate> gates;
    if (!defineGates(session, items, gates)) return exitRefused;

    ValueBuffer buffer = emptyValueBuffer();
    putValues(buffer, values);
    const Transfer transfer = session.write(gates.front(), static_cast<int32_t>(values.size()), buffer);
    if (!transfer.done()) {
        std::cout << item.address << "  write failed\n";
        std::cout.flush();
        return exitRefused;
    }
    if (isGeniusBlockData(gates.front().address)) sleepMilliseconds(blockDataSettleMs);
    for (size_t i = 0; i < values.size(); ++i) {
        std::string address = item.isBlock() ? elementAddress(item.address, session.numberBase(), static_cast<int32_t>(i))
                                             : item.address;
        if (address.empty()) address = item.address;
        std::cout << address << "  " << formatValue(values[i]) << "  written\n";
    }
    std::cout.flush();
    session.stop();
    return exitDone;
}

}  // namespace zurtool
