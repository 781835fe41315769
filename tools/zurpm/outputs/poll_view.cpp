// The poll's table, lines, CSV and JSON lines.
#include "poll_view.h"

#include <algorithm>
#include <iostream>

#include "json_lines.h"

namespace zurtool {

namespace {

std::string statusOf(const Transfer& transfer) {
    if (transfer.done()) return "ok";
    if (transfer.messages.empty()) return "error: result " + std::to_string(transfer.result);
    // The transport's own message says why; the command's closing line follows it.
    std::string text = "error:";
    for (const HostMessage& message : transfer.messages) text += " " + showMessage(message);
    return text;
}

std::string padded(std::string text, size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

}  // namespace

PollView::PollView(const std::vector<DefinedGate>& gates, int32_t numberBase, OutputFormat format, std::string title,
                   uint32_t intervalMs)
    : format_(format), title_(std::move(title)), intervalMs_(intervalMs) {
    for (const DefinedGate& gate : gates) {
        firstRow_.push_back(rows_.size());
        const int32_t count = elementCount(gate);
        for (int32_t i = 0; i < count; ++i) {
            Row row;
            row.type = kindName(gate.item.kind);
            row.gate = firstRow_.size() - 1;
            if (gate.item.isBlock()) {
                row.name = gate.item.name + "[" + std::to_string(i) + "]";
                row.address = elementAddress(gate.item.address, numberBase, i);
                if (row.address.empty()) row.address = gate.item.address;
            } else {
                row.name = gate.item.name;
                row.address = gate.item.address;
            }
            rows_.push_back(std::move(row));
        }
    }
    if (format_ == OutputFormat::csv) std::cout << "time,name,address,value,status\n";
}

void PollView::reading(const PollReading& reading) {
    const Transfer& transfer = reading.transfer;
    const std::string status = statusOf(transfer);
    const std::string iso = reading.time.iso();
    const int32_t count = elementCount(reading.gate);
    for (int32_t i = 0; i < count; ++i) {
        Row& row = rows_[firstRow_[reading.gateIndex] + static_cast<size_t>(i)];
        row.status = status;
        if (format_ == OutputFormat::jsonl) {
            ElementRecord element{iso, row.name, row.address, reading.gate.item.kind, i, std::nullopt, transfer.done(),
                                  transfer.messages};
            if (transfer.done()) element.value = reading.values[static_cast<size_t>(i)];
            writeElement(std::cout, element);
        }
        if (!transfer.done()) continue;
        const std::string value = formatValue(reading.values[static_cast<size_t>(i)]);
        if (!row.read || value != row.value) row.changedAt = reading.time.clock();
        row.value = value;
        row.read = true;
    }
}

void PollView::passDone(uint32_t polls, const LocalTime& time, const LinkStatistics& statistics) {
    if (format_ == OutputFormat::table)
        drawTable(polls, time, statistics);
    else if (format_ == OutputFormat::jsonl)
        std::cout.flush();
    else
        printLines(time);
}

void PollView::ended(const LinkStatistics& statistics) { printClosingSummary(statistics, format_); }

void PollView::drawTable(uint32_t polls, const LocalTime& time, const LinkStatistics& statistics) const {
    size_t nameWidth = 4, addressWidth = 7, valueWidth = 5;
    for (const Row& row : rows_) {
        nameWidth = std::max(nameWidth, row.name.size());
        addressWidth = std::max(addressWidth, row.address.size());
        valueWidth = std::max(valueWidth, row.value.size());
    }
    std::string screen = "\x1b[H\x1b[J";
    screen += title_ + "   " + time.clock() + "   poll " + std::to_string(polls) + ", every " +
              std::to_string(intervalMs_) + " ms   (Ctrl-C stops)\n\n";
    screen += padded("NAME", nameWidth) + "  " + padded("ADDRESS", addressWidth) + "  " + padded("TYPE", 7) + "  " +
              padded("VALUE", valueWidth) + "  " + padded("CHANGED", 12) + "  " + padded("FAIL", 6) + "  " +
              padded("MEDIAN ms", 9) + "  STATUS\n";
    for (const Row& row : rows_) {
        const LinkCounts& counts = statistics.gates()[row.gate].counts;
        screen += padded(row.name, nameWidth) + "  " + padded(row.address, addressWidth) + "  " + padded(row.type, 7) +
                  "  " + padded(row.value, valueWidth) + "  " + padded(row.changedAt, 12) + "  " +
                  padded(std::to_string(counts.failed()), 6) + "  " +
                  padded(showMilliseconds(counts.times, counts.times.median()), 9) + "  " + row.status + "\n";
    }
    std::cout << screen;
    std::cout.flush();
}

void PollView::printLines(const LocalTime& time) const {
    const std::string clock = time.clockWithMs();
    for (const Row& row : rows_) {
        if (format_ == OutputFormat::csv)
            std::cout << clock << "," << csvField(row.name) << "," << csvField(row.address) << "," << row.value << ","
                      << csvField(row.status) << "\n";
        else
            std::cout << clock << "  " << row.name << "  " << row.address << "  " << row.value << "  " << row.status
                      << "\n";
    }
    std::cout.flush();
}

}  // namespace zurtool
