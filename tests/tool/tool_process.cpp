// Subprocesses for the tool's tests, with fork and exec and pipes read through poll.
#include "tool_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tooltest {

namespace {

using Clock = std::chrono::steady_clock;

pid_t spawn(const std::string& program, const std::vector<std::string>& args, const std::string& directory,
            const std::map<std::string, std::string>& environment, int& out, int& err, bool mergeError = false) {
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(mergeError ? outPipe[1] : errPipe[1], STDERR_FILENO);
        close(outPipe[0]);
        close(outPipe[1]);
        close(errPipe[0]);
        close(errPipe[1]);
        const int nothing = open("/dev/null", O_RDONLY);
        if (nothing >= 0) dup2(nothing, STDIN_FILENO);
        if (chdir(directory.c_str()) != 0) _exit(126);
        unsetenv("XPORTIO_SOCKET");  // each test says where its device is
        for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    out = outPipe[0];
    err = errPipe[0];
    return pid;
}

// Reads what is there on the descriptors, waiting at most waitMs; false once every one is at its end.
bool drain(std::vector<std::pair<int, std::string*>>& sources, int waitMs) {
    std::vector<pollfd> polled;
    for (const auto& source : sources)
        if (source.first >= 0) polled.push_back({source.first, POLLIN, 0});
    if (polled.empty()) return false;
    if (poll(polled.data(), polled.size(), waitMs) <= 0) return true;
    for (const pollfd& entry : polled) {
        if ((entry.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        char buffer[4096];
        const ssize_t got = read(entry.fd, buffer, sizeof buffer);
        for (auto& source : sources) {
            if (source.first != entry.fd) continue;
            if (got > 0) {
                source.second->append(buffer, static_cast<size_t>(got));
            } else {
                close(source.first);
                source.first = -1;
            }
        }
    }
    return true;
}

}  // namespace

RunResult run(const std::string& program, const std::vector<std::string>& args, const std::string& directory,
              const std::map<std::string, std::string>& environment, int timeoutSeconds) {
    RunResult result;
    int out = -1;
    int err = -1;
    const pid_t pid = spawn(program, args, directory, environment, out, err);
    std::vector<std::pair<int, std::string*>> sources{{out, &result.out}, {err, &result.err}};
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    bool killed = false;
    while (drain(sources, 200)) {
        if (!killed && Clock::now() > deadline) {
            kill(pid, SIGKILL);
            killed = true;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

Background::Background(const std::string& program, const std::vector<std::string>& args,
                       const std::string& directory) {
    int err = -1;
    pid_ = spawn(program, args, directory, {}, out_, err, true);
    close(err);
}

Background::~Background() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            usleep(50000);
        }
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
    if (out_ >= 0) close(out_);
}

bool Background::waitForLine(const std::string& text, int timeoutSeconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    std::vector<std::pair<int, std::string*>> sources{{out_, &output_}};
    while (output_.find(text) == std::string::npos) {
        if (Clock::now() > deadline || !drain(sources, 200)) {
            out_ = sources.front().first;
            return false;
        }
    }
    out_ = sources.front().first;
    return true;
}

int Background::interrupt(int timeoutSeconds) {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGINT);
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    std::vector<std::pair<int, std::string*>> sources{{out_, &output_}};
    bool killed = false;
    while (drain(sources, 200)) {
        if (!killed && Clock::now() > deadline) {
            kill(pid_, SIGKILL);
            killed = true;
        }
    }
    out_ = sources.front().first;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zurpm-tool-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

void TemporaryDirectory::write(const std::string& name, const std::string& text) const {
    std::ofstream file(std::filesystem::path(path_) / name);
    file << text;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::string shown(const RunResult& result) {
    return "exit " + std::to_string(result.status) + "\n--- stdout\n" + result.out + "--- stderr\n" + result.err;
}

}  // namespace tooltest
