// The one seam between the broker client and the operating system: a TCP stream to the broker.
// One implementation per platform (connection_posix.cpp, connection_win32.cpp), each small;
// everything above it is the same code on both builds.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace zurtool::broker {

class Connection {
public:
    virtual ~Connection() = default;
    // Opens a stream to host:port, waiting at most timeoutMs: an empty text when open, else why not.
    virtual std::string open(const std::string& host, uint16_t port, uint32_t timeoutMs) = 0;
    // Sends all of `bytes`; false when the stream is broken (or does not take them within timeoutMs).
    virtual bool send(std::span<const uint8_t> bytes, uint32_t timeoutMs) = 0;
    // Bytes received into `buffer` within timeoutMs: their count, 0 when none came, -1 when the
    // stream is closed or broken.
    virtual long receive(std::span<uint8_t> buffer, uint32_t timeoutMs) = 0;
    virtual void close() = 0;
};

// A TCP connection of this platform's sockets.
std::unique_ptr<Connection> makeSocketConnection();

}  // namespace zurtool::broker
