// The broker connection on Winsock 2: non-blocking, every wait a select() with its time-out.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "connection.h"

namespace zurtool::broker {

namespace {

// Winsock started once for the process, and never stopped: the process ends it.
bool winsockStarted() {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

// 1 when `socket` is ready to read (or, with `write`, to write), 0 at the time-out, -1 on error.
int waitFor(SOCKET socket, bool write, uint32_t timeoutMs) {
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval timeout{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000 * 1000)};
    const int count = ::select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &timeout);
    if (count < 0 || FD_ISSET(socket, &failed)) return -1;
    return count > 0 ? 1 : 0;
}

std::string errorText(int code) { return "Winsock error " + std::to_string(code); }

class WinsockConnection final : public Connection {
public:
    ~WinsockConnection() override { close(); }

    std::string open(const std::string& host, uint16_t port, uint32_t timeoutMs) override {
        close();
        if (!winsockStarted()) return "Winsock 2.2 is not available";
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        addrinfo* addresses = nullptr;
        const int found = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses);
        if (found != 0) return "cannot resolve " + host + ": " + errorText(found);
        std::string problem = "no address for " + host;
        for (addrinfo* address = addresses; address && socket_ == INVALID_SOCKET; address = address->ai_next) {
            SOCKET candidate = ::socket(address->ai_family, address->ai_socktype, address->ai_protocol);
            if (candidate == INVALID_SOCKET) continue;
            u_long nonBlocking = 1;
            ::ioctlsocket(candidate, FIONBIO, &nonBlocking);
            int error = 0;
            if (::connect(candidate, address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0) {
                error = ::WSAGetLastError();
                if (error == WSAEWOULDBLOCK) {
                    const int ready = waitFor(candidate, true, timeoutMs);
                    if (ready == 0) {
                        error = WSAETIMEDOUT;
                    } else {
                        int size = sizeof error;
                        error = 0;
                        ::getsockopt(candidate, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
                        if (ready < 0 && error == 0) error = WSAECONNREFUSED;
                    }
                }
            }
            if (error != 0) {
                problem = error == WSAECONNREFUSED ? std::string("Connection refused")
                          : error == WSAETIMEDOUT ? std::string("Connection timed out")
                                                  : errorText(error);
                ::closesocket(candidate);
                continue;
            }
            const BOOL on = TRUE;
            ::setsockopt(candidate, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
            socket_ = candidate;
        }
        ::freeaddrinfo(addresses);
        return socket_ != INVALID_SOCKET ? std::string() : problem;
    }

    bool send(std::span<const uint8_t> bytes, uint32_t timeoutMs) override {
        while (socket_ != INVALID_SOCKET && !bytes.empty()) {
            const int chunk = bytes.size() > 65536 ? 65536 : static_cast<int>(bytes.size());
            const int sent = ::send(socket_, reinterpret_cast<const char*>(bytes.data()), chunk, 0);
            if (sent > 0) {
                bytes = bytes.subspan(static_cast<size_t>(sent));
            } else if (sent == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
                if (waitFor(socket_, true, timeoutMs) <= 0) return false;
            } else {
                return false;
            }
        }
        return socket_ != INVALID_SOCKET;
    }

    long receive(std::span<uint8_t> buffer, uint32_t timeoutMs) override {
        if (socket_ == INVALID_SOCKET) return -1;
        const int ready = waitFor(socket_, false, timeoutMs);
        if (ready <= 0) return ready;
        const int size = buffer.size() > 65536 ? 65536 : static_cast<int>(buffer.size());
        const int received = ::recv(socket_, reinterpret_cast<char*>(buffer.data()), size, 0);
        if (received == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) return 0;
        return received > 0 ? received : -1;
    }

    void close() override {
        if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
};

}  // namespace

std::unique_ptr<Connection> makeSocketConnection() { return std::make_unique<WinsockConnection>(); }

}  // namespace zurtool::broker
