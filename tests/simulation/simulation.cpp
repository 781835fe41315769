// Seeded simulation of whole plants on the virtual clock. A seed draws a plant (one to three cards,
// PLCs, I/O blocks, memory sizes), a zurPM.int and a run of host requests, while every fault the
// emulator has is switched on and off between and during requests. After each request the run
// checks what the driver answered against the emulator's own state. A failing seed prints itself
// and its last requests, and replays exactly with --seed N.
//
//     zurpm_simulation --seeds N [--first S]     seeds S .. S + N - 1 (S = 1)
//     zurpm_simulation --seed N                  one seed, telling each request as it goes
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "host_value.h"
#include "pcimemu/fault_schedule.h"
#include "pcimemu/series90_map.h"
#include "zurpm/little_endian.h"
#include "zurpm/memories.h"
#include "service_support.h"

namespace {

using pcimemu::PlcMemory;
using zurpm::test::isWordMemory;
using Image = zurpm::test::HostValue;
using u64 = unsigned long long;
namespace map = pcimemu::cardmap;

template <typename T, size_t n>
const T& pick(pcimemu::SeededDraws& draws, const T (&items)[n]) {
    return items[draws.below(n)];
}
template <typename T>
const T& pick(pcimemu::SeededDraws& draws, const std::vector<T>& items) {
    return items[draws.below(uint32_t(items.size()))];
}

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char one[4];
    for (uint8_t byte : bytes) text += (std::snprintf(one, sizeof one, "%02X ", byte), one);
    return text;
}

// Address regions, from the table of memories: type and letter, codes of a single gate and of a
// block, value type, width of a single gate, largest block (0: none), block start on a byte
// boundary, the PLC memory. Word regions take signed and unsigned values in turn; region A of type
// G comes twice, with words and with floats (which have no blocks).
struct Region {
    char type, letter;
    int32_t single, block, valueType, width, largestBlock;
    bool byteBoundary;
    PlcMemory memory;
};
std::vector<Region> regionsOfTable() {
    std::vector<Region> regions;
    int32_t wordRegions = 0;
    for (const zurpm::MemoryRegion& row : zurpm::memoryRegions) {
        const bool plc = row.plcType == zurpm::plcTypeSeries90;
        const PlcMemory memory = plc ? pcimemu::series90::segmentOf(uint32_t(row.code))->memory : PlcMemory::R;
        Region region{row.plcType, row.letter, row.code, row.blockCode, 0, 16, row.largestBlock, false, memory};
        switch (row.element) {
        case zurpm::ElementKind::point:
            region.valueType = ZUR_VALUE_DIGITAL;
            region.width = 1;
            region.byteBoundary = true;
            break;
        case zurpm::ElementKind::word: region.valueType = wordRegions++ % 2; break;
        case zurpm::ElementKind::float32:
            region.valueType = ZUR_VALUE_FLOAT;
            region.width = 32;
            break;
        case zurpm::ElementKind::wordOrFloat:
            regions.push_back(region);
            region.valueType = ZUR_VALUE_FLOAT;
            region.width = 32;
            region.largestBlock = 0;
            break;
        }
        regions.push_back(region);
    }
    return regions;
}
const std::vector<Region> regions = regionsOfTable();
const uint32_t plcRegions = uint32_t(std::count_if(regions.begin(), regions.end(), [](const Region& r) {
    return r.type == zurpm::plcTypeSeries90;
}));

// A gate as the simulation means it (expected) and as the driver defined it.
struct Gate {
    std::string address;
    int32_t valueType = 0, blockSize = 0;  // blockSize 0: a single gate
    const Region* region = nullptr;
    HardwareAddress expected{}, defined{};
    bool mustAccept = true, mayAccept = true;  // a Genius block gate outside its table may be refused
};

// A slot of the driver: the plant's card in it (-1 none), its time-outs, whether zurPM.int names it.
struct Slot {
    int card = -1;
    int32_t replyMs = 3000, accessMs = 150;
    bool line = false;
};

struct Tally {
    u64 requests = 0, answered0 = 0, answered2 = 0, checked = 0;
};

