// What the driver made of a gate's definition, in words: where the gate lives, or why it was
// refused; and after a refusal of an address's length or digits, the number base in force.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "driver_session.h"
#include "number_base.h"
#include "output_format.h"

namespace zurtool {

// "station 5, memory 8 (%R registers), offset 15, bit -1, width 16", or "refused [8] ZURPM Error: ...".
std::string describeDefinition(const DefinedGate& gate);

// The base's line (number_base.h) when the driver refused the gate for its address's length or
// digits; nothing otherwise.
std::optional<std::string> baseHint(const DefinedGate& gate, const NumberBase& base);

// Shows a base's line where the format allows: on standard output after a table or lines, on
// standard error beside CSV and JSON lines, whose fields it does not fit.
void showBaseHint(const std::string& hint, OutputFormat format);

// Each refused gate on standard output ("NAME  ADDRESS:TYPE  refused [8] ..."), then the base's line
// once for the refusals it explains. Returns exitRefused.
int showRefusals(const std::vector<DefinedGate>& gates, const NumberBase& base, OutputFormat format);

}  // namespace zurtool
