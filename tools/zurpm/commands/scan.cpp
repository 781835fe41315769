// zurpm scan: start the driver, then for each card what its start said of it, and for each device
// number of its LAN what answers there (session/lan_scan.h), as a table, lines, CSV or JSON lines.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "commands.h"
#include "driver_messages.h"
#include "int_file.h"
#include "json_lines.h"
#include "lan_scan.h"
#include "link_stats.h"
#include "open_session.h"
#include "output_format.h"
#include "tool_error.h"

namespace zurtool {

namespace {

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

std::string cardLine(const CardStart& start) {
    const Card& card = start.card;
    std::string text = "card " + std::to_string(card.number) + "  segment " + card.segment + ", port " + card.port + ": ";
    if (!card.started) return text + "did not start " + showMessages(start.messages);
    return text + "started, own device " + std::to_string(card.ownDevice.value_or(-1)) + ", version " + card.version;
}

void showDevice(const ScanDevice& device, const CardStart& card, OutputFormat format) {
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

    SessionRequest request;
    request.driverPath = common.driverPath;
    request.emulatedPlantFile = options.emulate.plantFile;
    request.tracePlant = options.emulate.trace;
    const auto open = openSession(request);
    DriverSession& session = open->session;
    const std::vector<int32_t> numbers = session.configuredCardNumbers();
    const std::vector<CardStart> cards = cardsFromStart(session.startMessages(), numbers);
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
    for (const CardStart& start : cards) {
        const Card& card = start.card;
        if (options.card && card.number != *options.card) continue;
        if (!forPrograms(format)) std::cout << cardLine(start) << "\n";
        if (format == OutputFormat::table && card.started)
            std::cout << "  DEVICE  STATION  KIND           MS  WHAT\n";
        if (!card.started) {
            status = exitRefused;
            if (forPrograms(format)) {
                ScanDevice itself;
                itself.card = card.number;
                itself.device = -1;
                itself.station = -1;
                itself.kind = DeviceKind::card;
                showDevice(itself, start, format);
            }
            continue;
        }
        for (int32_t device = 0; device < devicesPerLan; ++device) {
            ScanDevice found;
            if (card.ownDevice && device == *card.ownDevice) {
                found.card = card.number;
                found.device = device;
                found.station = (card.number - 1) * devicesPerLan + device;
                found.kind = DeviceKind::card;
            } else {
                found = scanDevice(session, statistics, card.number, device);
            }
            showDevice(found, start, format);
            std::cout.flush();
        }
    }
    session.consoleLines = ConsoleLines::toStandardError;
    printClosingSummary(statistics, format);
    session.stop();
    return status;
}

}  // namespace zurtool
