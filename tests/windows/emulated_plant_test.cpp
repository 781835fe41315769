// The shipped zurpm.dll driving cards: loaded by name as a host loads it, its own imports of
// CreateFileA, DeviceIoControl and CloseHandle pointed at an emulated plant in this process
// (pcimemu/emulated_device.h), and ZurMain called for start, reads and writes of every memory kind,
// restart and stop. Every request the DLL makes crosses its real Windows calls, so a mistake in its
// Windows platform (a length, a record, a handle, the timer) fails here. Each card start costs its
// 3.1 s of real time: the cases share few starts.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pcimemu/emulated_device.h"
#include "pcimemu/import_table.h"
#include "zurpm/records.h"

namespace {

using pcimemu::PlcMemory;

struct Message {
    int32_t level;
    std::string text;
};

void __cdecl captureMessage(int32_t level, const char* text, void* user) {
    static_cast<std::vector<Message>*>(user)->push_back({level, text != nullptr ? text : ""});
}

std::string show(const std::vector<Message>& messages) {
    std::string all;
    for (const Message& m : messages) all += "  " + std::to_string(m.level) + ": " + m.text + "\n";
    return all.empty() ? "  (none)\n" : all;
}

std::vector<std::string> texts(const std::vector<Message>& messages) {
    std::vector<std::string> all;
    for (const Message& m : messages) all.push_back(m.text);
    return all;
}

// The stand-in winmm.dll beside the program counts the driver's timer requests.
struct TimerRequests {
    int begun;
    int ended;
    int unmatched;
    int refused;
    UINT lastPeriod;
};

template <typename Function>
Function procedure(HMODULE module, const char* name) {
    const FARPROC found = module != nullptr ? GetProcAddress(module, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

// The host: the DLL as loaded, its messages, and the timer requests it holds.
struct Host {
    HMODULE library = nullptr;
    ZurMainFunction zurMain = nullptr;
    void(__cdecl* setSink)(void(__cdecl*)(int32_t, const char*, void*), void*) = nullptr;
    void(__cdecl* timerRequests)(TimerRequests*) = nullptr;
    DriverContext context{};
    std::vector<Message> messages;

    std::string load() {
        library = LoadLibraryA("zurpm.dll");
        if (library == nullptr) return "LoadLibraryA(\"zurpm.dll\") failed, error " + std::to_string(GetLastError());
        zurMain = procedure<ZurMainFunction>(library, "ZurMain");
        setSink = procedure<decltype(setSink)>(GetModuleHandleA("ORVANT.dll"), "orvantSetSink");
        timerRequests = procedure<decltype(timerRequests)>(GetModuleHandleA("winmm.dll"), "fakeWinmmRequests");
        if (zurMain == nullptr || setSink == nullptr)
            return "zurpm.dll without ZurMain, or ORVANT.dll without its sink";
        if (timerRequests == nullptr) return "Windows' own winmm.dll was loaded, not the counting stand-in";
        setSink(captureMessage, &messages);
        return {};
    }

    int32_t call(int32_t command, void* record = nullptr) {
        ZurRequest request{&context, command, 0, 0, record};
        return zurMain(&request);
    }

    // Granted timer requests not given back.
    int timerHeld() const {
        TimerRequests now{};
        timerRequests(&now);
        return now.begun - now.ended;
    }
};

Host& host() {
    static Host instance;
    return instance;
}

// A plant of three cards; card 1 has the PLC and the I/O block of the memory cases, and a PLC that
// will not answer when asked.
pcimemu::PlantSpec threeCards() {
    pcimemu::PlantSpec plant;
    const struct {
        uint16_t segment, port;
        uint8_t own;
    } cards[] = {{0xCC00, 0x3E0, 31}, {0xD000, 0x2E0, 30}, {0xD400, 0x2A0, 29}};
    for (const auto& c : cards) {
        pcimemu::CardSpec card;
        card.memorySegment = c.segment;
        card.ioPort = c.port;
        card.ownDeviceNumber = c.own;
        pcimemu::DeviceSpec plc;
        plc.number = static_cast<uint8_t>(32 - c.own);  // 1, 2 and 3
        card.devices.push_back(plc);
        plant.cards.push_back(card);
    }
    pcimemu::DeviceSpec block;
    block.kind = pcimemu::DeviceSpec::Kind::ioBlock;
    block.number = 5;
    pcimemu::DeviceSpec silent;
    silent.number = 7;
    plant.cards[0].devices.push_back(block);
    plant.cards[0].devices.push_back(silent);
    return plant;
}

// What the memory cases find in the plant, 1-based as a plant engineer numbers them.
void seed(pcimemu::Plant& plant) {
    pcimemu::Plc& plc = *plant.plc(0, 1);
    const struct {
        PlcMemory memory;
        uint32_t number;
        uint16_t value;
    } words[] = {{PlcMemory::R, 11, 4660}, {PlcMemory::AI, 5, 4095}, {PlcMemory::AQ, 2, 500},
                 {PlcMemory::R, 5, 0},     {PlcMemory::R, 6, 16320}, {PlcMemory::R, 40, 256}};
    for (const auto& w : words) plc.setWord(w.memory, w.number - 1, w.value);
    for (uint16_t n = 1; n <= 8; ++n) plc.setWord(PlcMemory::R, 19 + n - 1, n);
    const struct {
        PlcMemory memory;
        uint32_t number;
    } points[] = {{PlcMemory::I, 14}, {PlcMemory::Q, 1},  {PlcMemory::T, 256}, {PlcMemory::M, 8},
                  {PlcMemory::SA, 3}, {PlcMemory::SB, 4}, {PlcMemory::SC, 5},  {PlcMemory::S, 6},
                  {PlcMemory::G, 16}, {PlcMemory::I, 33}, {PlcMemory::I, 35},  {PlcMemory::I, 36},
                  {PlcMemory::I, 40}, {PlcMemory::I, 42}};
    for (const auto& p : points) plc.setPoint(p.memory, p.number - 1, true);
    const uint8_t data[] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x81,
                            0x42, 0x24, 0x18, 0x01, 0,    0,    0,    0x0F, 0xF0};
    for (uint32_t i = 0; i < sizeof data; ++i) plant.ioBlock(0, 5)->setData(i, data[i]);
    plant.plc(1, 2)->setWord(PlcMemory::R, 0, 1234);
    plant.plc(2, 3)->setWord(PlcMemory::R, 0, 4321);
}

void writeConfiguration(const char* text) {
    std::FILE* file = std::fopen("zurPM.int", "w");
    ASSERT_NE(file, nullptr);
    std::fputs(text, file);
    std::fclose(file);
}

std::string startLine(const char* segment, const char* port) {
    return std::string("ZURPM Message: Starting Card at memmory adrress ") + segment + " \n\t I/O port " + port;
}

// Reads (or writes) a gate by its address; the buffer as the host hands it over.
int32_t transfer(Host& h, const char* address, int32_t valueType, int32_t blockSize, bool write,
                 std::vector<uint8_t>& buffer) {
    GateDefinition definition{};
    definition.addressString = address;
    definition.valueType = valueType;
    definition.blockSize = blockSize;
    const bool single = blockSize == 0;
    if (h.call(single ? ZUR_CMD_DEFINE_GATE : ZUR_CMD_DEFINE_BLOCK_GATE, &definition) != ZUR_RESULT_OK) return -1;
    GateAccess access{};
    access.hardwareAddress = definition.hardwareAddress;
    access.count = single ? 1 : blockSize;
    access.data = buffer.data();
    const int32_t command =
        single ? (write ? ZUR_CMD_WRITE_SINGLE : ZUR_CMD_READ_SINGLE) : (write ? ZUR_CMD_WRITE : ZUR_CMD_READ);
    return h.call(command, &access);
}

// ---- The import table --------------------------------------------------------------------------

// What the DLL's import of CreateFileA holds now, found as the redirection finds it.
void* boundCreateFile() {
    // For the moment of the probe the slot holds this program's own CreateFileA: Windows' too.
    std::vector<pcimemu::win32::ImportRedirection> probe = {
        {"CreateFileA", reinterpret_cast<void*>(&CreateFileA), {}, {}}};
    std::string error;
    using pcimemu::win32::Redirected;
    if (pcimemu::win32::redirectImports(host().library, "kernel32.dll", probe, error) != Redirected::done)
        return nullptr;
    pcimemu::win32::restoreImports(probe);
    return probe[0].originals.front();
}

// A module image laid out by hand: one import descriptor of KERNEL32.dll whose address table holds
// the functions named, bound; with an import lookup table of their names (and an import by ordinal
// among them), or without one, as a table bound in place leaves it.
struct HandMadeImage {
    alignas(16) uint8_t bytes[0x600] = {};

    HandMadeImage(const std::vector<const char*>& functions, bool lookupTable) {
        auto& dos = *reinterpret_cast<IMAGE_DOS_HEADER*>(bytes);
        dos.e_magic = IMAGE_DOS_SIGNATURE;
        dos.e_lfanew = 0x40;
        auto& nt = *reinterpret_cast<IMAGE_NT_HEADERS*>(bytes + 0x40);
        nt.Signature = IMAGE_NT_SIGNATURE;
        nt.OptionalHeader.Magic = IMAGE_NT_OPTIONAL_HDR_MAGIC;
        nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT] = {0x200, 2 * sizeof(IMAGE_IMPORT_DESCRIPTOR)};
        auto& descriptor = *reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(bytes + 0x200);
        std::memcpy(bytes + 0x280, "KERNEL32.dll", 13);
        descriptor.Name = 0x280;
        descriptor.FirstThunk = 0x340;
        descriptor.OriginalFirstThunk = lookupTable ? 0x300 : 0;
        auto* bound = reinterpret_cast<IMAGE_THUNK_DATA*>(bytes + 0x340);
        auto* lookup = reinterpret_cast<IMAGE_THUNK_DATA*>(bytes + 0x300);
        const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
        uint32_t name = 0x400;
        size_t slot = 0;
        lookup[slot].u1.Ordinal = IMAGE_ORDINAL_FLAG | 5;  // by ordinal: nothing to compare names with
        bound[slot++].u1.Function = reinterpret_cast<uintptr_t>(GetProcAddress(kernel32, "GetTickCount"));
        for (const char* function : functions) {
            lookup[slot].u1.AddressOfData = name;
            std::strcpy(reinterpret_cast<char*>(bytes + name + 2), function);
            name += 2 + static_cast<uint32_t>(std::strlen(function)) + 1;
            bound[slot++].u1.Function = reinterpret_cast<uintptr_t>(GetProcAddress(kernel32, function));
        }
    }
    HMODULE module() { return reinterpret_cast<HMODULE>(bytes); }
    void* slot(size_t index) const {
        return reinterpret_cast<void*>(reinterpret_cast<const uintptr_t*>(bytes + 0x340)[index]);
    }
};

TEST(ImportRedirection, FindsImportsByNameAndInATableBoundInPlace) {
    using pcimemu::win32::Redirected;
    const std::vector<const char*> driverImports = {"CreateFileA", "DeviceIoControl", "CloseHandle"};
    int markers[3];
    for (const bool lookupTable : {true, false}) {
        SCOPED_TRACE(lookupTable ? "with a lookup table" : "bound in place");
        HandMadeImage image(driverImports, lookupTable);
        std::vector<pcimemu::win32::ImportRedirection> wanted;
        for (size_t i = 0; i < 3; ++i) wanted.push_back({driverImports[i], &markers[i], {}, {}});
        std::string error;
        ASSERT_EQ(pcimemu::win32::redirectImports(image.module(), "kernel32.dll", wanted, error), Redirected::done)
            << error;
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(image.slot(i + 1), &markers[i]) << driverImports[i];
        EXPECT_NE(image.slot(0), nullptr);
        EXPECT_NE(image.slot(0), &markers[0]) << "the import by ordinal was taken for another";
        pcimemu::win32::restoreImports(wanted);
        const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(image.slot(i + 1), reinterpret_cast<void*>(GetProcAddress(kernel32, driverImports[i])));

        HandMadeImage other({"CreateFileA", "CloseHandle"}, lookupTable);
        EXPECT_EQ(pcimemu::win32::redirectImports(other.module(), "kernel32.dll", wanted, error),
                  Redirected::notImported);
        EXPECT_EQ(error, "it does not import DeviceIoControl from kernel32.dll");
        EXPECT_EQ(other.slot(1), reinterpret_cast<void*>(GetProcAddress(kernel32, "CreateFileA")))
            << "a refused redirection changed the table";
    }
}

TEST(ImportRedirection, RefusesAModuleThatIsNoZurpmDriver) {
    ASSERT_EQ(host().load(), "");
    std::string error;
    pcimemu::AttachFailure failure{};
    EXPECT_EQ(pcimemu::attachEmulatedDevice(GetModuleHandleA("ORVANT.dll"), threeCards(), error, &failure), nullptr);
    EXPECT_EQ(failure, pcimemu::AttachFailure::notADriver);
    EXPECT_NE(error.find("ORVANT.dll is not a zurpm driver: it does not import CreateFileA from kernel32.dll"),
              std::string::npos) << error;
}

TEST(ImportRedirection, ServesTheDeviceOnlyToTheDllAndOnlyWhileAttached) {
    Host& h = host();
    ASSERT_NE(h.library, nullptr);
    void* const windowsOwn = boundCreateFile();
    ASSERT_NE(windowsOwn, nullptr);
    EXPECT_EQ(boundCreateFile(), windowsOwn) << "the probe did not put the import back";

    pcimemu::PlantSpec uninstalled = threeCards();
    uninstalled.xportio.cannotOpen = true;
    std::string error;
    auto emulated = pcimemu::attachEmulatedDevice(h.library, uninstalled, error);
    ASSERT_NE(emulated, nullptr) << error;
    pcimemu::AttachFailure failure{};
    EXPECT_EQ(pcimemu::attachEmulatedDevice(h.library, threeCards(), error, &failure), nullptr);
    EXPECT_EQ(failure, pcimemu::AttachFailure::attachedAlready);
    EXPECT_NE(boundCreateFile(), windowsOwn);

    // The DLL's open comes to the plant, whose device is not installed; this program's own does not.
    h.messages.clear();
    EXPECT_EQ(h.call(ZUR_CMD_START), ZUR_RESULT_FAILED);
    EXPECT_EQ(texts(h.messages), std::vector<std::string>{"ZURPM Error: Unable to open XPORTIO.SYS"});
    EXPECT_EQ(emulated->calls().refusedOpens, 1u);
    HANDLE own = CreateFileA("\\\\.\\XPORTIO", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(own, INVALID_HANDLE_VALUE) << "the program's own CreateFileA reached the emulated device";
    EXPECT_EQ(emulated->calls().refusedOpens, 1u);
    EXPECT_EQ(h.call(ZUR_CMD_STOP), ZUR_RESULT_OK);
    EXPECT_EQ(h.timerHeld(), 0);

    emulated.reset();
    EXPECT_EQ(boundCreateFile(), windowsOwn) << "the detach did not put back Windows' own CreateFileA";
}

// ---- The plant through ZurMain -----------------------------------------------------------------

class EmulatedPlant : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char folder[MAX_PATH];
        GetTempPathA(sizeof folder, folder);
        directory = std::string(folder) + "zurpm-plant-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(directory.c_str(), nullptr);
        SetCurrentDirectoryA(directory.c_str());
        if (host().library == nullptr) problem = host().load();
        if (!problem.empty()) return;
        emulated = pcimemu::attachEmulatedDevice(host().library, threeCards(), problem).release();
        if (emulated != nullptr) emulated->device().withPlant([](pcimemu::Plant& plant) {
            plant.recordEvents(false);
            seed(plant);
        });
    }

