#include "peer_process.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

namespace brokertest {

namespace {

using Clock = std::chrono::steady_clock;

bool accepts(uint16_t port);

}  // namespace

// The kernel's choice for a socket bound to port 0.
uint16_t freeLoopbackPort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("no free loopback port");
    ::close(probe);
    return ntohs(address.sin_port);
}

namespace {

bool accepts(uint16_t port) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool open = ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return open;
}

}  // namespace

std::string program(const std::string& name, const char* environmentVariable) {
    if (environmentVariable)
        if (const char* chosen = std::getenv(environmentVariable); chosen && *chosen) return chosen;
    for (const char* folder : {"/usr/sbin/", "/usr/bin/", "/usr/local/bin/"})
        if (::access((folder + name).c_str(), X_OK) == 0) return folder + name;
    throw std::runtime_error(name + " not found: the broker tests need Debian's mosquitto, mosquitto-clients and nodejs");
}

Child::Child(const std::string& path, const std::vector<std::string>& args,
             const std::map<std::string, std::string>& environment) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::dup2(pipeEnds[1], STDERR_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        const int nothing = ::open("/dev/null", O_RDONLY);
        if (nothing >= 0) ::dup2(nothing, STDIN_FILENO);
        for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    out_ = pipeEnds[0];
}

Child::~Child() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
    }
    if (out_ >= 0) ::close(out_);
}

bool Child::read(int timeoutMs) {
    if (out_ < 0) return false;
    pollfd entry{out_, POLLIN, 0};
    if (::poll(&entry, 1, timeoutMs) <= 0) return true;
    char chunk[4096];
    const ssize_t got = ::read(out_, chunk, sizeof chunk);
    if (got <= 0) {
        ::close(out_);
        out_ = -1;
        return false;
    }
    buffered_.append(chunk, static_cast<size_t>(got));
    return true;
}

std::optional<std::string> Child::nextLine(int timeoutSeconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    while (buffered_.find('\n') == std::string::npos)
        if (Clock::now() > deadline || !read(200)) return std::nullopt;
    const size_t end = buffered_.find('\n');
    std::string line = buffered_.substr(0, end);
    buffered_.erase(0, end + 1);
    return line;
}

int Child::finish(std::string& rest, int timeoutSeconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    bool killed = false;
    while (read(200))
        if (!killed && Clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            killed = true;
        }
    rest = std::exchange(buffered_, {});
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Child::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

Ran run(const std::string& path, const std::vector<std::string>& args) {
    Child child(path, args);
    Ran ran;
    ran.status = child.finish(ran.output);
    return ran;
}

Mosquitto::Mosquitto(const std::string& extraConfiguration, uint16_t port) {
    std::string pattern = (std::filesystem::temp_directory_path() / "zurpm-broker-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    // A broker started as root gives up root for the user mosquitto unless told to stay.
    const std::string user = ::geteuid() == 0 ? "user root\n" : "";
    for (int attempt = 0; attempt < 5 && !process_; ++attempt) {
        port_ = port != 0 ? port : freeLoopbackPort();
        std::ofstream(folder_ + "/mosquitto.conf")
            << user << "listener " << port_ << " 127.0.0.1\n"
            << "persistence false\nlog_dest file " << folder_ << "/mosquitto.log\nlog_type all\n"
            << extraConfiguration;
        process_.emplace(program("mosquitto", "ZURPM_MOSQUITTO"), std::vector<std::string>{"-c", folder_ + "/mosquitto.conf"});
        // Another program may take the port in between: then this broker ends and the next port is tried.
        if (!logged("running", 10) || !accepts(port_)) process_.reset();
    }
    if (!process_) throw std::runtime_error("mosquitto did not start:\n" + log());
}

Mosquitto::~Mosquitto() {
    process_.reset();
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
}

std::string Mosquitto::log() const {
    std::ifstream file(folder_ + "/mosquitto.log");
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool Mosquitto::logged(const std::string& text, int timeoutSeconds) const {
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    while (log().find(text) == std::string::npos) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace brokertest
