// zurpm scan: start the driver, then for each card what its start said of it, and for each device
// number of its LAN what answers there. A read of %R00001 tells a PLC (answered), an absent device
// (the card's device table says so at once, no waiting), a device that serves no Read Device (an
// I/O block: its global data is read from the card's table instead) and one that is there but
// does not answer in time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "commands.h"
#include "driver_library.h"
#include "driver_session.h"
#include "int_file.h"
#include "json_lines.h"
#include "link_stats.h"
#include "poll_loop.h"
#include "read_plan.h"
#include "scan.h"
#include "tool_common.h"
#include "tool_error.h"

namespace zurtool {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t devicesPerLan = 32;
constexpr int32_t blockDataWords = 64;  // the 128 bytes of a device's global data

const char* const startingCard = "Starting Card at memmory adrress ";
const char* const ownDeviceWords = "Genius device number for PCIM card is ";
const char* const versionWords = "Card version number is ";
const char* const unableWords = "Unable to ";

bool has(const std::string& text, const char* words) { return text.find(words) != std::string::npos; }

std::string after(const std::string& text, const char* words) {
    const size_t at = text.find(words);
    return at == std::string::npos ? std::string() : text.substr(at + std::char_traits<char>::length(words));
}

std::string firstWord(const std::string& text) {
    size_t end = 0;
    while (end < text.size() && text[end] != ' ' && text[end] != '\n' && text[end] != '\t') ++end;
    return text.substr(0, end);
}

}  // namespace

std::vector<ScanCard> cardsFromStart(const std::vector<HostMessage>& messages, const std::vector<int32_t>& numbers) {
    std::vector<ScanCard> cards;
    std::vector<HostMessage> preamble;
    for (const HostMessage& message : messages) {
        if (has(message.text, startingCard)) {
            ScanCard card;
            card.card = cards.size() < numbers.size() ? numbers[cards.size()] : static_cast<int32_t>(cards.size()) + 1;
            card.messages = preamble;
            const std::string rest = after(message.text, startingCard);
            card.segment = firstWord(rest);
            card.port = firstWord(after(rest, "I/O port "));
            cards.push_back(std::move(card));
        }
        if (cards.empty()) {
            preamble.push_back(message);
            continue;
        }
        ScanCard& card = cards.back();
        card.messages.push_back(message);
        if (has(message.text, ownDeviceWords)) {
            card.ownDevice = std::atoi(after(message.text, ownDeviceWords).c_str());
            card.started = true;
        }
        if (has(message.text, versionWords)) card.version = firstWord(after(message.text, versionWords));
        if (has(message.text, unableWords)) card.started = false;
    }
    return cards;
}

namespace {

double millisecondsSince(Clock::time_point begin) {
    return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
}

DefinedGate defineProbe(DriverSession& session, int32_t station, int32_t memoryType, int32_t count) {
    GroupSpan span;
    span.station = station;
    span.memoryType = memoryType;
    span.count = count;
    GateItem item;
    item.address = spanAddress(span, session.numberBase());
    item.name = item.address;
    if (count > 1) item.blockSize = count;
    return session.define(item);
}

ScanDevice scanDevice(DriverSession& session, LinkStatistics& statistics, int32_t card, int32_t device) {
    ScanDevice found;
    found.card = card;
    found.device = device;
    found.station = (card - 1) * devicesPerLan + device;
    constexpr int32_t registers = 8;
    const DefinedGate probe = defineProbe(session, found.station, registers, 1);
    if (!probe.accepted()) {
        found.kind = DeviceKind::absent;
        found.messages = probe.messages;
        return found;
    }
    ValueBuffer buffer = emptyValueBuffer();
    auto begin = Clock::now();
    const Transfer transfer = session.read(probe, 1, buffer);
    found.ms = millisecondsSince(begin);
    found.messages = transfer.messages;
    const std::string kind = failureKind(transfer.messages);
    // An absent device is what most device numbers of a LAN are: no failure of a link.
    if (transfer.done() || kind != "not found")
        statistics.recordStation(found.station, transfer.done(), transfer.messages, found.ms);
    if (transfer.done()) {
        found.kind = DeviceKind::plc;
        found.firstRegister = takeSingleValue(buffer, ValueKind::signed16).integer;
        return found;
    }
    if (kind == "not found") {
        found.kind = DeviceKind::absent;
        return found;
    }
    if (kind == "syntax error" || kind == "process error" || kind == "unknown error") {
        // On the LAN, but no Read Device: its global data comes from the card's table.
        constexpr int32_t blockAnalog = 130;
        found.kind = DeviceKind::block;
        const DefinedGate table = defineProbe(session, found.station, blockAnalog, blockDataWords);
        if (!table.accepted()) return found;
        buffer = emptyValueBuffer();
        begin = Clock::now();
        const Transfer data = session.read(table, blockDataWords, buffer);
        const double ms = millisecondsSince(begin);
        statistics.recordStation(found.station, data.done(), data.messages, ms);
        found.ms += ms;
        if (data.done())
            found.data.assign(buffer.begin(), buffer.begin() + blockDataWords * 2);
        else
            found.messages.insert(found.messages.end(), data.messages.begin(), data.messages.end());
        return found;
    }
    found.kind = DeviceKind::silent;
    return found;
}

std::string hexBytes(const std::vector<uint8_t>& data) {
    // Up to the last byte that is not 0; the rest is said in words.
    size_t shown = data.size();
    while (shown > 0 && data[shown - 1] == 0) --shown;
    shown = std::max<size_t>(shown, std::min<size_t>(data.size(), 2));
    std::string text;
    char item[8];
    for (size_t i = 0; i < shown; ++i) {
        std::snprintf(item, sizeof item, i == 0 ? "%02X" : " %02X", data[i]);
        text += item;
    }
    if (shown < data.size()) text += " (then " + std::to_string(data.size() - shown) + " bytes 00)";
    return text;
}

std::string showMs(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", ms);
    return text;
}

// What the table and the lines say of a device beyond its kind.
std::string whatIsThere(const ScanDevice& device) {
    switch (device.kind) {
    case DeviceKind::plc: return "%R00001 = " + std::to_string(device.firstRegister.value_or(0));
    case DeviceKind::block:
        return device.data.empty() ? "global data not read: " + showMessages(device.messages)
                                   : "global data " + hexBytes(device.data);
    case DeviceKind::silent: return "no answer after " + showMs(device.ms) + " ms: " + showMessages(device.messages);
    case DeviceKind::card: return "this card";
    case DeviceKind::absent: break;
    }
    return {};
}

std::string cardLine(const ScanCard& card) {
    std::string text = "card " + std::to_string(card.card) + "  segment " + card.segment + ", port " + card.port + ": ";
    if (!card.started) return text + "did not start " + showMessages(card.messages);
    return text + "started, own device " + std::to_string(card.ownDevice.value_or(-1)) + ", version " + card.version;
}

void showDevice(const ScanDevice& device, const ScanCard& card, OutputFormat format) {
    char station[8];
    std::snprintf(station, sizeof station, "%02d", static_cast<int>(device.station));
    switch (format) {
    case OutputFormat::jsonl: writeScanDevice(std::cout, isoLocalTimeNow(), device, &card); break;
    case OutputFormat::csv: {
        std::string data;
        for (const uint8_t byte : device.data) data += (data.empty() ? "" : " ") + std::to_string(byte);
        std::cout << device.card << "," << device.device << "," << station << "," << deviceKindName(device.kind) << ","
                  << showMs(device.ms) << ","
                  << (device.firstRegister ? std::to_string(*device.firstRegister) : std::string()) << ","
                  << csvField(data) << "," << csvField(showMessages(device.messages)) << "\n";
        break;
    }
    case OutputFormat::table: {
        char row[64];
        std::snprintf(row, sizeof row, "  %6d  %7s  %-6s  %9s  ", static_cast<int>(device.device), station,
                      deviceKindName(device.kind), device.kind == DeviceKind::card ? "" : showMs(device.ms).c_str());
        std::cout << row << whatIsThere(device) << "\n";
        break;
    }
    case OutputFormat::lines:
        std::cout << "card " << device.card << "  device " << device.device << "  station " << station << "  "
                  << deviceKindName(device.kind) << "  " << showMs(device.ms) << " ms";
        if (const std::string what = whatIsThere(device); !what.empty()) std::cout << "  " << what;
        std::cout << "\n";
        break;
    }
}

}  // namespace

