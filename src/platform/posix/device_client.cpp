// The XPORTIO device on Linux: a client of a device server (pcimsim) over a Unix stream socket.
//
// The socket is the device handle. Opening connects to $XPORTIO_SOCKET, else ./XPORTIO, and reads
// the server's greeting (a little-endian u32: 1 the device is ours, 0 another client holds it).
// Each device control request is one frame, code, input length and output length as little-endian
// u32 followed by the input; the reply is status (1 accepted, 0 refused) and the output length,
// then the output. A map is answered with a descriptor of the card's window memory attached to the
// reply; this side maps it and hands the driver the address. The client keeps its own mappings and
// releases them on unmap and on close, so nothing leaks when a server goes away.
//
// A server that dies, or answers nonsense, fails the request at hand and never crashes or hangs
// the host: writes use MSG_NOSIGNAL (the host's signal dispositions stay untouched), reads see EOF,
// and a connection whose byte stream can no longer be trusted is marked broken and refuses every
// later request until it is closed.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "hw/port_device.h"
#include "platform/platform.h"
#include "zurpm/little_endian.h"

namespace zurpm::platform {

namespace {

constexpr const char* socketVariable = "XPORTIO_SOCKET";
constexpr const char* socketDefaultPath = "XPORTIO";

// A server that neither answers nor goes away must not hold the host for ever. A live server
// answers in microseconds; this bound is only for one that is stopped or wedged.
constexpr time_t replyPatienceSeconds = 30;

// Excess reply bytes beyond the caller's output are read and dropped to keep the stream in step;
// beyond this many the reply is taken for garbage and the connection for broken.
constexpr uint32_t excessReplyLimit = 64 * 1024;

constexpr int openDeviceLimit = 4;
constexpr int mappingLimit = 8;

struct Mapping {
    void* address = nullptr;
    size_t length = 0;
};

struct Connection {
    int socket = -1;
    bool broken = false;
    Mapping mappings[mappingLimit];
};

Connection connections[openDeviceLimit];

Connection* findConnection(intptr_t device) {
    if (device < 0) return nullptr;
    for (Connection& connection : connections)
        if (connection.socket == device) return &connection;
    return nullptr;
}

// Sends every byte; 0 done, 1 the connection failed.
int sendAll(int socket, const uint8_t* bytes, size_t count) {
    while (count > 0) {
        const ssize_t sent = send(socket, bytes, count, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return 1;
        bytes += sent;
        count -= static_cast<size_t>(sent);
    }
    return 0;
}

void closeDescriptors(const cmsghdr* message) {
    const size_t bytes = message->cmsg_len - CMSG_LEN(0);
    const size_t count = bytes / sizeof(int);
    for (size_t i = 0; i < count; ++i) {
        int descriptor;
        std::memcpy(&descriptor, CMSG_DATA(message) + i * sizeof(int), sizeof descriptor);
        close(descriptor);
    }
}

// Receives exactly count bytes (into bytes, or dropped when bytes is null). A descriptor that
// comes with them is kept in *descriptor when that is free, every other one is closed.
// 0 done, 1 EOF, error or time-out.
int receiveAll(int socket, uint8_t* bytes, size_t count, int* descriptor) {
    uint8_t scratch[512];
    while (count > 0) {
        uint8_t* to = bytes != nullptr ? bytes : scratch;
        const size_t want = bytes != nullptr ? count : (count < sizeof scratch ? count : sizeof scratch);
        iovec part{to, want};
        alignas(cmsghdr) uint8_t control[CMSG_SPACE(4 * sizeof(int))];
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t received = recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
        if (received < 0 && errno == EINTR) continue;
        if (received <= 0) return 1;
        for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr; item = CMSG_NXTHDR(&message, item)) {
            if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SCM_RIGHTS) continue;
            if (descriptor != nullptr && *descriptor < 0 && item->cmsg_len >= CMSG_LEN(sizeof(int))) {
                std::memcpy(descriptor, CMSG_DATA(item), sizeof(int));
                // Any further descriptors of the same message are not ours to keep.
                const size_t extra = (item->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                for (size_t i = 1; i < extra; ++i) {
                    int other;
                    std::memcpy(&other, CMSG_DATA(item) + i * sizeof(int), sizeof other);
                    close(other);
                }
            } else {
                closeDescriptors(item);
            }
        }
        if (bytes != nullptr) bytes += received;
        count -= static_cast<size_t>(received);
    }
    return 0;
}

int connectToServer() {
    const char* path = std::getenv(socketVariable);
    if (path == nullptr || path[0] == '\0') path = socketDefaultPath;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t pathLength = std::strlen(path);
    if (pathLength >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path, path, pathLength + 1);

    const int socketHandle = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socketHandle < 0) return -1;
    // Before connect: a server that is wedged with its backlog full holds a connect for as long as
    // the send time-out allows, and a server that accepts but never greets holds the greeting.
    timeval patience{replyPatienceSeconds, 0};
    setsockopt(socketHandle, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    setsockopt(socketHandle, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    int connected;
    do {
        connected = connect(socketHandle, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (connected != 0 && errno == EINTR);
    if (connected != 0) {
        close(socketHandle);
        return -1;
    }
    return socketHandle;
}

// The mapping table of one connection.
int rememberMapping(Connection& connection, void* address, size_t length) {
    for (Mapping& mapping : connection.mappings) {
        if (mapping.address != nullptr) continue;
        mapping.address = address;
        mapping.length = length;
        return 0;
    }
    return 1;
}

void releaseMapping(Connection& connection, const void* address) {
    for (Mapping& mapping : connection.mappings) {
        if (mapping.address == nullptr || mapping.address != address) continue;
        munmap(mapping.address, mapping.length);
        mapping = Mapping{};
        return;
    }
}

void releaseAllMappings(Connection& connection) {
    for (Mapping& mapping : connection.mappings) {
        if (mapping.address != nullptr) munmap(mapping.address, mapping.length);
        mapping = Mapping{};
    }
}

// Maps the window memory the server sent for a successful map and puts its address in out.
int acceptWindow(Connection& connection, int descriptor, const void* in, uint32_t inLength, void* out,
                 uint32_t outLength, uint32_t* bytesReturned) {
    if (inLength < mapMemoryRequestSize || out == nullptr || outLength < sizeof(void*)) return 1;
    const uint32_t length = getLittle32(static_cast<const uint8_t*>(in) + mapRequestLength);
    if (length == 0) return 1;
    // Touching a mapping beyond the end of its memory would kill the host with SIGBUS.
    struct stat memory {};
    if (fstat(descriptor, &memory) != 0 || memory.st_size < static_cast<off_t>(length)) return 1;
    void* window = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    if (window == MAP_FAILED) return 1;
    if (rememberMapping(connection, window, length) != 0) {
        munmap(window, length);
        return 1;
    }
    std::memcpy(out, &window, sizeof window);
    if (bytesReturned != nullptr) *bytesReturned = sizeof window;
    return 0;
}

// One request and its reply. 0 when the device accepted the request.
int exchange(Connection& connection, uint32_t code, const void* in, uint32_t inLength, void* out,
             uint32_t outLength, uint32_t* bytesReturned) {
    if (connection.broken) return 1;
    if (in == nullptr) inLength = 0;
    if (out == nullptr) outLength = 0;

    uint8_t frame[12];
    putLittle32(frame, code);
    putLittle32(frame + 4, inLength);
    putLittle32(frame + 8, outLength);
    if (sendAll(connection.socket, frame, sizeof frame) != 0 ||
        sendAll(connection.socket, static_cast<const uint8_t*>(in), inLength) != 0) {
        connection.broken = true;
        return 1;
    }

    int descriptor = -1;
    uint8_t header[8];
    if (receiveAll(connection.socket, header, sizeof header, &descriptor) != 0) {
        connection.broken = true;
        if (descriptor >= 0) close(descriptor);
        return 1;
    }
    const bool accepted = getLittle32(header) == 1;
    const uint32_t length = getLittle32(header + 4);
    const uint32_t kept = length < outLength ? length : outLength;
    const uint32_t excess = length - kept;
    // The output reaches the caller only with a success; this device's outputs are a few bytes.
    uint8_t staging[256];
    uint8_t* to = kept <= sizeof staging ? staging : static_cast<uint8_t*>(out);
    int failed = excess > excessReplyLimit ? 1 : 0;
    if (failed == 0 && (receiveAll(connection.socket, to, kept, &descriptor) != 0 ||
                        receiveAll(connection.socket, nullptr, excess, &descriptor) != 0))
        failed = 1;
    if (failed != 0) {
        connection.broken = true;
        if (descriptor >= 0) close(descriptor);
        return 1;
    }

    int result = accepted && excess == 0 ? 0 : 1;
    if (result == 0) {
        if (to == staging && kept > 0) std::memcpy(out, staging, kept);
        if (bytesReturned != nullptr) *bytesReturned = kept;
    }
    if (code == XPORTIO_MAP_MEMORY) {
        // A map is only a success with the window's memory to map.
        if (result == 0)
            result = descriptor >= 0 ? acceptWindow(connection, descriptor, in, inLength, out, outLength,
                                                    bytesReturned)
                                     : 1;
    }
    if (descriptor >= 0) close(descriptor);
    return result;
}

}  // namespace

intptr_t deviceOpen() {
    Connection* free = nullptr;
    for (Connection& connection : connections)
        if (connection.socket < 0) {
            free = &connection;
            break;
        }
    if (free == nullptr) return -1;

    const int socketHandle = connectToServer();
    if (socketHandle < 0) return -1;
    uint8_t greeting[4];
    if (receiveAll(socketHandle, greeting, sizeof greeting, nullptr) != 0 || getLittle32(greeting) != 1) {
        close(socketHandle);
        return -1;
    }
    *free = Connection{};
    free->socket = socketHandle;
    return socketHandle;
}

bool deviceControl(intptr_t device, uint32_t code, const void* in, uint32_t inLength, void* out,
                   uint32_t outLength, uint32_t* bytesReturned) {
    Connection* connection = findConnection(device);
    if (connection == nullptr) return false;
    if (code == XPORTIO_UNMAP_MEMORY && in != nullptr && inLength == sizeof(void*)) {
        void* address;
        std::memcpy(&address, in, sizeof address);
        releaseMapping(*connection, address);
    }
    return exchange(*connection, code, in, inLength, out, outLength, bytesReturned) == 0;
}

void deviceClose(intptr_t device) {
    Connection* connection = findConnection(device);
    if (connection == nullptr) return;
    releaseAllMappings(*connection);
    close(connection->socket);
    *connection = Connection{};
}

}  // namespace zurpm::platform
