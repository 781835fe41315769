// Helpers of the posix device suite: a temporary folder for sockets, a scripted device server that
// misbehaves on purpose, the pcimsim program as a child process, and the request records as the
// driver lays them out.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace posixdevice {

// A fresh folder under /tmp, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Points the client at path for the life of the object.
class SocketVariable {
public:
    explicit SocketVariable(const std::string& path);
    ~SocketVariable();

private:
    std::string previous_;
    bool hadPrevious_ = false;
};

// One request as a scripted server received it.
struct ReceivedRequest {
    uint32_t code = 0;
    std::vector<uint8_t> input;
    uint32_t outputLength = 0;
};

// What a scripted server does with one request it has read.
struct ScriptStep {
    enum class Action {
        reply,       // status, length and output as given, with a descriptor when descriptorSize > 0
        hangUp,      // closes the connection without a reply
        halfReply,   // sends the first 4 bytes of a reply, then closes
    } action = Action::reply;
    uint32_t status = 1;
    std::vector<uint8_t> output;
    size_t descriptorSize = 0;  // memory attached to the reply, of this many bytes
};

// A device server that serves one client from a script. The client's requests are kept in order.
class ScriptedServer {
public:
    ScriptedServer(const std::string& path, uint32_t greeting, std::vector<ScriptStep> script,
                   bool sendGreeting = true);
    ~ScriptedServer();  // waits for the script (bounded), closes everything
    std::vector<ReceivedRequest> received();

private:
    void run();

    int listener_ = -1;
    uint32_t greeting_;
    bool sendGreeting_;
    std::vector<ScriptStep> script_;
    std::vector<ReceivedRequest> received_;
    std::thread thread_;
};

// pcimsim as a child process with its standard output and error collected.
class PcimsimProcess {
public:
    PcimsimProcess(const std::vector<std::string>& arguments, const std::string& workingFolder = {});
    ~PcimsimProcess();  // SIGKILL if it still runs
    // Waits (up to 10 s) for the ready line; false if the program ended or printed none.
    bool waitReady();
    // SIGTERM and the exit status (-1: it did not end within 10 s, or died of a signal).
    int terminate();
    // Waits for the program to end by itself; the exit status as terminate().
    int waitExit();
    std::string output();  // standard output and error so far
    pid_t pid() const { return pid_; }

private:
    void collect(int timeoutMs);

    pid_t pid_ = -1;
    int outputPipe_ = -1;
    std::string output_;
};

// The driver's records, laid out as its device layer lays them out.
std::vector<uint8_t> mapRequest(uint16_t segment, uint32_t length);
std::vector<uint8_t> portWrite(uint16_t port, uint16_t value);
std::vector<uint8_t> portNumber(uint16_t port);
std::vector<uint8_t> addressBytes(const void* address);

// True when no page of [address, address + length) is mapped in this process.
bool unmappedHere(const void* address, size_t length);

// Polls condition every few milliseconds for up to 10 s of real time.
bool eventually(const std::function<bool()>& condition);

constexpr uint32_t mapCode = 0xD0532000;
constexpr uint32_t unmapCode = 0xD0532004;
constexpr uint32_t readPortCode = 0xD0532008;
constexpr uint32_t writePortCode = 0xD053200C;

}  // namespace posixdevice
