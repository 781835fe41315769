// pcimsim as a child process of the test: started on a plant file and a socket path, waited for
// until it says it is ready, stopped with SIGTERM.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace realtime {

class SimulatorProcess {
public:
    SimulatorProcess() = default;
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // Starts the program and waits, at most patienceSeconds, for its ready line. False with the
    // reason (and whatever the program printed) in problem.
    bool start(const std::string& program, const std::string& plantFile, const std::string& socketPath,
               int patienceSeconds, std::string& problem, const std::vector<std::string>& moreArguments = {});
    void signal(int number);  // sends the signal, when it runs
    // SIGTERM, then the exit status; -1 when it was not running or did not end normally.
    int stop();

    const std::string& output() const { return output_; }

private:
    pid_t pid_ = -1;
    int outputPipe_ = -1;
    std::string output_;
};

}  // namespace realtime
