// The table of contents of zurpm: each subcommand, a function from its options to the exit status
// (base/tool_error.h), in commands/ one file each; main.cpp and command_line.cpp read the command
// line. Below them: record/ (the run record, its file and report page), outputs/ (table, lines,
// CSV, JSON lines), session/ (the driver: loading, openSession, messages, read plan, poll loop,
// link statistics), base/ (gate items, values, gate files, zurPM.int, time, card record). Arrows
// run one way, down that list; each folder is a library of its own (CMakeLists.txt).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zurtool {

struct CommonOptions {
    std::string driverPath;  // empty: beside zurpm, then the loader's search path
    std::string commandLine; // as typed, for the report's header
};

// --emulate PLANT.toml: run against that plant, emulated inside zurpm, instead of the device;
// --trace: each datagram and global-data change of the plant, decoded, on standard error.
struct EmulateOptions {
    std::string plantFile;
    bool trace = false;
};

int runInfo(const CommonOptions& common);

struct CheckOptions {
    std::optional<int32_t> numberBase;  // 10 or 16; else zurPM.int's BASE=, else 10
    std::vector<std::string> gates;
    std::string gateFile;
    std::string format;  // table, lines, csv, jsonl; empty: by the terminal
    bool csv = false;
};
int runCheck(const CommonOptions& common, const CheckOptions& options);

struct ReadOptions {
    std::vector<std::string> gates;
    std::optional<int32_t> count;  // elements to read from each gate
    std::string format;
    bool csv = false;
    bool noGroup = false;  // gate by gate
    EmulateOptions emulate;
};
int runRead(const CommonOptions& common, const ReadOptions& options);

struct WriteOptions {
    std::string gate;
    std::vector<std::string> values;
    std::string format;
    bool csv = false;
    EmulateOptions emulate;
};
int runWrite(const CommonOptions& common, const WriteOptions& options);

struct PollOptions {
    std::vector<std::string> gates;
    std::string gateFile;
    uint32_t intervalMs = 1000;
    std::optional<uint32_t> count;  // polls; none: until Ctrl-C
    std::string format;
    bool csv = false;
    bool noGroup = false;
    std::string reportPath;  // the commissioning report, written at the end
    std::string recordPath;  // JSON lines of the run, written as it goes
    EmulateOptions emulate;
};
int runPoll(const CommonOptions& common, const PollOptions& options);

struct ScanOptions {
    std::optional<int32_t> card;  // one card only
    std::string format;
    bool csv = false;
    EmulateOptions emulate;
};
int runScan(const CommonOptions& common, const ScanOptions& options);

struct DemoOptions {
    uint32_t seconds = 20;
    uint32_t intervalMs = 500;
    bool csv = false;
    std::string reportPath;
    std::string recordPath;
    bool trace = false;  // the demo plant's datagrams on standard error
};
int runDemo(const CommonOptions& common, const DemoOptions& options);

struct ReportOptions {
    std::string recordPath;  // JSON lines of a poll
    std::string output;      // empty: the record's name with .html
};
int runReport(const CommonOptions& common, const ReportOptions& options);

struct PublishOptions {
    std::string gateFile;
    std::string broker;  // HOST[:PORT]
    uint32_t intervalMs = 1000;
    bool noGroup = false;
    std::string node;      // empty: the host name
    std::string clientId;  // empty: zurpm-NODE
    std::string user;
    std::string passwordFile;  // else ZURPM_MQTT_PASSWORD
    uint16_t keepAliveSeconds = 60;
    uint32_t republishSeconds = 0;  // 0: on change only
    double deadband = 0.0;
    uint32_t statsSeconds = 60;  // 0: never
    std::optional<std::string> sparkplugGroup;
    std::string writable;  // NAMES or @FILE
};
int runPublish(const CommonOptions& common, const PublishOptions& options);

}  // namespace zurtool
