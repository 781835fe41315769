// zurpm.dll as a 32-bit Windows host meets it: loaded by name with LoadLibraryA, ZurMain found by
// its undecorated name and called through a __stdcall pointer, every record laid out here at the
// host's own byte offsets (not from the driver's headers), and the driver's messages received
// through err of the stand-in ORVANT.dll that sits beside it.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

static_assert(sizeof(void*) == 4, "the plant's hosts are 32-bit programs");

// The host's records, as the host lays them out.
struct HostHardwareAddress {
    int32_t station;
    int32_t memoryType;
    int32_t offset;
    int32_t bit;
    int32_t width;
};
static_assert(sizeof(HostHardwareAddress) == 20);

struct HostContext {
    int32_t hostOwned0;
    int32_t numberBase;
    void* cards[4];
};
static_assert(sizeof(HostContext) == 24);
static_assert(offsetof(HostContext, numberBase) == 4);
static_assert(offsetof(HostContext, cards) == 8);

struct HostRequest {
    HostContext* context;
    int32_t command;
    int32_t hostOwned8;
    int32_t hostOwned12;
    void* record;
};
static_assert(sizeof(HostRequest) == 20);
static_assert(offsetof(HostRequest, command) == 4);
static_assert(offsetof(HostRequest, record) == 16);

struct HostGateDefinition {
    const char* addressString;
    int32_t hostOwned4;
    int32_t valueType;
    int32_t blockSize;
    HostHardwareAddress hardwareAddress;
};
static_assert(sizeof(HostGateDefinition) == 36);
static_assert(offsetof(HostGateDefinition, valueType) == 8);
static_assert(offsetof(HostGateDefinition, blockSize) == 12);
static_assert(offsetof(HostGateDefinition, hardwareAddress) == 16);

struct HostDriverInfo {
    int32_t infoValue0;
    const char* driverName;
    const char* bannerText;
    int32_t infoValue3;
    int32_t infoValue4;
    int32_t infoValue5;
    int32_t infoValue6;
    int32_t infoValue7;
};
static_assert(sizeof(HostDriverInfo) == 32);
static_assert(offsetof(HostDriverInfo, driverName) == 4);
static_assert(offsetof(HostDriverInfo, bannerText) == 8);
static_assert(offsetof(HostDriverInfo, infoValue3) == 12);
static_assert(offsetof(HostDriverInfo, infoValue7) == 28);

// A record followed by guard bytes: the driver must write nothing past the host's record.
template <typename Record>
struct Guarded {
    Record record;
    uint8_t guard[16];
};
constexpr uint8_t guardByte = 0xA5;
template <typename Record>
void fillGuarded(Guarded<Record>& block) {
    std::memset(&block, guardByte, sizeof block);
}
template <typename Record>
bool guardIntact(const Guarded<Record>& block) {
    for (uint8_t b : block.guard)
        if (b != guardByte) return false;
    return true;
}

using ZurMainPointer = int32_t(__stdcall*)(HostRequest*);
using OrvantSink = void(__cdecl*)(int32_t level, const char* text, void* user);
using OrvantSetSink = void(__cdecl*)(OrvantSink sink, void* user);

// An export as the type its host declares it with; null when the module lacks the name.
template <typename Function>
Function procedure(HMODULE module, const char* name) {
    const FARPROC found = GetProcAddress(module, name);
    Function typed;
    static_assert(sizeof typed == sizeof found);
    std::memcpy(&typed, &found, sizeof typed);
    return typed;
}

}  // namespace

// Calls function(argument) the way a host's compiler calls a __stdcall function of one argument,
// and tells how far the stack pointer moved across the call: 0 when the callee removed its 4
// bytes, -4 when it left them for the caller (a cdecl export).
extern "C" int32_t __cdecl callMeasuringStack(void* function, void* argument, int32_t* stackMoved);
asm(".text\n"
    ".globl _callMeasuringStack\n"
    "_callMeasuringStack:\n"
    "    pushl %ebp\n"
    "    movl  %esp, %ebp\n"
    "    pushl %esi\n"
    "    movl  %esp, %esi\n"     // the stack pointer before the argument is pushed
    "    pushl 12(%ebp)\n"
    "    call  *8(%ebp)\n"
    "    movl  %esp, %ecx\n"
    "    subl  %esi, %ecx\n"
    "    movl  16(%ebp), %edx\n"
    "    movl  %ecx, (%edx)\n"
    "    movl  %esi, %esp\n"     // back to a known stack whatever the callee did
    "    popl  %esi\n"
    "    popl  %ebp\n"
    "    ret\n");

