// The soak: libzurpm.so loaded by a small host, pcimsim serving two PCIM cards with faults switched
// on and off by a seeded schedule (--chaos), and REQUESTS reads and writes over every memory type in
// real time. Every write answered 0 is read back at once, and every value written is read back at
// the end with the faults gone. Not a test of the suite (it runs for minutes): scripts/soak.sh.
//
//     zurpm_soak [REQUESTS] [SEED]       100000 requests, seed 1
//
// The figures go to standard error. Exit status 1 when a write answered 0 is not in the plant, a request outlived its time-outs, an
// answer 2 came without its message, or the process's descriptors grew.
#include <dirent.h>
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host_value.h"
#include "orvant.h"
#include "pcimemu/fault_schedule.h"
#include "simulator_process.h"

namespace {

namespace fs = std::filesystem;
using zurpm::test::HostValue;

const char* const plantFile = R"([[card]]
segment = 0xCC00
port = 0x3E0
own_device = 31
  [[card.device]]
  number = 3
  kind = "plc"
  reply_delay_ms = 1
  [[card.device]]
  number = 4
  kind = "plc"
  reply_delay_ms = 1
  [[card.device]]
  number = 5
  kind = "ioblock"
  reply_delay_ms = 1
[[card]]
segment = 0xD000
port = 0x2E0
own_device = 30
  [[card.device]]
  number = 1
  kind = "plc"
  reply_delay_ms = 1
  [[card.device]]
  number = 2
  kind = "ioblock"
)";

// Reply time-out 200 ms, access time-out 20 ms.
const char* const configuration = "BASE=16\n1=CC00;3E0;2;16;20\n2=D000;2E0;2;16;20\n";
constexpr uint32_t replyMs = 200, accessMs = 20, slackMs = 100, handshakeMs = 4400;

struct GateCase {
    const char* address;
    int32_t valueType, blockSize;
};
// Every memory type and width, on both cards; no two gates share a bit.
const GateCase gateCases[] = {
    {"039R0001", 0, 0},    {"039R0011", 0, 16},   {"039L0001", 1, 0},    {"039O0001", 0, 0},   {"039O0011", 0, 8},
    {"039F0041", 3, 0},    {"039F0051", 3, 4},    {"039I0001", 6, 0},    {"039Q0002", 6, 0},   {"039T0003", 6, 0},
    {"039M0004", 6, 0},    {"039A0005", 6, 0},    {"039B0006", 6, 0},    {"039C0007", 6, 0},   {"039D0008", 6, 0},
    {"039G0009", 6, 0},    {"039I0011", 6, 37},   {"039M0101", 6, 256},  {"039Q0021", 6, 200}, {"039R00C803", 6, 0},
    {"039L006005", 6, 0},  {"039O00300F", 6, 0},  {"049R0001", 0, 0},    {"05GA0001", 0, 0},   {"05GA0003", 3, 0},
    {"05GA0011", 0, 8},    {"05GD0201", 6, 0},    {"05GD0211", 6, 20},   {"31GA0021", 0, 0},   {"339R0001", 0, 0},
    {"339M0001", 6, 64},   {"339R000207", 6, 0},  {"34GA0001", 0, 2},    {"34GD0041", 6, 0},
};

struct Gate {
    GateCase how;
    HardwareAddress address{};
    bool known = false;            // a write answered 0 has said what the plant holds
    HostValue value;               // what it holds
    std::vector<HostValue> maybe;  // writes answered 2 since: they may have landed
};

struct Host {
    void* library = nullptr;
    ZurMainFunction zurMain = nullptr;
    DriverContext context{};
    int levelMessages = 0;  // level-32 messages since the last call

    int32_t call(int32_t command, void* record = nullptr) {
        levelMessages = 0;
        ZurRequest request{};
        request.context = &context;
        request.command = command;
        request.gate = record;
        return zurMain(&request);
    }
};

void count(int32_t level, const char*, void* user) {
    if (level == 32) ++static_cast<Host*>(user)->levelMessages;
}

long residentKb() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int openDescriptors() {
    int open = 0;
    if (DIR* directory = opendir("/proc/self/fd")) {
        while (readdir(directory) != nullptr) ++open;
        closedir(directory);
        open -= 3;  // ".", ".." and the directory's own descriptor
    }
    return open;
}

struct Figures {
    uint64_t requests = 0, answered0 = 0, answered2 = 0, restarts = 0;
    uint64_t readBack = 0, verified = 0, lost = 0, outlived = 0, heldUp = 0, silent = 0;
    uint32_t longestMs = 0;
};

