// The run header from the session, and each reading turned into samples and messages.
#include "run_recorder.h"

#include <fstream>

#include "int_file.h"
#include "tool_common.h"

namespace zurtool {

namespace {

double numericValue(const GateValue& value) {
    return value.kind == ValueKind::float32 ? static_cast<double>(value.real) : static_cast<double>(value.integer);
}

}  // namespace

RunRecorder::RunRecorder(DriverSession& session, const DriverLibrary& library, const std::string& commandLine,
                         uint32_t intervalMs) {
    RunHeader& header = run_.header;
    header.started = LocalTime::now();
    std::vector<std::string> startTexts;
    for (const HostMessage& message : session.lastMessages()) {
        startTexts.push_back(message.text);
        run_.messages.push_back({header.started, message.level, message.text, {}});
    }
    header.cards = cardsFromStartMessages(startTexts);
    header.host = hostName();
    header.command = commandLine;
    header.driverLibrary = library.loadedFrom();
    header.numberBase = session.numberBase();
    header.intervalMs = intervalMs;
    const DriverInfo info = session.describe();
    if (info.driverName != nullptr) header.driverName = info.driverName;
    if (info.bannerText != nullptr) header.driverVersion = versionFromBanner(info.bannerText);
    std::ifstream configuration(configurationFileName);
    for (std::string line; std::getline(configuration, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        header.configurationLines.push_back(line);
    }
}

void RunRecorder::setGates(const std::vector<DefinedGate>& gates, int32_t numberBase) {
    run_.gates.clear();
    firstElement_.clear();
    for (const DefinedGate& gate : gates) {
        firstElement_.push_back(run_.gates.size());
        const int32_t count = elementCount(gate);
        for (int32_t i = 0; i < count; ++i) {
            RunGate element;
            element.name = gate.item.isBlock() ? gate.item.name + "[" + std::to_string(i) + "]" : gate.item.name;
            element.address = gate.item.isBlock() ? elementAddress(gate.item.address, numberBase, i) : gate.item.address;
            if (element.address.empty()) element.address = gate.item.address;
            element.type = kindName(gate.item.kind);
            element.index = i;
            if (gate.accepted())
                element.where = {gate.address.station, gate.address.memoryType, gate.address.offset, gate.address.bit,
                                 gate.address.width};
            run_.gates.push_back(std::move(element));
        }
    }
}

void RunRecorder::observe(const PollReading& reading) {
    if (reading.gateIndex >= firstElement_.size()) return;
    const LocalTime now = LocalTime::now();
    if (reading.gateIndex == 0) ++run_.polls;
    int32_t kind = -1;
    if (!reading.transfer.done()) {
        std::vector<std::string> texts;
        for (const HostMessage& message : reading.transfer.messages) texts.push_back(message.text);
        kind = run_.failureKindIndex(failureKindOf(texts));
    }
    for (const HostMessage& message : reading.transfer.messages)
        run_.messages.push_back({now, message.level, message.text, reading.gate.item.name});
    const size_t first = firstElement_[reading.gateIndex];
    const size_t end = reading.gateIndex + 1 < firstElement_.size() ? firstElement_[reading.gateIndex + 1]
                                                                     : run_.gates.size();
    for (size_t e = first; e < end; ++e) {
        RunSample sample;
        sample.epochMs = now.epochMs;
        sample.requestMs = reading.requestMs;
        sample.failureKind = kind;
        const size_t i = e - first;
        if (reading.transfer.done() && i < reading.values.size()) sample.value = numericValue(reading.values[i]);
        run_.gates[e].samples.push_back(sample);
    }
}

void RunRecorder::finish() { run_.ended = LocalTime::now(); }

}  // namespace zurtool