namespace {

struct Message {
    int32_t level;
    std::string text;
};

void __cdecl captureMessage(int32_t level, const char* text, void* user) {
    static_cast<std::vector<Message>*>(user)->push_back({level, text != nullptr ? text : ""});
}

std::string lines(const std::vector<Message>& messages) {
    std::string all;
    for (const Message& m : messages) all += "  " + std::to_string(m.level) + ": " + m.text + "\n";
    return all.empty() ? "  (none)\n" : all;
}

// The DLL loaded once for the whole program, as a host keeps it.
class ZurpmDll : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        library = LoadLibraryA("zurpm.dll");
        if (library == nullptr) return;
        zurMain = procedure<ZurMainPointer>(library, "ZurMain");
        // The driver's own import brought ORVANT.dll in: the sink goes to the same instance.
        HMODULE orvant = GetModuleHandleA("ORVANT.dll");
        if (orvant != nullptr)
            setSink = procedure<OrvantSetSink>(orvant, "orvantSetSink");
    }

    // The host unloads the driver when it ends: the DLL's detach runs, and the module is gone.
    static void TearDownTestSuite() {
        if (library == nullptr) return;
        EXPECT_TRUE(FreeLibrary(library)) << "FreeLibrary(zurpm.dll) failed, error " << GetLastError();
        EXPECT_EQ(GetModuleHandleA("zurpm.dll"), nullptr) << "zurpm.dll is still loaded after the host freed it";
        library = nullptr;
        zurMain = nullptr;
        setSink = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(library, nullptr) << "LoadLibraryA(\"zurpm.dll\") failed, error " << GetLastError();
        ASSERT_NE(zurMain, nullptr) << "zurpm.dll has no export named ZurMain";
        ASSERT_NE(setSink, nullptr) << "ORVANT.dll was not loaded with zurpm.dll, or has no orvantSetSink";
        messages.clear();
        setSink(captureMessage, &messages);
        context.hostOwned0 = 0x12345678;
        context.numberBase = 16;
    }

    void TearDown() override {
        if (setSink != nullptr) setSink(nullptr, nullptr);
    }

    int32_t call(int32_t command, void* record, HostContext* in = nullptr) {
        HostRequest request{in != nullptr ? in : &context, command, 0x0BADF00D, 0x0BADF00D, record};
        return zurMain(&request);
    }

    int32_t define(const char* address, int32_t valueType, HostGateDefinition& definition,
                   HostContext* in = nullptr) {
        definition = {};
        definition.addressString = address;
        definition.valueType = valueType;
        return call(3, &definition, in);
    }

    static HMODULE library;
    static ZurMainPointer zurMain;
    static OrvantSetSink setSink;
    HostContext context{};
    std::vector<Message> messages;
};

HMODULE ZurpmDll::library = nullptr;
ZurMainPointer ZurpmDll::zurMain = nullptr;
OrvantSetSink ZurpmDll::setSink = nullptr;

TEST_F(ZurpmDll, ExportsOnlyTheUndecoratedName) {
    EXPECT_EQ(GetProcAddress(library, "ZurMain@4"), nullptr) << "the export carries its stdcall decoration";
    EXPECT_EQ(GetProcAddress(library, "_ZurMain@4"), nullptr) << "the export carries its stdcall decoration";
}

TEST_F(ZurpmDll, ZurMainRemovesItsOwnArgument) {
    struct Case {
        int32_t command;
        int32_t result;
    };
    // Describe, nothing, and a code without a handler: every path returns through the same export.
    const Case cases[] = {{14, 0}, {15, 0}, {12, 2}, {9, 2}};
    for (const Case& c : cases) {
        HostDriverInfo info{};
        HostRequest request{&context, c.command, 0, 0, &info};
        int32_t moved = 12345;
        const int32_t result = callMeasuringStack(reinterpret_cast<void*>(zurMain), &request, &moved);
        EXPECT_EQ(moved, 0) << "command " << c.command << ": the stack pointer moved by " << moved
                            << " bytes across the call (a __stdcall callee removes its 4-byte argument)";
        EXPECT_EQ(result, c.result) << "command " << c.command;
    }
}

