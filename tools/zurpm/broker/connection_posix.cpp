// The broker connection on POSIX sockets: non-blocking, every wait a poll() with its time-out.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "connection.h"

namespace zurtool::broker {

namespace {

int waitFor(int socket, short events, uint32_t timeoutMs) {
    pollfd entry{socket, events, 0};
    int ready;
    do ready = ::poll(&entry, 1, static_cast<int>(timeoutMs));
    while (ready < 0 && errno == EINTR);
    return ready;
}

class PosixConnection final : public Connection {
public:
    ~PosixConnection() override { close(); }

    std::string open(const std::string& host, uint16_t port, uint32_t timeoutMs) override {
        close();
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* addresses = nullptr;
        const int found = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses);
        if (found != 0) return "cannot resolve " + host + ": " + ::gai_strerror(found);
        std::string problem = "no address for " + host;
        for (addrinfo* address = addresses; address && socket_ < 0; address = address->ai_next) {
            const int candidate = ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol);
            if (candidate < 0) continue;
            ::fcntl(candidate, F_SETFL, ::fcntl(candidate, F_GETFL) | O_NONBLOCK);
            int error = 0;
            if (::connect(candidate, address->ai_addr, address->ai_addrlen) != 0) {
                error = errno;
                if (error == EINPROGRESS) {
                    if (waitFor(candidate, POLLOUT, timeoutMs) <= 0) {
                        error = ETIMEDOUT;
                    } else {
                        socklen_t size = sizeof error;
                        ::getsockopt(candidate, SOL_SOCKET, SO_ERROR, &error, &size);
                    }
                }
            }
            if (error != 0) {
                problem = std::string(std::strerror(error));
                ::close(candidate);
                continue;
            }
            const int on = 1;
            ::setsockopt(candidate, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            socket_ = candidate;
        }
        ::freeaddrinfo(addresses);
        return socket_ >= 0 ? std::string() : problem;
    }

    bool send(std::span<const uint8_t> bytes, uint32_t timeoutMs) override {
        while (socket_ >= 0 && !bytes.empty()) {
            const ssize_t sent = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent > 0) {
                bytes = bytes.subspan(static_cast<size_t>(sent));
            } else if (sent < 0 && errno == EINTR) {
                continue;
            } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (waitFor(socket_, POLLOUT, timeoutMs) <= 0) return false;
            } else {
                return false;
            }
        }
        return socket_ >= 0;
    }

    long receive(std::span<uint8_t> buffer, uint32_t timeoutMs) override {
        if (socket_ < 0) return -1;
        const int ready = waitFor(socket_, POLLIN, timeoutMs);
        if (ready < 0) return -1;
        if (ready == 0) return 0;
        ssize_t received;
        do received = ::recv(socket_, buffer.data(), buffer.size(), 0);
        while (received < 0 && errno == EINTR);
        if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
        return received > 0 ? static_cast<long>(received) : -1;
    }

    void close() override {
        if (socket_ >= 0) ::close(socket_);
        socket_ = -1;
    }

private:
    int socket_ = -1;
};

}  // namespace

std::unique_ptr<Connection> makeSocketConnection() { return std::make_unique<PosixConnection>(); }

}  // namespace zurtool::broker