class Simulation final : public zurpm::virt::DeviceBackend {
public:
    Simulation(uint64_t seed, bool verbose, Tally& tally) : seed_(seed), verbose_(verbose), random_(seed), tally_(tally) {}
    bool run();

private:
    // The device: the bench's plant and schedule, watched at every millisecond of a request.
    bool open() override { return bench_->schedule.open(); }
    void close() override { bench_->schedule.close(); }
    bool control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength, uint32_t* returned) override {
        return bench_->schedule.control(code, in, inLength, out, outLength, returned);
    }
    void advance(uint32_t nowMs) override {
        bench_->schedule.advance(nowMs);
        if (!waiting_) return;
        if (current_ != nullptr) watchGrant();
        if (nowMs - startedAt_ > boundMs_ + 1000) {
            check(false, "a request still waits " + std::to_string(nowMs - startedAt_) + " ms after it began");
            std::exit(1);  // the driver would wait for ever
        }
    }

    void note(std::string line) {
        if (verbose_) std::printf("%s\n", line.c_str());
        history_.push_back(std::move(line));
        if (history_.size() > 14) history_.pop_front();
    }
    void check(bool condition, const std::string& what) {
        if (condition || failed_) return;
        failed_ = true;
        std::printf("seed %llu FAILED: %s\n  last requests:\n", u64(seed_), what.c_str());
        for (const std::string& line : history_) std::printf("    %s\n", line.c_str());
        std::printf("  replay: scripts/simulate.sh --seed %llu\n", u64(seed_));
    }
    DriverContext& context(int which) { return which == 0 ? bench_->driver.context : other_; }
    const Slot& slotOf(const Gate& gate) const { return slots_[(gate.expected.station / 32) % 4]; }
    uint32_t handshakesMs() const {  // the longest the start-up handshakes of the configured cards take
        uint32_t ms = 5;
        for (const Slot& slot : slots_) ms += slot.line ? 4400 : 0;
        return ms;
    }
    // A global-data access is served while the card grants its tables.
    void watchGrant() {
        const int card = slotOf(*current_).card;
        if (zurpm::isGeniusBlockData(current_->expected.memoryType) && card >= 0 && bench_->plant.readByte(card, map::lockoutGranted) != 0) {
            served_ = image(*current_, currentCount_);
            servedForged_ = false;
        }
    }
    // After a start or restart: the cards whose handshake passed told the driver their numbers.
    void learnOwnNumbers(size_t mark, const std::string& failure) {
        for (int slot = 0; slot < 3; ++slot) {
            bool passed = slots_[slot].line;
            for (const std::string& line : bench_->lines(mark))
                passed = passed && line.find(failure + std::to_string(slot + 1)) == std::string::npos &&
                         line.find("Unable to get pointer to PCIM card " + std::to_string(slot + 1)) == std::string::npos;
            knowsOwn_[slot] = knowsOwn_[slot] || passed;
        }
    }

    void drawPlant(std::string& config);
    Gate drawGate();
    std::optional<Image> image(const Gate& gate, int32_t count);
    bool forged(const Gate& gate);
    int32_t call(int context, int32_t command, void* record, uint32_t boundMs, const std::string& what);
    bool define(Gate& gate);
    void access(const Gate& gate, int32_t command, int context);
    void start(int context);
    void stop();
    void clearFaults();
    void changeValues(bool blocks);

    uint64_t seed_;
    bool verbose_;
    pcimemu::SeededDraws random_;
    Tally& tally_;
    std::unique_ptr<service::Bench> bench_;
    std::vector<pcimemu::CardSpec> cards_;
    Slot slots_[4];
    int liveContext_ = -1;           // the context of the last start, -1: stopped
    CardConfig* liveCards_[4] = {};  // the slots that start filled
    bool knowsOwn_[4] = {};          // the driver has the card's own device number
    DriverContext other_{};          // a second host context
    std::vector<std::tuple<int, uint32_t, uint8_t>> poisoned_;  // window bytes changed after a stop
    size_t requestsAtStop_ = 0;
    std::deque<std::string> history_;
    bool failed_ = false;
    // The request under way: its gate and count, when it began, its bound; what the card served.
    const Gate* current_ = nullptr;
    int32_t currentCount_ = 1;
    uint32_t startedAt_ = 0, boundMs_ = 0;
    bool waiting_ = false;
    std::optional<Image> served_;
    bool servedForged_ = false;
};

