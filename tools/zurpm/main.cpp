// zurpm: the field engineer's host program for the zurpm driver. It loads the driver by name as a
// SCADA host does, keeps one DriverContext for its life, and checks, reads, writes and polls gates;
// `zurpm demo` brings its own emulated plant.
#include <CLI/CLI.hpp>

#include <iostream>

#include "commands.h"
#include "tool_error.h"

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

}  // namespace

int main(int argc, char** argv) {
    using namespace zurtool;
    CLI::App app{"zurpm: check, read, write and poll gates and scan LANs through the zurpm driver"};
    app.footer(std::string(gateHelp) +
               "\nExit status: 0 done, 1 a gate refused or a read or write failed, 2 bad input, "
               "3 driver library or XPORTIO device not available.");
    app.require_subcommand(1);

    CommonOptions common;
    for (int i = 0; i < argc; ++i) common.commandLine += (i == 0 ? "zurpm" : std::string(" ") + argv[i]);
    app.add_option("--driver", common.driverPath, "driver library to load instead of the one found by name");

    CLI::App* info = app.add_subcommand("info", "the driver's name and banner");

    CheckOptions check;
    CLI::App* checkCommand = app.add_subcommand("check", "define gates without starting any card, and show "
                                                         "where each lives or why it is refused");
    checkCommand->add_option("--base", check.numberBase, "number base of the offset digits (default: BASE= of "
                                                          "./zurPM.int, else 10)")
        ->check(CLI::IsMember({10, 16}));
    checkCommand->add_option("--gates", check.gateFile, "gate file (CSV: name,address,type,block)");
    checkCommand->add_option("GATE", check.gates, "gates");
    addFormat(checkCommand, check.format, check.csv);

    ReadOptions read;
    CLI::App* readCommand = app.add_subcommand("read", "start the driver here, read gates, stop");
    readCommand->add_option("GATE", read.gates, "gates")->required();
    readCommand->add_option("--count,-c", read.count, "elements to read from each gate on");
    addFormat(readCommand, read.format, read.csv);
    readCommand->add_flag("--no-group", read.noGroup, "read gate by gate instead of in blocks");

    WriteOptions write;
    CLI::App* writeCommand = app.add_subcommand("write", "start the driver here, write a gate, stop");
    writeCommand->add_option("GATE", write.gate, "the gate")->required();
    writeCommand->add_option("VALUE", write.values, "one value, or one for each block element written")->required();
    addFormat(writeCommand, write.format, write.csv);

    PollOptions poll;
    CLI::App* pollCommand = app.add_subcommand("poll", "start once, then read every gate each interval");
    pollCommand->add_option("--gates", poll.gateFile, "gate file (CSV: name,address,type,block)");
    pollCommand->add_option("GATE", poll.gates, "gates besides those of the file");
    pollCommand->add_option("--interval,-i", poll.intervalMs, "milliseconds between polls (default 1000)");
    pollCommand->add_option("--count,-n", poll.count, "number of polls (default: until Ctrl-C)");
    addFormat(pollCommand, poll.format, poll.csv);
    pollCommand->add_flag("--no-group", poll.noGroup, "read gate by gate instead of in blocks");
    pollCommand->add_option("--record", poll.recordPath, "keep every poll as JSON lines in this file");
    pollCommand->add_option("--report", poll.reportPath, "write the commissioning report (HTML) at the end");

    ScanOptions scan;
    CLI::App* scanCommand = app.add_subcommand("scan", "start the driver here and show what is on each card's LAN");
    scanCommand->add_option("--card", scan.card, "scan this card only (1 to 3)");
    addFormat(scanCommand, scan.format, scan.csv);

    DemoOptions demo;
    CLI::App* demoCommand = app.add_subcommand("demo", "poll an emulated two-card plant that runs inside zurpm");
    demoCommand->add_option("--seconds,-s", demo.seconds, "how long to poll (default 20)");
    demoCommand->add_option("--interval,-i", demo.intervalMs, "milliseconds between polls (default 500)");
    demoCommand->add_flag("--csv", demo.csv, "CSV lines instead of a table or plain lines");
    demoCommand->add_option("--record", demo.recordPath, "keep every poll as JSON lines in this file");
    demoCommand->add_option("--report", demo.reportPath, "write the commissioning report (HTML) at the end");

    ReportOptions report;
    CLI::App* reportCommand =
        app.add_subcommand("report", "write the commissioning report (HTML) of a poll kept with --record");
    reportCommand->add_option("RECORD", report.recordPath, "JSON lines of zurpm poll --record")->required();
    reportCommand->add_option("--output,-o", report.output, "the page to write (default: RECORD with .html)");

    if (argc <= 1) {
        std::cout << app.help();
        return exitDone;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return exitDone;
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);
        std::cerr << "zurpm: " << error.what() << "\n";
        std::cerr << "run 'zurpm --help' for the subcommands and their options\n";
        return exitBadInput;
    }

    try {
        if (info->parsed()) return runInfo(common);
        if (checkCommand->parsed()) return runCheck(common, check);
        if (readCommand->parsed()) return runRead(common, read);
        if (writeCommand->parsed()) return runWrite(common, write);
        if (pollCommand->parsed()) return runPoll(common, poll);
        if (scanCommand->parsed()) return runScan(common, scan);
        if (demoCommand->parsed()) return runDemo(common, demo);
        if (reportCommand->parsed()) return runReport(common, report);
    } catch (const ToolError& error) {
        std::cout.flush();
        std::cerr << "zurpm: " << error.what() << "\n";
        return error.status();
    } catch (const std::exception& error) {
        std::cout.flush();
        std::cerr << "zurpm: " << error.what() << "\n";
        return exitUnavailable;
    }
    return exitBadInput;
}
