// Gate files: a gate list in CSV with the header line `name,address,type,block`. The type and the
// block may be left empty (the type then follows the address region, the gate is then single).
// Blank lines and lines that begin with '#' are passed over. A bad line is named by its number.
#pragma once

#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "gate_item.h"

namespace zurtool {

// The fields of one CSV line; fields may be in double quotes, "" standing for one quote.
// Throws a bad-input ToolError for an unterminated quote.
std::vector<std::string> splitCsvLine(std::string_view line);

// Every gate of a gate file. `source` names the file in messages ("FILE:LINE: what is wrong").
std::vector<GateItem> readGateList(std::istream& in, const std::string& source);
std::vector<GateItem> readGateFile(const std::string& path);

// Gates from the command line, then from the gate file (when one is named). Throws bad input
// when there are none.
std::vector<GateItem> collectGates(const std::vector<std::string>& items, const std::string& gateFile);

}  // namespace zurtool
