// The plant: the XPORTIO device on the ISA bus, the cards behind it, and the device control
// requests as the driver lays them out.
#include <cstring>
#include <stdexcept>
#include <string>

#include "card.h"
#include "event_log.h"
#include "pcimemu/card_map.h"
#include "pcimemu/emulator.h"
#include "window_bytes.h"
#include "zurpm/little_endian.h"

namespace pcimemu {

using detail::Card;

namespace {

void check(bool condition, const std::string& what) {
    if (!condition) throw std::invalid_argument("pcimemu plant: " + what);
}

void validate(const PlantSpec& setup) {
    for (size_t i = 0; i < setup.cards.size(); ++i) {
        const CardSpec& card = setup.cards[i];
        const std::string name = "card " + std::to_string(i);
        check(card.ownDeviceNumber < cardmap::lanDevices, name + ": own device number above 31");
        check(uint32_t(card.memorySegment) * 16 + cardmap::windowLength <= 0x100000,
              name + ": window beyond the first megabyte");
        bool seen[cardmap::lanDevices] = {};
        for (const DeviceSpec& device : card.devices) {
            const std::string which = name + ", device " + std::to_string(device.number);
            check(device.number < cardmap::lanDevices, which + ": number above 31");
            check(device.number != card.ownDeviceNumber, which + ": the card's own number");
            check(!seen[device.number], which + ": described twice");
            seen[device.number] = true;
        }
        for (size_t j = 0; j < i; ++j) {
            const CardSpec& other = setup.cards[j];
            const uint32_t a = uint32_t(card.memorySegment) * 16, b = uint32_t(other.memorySegment) * 16;
            check(a + cardmap::windowLength <= b || b + cardmap::windowLength <= a,
                  name + ": window overlaps card " + std::to_string(j));
            check(card.ioPort + cardmap::portCount <= other.ioPort ||
                      other.ioPort + cardmap::portCount <= card.ioPort,
                  name + ": ports overlap card " + std::to_string(j));
        }
    }
}

}  // namespace

struct Plant::Impl {
    detail::EventLog log;
    std::vector<std::unique_ptr<uint8_t[]>> heapWindows;
    std::vector<std::unique_ptr<Card>> cards;
    XportioFaults xportio;
    uint32_t now = 0;
    bool open = false;

    Card& card(int index) {
        if (index < 0 || index >= static_cast<int>(cards.size()))
            throw std::out_of_range("pcimemu plant: no card " + std::to_string(index));
        return *cards[static_cast<size_t>(index)];
    }

