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
    if (values.size() == 1 && !gate.spec.isBlock()) {
        std::cout << gate.spec.address << "  " << formatValue(values.front()) << "\n";
        return;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        std::string address = elementAddress(gate.spec.address, numberBase, static_cast<int32_t>(i));
        if (address.empty()) address = gate.spec.address + "[" + std::to_string(i) + "]";
        std::cout << address << "  " << formatValue(values[i]) << "\n";
    }
}

}  // namespace

int runRead(const CommonOptions& common, const ReadOptions& options) {
    std::vector<GateSpec> specs = collectGates(options.gates, {});
    if (options.count) {
        if (*options.count < 1 || *options.count > largestBlock)
            throw badInput("--count " + std::to_string(*options.count) + " is outside 1 to " +
                           std::to_string(largestBlock));
        // N elements from a gate on: the gate as a block of N, which the driver judges.
        for (GateSpec& spec : specs)
            spec = makeGateSpec(spec.name, spec.address, kindName(spec.kind), std::to_string(*options.count));
    }

    DriverLibrary library(common.driverPath);
    DriverSession session(library);
    if (!checkBeforeStart(session, specs)) return exitRefused;
    echoMessagesToStandardError(session);
    startDriver(session);
    std::vector<DefinedGate> gates;
    if (!defineGates(session, specs, gates)) return exitRefused;

    int status = exitDone;
    for (const DefinedGate& gate : gates) {
        ValueBuffer buffer = emptyValueBuffer();
        const int32_t count = elementCount(gate);
        const Transfer transfer = session.read(gate, count, buffer);
        if (!transfer.done()) {
            std::cout << gate.spec.address << "  read failed\n";
            status = exitRefused;
            continue;
        }
        printValues(gate, session.numberBase(), takeValues(buffer, gate.spec.kind, count));
    }
    std::cout.flush();
    session.stop();
    return status;
}

int runWrite(const CommonOptions& common, const WriteOptions& options) {
    const std::vector<GateSpec> specs = collectGates({options.gate}, {});
    const GateSpec& spec = specs.front();
    if (options.values.empty()) throw badInput("no value given for " + spec.address);
    if (!spec.isBlock() && options.values.size() != 1)
        throw badInput("gate " + spec.address + " takes one value; write a block as ADDRESS:TYPE:N to give " +
                       std::to_string(options.values.size()));
    if (spec.isBlock() && options.values.size() > static_cast<size_t>(*spec.blockSize))
        throw badInput(std::to_string(options.values.size()) + " values do not fit the block of " +
                       std::to_string(*spec.blockSize) + " at " + spec.address);
    std::vector<GateValue> values;
    for (const std::string& text : options.values) values.push_back(parseValue(spec.kind, text));

    DriverLibrary library(common.driverPath);
    DriverSession session(library);
    if (!checkBeforeStart(session, specs)) return exitRefused;
    echoMessagesToStandardError(session);
    startDriver(session);
    std::vector<DefinedGate> gates;
    if (!defineGates(session, specs, gates)) return exitRefused;

    ValueBuffer buffer = emptyValueBuffer();
    putValues(buffer, values);
    const Transfer transfer = session.write(gates.front(), static_cast<int32_t>(values.size()), buffer);
    if (!transfer.done()) {
        std::cout << spec.address << "  write failed\n";
        std::cout.flush();
        return exitRefused;
    }
    if (isGeniusBlockData(gates.front().address)) sleepMilliseconds(blockDataSettleMs);
    for (size_t i = 0; i < values.size(); ++i) {
        std::string address = spec.isBlock() ? elementAddress(spec.address, session.numberBase(), static_cast<int32_t>(i))
                                             : spec.address;
        if (address.empty()) address = spec.address;
        std::cout << address << "  " << formatValue(values[i]) << "  written\n";
    }
    std::cout.flush();
    session.stop();
    return exitDone;
}

}  // namespace zurtool
