// The command line of zurpm: its description and common options, and each subcommand's options
// (CLI11), filling the option records of commands.h.
#pragma once

#include <CLI/CLI.hpp>

#include "commands.h"

namespace zurtool {

// The program's description, its footer (gates, exit statuses) and --driver.
void describeProgram(CLI::App& app, CommonOptions& common, int argc, char** argv);

CLI::App* addInfoCommand(CLI::App& app);
CLI::App* addCheckCommand(CLI::App& app, CheckOptions& options);
CLI::App* addReadCommand(CLI::App& app, ReadOptions& options);
CLI::App* addWriteCommand(CLI::App& app, WriteOptions& options);
CLI::App* addPollCommand(CLI::App& app, PollOptions& options);
CLI::App* addScanCommand(CLI::App& app, ScanOptions& options);
CLI::App* addDemoCommand(CLI::App& app, DemoOptions& options);
CLI::App* addReportCommand(CLI::App& app, ReportOptions& options);
CLI::App* addPublishCommand(CLI::App& app, PublishOptions& options);

}  // namespace zurtool