// ---- The plant, the file, the gates -----------------------------------------------------------

void Simulation::drawPlant(std::string& config) {
    static const uint16_t segments[] = {0xCC00, 0xD000, 0xC800}, ports[] = {0x3E0, 0x2E0, 0x300};
    static const uint32_t wordSizes[] = {4, 16, 64, 128, 2048}, pointSizes[] = {8, 40, 128, 256, 1024, 2048};
    const int count = random_.between(1, 3);
    for (int c = 0; c < count; ++c) {
        auto card = pcimemu::card(segments[c], ports[c], static_cast<uint8_t>(random_.below(32)));
        card.bootTimeMs(random_.chance(90) ? random_.between(200, 2000) : random_.between(2000, 3500))
            .busScanMs(random_.between(5, 40))
            .noReplyMs(random_.between(2, 60));
        for (int d = random_.between(1, 5); d > 0; --d) {
            const auto number = static_cast<uint8_t>(random_.below(32));
            bool taken = number == card.setup().ownDeviceNumber;
            for (const auto& device : card.setup().devices) taken = taken || device.number == number;
            pcimemu::DeviceFaults faults;
            faults.replyDelayMs = random_.chance(80) ? random_.below(8) : random_.below(400);
            pcimemu::PlcSizes sizes;
            for (uint32_t* size : {&sizes.R, &sizes.AI, &sizes.AQ}) *size = pick(random_, wordSizes);
            for (uint32_t* size : {&sizes.I, &sizes.Q, &sizes.T, &sizes.M, &sizes.SA, &sizes.SB, &sizes.SC, &sizes.S, &sizes.G})
                *size = pick(random_, pointSizes);
            if (!taken && random_.chance(30)) card.ioBlock(number, faults);
            else if (!taken) card.plc(number, sizes, faults);
        }
        cards_.push_back(card);
    }
    const int base = random_.chance(60) ? 16 : 10;
    if (base == 16 || random_.chance(50)) config += "BASE=" + std::to_string(base) + "\n";
    for (int s = 0; s < 3; ++s) {
        // A line for most cards of the plant, and now and then one for a card that is not there.
        const bool there = s < count;
        if (there ? random_.chance(10) : !random_.chance(5)) continue;
        static const int32_t replyTenths[] = {30, 30, 1, 2, 5, 10, -1}, accessMs[] = {150, 150, 5, 20, 60, -1};
        slots_[s] = {there ? s : -1, pick(random_, replyTenths) * 100, pick(random_, accessMs), true};
        char line[64];
        std::snprintf(line, sizeof line, "%d=%X;%X;%d;16;%d\n", s + 1, there ? segments[s] : 0xE000, ports[s],
                      slots_[s].replyMs / 100, slots_[s].accessMs);
        config += line;
    }
    if (random_.chance(5)) {  // a rejected file: the default card 1 alone
        config += "4=CC00\n";
        for (Slot& slot : slots_) slot = Slot{};
        slots_[0] = {0, 3000, 150, true};
    }
}