TEST_F(ZurpmDll, DescribeFillsTheHostRecordAtItsOffsets) {
    Guarded<HostDriverInfo> block;
    fillGuarded(block);
    block.record.infoValue5 = 0x55555555;
    block.record.infoValue6 = 0x66666666;
    ASSERT_EQ(call(14, &block.record), 0);

    const HostDriverInfo& info = block.record;
    EXPECT_EQ(info.infoValue0, 80);
    EXPECT_EQ(info.infoValue3, 24);
    EXPECT_EQ(info.infoValue4, 1);
    EXPECT_EQ(info.infoValue5, 0x55555555) << "the host's field at offset 20 was written";
    EXPECT_EQ(info.infoValue6, 0x66666666) << "the host's field at offset 24 was written";
    EXPECT_EQ(info.infoValue7, 3);
    EXPECT_TRUE(guardIntact(block)) << "the driver wrote past the 32-byte record";
    ASSERT_NE(info.driverName, nullptr);
    EXPECT_STREQ(info.driverName, "GE Genius PCIM Lan");
    EXPECT_TRUE(messages.empty()) << "describe sent messages:\n" << lines(messages);
}

TEST_F(ZurpmDll, BannerIsTheBoxInCodePage437) {
    HostDriverInfo info{};
    ASSERT_EQ(call(14, &info), 0);
    ASSERT_NE(info.bannerText, nullptr);
    const std::string banner(info.bannerText);
    ASSERT_EQ(banner.size(), 373u) << "banner length before its NUL";
    ASSERT_EQ(banner[0], '\n');

    const std::string blanks12(12, ' ');
    const std::string horizontal(59, '\xC4');
    const std::string title = std::string("\xB3 ") + std::string(5, '\xDB') + std::string(6, '\xB2') +
                              std::string(6, '\xB1') + std::string(6, '\xB0') + " Z U R P M " +
                              std::string(6, '\xB0') + std::string(6, '\xB1') + std::string(6, '\xB2') +
                              std::string(5, '\xDB') + " \xB3";
    const std::string expected[] = {
        "\xDA" + horizontal + "\xBF",
        title,
        "\xB3" + blanks12 + "Genral Electric , Driver installed." + blanks12 + "\xB3",
        "\xB3" + blanks12 + "GE Fanuc,series 90s PLCs, PCIM/Genius Bus" + std::string(6, ' ') + "\xB3",
        "",  // line 5: the notice is the driver's own, checked around it below
        "\xC0" + horizontal + "\xD9",
    };
    for (int line = 0; line < 6; ++line) {
        const size_t start = 1 + static_cast<size_t>(line) * 62;
        ASSERT_EQ(banner[start + 61], '\n') << "line " << line + 1 << " is not 61 characters";
        const std::string text = banner.substr(start, 61);
        if (line == 4) {
            EXPECT_EQ(text.substr(0, 13), "\xB3" + blanks12) << "line 5 opening";
            EXPECT_EQ(text.substr(44), "    Ver 7.50    \xB3") << "line 5 closing";
            continue;
        }
        EXPECT_EQ(text, expected[line]) << "banner line " << line + 1;
    }
}

TEST_F(ZurpmDll, CommandsWithoutWorkLeaveEverythingAlone) {
    struct Case {
        int32_t command;
        int32_t result;
    };
    const Case cases[] = {{12, 2}, {13, 2}, {15, 0}};
    for (const Case& c : cases) {
        HostContext before = context;
        Guarded<HostGateDefinition> block;
        fillGuarded(block);
        const Guarded<HostGateDefinition> untouched = block;
        EXPECT_EQ(call(c.command, &block.record), c.result) << "command " << c.command;
        EXPECT_EQ(std::memcmp(&before, &context, sizeof context), 0) << "command " << c.command << " changed the context";
        EXPECT_EQ(std::memcmp(&block, &untouched, sizeof block), 0) << "command " << c.command << " wrote the record";
    }
    EXPECT_TRUE(messages.empty()) << "messages:\n" << lines(messages);
}

struct Accepted {
    int32_t numberBase;
    const char* address;
    int32_t valueType;
    HostHardwareAddress expected;
};

