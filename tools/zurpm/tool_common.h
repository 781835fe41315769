// Steps that several subcommands share: collecting the gate list, choosing the number base,
// defining gates, starting the driver with a clear word when the device is missing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver_session.h"
#include "gate_item.h"
#include "link_stats.h"

namespace zurtool {

// Gates from the command line, then from the gate file (when one is named). Throws bad input
// when there are none.
std::vector<GateItem> collectGates(const std::vector<std::string>& items, const std::string& gateFile);

// The number base before any card is started: zurPM.int's BASE= line if there is one, else the
// driver's own default. Says on `origin` where it came from.
int32_t numberBaseBeforeStart(std::string& origin);

// One line about one definition: where the gate lives, or why it was refused.
std::string describeDefinition(const DefinedGate& gate);

// Defines every gate with the session's number base; prints each refusal to standard output.
// True when all were accepted.
bool defineGates(DriverSession& session, const std::vector<GateItem>& items,
                 std::vector<DefinedGate>& defined);

// Checks the gates offline with the base the driver will take from zurPM.int, so that a gate
// that the driver refuses costs no card start. True when all were accepted.
bool checkBeforeStart(DriverSession& session, const std::vector<GateItem>& items);

// Command 1 in the current directory. Throws an unavailable ToolError naming the device when the
// driver could not open it.
void startDriver(DriverSession& session);

// Messages to standard error, each with its level, as they arrive.
void echoMessagesToStandardError(DriverSession& session);

// The elements that a read of the gate moves: its block size, or 1.
int32_t elementCount(const DefinedGate& gate);

// How a subcommand shows its results: an aligned table, plain lines, CSV, or JSON lines.
enum class OutputFormat { table, lines, csv, jsonl };

// The format named by --format (empty: a table on a terminal, lines otherwise; --csv is a synonym
// for --format csv). Throws bad input for an unknown name or a --csv that contradicts --format.
OutputFormat chooseOutputFormat(const std::string& format, bool csv);

// The closing summary of a run's link statistics: each station's lines after a table on standard
// output, the same on standard error beside lines or CSV, a last summary object with JSON lines.
void printClosingSummary(const LinkStatistics& statistics, OutputFormat format);

}  // namespace zurtool
