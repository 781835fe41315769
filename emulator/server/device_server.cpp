// The XPORTIO device served over a Unix socket: see pcimemu/device_server.h.
#include "pcimemu/device_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "zurpm/little_endian.h"
#include "plant_clock.h"
#include "window_memory.h"

namespace pcimemu {

// Over the socket a granted window goes as its memory's descriptor, which the client maps itself;
// the address an unmap carries is the client's own mapping and means nothing here, so the oldest
// window goes first.
class SocketWindows : public WindowPassing {
public:
    explicit SocketWindows(const WindowMemory& memory) : memory_(memory) {}

    bool handOver(const Plant::Mapping& window, ServedRequest& served) override {
        descriptor = memory_.descriptorAt(window.address, window.length);
        served.windowSent = descriptor >= 0;
        return served.windowSent;
    }

    std::optional<size_t> named(const std::vector<uint8_t>& input,
                                const std::vector<Plant::Mapping>& granted) override {
        if (input.size() != 4 && input.size() != 8) return std::nullopt;
        const uint64_t address =
            input.size() == 8 ? zurpm::getLittle64(input.data()) : zurpm::getLittle32(input.data());
        if (address == 0 || granted.empty()) return std::nullopt;
        return 0;
    }

    int descriptor = -1;  // of the window the last granted map handed over

private:
    const WindowMemory& memory_;
};

namespace {


constexpr uint32_t greetingOpen = 1;
constexpr uint32_t greetingHeld = 0;
constexpr size_t requestHeaderSize = 12;

// No request of this device carries more; a client that claims more is not speaking the protocol.
constexpr uint32_t inputLimit = 64 * 1024;
// How long a reply may wait for a client that does not read before the client is dropped.
constexpr int replyPatienceMs = 5000;

// Sends every byte, the descriptor (if any) with the first of them. False: the client is gone or
// does not read.
bool sendAll(int socket, const uint8_t* bytes, size_t count, int descriptor) {
    bool descriptorPending = descriptor >= 0;
    while (count > 0) {
        iovec part{const_cast<uint8_t*>(bytes), count};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        alignas(cmsghdr) uint8_t control[CMSG_SPACE(sizeof(int))] = {};
        if (descriptorPending) {
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            cmsghdr* item = CMSG_FIRSTHDR(&message);
            item->cmsg_level = SOL_SOCKET;
            item->cmsg_type = SCM_RIGHTS;
            item->cmsg_len = CMSG_LEN(sizeof(int));
            std::memcpy(CMSG_DATA(item), &descriptor, sizeof descriptor);
        }
        const ssize_t sent = sendmsg(socket, &message, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd writable{socket, POLLOUT, 0};
            if (poll(&writable, 1, replyPatienceMs) <= 0) return false;
            continue;
        }
        if (sent <= 0) return false;
        descriptorPending = false;
        bytes += sent;
        count -= static_cast<size_t>(sent);
    }
    return true;
}

bool sendGreeting(int socket, uint32_t greeting) {
    uint8_t bytes[4];
    zurpm::putLittle32(bytes, greeting);
    return sendAll(socket, bytes, sizeof bytes, -1);
}

// Whether something listens at path.
bool someoneListens(const sockaddr_un& address) {
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return false;
    const bool listening = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(probe);
    return listening;
}

}  // namespace

DeviceServer::DeviceServer(PlantSpec setup) : windows_(std::make_unique<WindowMemory>()) {
    WindowMemory* windows = windows_.get();
    plant_ = std::make_unique<Plant>(std::move(setup),
                                     [windows](int card, uint32_t length) { return windows->allocate(card, length); });
    clock_ = std::make_unique<PlantClock>(*plant_, plantLock_);
    passing_ = std::make_unique<SocketWindows>(*windows_);
    requests_ = std::make_unique<DeviceRequests>(*plant_, plantLock_, *passing_);
}

DeviceServer::~DeviceServer() {
    stop();
    clock_.reset();
    requests_.reset();
    plant_.reset();  // before the memory of its windows
    windows_.reset();
}

bool DeviceServer::start(const std::string& path, std::string& error) {
    if (running_) {
        error = "the server is already running";
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        error = "socket path must be 1 to " + std::to_string(sizeof address.sun_path - 1) + " bytes: " + path;
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            error = path + " exists and is not a socket";
            return false;
        }
        if (someoneListens(address)) {
            error = "another server is listening on " + path;
            return false;
        }
        unlink(path.c_str());  // stale: left by a server that is gone
    }

    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 8) != 0) {
        error = "cannot listen on " + path + ": " + std::strerror(errno);
        if (listener_ >= 0) close(listener_);
        listener_ = -1;
        return false;
    }
    struct stat bound {};
    if (stat(path.c_str(), &bound) == 0) {
        socketInode_ = bound.st_ino;
        socketDeviceId_ = bound.st_dev;
    }
    if (pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("cannot make the server's wake-up pipe: ") + std::strerror(errno);
        close(listener_);
        listener_ = -1;
        unlink(path.c_str());
        return false;
    }
    path_ = path;
    stopping_ = false;
    running_ = true;
    clock_->start();
    server_ = std::thread([this] { serve(); });
    return true;
}

