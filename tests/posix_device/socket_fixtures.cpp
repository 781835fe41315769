// Helpers of the posix device suite: see socket_fixtures.h.
#include "socket_fixtures.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "zurpm/little_endian.h"

extern char** environ;

namespace posixdevice {

namespace {

constexpr int patienceMs = 10000;

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Reads exactly count bytes within the patience; false on EOF, error or time-out.
bool readExactly(int socket, uint8_t* to, size_t count) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(patienceMs);
    while (count > 0) {
        pollfd readable{socket, POLLIN, 0};
        if (poll(&readable, 1, remainingMs(deadline)) <= 0) return false;
        const ssize_t received = recv(socket, to, count, 0);
        if (received < 0 && errno == EINTR) continue;
        if (received <= 0) return false;
        to += received;
        count -= static_cast<size_t>(received);
    }
    return true;
}

void sendWithDescriptor(int socket, const std::vector<uint8_t>& bytes, int descriptor) {
    iovec part{const_cast<uint8_t*>(bytes.data()), bytes.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) uint8_t control[CMSG_SPACE(sizeof(int))] = {};
    if (descriptor >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* item = CMSG_FIRSTHDR(&message);
        item->cmsg_level = SOL_SOCKET;
        item->cmsg_type = SCM_RIGHTS;
        item->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(item), &descriptor, sizeof descriptor);
    }
    sendmsg(socket, &message, MSG_NOSIGNAL);
}

}  // namespace

// ---- Folders and the environment --------------------------------------------------------------

TemporaryFolder::TemporaryFolder() {
    char pattern[] = "/tmp/zurpm-posix-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

SocketVariable::SocketVariable(const std::string& path) {
    if (const char* previous = std::getenv("XPORTIO_SOCKET")) {
        previous_ = previous;
        hadPrevious_ = true;
    }
    if (path.empty())
        unsetenv("XPORTIO_SOCKET");
    else
        setenv("XPORTIO_SOCKET", path.c_str(), 1);
}

SocketVariable::~SocketVariable() {
    if (hadPrevious_)
        setenv("XPORTIO_SOCKET", previous_.c_str(), 1);
    else
        unsetenv("XPORTIO_SOCKET");
}

// ---- The scripted server ----------------------------------------------------------------------

ScriptedServer::ScriptedServer(const std::string& path, uint32_t greeting, std::vector<ScriptStep> script,
                               bool sendGreeting)
    : greeting_(greeting), sendGreeting_(sendGreeting), script_(std::move(script)) {
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 4) != 0)
        throw std::runtime_error("scripted server cannot listen on " + path);
    thread_ = std::thread([this] { run(); });
}

ScriptedServer::~ScriptedServer() {
    if (thread_.joinable()) thread_.join();
    close(listener_);
}

std::vector<ReceivedRequest> ScriptedServer::received() {
    if (thread_.joinable()) thread_.join();
    return received_;
}

void ScriptedServer::run() {
    pollfd arriving{listener_, POLLIN, 0};
    if (poll(&arriving, 1, patienceMs) <= 0) return;
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    if (sendGreeting_) {
        std::vector<uint8_t> greeting(4);
        zurpm::putLittle32(greeting.data(), greeting_);
        sendWithDescriptor(client, greeting, -1);
    }
    for (const ScriptStep& step : script_) {
        uint8_t header[12];
        if (!readExactly(client, header, sizeof header)) break;
        ReceivedRequest request;
        request.code = zurpm::getLittle32(header);
        request.input.resize(zurpm::getLittle32(header + 4));
        request.outputLength = zurpm::getLittle32(header + 8);
        if (!request.input.empty() && !readExactly(client, request.input.data(), request.input.size())) break;
        received_.push_back(request);

        if (step.action == ScriptStep::Action::hangUp) break;
        std::vector<uint8_t> reply(8);
        zurpm::putLittle32(reply.data(), step.status);
        zurpm::putLittle32(reply.data() + 4, static_cast<uint32_t>(step.output.size()));
        reply.insert(reply.end(), step.output.begin(), step.output.end());
        if (step.action == ScriptStep::Action::halfReply) {
            reply.resize(4);
            sendWithDescriptor(client, reply, -1);
            break;
        }
        int memory = -1;
        if (step.descriptorSize > 0) {
            memory = memfd_create("scripted-window", MFD_CLOEXEC);
            if (memory >= 0 && ftruncate(memory, static_cast<off_t>(step.descriptorSize)) != 0) {
                close(memory);
                memory = -1;
            }
        }
        sendWithDescriptor(client, reply, memory);
        if (memory >= 0) close(memory);
    }
    close(client);
}

// ---- pcimsim as a child -----------------------------------------------------------------------

PcimsimProcess::PcimsimProcess(const std::vector<std::string>& arguments, const std::string& workingFolder) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    outputPipe_ = pipeEnds[0];
    if (spawned != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + arguments[0]);
    }
}

PcimsimProcess::~PcimsimProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close(outputPipe_);
}

void PcimsimProcess::collect(int timeoutMs) {
    pollfd readable{outputPipe_, POLLIN, 0};
    if (poll(&readable, 1, timeoutMs) <= 0) return;
    char chunk[1024];
    const ssize_t got = read(outputPipe_, chunk, sizeof chunk);
    if (got > 0) output_.append(chunk, static_cast<size_t>(got));
}

bool PcimsimProcess::waitReady() {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(patienceMs);
    while (output_.find("pcimsim: ready on ") == std::string::npos) {
        if (remainingMs(deadline) == 0) return false;
        if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            collect(0);
            return output_.find("pcimsim: ready on ") != std::string::npos;
        }
        collect(20);
    }
    return true;
}

int PcimsimProcess::terminate() {
    if (pid_ > 0) kill(pid_, SIGTERM);
    return waitExit();
}

int PcimsimProcess::waitExit() {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(patienceMs);
    while (pid_ > 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            collect(0);
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (remainingMs(deadline) == 0) return -1;
        collect(20);
    }
    return -1;
}

std::string PcimsimProcess::output() {
    collect(0);
    return output_;
}

// ---- Records ------------------------------------------------------------------------------------

std::vector<uint8_t> mapRequest(uint16_t segment, uint32_t length) {
    std::vector<uint8_t> request(24, 0);
    zurpm::putLittle32(request.data(), 1);                                     // ISA
    zurpm::putLittle32(request.data() + 8, static_cast<uint32_t>(segment) * 16);  // physical address, low half
    zurpm::putLittle32(request.data() + 20, length);
    return request;
}

std::vector<uint8_t> portWrite(uint16_t port, uint16_t value) {
    std::vector<uint8_t> request(4);
    zurpm::putLittle16(request.data(), port);
    zurpm::putLittle16(request.data() + 2, value);
    return request;
}

std::vector<uint8_t> portNumber(uint16_t port) {
    std::vector<uint8_t> request(2);
    zurpm::putLittle16(request.data(), port);
    return request;
}

std::vector<uint8_t> addressBytes(const void* address) {
    std::vector<uint8_t> bytes(sizeof address);
    std::memcpy(bytes.data(), &address, sizeof address);
    return bytes;
}

bool unmappedHere(const void* address, size_t length) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<uintptr_t>(address) / page * page;
    for (uintptr_t at = start; at < reinterpret_cast<uintptr_t>(address) + length; at += page) {
        unsigned char resident = 0;
        if (mincore(reinterpret_cast<void*>(at), page, &resident) == 0 || errno != ENOMEM) return false;
    }
    return true;
}

bool eventually(const std::function<bool()>& condition) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(patienceMs);
    while (!condition()) {
        if (remainingMs(deadline) == 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace posixdevice
