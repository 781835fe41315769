// The real peers of the broker tests as child processes: a mosquitto broker on a free loopback
// port with a configuration of the test's own, and programs (mosquitto_sub, mosquitto_pub, node)
// whose output is read line by line. Every wait is bounded, generously: a peer that never answers
// fails the test, it never hangs it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace brokertest {

// A program of the test's peers: from the environment variable when set, else from /usr/sbin,
// /usr/bin or /usr/local/bin. Throws with what to install when it is nowhere.
std::string program(const std::string& name, const char* environmentVariable = nullptr);

// A child program, its standard error merged into its standard output; stopped with SIGTERM (then
// SIGKILL) when the object goes.
class Child {
public:
    Child(const std::string& path, const std::vector<std::string>& args,
          const std::map<std::string, std::string>& environment = {});
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The next line of its output; nullopt at its end or after timeoutSeconds.
    std::optional<std::string> nextLine(int timeoutSeconds = 20);
    // Its output to the end and its exit status (-1 when killed after timeoutSeconds).
    int finish(std::string& rest, int timeoutSeconds = 20);
    // Closes it at once, as a crash would.
    void kill();

private:
    bool read(int timeoutMs);
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffered_;
};

// A port of 127.0.0.1 that nothing listens on now.
uint16_t freeLoopbackPort();

// A program run to its end: its exit status and output.
struct Ran {
    int status = -1;
    std::string output;
};
Ran run(const std::string& path, const std::vector<std::string>& args);

// A mosquitto broker of the test's own, on a free port of 127.0.0.1 (or on `port`), with
// `extraConfiguration` appended to its configuration, and its log in a file of its own temporary
// folder. Stopped with SIGTERM when the object goes: it closes its clients' connections.
class Mosquitto {
public:
    explicit Mosquitto(const std::string& extraConfiguration = "allow_anonymous true\n", uint16_t port = 0);
    ~Mosquitto();
    uint16_t port() const { return port_; }
    const std::string& folder() const { return folder_; }
    // Waits until a line of the broker's log contains `text`; false after timeoutSeconds.
    bool logged(const std::string& text, int timeoutSeconds = 20) const;
    std::string log() const;

private:
    std::string folder_;
    uint16_t port_ = 0;
    std::optional<Child> process_;
};

}  // namespace brokertest
