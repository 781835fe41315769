// Definitions and refusals in words.
#include "definitions.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "driver_messages.h"
#include "regions.h"
#include "tool_error.h"

namespace zurtool {

std::string describeDefinition(const DefinedGate& gate) {
    if (!gate.accepted()) {
        std::string text = "refused";
        if (!gate.messages.empty()) text += " " + showMessages(gate.messages);
        return text;
    }
    const HardwareAddress& a = gate.address;
    char text[256];
    std::snprintf(text, sizeof text, "station %d, memory %d (%s), offset %d, bit %d, width %d",
                  static_cast<int>(a.station), static_cast<int>(a.memoryType), memoryName(a.memoryType),
                  static_cast<int>(a.offset), static_cast<int>(a.bit), static_cast<int>(a.width));
    return text;
}

std::optional<std::string> baseHint(const DefinedGate& gate, const NumberBase& base) {
    if (gate.accepted() || !refusedForTheBase(gate.messages)) return std::nullopt;
    return base.addressHint(gate.item.address, gate.item.isBlock());
}

void showBaseHint(const std::string& hint, OutputFormat format) {
    std::ostream& out = forPrograms(format) ? std::cerr : std::cout;
    out << hint << "\n";
    out.flush();
}

int showRefusals(const std::vector<DefinedGate>& gates, const NumberBase& base, OutputFormat format) {
    std::vector<std::string> hints;
    for (const DefinedGate& gate : gates) {
        if (gate.accepted()) continue;
        std::cout << gate.item.name << "  " << gate.item.text() << "  " << describeDefinition(gate) << "\n";
        const auto hint = baseHint(gate, base);
        if (hint && std::find(hints.begin(), hints.end(), *hint) == hints.end()) hints.push_back(*hint);
    }
    std::cout.flush();
    for (const std::string& hint : hints) showBaseHint(hint, format);
    return exitRefused;
}

}  // namespace zurtool
