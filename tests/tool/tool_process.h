// Running a program as a subprocess for the tool's end-to-end tests: its output, its exit status,
// and a program that keeps running in the background (pcimsim) until the test is done with it.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace tooltest {

// The programs under test, as the suite's build names them.
inline const std::string zurpm = ZURPM_TOOL_PATH;
inline const std::string pcimsim = PCIMSIM_PATH;

struct RunResult {
    int status = -1;  // exit status; -1 when it did not exit by itself
    std::string out;
    std::string err;
};

// Runs program with args in directory, with the extra environment variables, and waits for it
// (killing it after timeoutSeconds, a generous bound only).
RunResult run(const std::string& program, const std::vector<std::string>& args, const std::string& directory,
              const std::map<std::string, std::string>& environment = {}, int timeoutSeconds = 120);

// Exit status, standard output and standard error, for a failure message.
std::string shown(const RunResult& result);

// A program left running, its standard error merged into its standard output; stopped with
// SIGTERM (then SIGKILL) when the object goes.
class Background {
public:
    Background(const std::string& program, const std::vector<std::string>& args, const std::string& directory);
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    // Reads its standard output until a line contains text; false after timeoutSeconds or at its end.
    bool waitForLine(const std::string& text, int timeoutSeconds);
    const std::string& output() const { return output_; }
    // Sends SIGINT, as Ctrl-C does, reads the rest of its output and answers its exit status (-1
    // when it had to be killed after timeoutSeconds).
    int interrupt(int timeoutSeconds);

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
};

// A fresh directory under the system's temporary directory, removed with its contents.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    const std::string& path() const { return path_; }
    void write(const std::string& name, const std::string& text) const;

private:
    std::string path_;
};

// The lines of a text.
std::vector<std::string> linesOf(const std::string& text);

}  // namespace tooltest