TEST_F(ZurpmDll, GateDefinitionsWriteTheHardwareAddressAtOffset16) {
    const Accepted cases[] = {
        {16, "059R0010", 0, {5, 8, 15, -1, 16}},
        {16, "319i00ff", 6, {31, 70, 254, 0, 1}},
        {16, "12GA0002", 3, {12, 130, 1, -1, 32}},
        {16, "409F0004", 3, {40, 8, 1, -1, 32}},
        {10, "059R00010", 1, {5, 8, 9, -1, 16}},
        {10, "95gd00016", 6, {95, 128, 15, 0, 1}},
    };
    for (const Accepted& c : cases) {
        context.numberBase = c.numberBase;
        Guarded<HostGateDefinition> block;
        fillGuarded(block);
        block.record.addressString = c.address;
        block.record.valueType = c.valueType;
        const int32_t result = call(3, &block.record);
        const HostHardwareAddress& got = block.record.hardwareAddress;
        EXPECT_EQ(result, 0) << c.address << " in base " << c.numberBase << ":\n" << lines(messages);
        EXPECT_EQ(got.station, c.expected.station) << c.address;
        EXPECT_EQ(got.memoryType, c.expected.memoryType) << c.address;
        EXPECT_EQ(got.offset, c.expected.offset) << c.address;
        EXPECT_EQ(got.bit, c.expected.bit) << c.address;
        EXPECT_EQ(got.width, c.expected.width) << c.address;
        EXPECT_EQ(block.record.blockSize, static_cast<int32_t>(0xA5A5A5A5)) << c.address << ": blockSize written";
        EXPECT_TRUE(guardIntact(block)) << c.address << ": the driver wrote past the 36-byte record";
    }
    EXPECT_TRUE(messages.empty()) << "accepted gates sent messages:\n" << lines(messages);
}

struct Refused {
    int32_t numberBase;
    const char* address;
    int32_t valueType;
    const char* message;
};

TEST_F(ZurpmDll, RefusedGatesAreReportedThroughOrvantAtLevel8) {
    const Refused cases[] = {
        {16, "059R00G1", 0, "ZURPM Error: The last 4 charectors of the gate address string are not valid hex digits"},
        {16, "05xR0010", 0, "ZURPM Error: The selected PLC type X is not valid"},
        {16, "059e0010", 0, "ZURPM Error: The selected PLC region E is not valid"},
        {16, "969R0010", 0, "ZURPM Error: The station number is out of range"},
        {16, "059R0010", 6, "ZURPM Error: Not a Signed16 or Unsigned16 Gate"},
        {10, "059R0010", 0, "ZURPM Error: Gate address string is not 8 characters"},
        {10, "059R0000A", 0, "ZURPM Error: The last 4 charectors of the gate address string are not valid digits"},
        {10, "A59R00010", 0, "ZURPM Error: The first two charectors of the gate address string are not digits"},
    };
    for (const Refused& c : cases) {
        context.numberBase = c.numberBase;
        messages.clear();
        HostGateDefinition definition{};
        EXPECT_EQ(define(c.address, c.valueType, definition), 1) << c.address << " in base " << c.numberBase;
        ASSERT_EQ(messages.size(), 1u) << c.address << " in base " << c.numberBase << ":\n" << lines(messages);
        EXPECT_EQ(messages[0].level, 8) << c.address;
        EXPECT_EQ(messages[0].text, c.message) << c.address << " in base " << c.numberBase;
    }
}

TEST_F(ZurpmDll, EachCallUsesTheContextItCarries) {
    HostContext decimal{};
    decimal.numberBase = 10;
    HostGateDefinition definition{};
    EXPECT_EQ(define("059R0010", 0, definition), 0) << "base 16 context:\n" << lines(messages);
    EXPECT_EQ(define("059R0010", 0, definition, &decimal), 1) << "base 10 context takes 9 characters";
    EXPECT_EQ(define("059R00010", 0, definition, &decimal), 0) << "base 10 context:\n" << lines(messages);
    EXPECT_EQ(definition.hardwareAddress.offset, 9);
}

TEST_F(ZurpmDll, StartWithoutThePortDeviceFails) {
    // No XPORTIO kernel driver is installed here: opening \\.\XPORTIO fails.
    context.numberBase = 16;
    for (void*& card : context.cards) card = reinterpret_cast<void*>(0x0BADC0DE);
    EXPECT_EQ(call(1, nullptr), 2);
    ASSERT_EQ(messages.size(), 1u) << lines(messages);
    EXPECT_EQ(messages[0].level, 32);
    EXPECT_EQ(messages[0].text, "ZURPM Error: Unable to open XPORTIO.SYS");
    EXPECT_EQ(context.numberBase, 10) << "start resets the number base at offset 4";
    for (int slot = 0; slot < 4; ++slot)
        EXPECT_EQ(context.cards[slot], nullptr) << "start clears card slot " << slot << " at offset " << 8 + 4 * slot;
    EXPECT_EQ(context.hostOwned0, 0x12345678) << "the host's field at offset 0 was written";

    // Stop after a failed start has nothing to give back and still answers 0.
    messages.clear();
    EXPECT_EQ(call(11, nullptr), 0);
}


