// zurpm check: gate definitions without any card, with the base of --base or zurPM.int.
#include <algorithm>
#include <iostream>

#include "commands.h"
#include "definitions.h"
#include "gate_file.h"
#include "json_lines.h"
#include "open_session.h"
#include "output_format.h"
#include "tool_error.h"

namespace zurtool {

namespace {

// check in CSV or JSON lines: one record per gate, with what the driver made of it.
int checkForPrograms(OpenSession& open, const std::vector<GateItem>& items, OutputFormat format) {
    if (format == OutputFormat::csv) std::cout << "name,address,type,block,status,station,memory_type,offset,bit,width,messages\n";
    bool allAccepted = true;
    for (const GateItem& item : items) {
        const DefinedGate gate = open.session.define(item);
        allAccepted = allAccepted && gate.accepted();
        if (format == OutputFormat::jsonl) {
            writeJsonLine(std::cout, checkedGateJson(isoLocalTimeNow(), gate));
        } else {
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
        if (const auto hint = baseHint(gate, open.numberBase)) showBaseHint(*hint, format);
    }
    std::cout.flush();
    return allAccepted ? exitDone : exitRefused;
}

}  // namespace

int runCheck(const CommonOptions& common, const CheckOptions& options) {
    const OutputFormat format = chooseOutputFormat(options.format, options.csv);
    const std::vector<GateItem> items = collectGates(options.gates, options.gateFile);
    SessionRequest request;
    request.driverPath = common.driverPath;
    request.start = false;
    request.numberBase = options.numberBase;
    request.echoMessages = false;
    request.consoleLines = ConsoleLines::keep;
    const auto open = openSession(request);
    if (forPrograms(format)) return checkForPrograms(*open, items, format);
    std::cout << "number base " << open->numberBase.value << " (" << open->numberBase.originWords() << ")\n";

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
        const DefinedGate gate = open->session.define(item);
        allAccepted = allAccepted && gate.accepted();
        std::string name = item.name;
        name.resize(nameWidth, ' ');
        std::string text = item.text();
        text.resize(itemWidth, ' ');
        if (named) std::cout << name << "  ";
        std::cout << text << "  " << describeDefinition(gate) << "\n";
        if (const auto hint = baseHint(gate, open->numberBase)) showBaseHint(*hint, format);
    }
    std::cout.flush();
    return allAccepted ? exitDone : exitRefused;
}

}  // namespace zurtool
