// The poll loop and its three ways of showing values.
#include "poll_loop.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>

#include "driver_library.h"
#include "gate_values.h"
#include "json_lines.h"
#include "link_stats.h"
#include "read_plan.h"
#include "tool_common.h"
#include "tool_error.h"

namespace zurtool {

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int) { stopSignal = 1; }

using Clock = std::chrono::steady_clock;

// One element of one gate, as the table shows it.
struct PollRow {
    std::string name;
    std::string address;
    std::string type;
    size_t gate = 0;
    int32_t index = 0;
    std::string value = "-";
    std::string status = "not read";
    std::string changedAt = "-";
    bool read = false;
};

std::string timeOfDay() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    char text[32] = "--:--:--";
    if (const std::tm* local = std::localtime(&seconds))
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local->tm_hour, local->tm_min, local->tm_sec,
                      static_cast<int>(ms));
    return text;
}

std::string statusOf(const Transfer& transfer) {
    if (transfer.done()) return "ok";
    if (transfer.messages.empty()) return "error: result " + std::to_string(transfer.result);
    // The transport's own message says why; the command's closing line follows it.
    std::string text = "error:";
    for (const HostMessage& message : transfer.messages) text += " " + showMessage(message);
    return text;
}

std::vector<PollRow> rowsFor(const std::vector<DefinedGate>& gates, int32_t numberBase,
                             std::vector<size_t>& firstRow) {
    std::vector<PollRow> rows;
    for (const DefinedGate& gate : gates) {
        firstRow.push_back(rows.size());
        const int32_t count = elementCount(gate);
        for (int32_t i = 0; i < count; ++i) {
            PollRow row;
            row.type = kindName(gate.item.kind);
            row.gate = firstRow.size() - 1;
            row.index = i;
            if (gate.item.isBlock()) {
                row.name = gate.item.name + "[" + std::to_string(i) + "]";
                row.address = elementAddress(gate.item.address, numberBase, i);
                if (row.address.empty()) row.address = gate.item.address;
            } else {
                row.name = gate.item.name;
                row.address = gate.item.address;
            }
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

std::string padded(std::string text, size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

void drawTable(const std::vector<PollRow>& rows, const PollSettings& settings, uint32_t poll,
               const LinkStatistics& statistics) {
    size_t nameWidth = 4, addressWidth = 7, valueWidth = 5;
    for (const PollRow& row : rows) {
        nameWidth = std::max(nameWidth, row.name.size());
        addressWidth = std::max(addressWidth, row.address.size());
        valueWidth = std::max(valueWidth, row.value.size());
    }
    std::string screen = "\x1b[H\x1b[J";
    screen += settings.title + "   " + timeOfDay().substr(0, 8) + "   poll " + std::to_string(poll) + ", every " +
              std::to_string(settings.intervalMs) + " ms   (Ctrl-C stops)\n\n";
    screen += padded("NAME", nameWidth) + "  " + padded("ADDRESS", addressWidth) + "  " + padded("TYPE", 7) + "  " +
              padded("VALUE", valueWidth) + "  " + padded("CHANGED", 12) + "  " + padded("FAIL", 6) + "  " +
              padded("MEDIAN ms", 9) + "  STATUS\n";
    for (const PollRow& row : rows) {
        const LinkCounts& counts = statistics.gates()[row.gate].counts;
        screen += padded(row.name, nameWidth) + "  " + padded(row.address, addressWidth) + "  " + padded(row.type, 7) +
                  "  " + padded(row.value, valueWidth) + "  " + padded(row.changedAt, 12) + "  " +
                  padded(std::to_string(counts.failed()), 6) + "  " +
                  padded(showMilliseconds(counts.times, counts.times.median()), 9) + "  " + row.status + "\n";
    }
    std::cout << screen;
    std::cout.flush();
}

void printLines(const std::vector<PollRow>& rows, OutputFormat output, const std::string& time) {
    for (const PollRow& row : rows) {
        if (output == OutputFormat::csv)
            std::cout << time << "," << csvField(row.name) << "," << csvField(row.address) << "," << row.value << ","
                      << csvField(row.status) << "\n";
        else
            std::cout << time << "  " << row.name << "  " << row.address << "  " << row.value << "  " << row.status
                      << "\n";
    }
    std::cout.flush();
}

// Sleeps until `until`, in short steps so that a stop request is seen soon.
void waitUntil(Clock::time_point until) {
    while (!stopRequested()) {
        const auto now = Clock::now();
        if (now >= until) return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
        sleepMilliseconds(static_cast<uint32_t>(std::min<long long>(left, 50)));
    }
}

}  // namespace

void catchStopSignals() {
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

bool stopRequested() { return stopSignal != 0; }

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

int pollGates(DriverSession& session, const std::vector<DefinedGate>& gates, const PollSettings& settings) {
    std::vector<size_t> firstRow;
    std::vector<PollRow> rows = rowsFor(gates, session.numberBase(), firstRow);
    auto echo = std::move(session.echo);
    session.echo = nullptr;  // each message now belongs to a gate's status
    LinkStatistics statistics;
    statistics.setGates(gates);
    ReadPlan plan(session, gates, settings.group);

    if (settings.output == OutputFormat::csv) std::cout << "time,name,address,value,status\n";
    const auto begin = Clock::now();
    bool lastPollFailed = false;
    for (uint32_t poll = 0; !stopRequested(); ++poll) {
        if (settings.count && poll >= *settings.count) break;
        const auto due = begin + std::chrono::milliseconds(static_cast<uint64_t>(settings.intervalMs) * poll);
        if (settings.durationMs && due > begin + std::chrono::milliseconds(*settings.durationMs)) break;
        waitUntil(due);
        if (stopRequested()) break;

        lastPollFailed = false;
        const std::vector<GateReading> readings = plan.readAll(session, &statistics, stopRequested);
        const std::string now = timeOfDay();
        const std::string isoNow = isoLocalTimeNow();
        for (size_t g = 0; g < gates.size(); ++g) {
            const GateReading& reading = readings[g];
            if (!reading.read) continue;
            const DefinedGate& gate = gates[g];
            const int32_t count = elementCount(gate);
            const Transfer& transfer = reading.transfer;
            const std::string status = statusOf(transfer);
            if (!transfer.done()) lastPollFailed = true;
            const std::vector<GateValue> values =
                transfer.done() ? takeValues(reading.buffer, gate.item.kind, count) : std::vector<GateValue>{};
            if (settings.onReading) settings.onReading({poll, g, gate, transfer, values, reading.ms});
            for (int32_t i = 0; i < count; ++i) {
                PollRow& row = rows[firstRow[g] + static_cast<size_t>(i)];
                row.status = status;
                if (settings.output == OutputFormat::jsonl) {
                    ElementRecord element{isoNow, row.name, row.address, gate.item.kind, i, std::nullopt,
                                          transfer.done(), transfer.messages};
                    if (transfer.done()) element.value = values[static_cast<size_t>(i)];
                    writeElement(std::cout, element);
                }
                if (!transfer.done()) continue;
                const std::string value = formatValue(values[static_cast<size_t>(i)]);
                if (!row.read || value != row.value) row.changedAt = now.substr(0, 8);
                row.value = value;
                row.read = true;
            }
        }
        if (settings.output == OutputFormat::table)
            drawTable(rows, settings, poll + 1, statistics);
        else if (settings.output == OutputFormat::jsonl)
            std::cout.flush();
        else
            printLines(rows, settings.output, timeOfDay());
    }
    if (settings.onEnd) settings.onEnd(statistics);
    printClosingSummary(statistics, settings.output);
    session.echo = std::move(echo);
    return lastPollFailed ? exitRefused : exitDone;
}

}  // namespace zurtool