Gate Simulation::drawGate() {
    Gate gate;
    const Region& r = pick(random_, regions);
    gate.region = &r;
    const bool bitOfWord = r.type == '9' && r.width == 16 && random_.chance(20);
    const bool block = !bitOfWord && r.largestBlock > 0 && random_.chance(40);
    int s = random_.chance(3) ? 3 : static_cast<int>(random_.below(3));
    while (s < 3 && slots_[s].card < 0 && random_.chance(85)) s = static_cast<int>(random_.below(3));
    int32_t device = static_cast<int32_t>(random_.below(32));
    if (const int card = slots_[s].card; card >= 0 && random_.chance(95)) {
        const auto& setup = cards_[static_cast<size_t>(card)];
        if (!setup.devices.empty()) device = setup.devices[random_.below(uint32_t(setup.devices.size()))].number;
        if (random_.chance(8)) device = setup.ownDeviceNumber;
    }
    const int32_t station = s * 32 + device;
    int32_t count = 1;
    if (block) {
        count = random_.between(1, random_.chance(70) ? std::min(r.largestBlock, 128) : r.largestBlock);
        if (count > 128 && r.type == '9') count &= ~7;
    }
    // Element numbers mostly inside the memory, now and then past it.
    uint32_t size = 1024;
    if (r.type == 'G') size = r.width == 1 ? 1024 : r.width == 16 ? 64 : 32;
    else if (const int card = slots_[s].card; card >= 0)
        if (const auto* plc = bench_->plant->plc(card, uint8_t(device))) size = plc->size(r.memory) / (r.width == 32 ? 2 : 1);
    const auto span = static_cast<uint32_t>(count);
    int64_t n = random_.chance(95) && size >= span ? 1 + random_.below(size - span + 1) : 1 + random_.below(size + 64);
    if (r.letter == 'F') n = 2 * n - 1;  // the float's first register
    if ((block && r.byteBoundary) || (r.type == 'G' && r.width == 1 && random_.chance(50))) n = ((n - 1) & ~int64_t{7}) + 1;
    const int64_t words = r.width == 32 ? 2 : 1;
    const bool inTable = r.type != 'G' || (r.width == 1 ? n - 1 + span <= 1024 : 2 * words * (n - 1 + span) <= 128);
    gate.mayAccept = station < 96;
    gate.mustAccept = gate.mayAccept && inTable;

    const int bit = bitOfWord ? static_cast<int>(random_.below(16)) : -1;
    const bool hex16 = bench_->driver.context.numberBase == 16;
    char text[32];
    std::snprintf(text, sizeof text, hex16 ? "%02d%c%c%04X" : "%02d%c%c%05d", station, r.type,
                  random_.chance(20) ? r.letter + ('a' - 'A') : r.letter, static_cast<unsigned>(n));
    if (bitOfWord) std::snprintf(text + std::strlen(text), 8, hex16 ? "%02X" : "%02d", bit);
    gate.address = text;
    gate.valueType = bitOfWord ? 6 : r.valueType;
    gate.blockSize = block ? count : 0;
    const auto offset = static_cast<int32_t>(n - 1);
    gate.expected = {station, block ? r.block : r.single, r.letter == 'F' ? offset >> 1 : offset,
                     bitOfWord ? bit : r.width == 1 ? 0 : -1, bitOfWord ? 1 : r.width};
    return gate;
}

// What the plant holds now where the gate points, as the host's buffer shows it after a read;
// nullopt where there is no such memory.
std::optional<Image> Simulation::image(const Gate& gate, int32_t count) {
    const HardwareAddress& a = gate.expected;
    const int card = slotOf(gate).card;
    const auto device = static_cast<uint8_t>(a.station % 32);
    pcimemu::Plc* plc = card >= 0 && !zurpm::isGeniusBlockData(a.memoryType) ? bench_->plant->plc(card, device) : nullptr;
    if (card < 0 || a.offset < 0 || (!zurpm::isGeniusBlockData(a.memoryType) && plc == nullptr)) return std::nullopt;
    // The card's own table once the driver has learned the card's number from a handshake.
    const bool own = knowsOwn_[a.station / 32] && device == cards_[size_t(card)].ownDeviceNumber;
    const uint8_t* table = bench_->plant.window(card) + (own ? map::ownOutputTable : map::inputTable(device));
    const auto word = [&](uint32_t i) -> uint16_t {
        if (plc) return plc->word(gate.region->memory, i);
        if (2 * i + 1 >= map::tableLength) throw std::out_of_range("table");
        return zurpm::getLittle16(&table[2 * i]);
    };
    const auto point = [&](uint32_t i) -> bool {
        if (plc) return plc->point(gate.region->memory, i);
        if (i / 8 >= map::tableLength) throw std::out_of_range("table");
        return (table[i / 8] >> (i % 8)) & 1;
    };
    Image out;
    const auto put16 = [&](uint16_t v) {
        out.bytes.resize(out.bytes.size() + 2);
        zurpm::putLittle16(&out.bytes[out.bytes.size() - 2], v);
    };
    const auto offset = static_cast<uint32_t>(a.offset), elements = static_cast<uint32_t>(count);
    try {
        if (isWordMemory(a.memoryType) && a.width == 1) {
            out.at = 2;
            put16((word(offset) >> a.bit) & 1);
        } else if (isWordMemory(a.memoryType)) {
            const uint32_t per = a.width == 32 ? 2 : 1;
            out.at = count == 1 && per == 1 ? 2 : 0;
            for (uint32_t k = 0; k < elements * per; ++k) put16(word(offset * per + k));
        } else if (count == 1) {
            out.at = 2;
            put16(point(offset));
        } else {
            out.bytes.assign((elements + 7) / 8, 0);
            for (uint32_t k = 0; k < elements; ++k)
                if (point(offset + k)) out.bytes[k / 8] = static_cast<uint8_t>(out.bytes[k / 8] | 1u << (k % 8));
        }
    } catch (const std::out_of_range&) {
        return std::nullopt;
    }
    return out;
}

