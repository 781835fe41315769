// Each subcommand's options.
#include "command_line.h"

namespace zurtool {

namespace {

const char* const gateHelp =
    "GATE is ADDRESS[:TYPE[:BLOCK]]: the driver's address string (e.g. 059R0010 in base 16), TYPE one of "
    "s16, u16, float, digital (default by region: R, L, O and GA s16; F float; discrete regions, GD and "
    "the bit-of-word form digital), BLOCK the number of elements of a block gate.";

const char* const formatHelp = "output: table, lines, csv or jsonl (default: a table on a terminal, lines otherwise)";

void addFormat(CLI::App* command, std::string& format, bool& csv) {
    command->add_option("--format", format, formatHelp);
    command->add_flag("--csv", csv, "the same as --format csv");
}

void addEmulate(CLI::App* command, EmulateOptions& options) {
    CLI::Option* emulate = command->add_option(
        "--emulate", options.plantFile, "run against this plant file (TOML), emulated inside zurpm, instead of the device");
    command->add_flag("--trace", options.trace, "with --emulate: each datagram, decoded, on standard error")
        ->needs(emulate);
}

}  // namespace

void describeProgram(CLI::App& app, CommonOptions& common, int argc, char** argv) {
    app.footer(std::string(gateHelp) +
               "\nExit status: 0 done, 1 a gate refused or a read or write failed, 2 bad input, "
               "3 driver library or XPORTIO device not available.");
    app.require_subcommand(1);
    for (int i = 0; i < argc; ++i) common.commandLine += (i == 0 ? "zurpm" : std::string(" ") + argv[i]);
    app.add_option("--driver", common.driverPath, "driver library to load instead of the one found by name");
}

CLI::App* addInfoCommand(CLI::App& app) { return app.add_subcommand("info", "the driver's name and banner"); }

CLI::App* addCheckCommand(CLI::App& app, CheckOptions& options) {
    CLI::App* command = app.add_subcommand("check", "define gates without starting any card, and show "
                                                    "where each lives or why it is refused");
    command->add_option("--base", options.numberBase, "number base of the offset digits (default: BASE= of "
                                                      "./zurPM.int, else 10)")
        ->check(CLI::IsMember({10, 16}));
    command->add_option("--gates", options.gateFile, "gate file (CSV: name,address,type,block)");
    command->add_option("GATE", options.gates, "gates");
    addFormat(command, options.format, options.csv);
    return command;
}

CLI::App* addReadCommand(CLI::App& app, ReadOptions& options) {
    CLI::App* command = app.add_subcommand("read", "start the driver here, read gates, stop");
    command->add_option("GATE", options.gates, "gates")->required();
    command->add_option("--count,-c", options.count, "elements to read from each gate on");
    addFormat(command, options.format, options.csv);
    command->add_flag("--no-group", options.noGroup, "read gate by gate instead of in blocks");
    addEmulate(command, options.emulate);
    return command;
}

CLI::App* addWriteCommand(CLI::App& app, WriteOptions& options) {
    CLI::App* command = app.add_subcommand("write", "start the driver here, write a gate, stop");
    command->add_option("GATE", options.gate, "the gate")->required();
    command->add_option("VALUE", options.values, "one value, or one for each block element written")->required();
    addFormat(command, options.format, options.csv);
    addEmulate(command, options.emulate);
    return command;
}

CLI::App* addPollCommand(CLI::App& app, PollOptions& options) {
    CLI::App* command = app.add_subcommand("poll", "start once, then read every gate each interval");
    command->add_option("--gates", options.gateFile, "gate file (CSV: name,address,type,block)");
    command->add_option("GATE", options.gates, "gates besides those of the file");
    command->add_option("--interval,-i", options.intervalMs, "milliseconds between polls (default 1000)");
    command->add_option("--count,-n", options.count, "number of polls (default: until Ctrl-C)");
    addFormat(command, options.format, options.csv);
    command->add_flag("--no-group", options.noGroup, "read gate by gate instead of in blocks");
    command->add_option("--record", options.recordPath, "keep every poll as JSON lines in this file");
    command->add_option("--report", options.reportPath, "write the commissioning report (HTML) at the end");
    addEmulate(command, options.emulate);
    return command;
}

CLI::App* addScanCommand(CLI::App& app, ScanOptions& options) {
    CLI::App* command = app.add_subcommand("scan", "start the driver here and show what is on each card's LAN");
    command->add_option("--card", options.card, "scan this card only (1 to 3)");
    addFormat(command, options.format, options.csv);
    addEmulate(command, options.emulate);
    return command;
}

CLI::App* addDemoCommand(CLI::App& app, DemoOptions& options) {
    CLI::App* command = app.add_subcommand("demo", "poll an emulated two-card plant that runs inside zurpm");
    command->add_option("--seconds,-s", options.seconds, "how long to poll (default 20)");
    command->add_option("--interval,-i", options.intervalMs, "milliseconds between polls (default 500)");
    command->add_flag("--csv", options.csv, "CSV lines instead of a table or plain lines");
    command->add_option("--record", options.recordPath, "keep every poll as JSON lines in this file");
    command->add_option("--report", options.reportPath, "write the commissioning report (HTML) at the end");
    command->add_flag("--trace", options.trace, "each datagram of the demo plant, decoded, on standard error");
    return command;
}

CLI::App* addReportCommand(CLI::App& app, ReportOptions& options) {
    CLI::App* command =
        app.add_subcommand("report", "write the commissioning report (HTML) of a poll kept with --record");
    command->add_option("RECORD", options.recordPath, "JSON lines of zurpm poll --record")->required();
    command->add_option("--output,-o", options.output, "the page to write (default: RECORD with .html)");
    return command;
}

CLI::App* addPublishCommand(CLI::App& app, PublishOptions& options) {
    CLI::App* command = app.add_subcommand("publish", "start once, poll the gates and publish them to an MQTT "
                                                      "broker until Ctrl-C (docs/publish.md)");
    command->add_option("--gates", options.gateFile, "gate file (CSV: name,address,type,block)")->required();
    command->add_option("--broker", options.broker, "HOST[:PORT] of the MQTT broker (port 1883 by default)")->required();
    command->add_option("--interval,-i", options.intervalMs, "milliseconds between polls (default 1000)");
    command->add_flag("--no-group", options.noGroup, "read gate by gate instead of in blocks");
    command->add_option("--node", options.node, "the node's name in topics (default: the host name)");
    command->add_option("--client-id", options.clientId, "MQTT client identifier (default: zurpm-NODE)");
    command->add_option("--user", options.user, "MQTT user name; the password from --password-file or ZURPM_MQTT_PASSWORD");
    command->add_option("--password-file", options.passwordFile, "file whose first line is the MQTT password");
    command->add_option("--keepalive", options.keepAliveSeconds, "MQTT keepalive in seconds (default 60)");
    command->add_option("--republish", options.republishSeconds, "publish every value again after this many seconds "
                                                                 "(default 0: on change only)");
    command->add_option("--deadband", options.deadband, "publish an analog value only when it moved by more than this");
    command->add_option("--stats", options.statsSeconds, "seconds between the link statistics (default 60, 0: never)");
    command->add_option("--sparkplug", options.sparkplugGroup, "publish as a Sparkplug B edge node of this group");
    command->add_option("--writable", options.writable, "gates that the broker may write: NAME,NAME or @FILE");
    return command;
}

}  // namespace zurtool