// Milliseconds the calling thread has spent ready to run but waiting for a processor. On a busy
// machine the driver's polls wake that much late, and a wait may end that much after its time-out:
// the machine's doing, not the driver's.
uint64_t runQueueWaitMs() {
    uint64_t running = 0, waiting = 0;
    std::ifstream("/proc/thread-self/schedstat") >> running >> waiting;
    return waiting / 1000000;
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t total = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
    // The driver's console lines (its listing of the devices present, when one is not) are not the
    // soak's: into a pipe that nobody drains in time they would hold the driver up.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 2;

    std::string pattern = (fs::temp_directory_path() / "zurpm-soak-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return 2;
    const fs::path directory = pattern;
    std::ofstream(directory / "plant.toml") << plantFile;
    std::ofstream(directory / "zurPM.int") << configuration;
    const std::string socket = (directory / "XPORTIO").string();
    realtime::SimulatorProcess simulator;
    std::string problem;
    if (!simulator.start(PCIMSIM_PROGRAM, (directory / "plant.toml").string(), socket, 60, problem,
                         {"--chaos", std::to_string(seed)})) {
        std::fprintf(stderr, "soak: %s\n", problem.c_str());
        return 2;
    }
    setenv("XPORTIO_SOCKET", socket.c_str(), 1);
    fs::current_path(directory);

    Host host;
    host.library = dlopen(ZURPM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    host.zurMain = host.library ? reinterpret_cast<ZurMainFunction>(dlsym(host.library, "ZurMain")) : nullptr;
    if (host.zurMain == nullptr) return 2;
    orvantSetSink(count, &host);

    Figures figures;
    const auto timed = [&](int32_t command, void* record, uint32_t boundMs, const char* what) {
        const uint64_t waitedBefore = runQueueWaitMs();
        const auto began = std::chrono::steady_clock::now();
        const int32_t result = host.call(command, record);
        const auto took = static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count());
        figures.longestMs = std::max(figures.longestMs, took);
        const auto late = static_cast<uint32_t>(runQueueWaitMs() - waitedBefore);
        if (took > boundMs + late) {
            ++figures.outlived;
            std::fprintf(stderr, "soak: command %d on %s took %u ms; its time-outs allow %u, %u more waiting for a processor\n",
                         command, what, took, boundMs, late);
        } else if (took > boundMs) {
            ++figures.heldUp;
        }
        figures.silent += result == 2 && host.levelMessages == 0 ? 1 : 0;
        return result;
    };
    timed(ZUR_CMD_START, nullptr, 2 * handshakeMs + slackMs, "both cards");

    std::vector<Gate> gates;
    for (const GateCase& how : gateCases) {
        GateDefinition definition{};
        definition.addressString = how.address;
        definition.valueType = how.valueType;
        definition.blockSize = how.blockSize;
        if (host.call(how.blockSize ? ZUR_CMD_DEFINE_BLOCK_GATE : ZUR_CMD_DEFINE_GATE, &definition) != 0) {
            std::fprintf(stderr, "soak: %s refused\n", how.address);
            return 2;
        }
        Gate gate;
        gate.how = how;
        gate.address = definition.hardwareAddress;
        gates.push_back(gate);
    }
    const long residentAtStart = residentKb();
    const int descriptorsAtStart = openDescriptors();

    pcimemu::SeededDraws draws(seed);
    // One access; a read answered 0 settles what the plant holds (the card's command interface is
    // one at a time, so no earlier write can land after it).
    const auto access = [&](Gate& gate, bool write) {
        const int32_t count = std::max(gate.how.blockSize, 1);
        std::vector<uint8_t> buffer(zurpm::test::valueBufferSize(gate.address, count));
        for (uint8_t& byte : buffer) byte = static_cast<uint8_t>(draws.next());
        GateAccess record{};
        record.hardwareAddress = gate.address;
        record.count = count;
        record.data = buffer.data();
        const bool bitOfWord = write && gate.address.width == 1 && zurpm::test::isWordMemory(gate.address.memoryType);
        const uint32_t bound = zurpm::isGeniusBlockData(gate.address.memoryType) ? accessMs + slackMs : (bitOfWord ? 2 : 1) * (accessMs + replyMs + slackMs);
        const int32_t command = gate.how.blockSize ? (write ? ZUR_CMD_WRITE : ZUR_CMD_READ)
                                                   : (draws.chance(50) ? (write ? ZUR_CMD_WRITE_SINGLE : ZUR_CMD_READ_SINGLE)
                                                                       : (write ? ZUR_CMD_WRITE : ZUR_CMD_READ));
        const int32_t result = timed(command, &record, bound, gate.how.address);
        ++figures.requests;
        (result == 0 ? figures.answered0 : figures.answered2) += 1;
        const HostValue value = zurpm::test::hostValue(gate.address, count, buffer.data());
        if (write && result == 0) {
            gate.known = true;
            gate.value = value;
            gate.maybe.clear();
        } else if (write) {
            gate.maybe.push_back(value);
        } else if (result == 0 && gate.known) {
            const bool landed = std::find(gate.maybe.begin(), gate.maybe.end(), value) != gate.maybe.end();
            if (!(value == gate.value) && !landed) {
                ++figures.lost;
                std::fprintf(stderr, "soak: %s holds a value no write left there (request %llu)\n", gate.how.address,
                             static_cast<unsigned long long>(figures.requests));
            }
            gate.value = value;
            gate.maybe.clear();
        }
        return result;
    };
    const auto restart = [&] {
        timed(ZUR_CMD_RESTART, nullptr, 2 * handshakeMs + slackMs, "both cards");
        ++figures.restarts;
        // A card that boots starts its global-data tables afresh: what it had not yet passed to a
        // block at a bus scan is gone, and its own table is 0. The next access tells again.
        for (Gate& gate : gates)
            if (zurpm::isGeniusBlockData(gate.address.memoryType)) gate.known = false;
    };

    for (uint64_t nextRestart = 25000; figures.requests < total;) {
        if (figures.requests >= nextRestart) {
            restart();
            nextRestart += 25000;
        }
        Gate& gate = gates[draws.below(static_cast<uint32_t>(gates.size()))];
        const bool write = draws.chance(50);
        if (access(gate, write) == 0 && write) {
            ++figures.readBack;
            access(gate, false);
        }
    }
    const long residentAtEnd = residentKb();
    const int descriptorsAtEnd = openDescriptors();

    // The faults end; every value written is read back, after a restart for a card that has not come
    // through the last one.
    simulator.signal(SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    uint64_t unread = 0;
    const auto verify = [&] {
        unread = 0;
        for (Gate& gate : gates) {
            if (!gate.known) continue;
            int tries = 0;
            while (access(gate, false) != 0 && ++tries < 3) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (tries == 3) {
                ++unread;
                continue;
            }
            ++figures.verified;
            gate.known = false;  // verified once is enough
        }
    };
    verify();
    if (unread > 0) {
        restart();
        verify();
    }
    host.call(ZUR_CMD_STOP);
    orvantSetSink(nullptr, nullptr);
    simulator.stop();
    std::error_code ignored;
    fs::remove_all(directory, ignored);

    std::fprintf(stderr, "soak: seed %llu: %llu requests, answered 0: %llu, answered 2: %llu; %llu restarts\n",
                 static_cast<unsigned long long>(seed), static_cast<unsigned long long>(figures.requests),
                 static_cast<unsigned long long>(figures.answered0), static_cast<unsigned long long>(figures.answered2),
                 static_cast<unsigned long long>(figures.restarts));
    std::fprintf(stderr, "soak: writes answered 0 whose value is not in the plant afterwards: %llu (%llu read back at once, "
                 "%llu gates at the end, %llu unreadable)\n",
                 static_cast<unsigned long long>(figures.lost), static_cast<unsigned long long>(figures.readBack),
                 static_cast<unsigned long long>(figures.verified), static_cast<unsigned long long>(unread));
    std::fprintf(stderr, "soak: requests that outlived their time-outs: %llu (longest %u ms; %llu more only by the time they "
                 "waited for a processor); answers 2 without a message: %llu\n",
                 static_cast<unsigned long long>(figures.outlived), figures.longestMs,
                 static_cast<unsigned long long>(figures.heldUp), static_cast<unsigned long long>(figures.silent));
    std::fprintf(stderr, "soak: resident memory %ld KB at the start, %ld KB at the end; open descriptors %d at the start, %d at the end\n",
                 residentAtStart, residentAtEnd, descriptorsAtStart, descriptorsAtEnd);
    const bool sound = figures.lost == 0 && figures.outlived == 0 && figures.silent == 0 && unread == 0 &&
                       descriptorsAtEnd <= descriptorsAtStart;
    return sound ? 0 : 1;
}