// A card that reports completion for a datagram its device refused: what follows is the card's lie.
bool Simulation::forged(const Gate& gate) {
    const int card = slotOf(gate).card;
    if (card < 0 || zurpm::isGeniusBlockData(gate.expected.memoryType)) return false;
    for (const auto& device : cards_[size_t(card)].devices) {
        if (device.number != gate.expected.station % 32) continue;
        const auto& status = bench_->plant.faults(card, device.number).completionStatus;
        return status && (*status & map::completed) != 0;
    }
    return false;
}

// ---- Requests ----------------------------------------------------------------------------------

int32_t Simulation::call(int which, int32_t command, void* record, uint32_t boundMs, const std::string& what) {
    const size_t mark = bench_->mark();
    startedAt_ = zurpm::virt::tickCount();
    boundMs_ = boundMs;
    waiting_ = true;
    const int32_t result = bench_->driver.call(context(which), command, record);
    waiting_ = false;
    const uint32_t took = zurpm::virt::tickCount() - startedAt_;
    ++tally_.requests;
    std::string line = "t+" + std::to_string(startedAt_) + " ctx " + std::to_string(which) + " cmd " + std::to_string(command) +
                       " " + what + " -> " + std::to_string(result) + " in " + std::to_string(took) + " ms";
    for (const std::string& message : bench_->lines(mark)) line += " | " + message;
    note(line);
    check(took <= boundMs, "the request took " + std::to_string(took) + " ms; its waits allow " + std::to_string(boundMs));
    if (liveContext_ < 0 && command != ZUR_CMD_START)
        check(zurpm::virt::deviceRequests().size() == requestsAtStop_, "a device request after the stop");
    return result;
}

bool Simulation::define(Gate& gate) {
    GateDefinition definition{};
    definition.addressString = gate.address.c_str();
    definition.valueType = gate.valueType;
    definition.blockSize = gate.blockSize;
    const size_t mark = bench_->mark();
    const int32_t result = call(0, gate.blockSize ? ZUR_CMD_DEFINE_BLOCK_GATE : ZUR_CMD_DEFINE_GATE, &definition, 0,
                                gate.address + " type " + std::to_string(gate.valueType) + " size " + std::to_string(gate.blockSize));
    const auto& messages = bench_->driver.messages();
    gate.defined = definition.hardwareAddress;
    check(result == 0 ? gate.mayAccept : result == 1 && !gate.mustAccept, gate.address + " answered " + std::to_string(result));
    check(messages.size() - mark == (result == 0 ? 0u : 1u) && (result == 0 || messages.back().level == 8),
          "definition of " + gate.address + " did not come with exactly its one level-8 message");
    if (result == 0)
        check(std::memcmp(&gate.defined, &gate.expected, sizeof gate.defined) == 0,
              gate.address + " defined as " + zurpm::test::describe(gate.defined) + ", meant " + zurpm::test::describe(gate.expected));
    return result == 0;
}

