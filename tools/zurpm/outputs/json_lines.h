// JSON lines: one object per line, for scripts and other programs. The fields are an interface
// (documented in docs/json-lines.md); keep them stable.
//
//   an element read or written:  time, name, address, type, index, value (null when failed),
//                                status ("ok" or "failed"), messages [{level, text}]
//   a gate checked:              time, name, address, type, block, status ("accepted" or "refused"),
//                                station, memory_type, offset, bit, width, messages
//   a device of a scan:          time, card, device, station, kind, and by kind value (plc), data
//                                (block), waited_ms (silent), segment, port, started, version (card),
//                                ms, messages
//   the summary of a run:        time, summary (true), gates [...], stations [...], each with
//                                requests, successes, failures {kind: count}, ms {min, median, p99, max}
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "driver_messages.h"
#include "driver_session.h"
#include "gate_values.h"
#include "lan_scan.h"
#include "link_stats.h"
#include "local_time.h"

namespace zurtool {

using JsonObject = nlohmann::ordered_json;

// Times are ISO 8601 local time with milliseconds and the offset from UTC (local_time.h):
// 2026-12-08T07:01:02.123+01:00.

// One element of a gate, as read or written.
struct ElementRecord {
    std::string time;
    std::string name;
    std::string address;
    ValueKind kind = ValueKind::signed16;
    int32_t index = 0;  // element of a block, 0 for a single gate
    std::optional<GateValue> value;  // none when the request failed
    bool ok = false;
    std::vector<HostMessage> messages;
};

JsonObject messagesJson(const std::vector<HostMessage>& messages);
JsonObject valueJson(const GateValue& value);
JsonObject elementJson(const ElementRecord& element);
JsonObject checkedGateJson(const std::string& time, const DefinedGate& gate);
// A device of a scan; the card's own device number carries the card's start (`card`).
JsonObject scanDeviceJson(const std::string& time, const ScanDevice& device, const CardStart* card);
JsonObject countsJson(const LinkCounts& counts);
JsonObject summaryJson(const std::string& time, const LinkStatistics& statistics);

// The object on one line.
void writeJsonLine(std::ostream& out, const JsonObject& object);
void writeElement(std::ostream& out, const ElementRecord& element);
void writeScanDevice(std::ostream& out, const std::string& time, const ScanDevice& device, const CardStart* card);
void writeSummary(std::ostream& out, const LinkStatistics& statistics);

}  // namespace zurtool
