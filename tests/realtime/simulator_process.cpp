// pcimsim as a child process: see simulator_process.h.
#include "simulator_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace realtime {

namespace {

constexpr const char* readyLine = "pcimsim: ready on ";

long long nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

SimulatorProcess::~SimulatorProcess() { stop(); }

bool SimulatorProcess::start(const std::string& program, const std::string& plantFile,
                             const std::string& socketPath, int patienceSeconds, std::string& problem,
                             const std::vector<std::string>& moreArguments) {
    int ends[2];
    if (pipe(ends) != 0) {
        problem = "no pipe for the simulator's output";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, ends[0]);
    std::vector<std::string> words = {program, plantFile, "--socket", socketPath};
    words.insert(words.end(), moreArguments.begin(), moreArguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    outputPipe_ = ends[0];
    if (spawned != 0) {
        pid_ = -1;
        problem = "cannot start " + program;
        return false;
    }

    const long long deadline = nowMs() + 1000LL * patienceSeconds;
    while (output_.find(readyLine) == std::string::npos) {
        const long long left = deadline - nowMs();
        if (left <= 0) {
            problem = "no ready line from the simulator; it said: " + output_;
            return false;
        }
        pollfd waiting{outputPipe_, POLLIN, 0};
        if (poll(&waiting, 1, static_cast<int>(left)) <= 0) continue;
        char chunk[512];
        const ssize_t got = read(outputPipe_, chunk, sizeof chunk);
        if (got <= 0) {
            problem = "the simulator ended before it was ready; it said: " + output_;
            return false;
        }
        output_.append(chunk, static_cast<size_t>(got));
    }
    return true;
}

void SimulatorProcess::signal(int number) {
    if (pid_ > 0) kill(pid_, number);
}

int SimulatorProcess::stop() {
    int result = -1;
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        if (waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status)) result = WEXITSTATUS(status);
        pid_ = -1;
    }
    if (outputPipe_ >= 0) {
        close(outputPipe_);
        outputPipe_ = -1;
    }
    return result;
}

}  // namespace realtime