void DeviceServer::stop() {
    if (!running_) return;
    stopping_ = true;
    const uint8_t wake = 1;
    [[maybe_unused]] const ssize_t written = write(wakePipe_[1], &wake, 1);
    if (server_.joinable()) server_.join();
    clock_->stop();
    dropClient();
    close(listener_);
    listener_ = -1;
    close(wakePipe_[0]);
    close(wakePipe_[1]);
    wakePipe_[0] = wakePipe_[1] = -1;
    // Remove the socket file only if it is still ours (not a later server's).
    struct stat current {};
    if (stat(path_.c_str(), &current) == 0 && current.st_ino == socketInode_ && current.st_dev == socketDeviceId_)
        unlink(path_.c_str());
    running_ = false;
}

void DeviceServer::serve() {
    while (!stopping_) {
        pollfd watched[3] = {{wakePipe_[0], POLLIN, 0}, {listener_, POLLIN, 0}, {client_, POLLIN, 0}};
        const nfds_t count = client_ >= 0 ? 3 : 2;
        if (poll(watched, count, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (watched[0].revents != 0) return;
        if (client_ >= 0 && watched[2].revents != 0 && readFromClient() != 0) dropClient();
        if (watched[1].revents & POLLIN) acceptClient();
    }
}

void DeviceServer::acceptClient() {
    const int arrived = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (arrived < 0) return;
    const bool opened = client_ < 0 && requests_->open();
    if (!opened) {
        // The device is opened without sharing: whoever comes second is told so and let go.
        sendGreeting(arrived, greetingHeld);
        close(arrived);
        if (clientObserver_) clientObserver_(ClientEvent::refused);
        return;
    }
    if (!sendGreeting(arrived, greetingOpen)) {
        close(arrived);
        requests_->close();
        return;
    }
    client_ = arrived;
    pending_.clear();
    ++clientsServed_;
    if (clientObserver_) clientObserver_(ClientEvent::opened);
}

void DeviceServer::dropClient() {
    if (client_ < 0) return;
    close(client_);
    client_ = -1;
    pending_.clear();
    requests_->close();
    if (clientObserver_) clientObserver_(ClientEvent::closed);
}

// Reads what the client sent and answers every whole request in it. 1: drop the client.
int DeviceServer::readFromClient() {
    uint8_t chunk[4096];
    const ssize_t received = recv(client_, chunk, sizeof chunk, 0);
    if (received < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    if (received <= 0) return 1;
    pending_.insert(pending_.end(), chunk, chunk + received);

    size_t used = 0;
    while (pending_.size() - used >= requestHeaderSize) {
        const uint8_t* header = pending_.data() + used;
        const uint32_t code = zurpm::getLittle32(header);
        const uint32_t inputLength = zurpm::getLittle32(header + 4);
        const uint32_t outputLength = zurpm::getLittle32(header + 8);
        if (inputLength > inputLimit) return 1;
        if (pending_.size() - used < requestHeaderSize + inputLength) break;
        std::vector<uint8_t> input(header + requestHeaderSize, header + requestHeaderSize + inputLength);
        used += requestHeaderSize + inputLength;
        if (answer(code, std::move(input), outputLength) != 0) return 1;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
    return 0;
}

// Answers one request. 1: the client is gone.
int DeviceServer::answer(uint32_t code, std::vector<uint8_t> input, uint32_t outputLength) {
    passing_->descriptor = -1;
    const ServedRequest served = requests_->answer(code, std::move(input), outputLength);
    std::vector<uint8_t> reply(8);
    zurpm::putLittle32(reply.data(), served.accepted ? 1 : 0);
    zurpm::putLittle32(reply.data() + 4, static_cast<uint32_t>(served.output.size()));
    reply.insert(reply.end(), served.output.begin(), served.output.end());
    return sendAll(client_, reply.data(), reply.size(), served.windowSent ? passing_->descriptor : -1) ? 0 : 1;
}

}  // namespace pcimemu