void Simulation::access(const Gate& gate, int32_t command, int which) {
    const bool write = command == ZUR_CMD_WRITE || command == ZUR_CMD_WRITE_SINGLE;
    const int32_t count = command == ZUR_CMD_READ || command == ZUR_CMD_WRITE ? std::max(gate.blockSize, 1) : 1;
    std::vector<uint8_t> buffer(zurpm::test::valueBufferSize(gate.expected, count));  // exactly its size
    for (uint8_t& byte : buffer) byte = static_cast<uint8_t>(random_.next());
    const std::vector<uint8_t> before = buffer;
    GateAccess record{};
    record.hardwareAddress = gate.defined;
    record.count = count;
    record.data = buffer.data();

    const Slot& slot = slotOf(gate);
    const uint32_t access = uint32_t(std::max(slot.accessMs, 0)), reply = uint32_t(std::max(slot.replyMs, 0));
    const uint32_t transport = zurpm::isGeniusBlockData(gate.expected.memoryType) ? access + 3 : access + reply + 5;
    const bool bitOfWordWrite = write && isWordMemory(gate.expected.memoryType) && gate.expected.width == 1;
    current_ = &gate;
    currentCount_ = count;
    served_.reset();
    watchGrant();  // a dead card may still show an earlier grant
    // Now and then a fault or a value changes while the driver waits on the card.
    if (random_.chance(25)) {
        const bool on = random_.chance(50);
        bench_->schedule.at(zurpm::virt::tickCount() + random_.between(1, int32_t(transport)),
                            [this, on] { note("  " + pcimemu::switchRandomFault(bench_->plant.plant(), random_, on).what); });
    }
    if (random_.chance(25)) bench_->schedule.at(zurpm::virt::tickCount() + random_.between(1, 20), [this] { changeValues(false); });
    const size_t mark = bench_->mark();
    const bool live = liveContext_ >= 0 && std::memcmp(context(which).cards, liveCards_, sizeof liveCards_) == 0;
    const int32_t result = call(which, command, &record, (bitOfWordWrite ? 2 : 1) * transport,
                                gate.address + " count " + std::to_string(count) + (write ? " <- " + hex(buffer) : ""));
    current_ = nullptr;
    ++(result == 0 ? tally_.answered0 : tally_.answered2);

    const auto& messages = bench_->driver.messages();
    check(result == 0 || result == 2, "a read or write answered " + std::to_string(result));
    check(live || result == 2, "a request through a context that is not the last started one answered 0");
    if (result != 0) {
        bool driverLevel = messages.size() > mark;
        for (size_t i = mark; i < messages.size(); ++i) driverLevel = driverLevel && messages[i].level == 32;
        check(driverLevel && messages.back().text == "ZURPM Error: Error transmitting request packet",
              "answer 2 without its level-32 messages ending in \"Error transmitting request packet\"");
        check(buffer == before, "a request answered 2 changed the host's buffer: " + hex(buffer));
        return;
    }
    check(messages.size() == mark, "a request answered 0 came with messages");
    if (write) check(buffer == before, "a write changed the host's buffer");
    if (servedForged_ || forged(gate)) return;

    // Reads: the bytes as the driver left them, against the memory when the card served them.
    // Writes: the value as the driver takes it, against the memory when the card took it.
    const std::optional<Image> plant = write && zurpm::isGeniusBlockData(gate.expected.memoryType) ? image(gate, count) : served_;
    check(plant.has_value(), "answered 0, but no card served " + gate.address + " from a memory that is there");
    if (!plant) return;
    const size_t end = std::min(buffer.size(), plant->at + plant->bytes.size());
    const Image host = write ? zurpm::test::hostValue(gate.expected, count, buffer.data())
                             : Image{plant->at, {buffer.begin() + ptrdiff_t(plant->at), buffer.begin() + ptrdiff_t(end)}};
    if (!write)
        for (size_t i = 0; i < buffer.size(); ++i)
            check(buffer[i] == before[i] || (i >= plant->at && i < end), "a read changed a byte beside the value");
    ++tally_.checked;
    check(host == *plant, std::string(write ? "written " : "read ") + hex(host.bytes) + "but the plant holds " + hex(plant->bytes));
}