    static void TearDownTestSuite() {
        delete emulated;
        emulated = nullptr;
        DeleteFileA("zurPM.int");
        char folder[MAX_PATH];
        GetTempPathA(sizeof folder, folder);
        SetCurrentDirectoryA(folder);
        RemoveDirectoryA(directory.c_str());
    }

    void SetUp() override {
        ASSERT_EQ(problem, "");
        ASSERT_NE(emulated, nullptr);
        host().messages.clear();
    }

    template <typename Action>
    static auto withPlant(Action&& action) {
        return emulated->device().withPlant(std::forward<Action>(action));
    }

    static std::string directory;
    static std::string problem;
    static pcimemu::EmulatedDevice* emulated;
};

std::string EmulatedPlant::directory;
std::string EmulatedPlant::problem;
pcimemu::EmulatedDevice* EmulatedPlant::emulated = nullptr;

TEST_F(EmulatedPlant, StartsOneCardAndSkipsTheCardWhoseWindowIsRefused) {
    Host& h = host();
    // Card 1 waits 0.3 s for a reply; card 2's window the device will not map.
    writeConfiguration("BASE=16\n1=CC00;3E0;3\n2=D000;2E0\n");
    withPlant([](pcimemu::Plant& plant) { plant.faults(1).refuseMap = true; });
    const pcimemu::DeviceCalls before = emulated->calls();
    ASSERT_EQ(h.call(ZUR_CMD_START), ZUR_RESULT_OK) << show(h.messages);
    const std::vector<std::string> expected = {
        startLine("CC00", "3E0"),
        "ZURPM Message: Genius device number for PCIM card is 31",
        "ZURPM Message: Card version number is 23",
        startLine("D000", "2E0"),
        "ZURPM Error: Unable to get pointer to PCIM card 2",
    };
    EXPECT_EQ(texts(h.messages), expected) << show(h.messages);

    const pcimemu::DeviceCalls calls = emulated->calls();
    EXPECT_EQ(calls.opens - before.opens, 1u);
    EXPECT_EQ(calls.access, static_cast<uint32_t>(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(calls.shareMode, 0u);
    EXPECT_EQ(calls.disposition, static_cast<uint32_t>(OPEN_EXISTING));
    EXPECT_EQ(calls.attributes, static_cast<uint32_t>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(calls.securityGiven);
    EXPECT_FALSE(calls.templateGiven);
    // The refused map and the one unmap that follows it, of address 0.
    EXPECT_EQ(calls.refusedRequests - before.refusedRequests, 2u);
    EXPECT_EQ(calls.overlappedRequests, 0u);
    EXPECT_TRUE(withPlant([](pcimemu::Plant& plant) { return plant.online(0) && plant.mapped(0); }));
    EXPECT_EQ(h.timerHeld(), 1) << "the 1 ms timer is not held while the device is";
}

struct GateCase {
    const char* address;  // base 16
    int32_t valueType;
    int32_t blockSize;    // 0: a single gate
    std::vector<uint8_t> initial;
    std::vector<uint8_t> written;
};

const GateCase gateCases[] = {
    // PLC words, card 1 device 1, and floats over pairs of registers.
    {"019R000B", 0, 0, {0, 0, 0x34, 0x12}, {0, 0, 0xCD, 0xAB}},
    {"019L0005", 1, 0, {0, 0, 0xFF, 0x0F}, {0, 0, 0x21, 0x43}},
    {"019O0002", 0, 0, {0, 0, 0xF4, 0x01}, {0, 0, 0x02, 0x01}},
    {"019F0005", 3, 0, {0, 0, 0xC0, 0x3F}, {0, 0, 0x10, 0x40}},
    {"019R0014", 0, 8, {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0},
     {0x10, 0, 0x20, 0, 0x30, 0, 0x40, 0, 0x50, 0, 0x60, 0, 0x70, 0, 0x80, 0}},
    // One point of each discrete memory, and a block of points.
    {"019I000E", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"019Q0001", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"019T0100", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"019M0008", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"019A0003", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"019B0004", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"019C0005", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"019D0006", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"019G0010", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"019I0021", 6, 16, {0x8D, 0x02}, {0x3C, 0xC3}},
    // One bit of a word: R40 holds 0x0100, its bit 3 is set.
    {"019R002803", 6, 0, {0, 0, 0, 0}, {0, 0, 1, 0}},
    // Genius block global data under the lockout, device 5.
    {"05GA0001", 0, 0, {0, 0, 0x11, 0x22}, {0, 0, 0xAA, 0xBB}},
    {"05GA0005", 0, 2, {0x81, 0x42, 0x24, 0x18}, {0x01, 0x02, 0x03, 0x04}},
    {"05GD0061", 6, 0, {0, 0, 1, 0}, {0, 0, 0, 0}},
    {"05GD0081", 6, 16, {0x0F, 0xF0}, {0xA5, 0x5A}},
};

std::vector<uint8_t> padded(std::vector<uint8_t> bytes) {
    bytes.resize(64, 0);
    return bytes;
}

TEST_F(EmulatedPlant, ReadsAndWritesEveryMemoryKind) {
    Host& h = host();
    for (const GateCase& gate : gateCases) {
        SCOPED_TRACE(gate.address);
        std::vector<uint8_t> buffer = padded({});
        ASSERT_EQ(transfer(h, gate.address, gate.valueType, gate.blockSize, false, buffer), ZUR_RESULT_OK)
            << show(h.messages);
        EXPECT_EQ(buffer, padded(gate.initial)) << "what the plant holds";
        buffer = padded(gate.written);
        ASSERT_EQ(transfer(h, gate.address, gate.valueType, gate.blockSize, true, buffer), ZUR_RESULT_OK)
            << show(h.messages);
        std::vector<uint8_t> back = padded({});
        ASSERT_EQ(transfer(h, gate.address, gate.valueType, gate.blockSize, false, back), ZUR_RESULT_OK)
            << show(h.messages);
        EXPECT_EQ(back, padded(gate.written)) << "what was written did not come back";
        EXPECT_TRUE(h.messages.empty()) << show(h.messages);
        h.messages.clear();
    }
    // The plant itself holds what was written, the word around the bit included.
    EXPECT_EQ(withPlant([](pcimemu::Plant& plant) { return plant.plc(0, 1)->word(PlcMemory::R, 10); }), 0xABCD);
    EXPECT_EQ(withPlant([](pcimemu::Plant& plant) { return plant.plc(0, 1)->word(PlcMemory::R, 39); }), 0x0108);
    // The block takes the table's bytes at the card's next bus scan, when its clock gets there.
    uint8_t delivered = 0;
    for (int look = 0; look < 200 && delivered != 0xAA; ++look, Sleep(10))
        delivered = withPlant([](pcimemu::Plant& plant) { return plant.ioBlock(0, 5)->data(0); });
    EXPECT_EQ(delivered, 0xAA) << "the block never received what was written to its table";
}

TEST_F(EmulatedPlant, ReportsADeviceAbsentAndOneThatDoesNotAnswer) {
    Host& h = host();
    withPlant([](pcimemu::Plant& plant) { plant.faults(0, 7).neverComplete = true; });
    const struct {
        const char* address;
        const char* first;
    } cases[] = {
        {"099R0001", "ZURPM Error: Device 9 not found on network"},
        {"079R0001", "ZURPM Error: Device 7 failed to respond"},
    };
    for (const auto& c : cases) {
        h.messages.clear();
        std::vector<uint8_t> buffer = {7, 7, 7, 7};
        EXPECT_EQ(transfer(h, c.address, 0, 0, false, buffer), ZUR_RESULT_FAILED) << c.address;
        ASSERT_FALSE(h.messages.empty()) << c.address;
        EXPECT_EQ(h.messages.front().text, c.first) << show(h.messages);
        EXPECT_EQ(buffer, (std::vector<uint8_t>{7, 7, 7, 7})) << c.address << ": a failed read changed the buffer";
    }
    withPlant([](pcimemu::Plant& plant) { plant.faults(0, 7).neverComplete = false; });
}

TEST_F(EmulatedPlant, RestartReportsTheCardThatFailsItsHandshake) {
    Host& h = host();
    // The card's status port says its OK signal never came: only the value read through the
    // device tells the driver so.
    withPlant([](pcimemu::Plant& plant) { plant.faults(0).ioStatusBits = 0x08; });
    EXPECT_EQ(h.call(ZUR_CMD_RESTART), ZUR_RESULT_OK);
    withPlant([](pcimemu::Plant& plant) { plant.faults(0).ioStatusBits = 0; });
    const std::vector<std::string> card1 = {"ZURPM Error: PCIM OK signal never received from card",
                                            "ZURPM Error: Unable to restart PCIM card 1"};
    const std::vector<std::string> got = texts(h.messages);
    ASSERT_GE(got.size(), 2u) << show(h.messages);
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 2), card1) << show(h.messages);
    EXPECT_EQ(h.timerHeld(), 1);
}

TEST_F(EmulatedPlant, StopResetsTheCardsAndGivesBackDeviceAndTimer) {
    Host& h = host();
    const pcimemu::DeviceCalls before = emulated->calls();
    EXPECT_EQ(h.call(ZUR_CMD_STOP), ZUR_RESULT_OK);
    EXPECT_TRUE(h.messages.empty()) << show(h.messages);
    const pcimemu::DeviceCalls calls = emulated->calls();
    EXPECT_EQ(calls.closes - before.closes, 1u);
    EXPECT_EQ(calls.opens, calls.closes);
    EXPECT_EQ(calls.staleUses, 0u) << "a device handle used after it was closed";
    // Card 2's window was never mapped: its unmap (of null) is the one refused.
    EXPECT_EQ(calls.refusedRequests - before.refusedRequests, 1u);
    EXPECT_FALSE(withPlant([](pcimemu::Plant& plant) { return plant.mapped(0) || plant.heartbeat(0); }))
        << "the card was left mapped or running";
    EXPECT_EQ(h.timerHeld(), 0) << "the 1 ms timer outlived the device";
}

TEST_F(EmulatedPlant, StartsThreeCardsEachInItsOwnWindow) {
    Host& h = host();
    writeConfiguration("BASE=16\n1=CC00;3E0\n2=D000;2E0\n3=D400;2A0\n");
    withPlant([](pcimemu::Plant& plant) { plant.faults(1).refuseMap = false; });
    ASSERT_EQ(h.call(ZUR_CMD_START), ZUR_RESULT_OK);
    const std::vector<std::string> expected = {
        startLine("CC00", "3E0"), "ZURPM Message: Genius device number for PCIM card is 31",
        "ZURPM Message: Card version number is 23",
        startLine("D000", "2E0"), "ZURPM Message: Genius device number for PCIM card is 30",
        "ZURPM Message: Card version number is 23",
        startLine("D400", "2A0"), "ZURPM Message: Genius device number for PCIM card is 29",
        "ZURPM Message: Card version number is 23",
    };
    EXPECT_EQ(texts(h.messages), expected) << show(h.messages);
    const struct {
        const char* address;
        uint8_t low, high;
    } cases[] = {{"019R000B", 0xCD, 0xAB}, {"349R0001", 0xD2, 0x04}, {"679R0001", 0xE1, 0x10}};
    for (const auto& c : cases) {
        std::vector<uint8_t> buffer(4, 0);
        EXPECT_EQ(transfer(h, c.address, 0, 0, false, buffer), ZUR_RESULT_OK) << c.address << show(h.messages);
        EXPECT_EQ(buffer, (std::vector<uint8_t>{0, 0, c.low, c.high})) << c.address;
    }
    EXPECT_EQ(h.timerHeld(), 1);
    h.messages.clear();
    EXPECT_EQ(h.call(ZUR_CMD_STOP), ZUR_RESULT_OK);
    EXPECT_TRUE(h.messages.empty()) << show(h.messages);
    const pcimemu::DeviceCalls calls = emulated->calls();
    EXPECT_EQ(calls.opens, calls.closes);
    EXPECT_EQ(calls.staleUses, 0u);
    EXPECT_EQ(h.timerHeld(), 0);
    EXPECT_FALSE(
        withPlant([](pcimemu::Plant& plant) { return plant.mapped(0) || plant.mapped(1) || plant.mapped(2); }));
}

}  // namespace
