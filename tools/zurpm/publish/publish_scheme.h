// How a gate becomes a topic and a payload on the broker, in the two schemes of `zurpm publish`,
// and how a command from the broker becomes values to write. Pure functions, no socket:
//
//   plain       zurpm/NODE/GATE retained, one JSON object (the element object of the JSON lines,
//               with a block's elements as one array in `value`, and `failure`, the failure's
//               kind); zurpm/NODE/status retained, "online" or "offline"; zurpm/NODE/stats; a
//               write asked on zurpm/NODE/GATE/set and answered on zurpm/NODE/GATE/result
//   Sparkplug   one device per station ("station-3"), one metric per element, named by the gate
//               file (a block's elements as NAME[i]): s16 Int16, u16 UInt16, float Float,
//               digital Boolean; a failed read a null metric
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "driver_session.h"
#include "gate_values.h"
#include "json_lines.h"
#include "local_time.h"
#include "sparkplug_payload.h"

namespace zurtool {

// The latest read of one gate.
struct GateSnapshot {
    bool read = false;  // false until the first pass
    bool ok = false;
    std::vector<GateValue> values;  // empty when the read failed
    std::vector<HostMessage> messages;
    std::string failure;  // the failure's kind, when failed
    LocalTime time;
};

// Why a gate's name cannot be a topic level or a metric name (empty; holding +, # or /; not
// UTF-8), or nothing.
std::optional<std::string> gateNameProblem(std::string_view name);
// Refuses the first gate whose name cannot be published: "FILE:LINE: gate name ... cannot ...".
// Throws a bad-input ToolError.
void checkGateNames(const std::vector<GateItem>& items, const std::string& gateFile);

// The gates named by --writable: "NAME,NAME" or "@FILE" with one name a line ('#' lines and blank
// lines passed over). Throws bad input for a name that is no gate of the list.
std::set<std::string> readWritable(const std::string& option, const std::vector<GateItem>& items);

std::string plainGateTopic(std::string_view node, std::string_view gate);
std::string plainStatusTopic(std::string_view node);
std::string plainStatsTopic(std::string_view node);
std::string plainSetFilter(std::string_view node);  // zurpm/NODE/+/set
std::string plainResultTopic(std::string_view node, std::string_view gate);
// The gate a topic of plainSetFilter names, or nothing.
std::optional<std::string> plainSetGate(std::string_view topic, std::string_view node);

// A gate's retained message: time, name, address, type, value (an array for a block gate; null
// when failed), status, messages, failure.
JsonObject gatePayloadJson(const DefinedGate& gate, const GateSnapshot& snapshot);
// The answer to a write: time, name, value (the text asked for), status ("written", "refused" or
// "failed"), reason.
JsonObject writeResultJson(std::string_view gate, std::string_view asked, const std::string& status,
                           const std::string& reason);
std::string dumpJson(const JsonObject& object);

// The values a plain command asks for: one value, or for a block gate up to its size separated by
// commas or blanks, in brackets or not. Throws bad input (a value out of the gate's type, too many).
std::vector<GateValue> parseWriteValues(const GateItem& item, std::string_view payload);

// Whether the new values differ from those published: a value of an analog gate (s16, u16, float)
// by more than the deadband, a point at all, or the count.
bool valuesChanged(const std::vector<GateValue>& now, const std::vector<GateValue>& published, double deadband);

namespace sparkplug_scheme {

// "station-3".
std::string deviceName(int32_t station);
std::optional<int32_t> stationOfDevice(std::string_view device);
broker::sparkplug::DataType dataTypeOf(ValueKind kind);
// The gate's metrics: one, or one per element of a block (NAME[i]); null metrics when failed.
std::vector<broker::sparkplug::Metric> gateMetrics(const DefinedGate& gate, const GateSnapshot& snapshot);
// A metric's name back to a gate name and element: "NAME" (-1) or "NAME[i]".
std::pair<std::string, int32_t> metricGate(std::string_view metric);
// The value of a DCMD metric as the text a write of the kind takes. Throws bad input for a value
// that the kind cannot hold.
std::string valueText(ValueKind kind, const broker::sparkplug::Value& value);

}  // namespace sparkplug_scheme

}  // namespace zurtool