void Simulation::start(int which) {
    for (const auto& [card, offset, byte] : poisoned_) bench_->plant.writeByte(card, offset, byte);
    poisoned_.clear();
    const size_t mark = bench_->mark();
    const bool cannotOpen = bench_->plant.xportioFaults().cannotOpen;  // the device is opened first
    const int32_t result = call(which, ZUR_CMD_START, nullptr, handshakesMs(), "start");
    check(result == (cannotOpen ? 2 : 0), "start answered " + std::to_string(result));
    if (result == 2)
        check(bench_->lines(mark) == service::Lines{"32: ZURPM Error: Unable to open XPORTIO.SYS"}, "start answered 2 without its message");
    liveContext_ = result == 0 ? which : -1;
    for (bool& knows : knowsOwn_) knows = false;  // new records
    if (result == 0) learnOwnNumbers(mark, "Unable to start PCIM card ");
    std::memcpy(liveCards_, context(which).cards, sizeof liveCards_);
    requestsAtStop_ = zurpm::virt::deviceRequests().size();
}

void Simulation::stop() {
    check(call(std::max(liveContext_, 0), ZUR_CMD_STOP, nullptr, 5, "stop") == 0, "stop answered other than 0");
    liveContext_ = -1;
    check(!bench_->plant->deviceOpen(), "the device is still open after the stop");
    bool unmapRefused = false;  // a window whose unmap the device refused stays the device's
    for (const auto& request : zurpm::virt::deviceRequests())
        unmapRefused = unmapRefused || (request.code == map::xportioUnmapMemory && !request.accepted);
    for (int card = 0; card < bench_->plant->cardCount(); ++card) {
        check(unmapRefused || !bench_->plant->mapped(card), "card " + std::to_string(card) + " is still mapped after the stop");
        // A driver that still used the window would find a card ready to serve it. (Put back at the
        // next start: a card held in reset would keep them.)
        const auto poison = [&](uint32_t offset, uint8_t value) {
            poisoned_.push_back({card, offset, bench_->plant.readByte(card, offset)});
            bench_->plant.writeByte(card, offset, value);
        };
        for (uint32_t device = 0; device < map::lanDevices; ++device) poison(map::presenceByte(device), 1);
        poison(map::commandStatus, map::completed);
        poison(map::lockoutGranted, 1);
    }
    requestsAtStop_ = zurpm::virt::deviceRequests().size();
}

// ---- Faults and values -------------------------------------------------------------------------

void Simulation::clearFaults() {
    pcimemu::Plant& plant = bench_->plant.plant();
    for (int card = 0; card < plant.cardCount(); ++card) {
        plant.faults(card) = {};
        for (const auto& device : cards_[size_t(card)].devices) plant.faults(card, device.number) = {};
    }
    plant.xportioFaults() = {};
    note("  faults cleared");
}

// The plant's own life: PLC values change; blocks change their inputs while the card scans them.
void Simulation::changeValues(bool blocks) {
    pcimemu::Plant& plant = bench_->plant.plant();
    for (int card = 0; card < plant.cardCount(); ++card)
        for (const auto& device : cards_[size_t(card)].devices) {
            if (pcimemu::Plc* plc = plant.plc(card, device.number)) {
                for (int k = 0; k < 8; ++k) {
                    const Region& r = regions[random_.below(plcRegions)];
                    if (r.width == 1) plc->setPoint(r.memory, random_.below(plc->size(r.memory)), random_.chance(50));
                    else plc->setWord(r.memory, random_.below(plc->size(r.memory)), uint16_t(random_.next()));
                }
            } else if (blocks && plant.online(card)) {
                for (int k = 0; k < 4; ++k) plant.ioBlock(card, device.number)->setData(random_.below(128), uint8_t(random_.next()));
            }
        }
    if (blocks) zurpm::virt::advance(41);  // the card carries the blocks' changes into its tables
}