// The 1 ms timer. Beside this program stands a stand-in winmm.dll that counts what zurpm.dll asks
// of the system timer. \\.\XPORTIO opens while a stand-in file exists (the Wine prefix names it
// as the device), so that a start gets as far as holding the device, though no card answers.
struct TimerRequests {
    int begun;
    int ended;
    int unmatched;
    int refused;
    UINT lastPeriod;
};

class PortDeviceStandIn {
public:
    PortDeviceStandIn() {
        const char* path = std::getenv("ZURPM_XPORTIO_STAND_IN");
        if (path != nullptr) path_ = path;
    }
    ~PortDeviceStandIn() { present(false); }
    bool known() const { return !path_.empty(); }
    // Whether \\.\XPORTIO opens from now on. It cannot go while the driver holds it open.
    bool present(bool present) {
        if (!present) return DeleteFileA(path_.c_str()) != FALSE || GetLastError() == ERROR_FILE_NOT_FOUND;
        if (GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        CloseHandle(file);
        return true;
    }

private:
    std::string path_;
};

TEST_F(ZurpmDll, TimerResolutionIsHeldExactlyWhileTheDeviceIsHeld) {
    HMODULE winmm = GetModuleHandleA("winmm.dll");
    ASSERT_NE(winmm, nullptr) << "zurpm.dll does not import winmm.dll";
    const auto requestsSoFar = procedure<void(__cdecl*)(TimerRequests*)>(winmm, "fakeWinmmRequests");
    const auto refuse = procedure<void(__cdecl*)(int)>(winmm, "fakeWinmmRefuse");
    ASSERT_NE(requestsSoFar, nullptr) << "Windows' own winmm.dll was loaded, not the counting stand-in beside the test";

    // Steps: S start with the device, s start without it, T stop, R timeBeginPeriod refuses, r grants.
    // After each step: how many granted requests are outstanding. (A device the driver holds open
    // cannot be taken away, so s comes only when nothing holds it.)
    struct Case {
        const char* name;
        const char* steps;
        const char* outstanding;
        int refused;
    };
    const Case cases[] = {
        {"stop without a start", "T", "0", 0},
        {"start without the device, stop", "sT", "00", 0},
        {"start, stop", "ST", "10", 0},
        {"second start without a stop, stop", "SST", "110", 0},
        {"start, stop, a start that cannot open the device, stop", "STsT", "1000", 0},
        {"start, stop, stop", "STT", "100", 0},
        {"request refused: the start goes on, stop gives back nothing", "RSTr", "0000", 1},
    };
    PortDeviceStandIn device;
    ASSERT_TRUE(device.known()) << "ZURPM_XPORTIO_STAND_IN names the file that stands in for the device";
    ASSERT_TRUE(device.present(false)) << "the stand-in device is held by something else";
    for (const Case& c : cases) {
        TimerRequests before{};
        requestsSoFar(&before);
        for (size_t step = 0; c.steps[step] != '\0'; ++step) {
            messages.clear();
            switch (c.steps[step]) {
            case 'S':
                ASSERT_TRUE(device.present(true)) << "cannot make the stand-in device, error " << GetLastError();
                EXPECT_EQ(call(1, nullptr), 0) << c.name << ": start with a device that opens\n" << lines(messages);
                break;
            case 's':
                ASSERT_TRUE(device.present(false)) << c.name << ": the stand-in device is still held";
                EXPECT_EQ(call(1, nullptr), 2) << c.name;
                break;
            case 'T':
                EXPECT_EQ(call(11, nullptr), 0) << c.name;
                EXPECT_TRUE(device.present(false)) << c.name << ": stop left the device open";
                break;
            case 'R': refuse(1); break;
            case 'r': refuse(0); break;
            }
            TimerRequests now{};
            requestsSoFar(&now);
            const int outstanding = (now.begun - before.begun) - (now.ended - before.ended);
            EXPECT_EQ(outstanding, c.outstanding[step] - '0') << c.name << ", after step " << step + 1;
            EXPECT_EQ(now.unmatched, before.unmatched) << c.name << ": timeEndPeriod without its timeBeginPeriod";
            if (now.begun + now.refused > before.begun + before.refused) {
                EXPECT_EQ(now.lastPeriod, 1u) << c.name << ": the period asked for is not 1 ms";
            }
        }
        TimerRequests after{};
        requestsSoFar(&after);
        EXPECT_EQ(after.refused - before.refused, c.refused) << c.name;
    }
    refuse(0);
}

// The version resource a plant engineer sees in a file's properties.
TEST(ZurpmFiles, CarryTheirVersionResource) {
    const char* listed = std::getenv("ZURPM_VERSIONED_FILES");
    ASSERT_NE(listed, nullptr) << "ZURPM_VERSIONED_FILES names the files to look at";
    std::vector<std::string> files;
    for (const char* at = listed; *at != '\0';) {
        const char* end = std::strchr(at, ',');
        files.emplace_back(at, end != nullptr ? end - at : std::strlen(at));
        at = end != nullptr ? end + 1 : at + std::strlen(at);
    }
    ASSERT_FALSE(files.empty());
    for (const std::string& file : files) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
        ASSERT_GT(size, 0u) << file << " has no version resource (error " << GetLastError() << ")";
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(file.c_str(), 0, size, info.data())) << file;

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length)) << file;
        EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(ZURPM_VERSION_MINOR, ZURPM_VERSION_MAJOR))) << file;
        EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, ZURPM_BUILD_NUMBER))) << file;
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS) << file;

        const std::string name = file.substr(file.find_last_of("\\/") + 1);
        const bool program = name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0;
        EXPECT_EQ(fixed->dwFileType, program ? static_cast<DWORD>(VFT_APP) : static_cast<DWORD>(VFT_DLL)) << file;
        const struct {
            const char* field;
            std::string expected;  // empty: any text but an empty one
        } fields[] = {
            {"ProductName", "zurpm"},
            {"FileVersion", ZURPM_VERSION_TEXT},
            {"ProductVersion", ZURPM_VERSION_TEXT},
            {"OriginalFilename", name},
            {"FileDescription", ""},
        };
        for (const auto& f : fields) {
            char* text = nullptr;
            const std::string query = std::string("\\StringFileInfo\\040904B0\\") + f.field;
            ASSERT_TRUE(VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
                << file << " has no " << f.field;
            if (f.expected.empty())
                EXPECT_GT(std::strlen(text), 0u) << file << ": " << f.field;
            else
                EXPECT_EQ(std::string(text), f.expected) << file << ": " << f.field;
        }
    }
}

