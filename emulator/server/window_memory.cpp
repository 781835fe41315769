// Card windows in memfd memory: see window_memory.h.
#include "window_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace pcimemu {

WindowMemory::~WindowMemory() {
    for (const Window& window : windows_) {
        munmap(window.address, window.size);
        close(window.descriptor);
    }
}

uint8_t* WindowMemory::allocate(int card, uint32_t length) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t size = (static_cast<size_t>(length) + page - 1) / page * page;
    const std::string name = "pcim-window-" + std::to_string(card);
    const int descriptor = memfd_create(name.c_str(), MFD_CLOEXEC);
    if (descriptor < 0) throw std::system_error(errno, std::generic_category(), "memfd_create");
    if (ftruncate(descriptor, static_cast<off_t>(size)) != 0) {
        const int error = errno;
        close(descriptor);
        throw std::system_error(error, std::generic_category(), "ftruncate of a card window");
    }
    void* address = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    if (address == MAP_FAILED) {
        const int error = errno;
        close(descriptor);
        throw std::system_error(error, std::generic_category(), "mmap of a card window");
    }
    windows_.push_back({card, descriptor, static_cast<uint8_t*>(address), size});
    return static_cast<uint8_t*>(address);
}

int WindowMemory::descriptorAt(const uint8_t* address, uint32_t length) const {
    for (const Window& window : windows_)
        if (window.address == address && length <= window.size) return window.descriptor;
    return -1;
}

}  // namespace pcimemu
