// zurpm: the field engineer's host program for the zurpm driver. It loads the driver by name as a
// SCADA host does, keeps one DriverContext for its life, and checks, reads, writes and polls gates;
// `zurpm demo` brings its own emulated plant. Here the command line is read (command_line.h) and
// the chosen subcommand (commands.h) run; what goes wrong becomes its exit status.
#include <functional>
#include <iostream>

#include "command_line.h"
#include "commands.h"
#include "tool_error.h"

namespace {

struct Subcommand {
    CLI::App* command;
    std::function<int()> run;
};

// The subcommand's exit status; a ToolError's own, 3 for anything else that escapes.
int runGuarded(const std::function<int()>& run) {
    try {
        return run();
    } catch (const zurtool::ToolError& error) {
        std::cout.flush();
        std::cerr << "zurpm: " << error.what() << "\n";
        return error.status();
    } catch (const std::exception& error) {
        std::cout.flush();
        std::cerr << "zurpm: " << error.what() << "\n";
        return zurtool::exitUnavailable;
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zurtool;
    CLI::App app{"zurpm: check, read, write and poll gates and scan LANs through the zurpm driver"};
    CommonOptions common;
    describeProgram(app, common, argc, argv);

    CheckOptions check;
    ReadOptions read;
    WriteOptions write;
    PollOptions poll;
    ScanOptions scan;
    DemoOptions demo;
    ReportOptions report;
    PublishOptions publish;
    const Subcommand subcommands[] = {
        {addInfoCommand(app), [&] { return runInfo(common); }},
        {addCheckCommand(app, check), [&] { return runCheck(common, check); }},
        {addReadCommand(app, read), [&] { return runRead(common, read); }},
        {addWriteCommand(app, write), [&] { return runWrite(common, write); }},
        {addPollCommand(app, poll), [&] { return runPoll(common, poll); }},
        {addScanCommand(app, scan), [&] { return runScan(common, scan); }},
        {addDemoCommand(app, demo), [&] { return runDemo(common, demo); }},
        {addReportCommand(app, report), [&] { return runReport(common, report); }},
        {addPublishCommand(app, publish), [&] { return runPublish(common, publish); }},
    };

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
    for (const Subcommand& subcommand : subcommands)
        if (subcommand.command->parsed()) return runGuarded(subcommand.run);
    return exitBadInput;
}
