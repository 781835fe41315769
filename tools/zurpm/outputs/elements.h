// Elements read or written once (`read`, `write`): a line each with its address and value, a CSV
// record (time,name,address,value,status) or a JSON lines element object.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "driver_session.h"
#include "gate_values.h"
#include "output_format.h"

namespace zurtool {

struct ElementOut {
    const DefinedGate& gate;
    int32_t index;
    std::string address;
    std::optional<GateValue> value;  // none: failed
    const Transfer& transfer;
};

// The address string of element `index` of the gate (the gate's own for a single gate).
std::string addressOfElement(const DefinedGate& gate, int32_t numberBase, int32_t index);

// CSV's header line, when the format is CSV.
void printElementHeader(OutputFormat format);
void printElement(const ElementOut& element, OutputFormat format, bool write);

}  // namespace zurtool
