// The run header from the session, readings as samples or record lines.
#include "poll_keeper.h"

#include "driver_messages.h"
#include "int_file.h"
#include "json_lines.h"
#include "record_file.h"
#include "tool_error.h"

namespace zurtool {

namespace {

double numericValue(const GateValue& value) {
    return value.kind == ValueKind::float32 ? static_cast<double>(value.real) : static_cast<double>(value.integer);
}

// The link figures of counts.
LinkFigures linkFiguresOf(const LinkCounts& counts) {
    LinkFigures figures;
    figures.requests = counts.requests;
    figures.successes = counts.successes;
    for (const auto& [kind, count] : counts.failures) figures.failures.emplace_back(kind, count);
    if (counts.times.count() > 0) {
        figures.minMs = counts.times.min();
        figures.medianMs = counts.times.median();
        figures.p99Ms = counts.times.p99();
        figures.maxMs = counts.times.max();
    }
    return figures;
}

}  // namespace

PollKeeper::PollKeeper(DriverSession& session, const DriverLibrary& library, const std::vector<DefinedGate>& gates,
                       const std::string& commandLine, uint32_t intervalMs, const std::string& recordPath)
    : recordPath_(recordPath) {
    const std::vector<HostMessage>& startMessages = session.startMessages();
    RunHeader& header = run_.header;
    header.known = true;
    header.started = LocalTime::now();
    for (const HostMessage& message : startMessages)
        run_.messages.push_back({header.started, message.level, message.text, {}});
    for (const CardStart& start : cardsFromStart(startMessages, session.configuredCardNumbers()))
        header.cards.push_back(start.card);
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
    for (const DefinedGate& gate : gates) {
        std::optional<RunAddress> where;
        if (gate.accepted())
            where = RunAddress{gate.address.station, gate.address.memoryType, gate.address.offset, gate.address.bit,
                               gate.address.width};
        run_.addGate(gate.item.name, gate.item.address, kindName(gate.item.kind), gate.item.blockSize, where);
    }
    if (recordPath_.empty()) return;
    record_ = std::make_unique<std::ofstream>(recordPath_, std::ios::binary | std::ios::trunc);
    if (!*record_) throw unavailable("cannot write the record " + recordPath_);
    writeJsonLine(*record_, runHeaderJson(run_.header, startMessages, gates));
    record_->flush();
}

void PollKeeper::reading(const PollReading& reading) {
    if (reading.gateIndex >= run_.firstElement.size()) return;
    const std::string time = reading.time.iso();
    const size_t first = run_.firstElement[reading.gateIndex];
    const int32_t count = elementCount(reading.gate);
    const bool done = reading.transfer.done();
    if (record_) {
        for (int32_t i = 0; i < count && first + static_cast<size_t>(i) < run_.gates.size(); ++i) {
            const RunGate& element = run_.gates[first + static_cast<size_t>(i)];
            ElementRecord line{time, element.name, element.address, reading.gate.item.kind, i, std::nullopt, done,
                               reading.transfer.messages};
            if (done && static_cast<size_t>(i) < reading.values.size()) line.value = reading.values[static_cast<size_t>(i)];
            writeElement(*record_, line);
        }
        if (reading.gateIndex + 1 == run_.firstElement.size()) record_->flush();
        return;
    }
    const LocalTime& now = reading.time;
    const int32_t kind = done ? -1 : run_.failureKindIndex(failureKind(reading.transfer.messages));
    for (const HostMessage& message : reading.transfer.messages)
        run_.messages.push_back({now, message.level, message.text, reading.gate.item.name});
    for (int32_t i = 0; i < count && first + static_cast<size_t>(i) < run_.gates.size(); ++i) {
        RunSample sample{now.epochMs, std::nullopt, kind};
        if (done && static_cast<size_t>(i) < reading.values.size())
            sample.value = numericValue(reading.values[static_cast<size_t>(i)]);
        run_.gates[first + static_cast<size_t>(i)].samples.push_back(sample);
    }
}

void PollKeeper::ended(const LinkStatistics& statistics) {
    if (record_) {
        writeSummary(*record_, statistics);
        record_->close();
        if (!*record_) throw unavailable("cannot write the record " + recordPath_);
        record_.reset();
        return;
    }
    run_.ended = LocalTime::now();
    for (const LinkStatistics::Gate& gate : statistics.gates()) run_.gateLinks.push_back(linkFiguresOf(gate.counts));
    for (const auto& [station, counts] : statistics.stations()) run_.stationLinks[station] = linkFiguresOf(counts);
}

RunRecord PollKeeper::run() const { return recordPath_.empty() ? run_ : readRunFile(recordPath_); }

}  // namespace zurtool