// ---- A run -------------------------------------------------------------------------------------

bool Simulation::run() {
    std::string config;
    drawPlant(config);
    bench_ = std::make_unique<service::Bench>(config, cards_);
    zurpm::virt::installDevice(this);
    bench_->plant->recordEvents(false);
    bench_->plant->onDatagram([this](const pcimemu::DatagramEvent& event) {
        if (!waiting_ || current_ == nullptr || !event.completed || event.device != current_->expected.station % 32 ||
            event.card != slotOf(*current_).card)
            return;
        served_ = image(*current_, currentCount_);
        servedForged_ = forged(*current_);
    });
    zurpm::virt::setTickCount(random_.chance(20) ? 0xFFFFFFFFu - random_.below(20000) : random_.below(1000000));
    note("plant of " + std::to_string(cards_.size()) + " cards; zurPM.int: " + config);
    start(0);

    std::vector<Gate> gates;
    for (int step = random_.between(20, 60); step > 0 && !failed_; --step) {
        const uint32_t what = random_.below(100);
        if (liveContext_ < 0 && random_.chance(30)) {
            if (random_.chance(70)) bench_->plant.xportioFaults().cannotOpen = false;
            start(random_.chance(70) ? 0 : 1);
        } else if (what < 14) {
            note("  " + pcimemu::switchRandomFault(bench_->plant.plant(), random_, what < 8).what);
        } else if (what < 18) {
            clearFaults();
        } else if (what < 22) {
            changeValues(true);
        } else if (what < 24) {
            zurpm::virt::advance(random_.below(200));
        } else if (what < 25) {
            const size_t mark = bench_->mark();
            call(std::max(liveContext_, 0), ZUR_CMD_RESTART, nullptr, handshakesMs(), "restart");
            if (liveContext_ >= 0) learnOwnNumbers(mark, "Unable to restart PCIM card ");
        } else if (what < 27) {
            stop();
        } else if (what < 29) {
            start(random_.chance(70) ? 0 : 1);  // a second start, now and then in another context
        } else if (what < 31 && liveContext_ != 1) {
            // Another host context: a copy of the live one, or one the driver never started.
            const bool copy = random_.chance(70);
            if (copy) std::memcpy(&other_, &bench_->driver.context, sizeof other_);
            else for (auto& slot : other_.cards) slot = reinterpret_cast<CardConfig*>(&other_);
            note(copy ? "  other context: a copy" : "  other context: never started");
        } else if (gates.empty() || what < 45) {
            gates.push_back(drawGate());
            if (!define(gates.back())) gates.pop_back();
        } else {
            static const int32_t commands[] = {ZUR_CMD_READ_SINGLE, ZUR_CMD_READ, ZUR_CMD_WRITE_SINGLE, ZUR_CMD_WRITE};
            const int live = std::max(liveContext_, 0);
            access(gates[random_.below(uint32_t(gates.size()))], pick(random_, commands), random_.chance(90) ? live : 1 - live);
        }
    }
    if (!failed_) stop();
    zurpm::virt::installDevice(&bench_->schedule);  // the bench stops the driver as it goes
    bench_.reset();
    return !failed_;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t first = 1, seeds = 100;
    bool one = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const uint64_t value = std::strtoull(argv[i + 1], nullptr, 10);
        if (option == "--seeds") seeds = value;
        if (option == "--first") first = value;
        if (option == "--seed") first = value, seeds = 1, one = true;
    }
    Tally tally;
    u64 failed = 0;
    for (uint64_t seed = first; seed < first + seeds; ++seed) failed += Simulation(seed, one, tally).run() ? 0 : 1;
    std::printf("simulation: seeds %llu to %llu, %llu failed; %llu requests; reads and writes answered 0: %llu "
                "(values checked against the plant: %llu), answered 2: %llu\n",
                u64(first), u64(first + seeds - 1), failed, tally.requests, tally.answered0, tally.checked, tally.answered2);
    return failed == 0 ? 0 : 1;
}
