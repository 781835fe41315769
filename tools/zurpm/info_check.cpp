// zurpm info: the driver's name and banner. zurpm check: gate definitions without any card.
#include <algorithm>
#include <iostream>

#include "code_page_437.h"
#include "commands.h"
#include "driver_library.h"
#include "driver_session.h"
#include "json_lines.h"
#include "poll_loop.h"
#include "tool_common.h"
#include "tool_error.h"

namespace zurtool {

namespace {

// check in CSV or JSON lines: one record per gate, with what the driver made of it.
int checkForPrograms(DriverSession& session, const std::vector<GateItem>& items, OutputFormat format) {
    if (format == OutputFormat::csv) std::cout << "name,address,type,block,status,station,memory_type,offset,bit,width,messages\n";
    bool allAccepted = true;
    for (const GateItem& item : items) {
        const DefinedGate gate = session.define(item);
        allAccepted = allAccepted && gate.accepted();
        if (format == OutputFormat::jsonl) {
            writeJsonLine(std::cout, checkedGateJson(isoLocalTimeNow(), gate));
            continue;
        }
        const HardwareAddress& a = gate.address;
        std::cout << csvField(item.name) << "," << csvField(item.address) << "," << kindName(item.kind) << ","
                  << (item.blockSize ? std::to_string(*item.blockSize) : std::string()) << ","
                  << (gate.accepted() ? "accepted" : "refused");
        if (gate.accepted())
            std::cout << "," << a.station << "," << a.memoryType << "," << a.offset << "," << a.bit << "," << a.width;
        else
            std::cout << ",,,,,";
        std::cout << "," << csvField(showMessages(gate.messages)) << "\n";
    }
    std::cout.flush();
    return allAccepted ? exitDone : exitRefused;
}

}  // namespace

int runInfo(const CommonOptions& common) {
    DriverLibrary library(common.driverPath);
    DriverSession session(library);
    echoMessagesToStandardError(session);
    prepareTerminalOutput();  // a Windows console shows the banner's UTF-8 then
    const DriverInfo info = session.describe();
    std::cout << "driver   " << (info.driverName != nullptr ? info.driverName : "(none)") << "\n";
    std::cout << "library  " << library.loadedFrom() << "\n";
    if (info.bannerText != nullptr) std::cout << codePage437ToUtf8(info.bannerText);
    std::cout.flush();
    return exitDone;
}

int runCheck(const CommonOptions& common, const CheckOptions& options) {
    const OutputFormat format = chooseOutputFormat(options.format, options.csv);
    const std::vector<GateItem> items = collectGates(options.gates, options.gateFile);
    DriverLibrary library(common.driverPath);
    DriverSession session(library);

    std::string origin = "--base";
    const int32_t base = options.numberBase ? *options.numberBase : numberBaseBeforeStart(origin);
    session.setNumberBase(base);
    if (format == OutputFormat::jsonl || format == OutputFormat::csv) return checkForPrograms(session, items, format);
    std::cout << "number base " << base << " (" << origin << ")\n";

    // Names only when the gate file gave some.
    bool named = false;
    size_t nameWidth = 0;
    size_t itemWidth = 0;
    for (const GateItem& item : items) {
        named = named || item.name != item.address;
        nameWidth = std::max(nameWidth, item.name.size());
        itemWidth = std::max(itemWidth, item.text().size());
    }
    bool allAccepted = true;
    for (const GateItem& item : items) {
        const DefinedGate gate = session.define(item);
        allAccepted = allAccepted && gate.accepted();
        std::string name = item.name;
        name.resize(nameWidth, ' ');
        std::string text = item.text();
        text.resize(itemWidth, ' ');
        if (named) std::cout << name << "  ";
        std::cout << text << "  " << describeDefinition(gate) << "\n";
    }
    std::cout.flush();
    return allAccepted ? exitDone : exitRefused;
}

}  // namespace zurtool