    // The card whose block of ports holds port, and the port's place in it.
    Card* cardAtPort(uint16_t port, uint16_t& relative) {
        for (auto& card : cards) {
            const uint16_t first = card->setup().ioPort;
            if (port >= first && port < first + cardmap::portCount) {
                relative = static_cast<uint16_t>(port - first);
                return card.get();
            }
        }
        return nullptr;
    }
};

Plant::Plant(PlantSpec setup, WindowAllocator allocate) : impl_(std::make_unique<Impl>()) {
    validate(setup);
    impl_->xportio = setup.xportio;
    for (size_t i = 0; i < setup.cards.size(); ++i) {
        const int index = static_cast<int>(i);
        uint8_t* window = allocate ? allocate(index, cardmap::windowLength) : nullptr;
        if (window == nullptr) {
            impl_->heapWindows.push_back(std::make_unique<uint8_t[]>(cardmap::windowLength));
            window = impl_->heapWindows.back().get();
        }
        impl_->cards.push_back(std::make_unique<Card>(index, std::move(setup.cards[i]), window, impl_->log));
    }
}

Plant::~Plant() = default;

void Plant::advance(uint32_t nowMs) {
    impl_->now = nowMs;
    for (auto& card : impl_->cards) card->step(nowMs);
}

uint32_t Plant::now() const { return impl_->now; }

// ---- The XPORTIO device -----------------------------------------------------------------------

bool Plant::openDevice() {
    if (impl_->open || impl_->xportio.cannotOpen) return false;
    impl_->open = true;
    return true;
}

void Plant::closeDevice() { impl_->open = false; }

bool Plant::deviceOpen() const { return impl_->open; }

std::optional<Plant::Mapping> Plant::map(uint64_t physicalAddress, uint32_t length, uint32_t interfaceType,
                                         uint32_t busNumber, uint32_t addressSpace) {
    if (!impl_->open || interfaceType != cardmap::isaBus || busNumber != 0 || addressSpace != 0)
        return std::nullopt;
    if (length == 0 || length > cardmap::windowLength) return std::nullopt;
    for (size_t i = 0; i < impl_->cards.size(); ++i) {
        Card& card = *impl_->cards[i];
        if (uint64_t(card.setup().memorySegment) * 16 != physicalAddress) continue;
        if (card.faults().refuseMap) return std::nullopt;
        ++card.mappings;
        return Mapping{static_cast<int>(i), card.window(), length};
    }
    return std::nullopt;
}

bool Plant::unmap(uint64_t address) {
    if (!impl_->open || impl_->xportio.refuseUnmap) return false;
    for (auto& card : impl_->cards) {
        if (reinterpret_cast<uintptr_t>(card->window()) != address || card->mappings == 0) continue;
        --card->mappings;
        return true;
    }
    return false;
}

std::optional<uint16_t> Plant::readPort(uint16_t port) {
    uint16_t relative = 0;
    Card* card = impl_->open ? impl_->cardAtPort(port, relative) : nullptr;
    if (card == nullptr || card->faults().refusePortRead) {
        impl_->log.port(PortEvent{impl_->now, port, false, 0, false});
        return std::nullopt;
    }
    const uint16_t value = card->readPort(relative);
    impl_->log.port(PortEvent{impl_->now, port, false, value, true});
    return value;
}

bool Plant::writePort(uint16_t port, uint16_t value) {
    uint16_t relative = 0;
    Card* card = impl_->open ? impl_->cardAtPort(port, relative) : nullptr;
    const bool accepted = card != nullptr && !card->faults().refusePortWrite;
    impl_->log.port(PortEvent{impl_->now, port, true, value, accepted});
    if (accepted) card->writePort(relative, static_cast<uint8_t>(value), impl_->now);
    return accepted;
}

bool Plant::control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                    uint32_t* bytesReturned) {
    if (bytesReturned != nullptr) *bytesReturned = 0;
    if (!impl_->open) return false;
    const auto* input = static_cast<const uint8_t*>(in);
    auto* output = static_cast<uint8_t*>(out);
    const auto answered = [&](uint32_t count) {
        if (bytesReturned != nullptr) *bytesReturned = count;
        return true;
    };

    switch (code) {
        case cardmap::xportioMapMemory: {
            if (input == nullptr || inLength != cardmap::mapRequestSize) return false;
            if (output == nullptr || outLength != sizeof(void*)) return false;
            const uint8_t* physicalBytes = input + cardmap::mapRequestPhysicalAddress;
            const uint64_t physical = zurpm::getLittle64(physicalBytes);
            const auto mapping =
                map(physical, zurpm::getLittle32(input + cardmap::mapRequestLength),
                    zurpm::getLittle32(input + cardmap::mapRequestInterfaceType),
                    zurpm::getLittle32(input + cardmap::mapRequestBusNumber), zurpm::getLittle32(input + cardmap::mapRequestAddressSpace));
            if (!mapping) return false;
            std::memcpy(output, &mapping->address, sizeof(void*));
            return answered(sizeof(void*));
        }
        case cardmap::xportioUnmapMemory: {
            if (input == nullptr || inLength != sizeof(void*)) return false;
            void* address = nullptr;
            std::memcpy(&address, input, sizeof address);
            return unmap(reinterpret_cast<uintptr_t>(address));
        }
        case cardmap::xportioReadPort: {
            if (input == nullptr || inLength != cardmap::portReadRequestSize || output == nullptr ||
                outLength != cardmap::portReadReplySize)
                return false;
            const auto value = readPort(zurpm::getLittle16(input));
            if (!value) return false;
            zurpm::putLittle16(output, *value);
            return answered(2);
        }
        case cardmap::xportioWritePort:
            if (input == nullptr || inLength != cardmap::portWriteRequestSize) return false;
            return writePort(zurpm::getLittle16(input), zurpm::getLittle16(input + 2));
        default: return false;
    }
}

// ---- Cards ------------------------------------------------------------------------------------

int Plant::cardCount() const { return static_cast<int>(impl_->cards.size()); }
const CardSpec& Plant::setup(int card) const { return impl_->card(card).setup(); }
uint8_t* Plant::window(int card) { return impl_->card(card).window(); }
CardFaults& Plant::faults(int card) { return impl_->card(card).faults(); }

DeviceFaults& Plant::faults(int card, uint8_t device) {
    detail::LanDevice* described = impl_->card(card).device(device);
    if (described == nullptr)
        throw std::out_of_range("pcimemu plant: card " + std::to_string(card) + " has no device " +
                                std::to_string(device));
    return described->setup.faults;
}

XportioFaults& Plant::xportioFaults() { return impl_->xportio; }

Plc* Plant::plc(int card, uint8_t device) {
    detail::LanDevice* described = impl_->card(card).device(device);
    return described != nullptr ? described->plc.get() : nullptr;
}

IoBlock* Plant::ioBlock(int card, uint8_t device) {
    detail::LanDevice* described = impl_->card(card).device(device);
    return described != nullptr ? described->block.get() : nullptr;
}

bool Plant::heartbeat(int card) const { return impl_->card(card).alive(); }
bool Plant::online(int card) const { return impl_->card(card).online(); }
bool Plant::mapped(int card) const { return impl_->card(card).mappings > 0; }
void Plant::bringOnline(int card) { impl_->card(card).bringOnline(impl_->now); }

// ---- Events -----------------------------------------------------------------------------------

const std::vector<PortEvent>& Plant::portEvents() const { return impl_->log.ports; }
const std::vector<DatagramEvent>& Plant::datagramEvents() const { return impl_->log.datagrams; }

void Plant::clearEvents() {
    impl_->log.ports.clear();
    impl_->log.datagrams.clear();
}

void Plant::recordEvents(bool on) { impl_->log.recording = on; }

void Plant::onDatagram(std::function<void(const DatagramEvent&)> observer) {
    impl_->log.datagramObservers.push_back(std::move(observer));
}

void Plant::onGlobalData(std::function<void(const GlobalDataEvent&)> observer) {
    impl_->log.globalDataObservers.push_back(std::move(observer));
}

}  // namespace pcimemu