// The run under a Windows XP setting really is one.
TEST(ZurpmFiles, RunUnderTheWindowsVersionAsked) {
    const char* expected = std::getenv("ZURPM_EXPECT_WINDOWS");
    if (expected == nullptr) GTEST_SKIP() << "no Windows version asked for";
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(GetVersionExA(&version));
#pragma GCC diagnostic pop
    EXPECT_EQ(std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion), expected);
}

// After the host has unloaded the driver (the fixture's suite ends so), a host that loads it again
// gets a driver that starts, fails without its device as the first did, and stops.
TEST(ZurpmDllAgain, LoadsStartsAndStopsAfterTheHostUnloadedIt) {
    ASSERT_EQ(GetModuleHandleA("zurpm.dll"), nullptr) << "zurpm.dll was not unloaded by the suite before";
    HMODULE library = LoadLibraryA("zurpm.dll");
    ASSERT_NE(library, nullptr) << "LoadLibraryA(\"zurpm.dll\") failed again, error " << GetLastError();
    const auto zurMain = procedure<ZurMainPointer>(library, "ZurMain");
    ASSERT_NE(zurMain, nullptr);
    HostContext context{};
    HostDriverInfo info{};
    HostRequest describe{&context, 14, 0, 0, &info};
    HostRequest start{&context, 1, 0, 0, nullptr};
    HostRequest stop{&context, 11, 0, 0, nullptr};
    EXPECT_EQ(zurMain(&describe), 0);
    EXPECT_EQ(zurMain(&start), 2) << "no XPORTIO device here";
    EXPECT_EQ(zurMain(&stop), 0);
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_EQ(GetModuleHandleA("zurpm.dll"), nullptr);
}

}  // namespace