int runScan(const CommonOptions& common, const ScanOptions& options) {
    const OutputFormat format = chooseOutputFormat(options.format, options.csv);
    if (options.card && (*options.card < 1 || *options.card > 3))
        throw badInput("--card " + std::to_string(*options.card) + " is outside 1 to 3");

    DriverLibrary library(common.driverPath);
    DriverSession session(library);
    echoMessagesToStandardError(session);
    session.consoleLines = ConsoleLines::toStandardError;
    startDriver(session);
    const std::vector<int32_t> numbers = session.configuredCardNumbers();
    std::vector<ScanCard> cards = cardsFromStart(session.lastMessages(), numbers);
    if (options.card && std::find(numbers.begin(), numbers.end(), *options.card) == numbers.end()) {
        session.stop();
        std::string configured;
        for (const int32_t number : numbers) configured += (configured.empty() ? "" : ", ") + std::to_string(number);
        throw badInput("--card " + std::to_string(*options.card) + " is not configured in " + configurationFileName +
                       " (configured: " + (configured.empty() ? "none" : configured) + ")");
    }
    session.echo = nullptr;  // from here on each message belongs to a device
    // The scan shows which devices are present; the driver's listing after each absent one
    // would only repeat it.
    session.consoleLines = ConsoleLines::discard;

    LinkStatistics statistics;
    if (format == OutputFormat::csv) std::cout << "card,device,station,kind,ms,value,data,messages\n";
    int status = exitDone;
    for (const ScanCard& card : cards) {
        if (options.card && card.card != *options.card) continue;
        if (format == OutputFormat::table || format == OutputFormat::lines) std::cout << cardLine(card) << "\n";
        if (format == OutputFormat::table && card.started)
            std::cout << "  DEVICE  STATION  KIND           MS  WHAT\n";
        if (!card.started) {
            status = exitRefused;
            if (format == OutputFormat::jsonl || format == OutputFormat::csv) {
                ScanDevice itself;
                itself.card = card.card;
                itself.device = -1;
                itself.station = -1;
                itself.kind = DeviceKind::card;
                showDevice(itself, card, format);
            }
            continue;
        }
        for (int32_t device = 0; device < devicesPerLan; ++device) {
            ScanDevice found;
            if (card.ownDevice && device == *card.ownDevice) {
                found.card = card.card;
                found.device = device;
                found.station = (card.card - 1) * devicesPerLan + device;
                found.kind = DeviceKind::card;
            } else {
                found = scanDevice(session, statistics, card.card, device);
            }
            showDevice(found, card, format);
            std::cout.flush();
        }
    }
    session.consoleLines = ConsoleLines::toStandardError;
    printClosingSummary(statistics, format);
    session.stop();
    return status;
}

}  // namespace zurtool
