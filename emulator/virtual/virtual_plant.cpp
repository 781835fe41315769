// The emulated plant as the virtual platform's XPORTIO device, and the test fixture around it.
#include "pcimemu/virtual_plant.h"

#include <stdexcept>
#include <string>

namespace pcimemu {

// ---- The device -------------------------------------------------------------------------------

void VirtualDevice::catchUp() {
    const uint32_t now = zurpm::virt::tickCount();
    if (plant_.now() != now) plant_.advance(now);
}

bool VirtualDevice::open() {
    catchUp();
    return plant_.openDevice();
}

void VirtualDevice::close() { plant_.closeDevice(); }

bool VirtualDevice::control(uint32_t code, const void* in, uint32_t inLength, void* out,
                            uint32_t outLength, uint32_t* bytesReturned) {
    catchUp();
    return plant_.control(code, in, inLength, out, outLength, bytesReturned);
}

void VirtualDevice::advance(uint32_t nowMs) { plant_.advance(nowMs); }

// ---- The description --------------------------------------------------------------------------

CardBuilder::CardBuilder(uint16_t memorySegment, uint16_t ioPort, uint8_t ownDeviceNumber) {
    setup_.memorySegment = memorySegment;
    setup_.ioPort = ioPort;
    setup_.ownDeviceNumber = ownDeviceNumber;
}

CardBuilder& CardBuilder::plc(uint8_t number, PlcSizes sizes, DeviceFaults faults) {
    DeviceSpec device;
    device.kind = DeviceSpec::Kind::plc;
    device.number = number;
    device.name = "PLC " + std::to_string(number);
    device.sizes = sizes;
    device.faults = faults;
    setup_.devices.push_back(std::move(device));
    return *this;
}

CardBuilder& CardBuilder::ioBlock(uint8_t number, DeviceFaults faults) {
    DeviceSpec device;
    device.kind = DeviceSpec::Kind::ioBlock;
    device.number = number;
    device.name = "block " + std::to_string(number);
    device.faults = faults;
    setup_.devices.push_back(std::move(device));
    return *this;
}

CardBuilder& CardBuilder::version(uint8_t version) {
    setup_.version = version;
    return *this;
}

CardBuilder& CardBuilder::ownDeviceHighBits(uint8_t bits) {
    setup_.ownDeviceHighBits = bits;
    return *this;
}

CardBuilder& CardBuilder::bootTimeMs(uint32_t ms) {
    setup_.bootTimeMs = ms;
    return *this;
}

CardBuilder& CardBuilder::busScanMs(uint32_t ms) {
    setup_.busScanMs = ms;
    return *this;
}

CardBuilder& CardBuilder::noReplyMs(uint32_t ms) {
    setup_.noReplyMs = ms;
    return *this;
}

CardBuilder& CardBuilder::faults(CardFaults faults) {
    setup_.faults = std::move(faults);
    return *this;
}

// ---- The fixture ------------------------------------------------------------------------------

namespace {
// The device that the last install() put on the platform: a plant that goes away uninstalls only
// itself, not a newer plant.
const VirtualDevice* installedDevice = nullptr;
}  // namespace

VirtualPlant::VirtualPlant(std::vector<CardSpec> cards) : VirtualPlant(PlantSpec{std::move(cards), {}}) {}

VirtualPlant::VirtualPlant(PlantSpec setup)
    : plant_(std::make_unique<Plant>(std::move(setup))), device_(std::make_unique<VirtualDevice>(*plant_)) {
    plant_->advance(zurpm::virt::tickCount());
    install();
}

VirtualPlant::~VirtualPlant() {
    if (installedDevice != device_.get()) return;
    zurpm::virt::installDevice(nullptr);
    installedDevice = nullptr;
}

void VirtualPlant::install() {
    zurpm::virt::installDevice(device_.get());
    installedDevice = device_.get();
}

Plc& VirtualPlant::plc(int card, uint8_t device) {
    Plc* found = plant_->plc(card, device);
    if (found == nullptr)
        throw std::out_of_range("card " + std::to_string(card) + " has no PLC " + std::to_string(device));
    return *found;
}

IoBlock& VirtualPlant::ioBlock(int card, uint8_t device) {
    IoBlock* found = plant_->ioBlock(card, device);
    if (found == nullptr)
        throw std::out_of_range("card " + std::to_string(card) + " has no I/O block " + std::to_string(device));
    return *found;
}

uint8_t VirtualPlant::readByte(int card, uint32_t offset) {
    return __atomic_load_n(plant_->window(card) + offset, __ATOMIC_ACQUIRE);
}

void VirtualPlant::writeByte(int card, uint32_t offset, uint8_t value) {
    __atomic_store_n(plant_->window(card) + offset, value, __ATOMIC_RELEASE);
}

void VirtualPlant::bringOnline() {
    for (int card = 0; card < plant_->cardCount(); ++card) plant_->bringOnline(card);
}

}  // namespace pcimemu
