// Real time of the requests a field engineer's host makes, against pcimsim with a card that answers
// at once (scripts/bench.sh starts both): the median and 99th percentile of each kind of request,
// beside its floor, the driver's 1 ms sleep per datagram (and per global-data access) plus the
// card's reply time, and the ratio of the median to it.
//
//   zurpm_realtime_bench [--iterations N] [--reply-ms MS] [--driver PATH]
//
// Run in a directory with zurPM.int ("1=CC00;3E0"), with XPORTIO_SOCKET naming pcimsim's socket.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "driver_library.h"
#include "driver_session.h"
#include "gate_item.h"
#include "gate_values.h"
#include "link_stats.h"
#include "read_plan.h"
#include "tool_error.h"

namespace {

using namespace zurtool;
using Clock = std::chrono::steady_clock;

struct Case {
    const char* name;
    int sleeps;  // the driver's mandated 1 ms sleeps: one per datagram, one per global-data access
    std::function<bool()> request;
};

DefinedGate defined(DriverSession& session, const std::string& text) {
    DefinedGate gate = session.define(parseGateItem(text));
    if (!gate.accepted()) throw badInput("gate " + text + " refused: " + showMessages(gate.messages));
    return gate;
}

}  // namespace

int main(int argc, char** argv) {
    int iterations = 200;
    double replyMs = 0.0;
    std::string driver = ZURPM_DRIVER_PATH;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--iterations") == 0) iterations = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--reply-ms") == 0) replyMs = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--driver") == 0) driver = argv[i + 1];
    }
    try {
        DriverLibrary library(driver);
        DriverSession session(library);
        if (session.start() != ZUR_RESULT_OK) throw unavailable("the driver could not open the XPORTIO device");
        if (session.numberBase() != 16) throw badInput("zurPM.int must set BASE=16");

        const DefinedGate word = defined(session, "039R0001");
        const DefinedGate block = defined(session, "039R0001:s16:64");
        const DefinedGate point = defined(session, "039Q0001");
        const DefinedGate bit = defined(session, "039R000203");
        const DefinedGate global = defined(session, "05GA0001");
        std::vector<DefinedGate> registers;
        for (int r = 1; r <= 64; ++r) {
            char address[16];
            std::snprintf(address, sizeof address, "039R%04X", r);
            registers.push_back(defined(session, address));
        }
        ReadPlan grouped(session, registers, true);
        ReadPlan alone(session, registers, false);

        ValueBuffer buffer = emptyValueBuffer();
        auto read = [&](const DefinedGate& gate, int32_t count) { return session.read(gate, count, buffer).done(); };
        auto write = [&](const DefinedGate& gate, int32_t value) {
            putSingleValue(buffer, GateValue{gate.item.kind, value, 0.0f});
            return session.write(gate, 1, buffer).done();
        };
        auto poll = [&](ReadPlan& plan) {
            bool done = true;
            for (const GateReading& reading : plan.readAll(session, nullptr)) done = done && reading.transfer.done();
            return done;
        };
        int toggle = 0;
        const std::vector<Case> cases{
            {"read one word (039R0001)", 1, [&] { return read(word, 1); }},
            {"read 64 words (039R0001:s16:64)", 1, [&] { return read(block, 64); }},
            {"write one point (039Q0001)", 1, [&] { return write(point, toggle ^= 1); }},
            {"write a bit of a word (039R000203)", 2, [&] { return write(bit, toggle ^= 1); }},
            {"read global data (05GA0001)", 1, [&] { return read(global, 1); }},
            {"poll 64 register gates, grouped", static_cast<int>(grouped.groupCount()), [&] { return poll(grouped); }},
            {"poll 64 register gates, gate by gate", 64, [&] { return poll(alone); }},
        };

        std::printf("| request | 1 ms sleeps | median ms | p99 ms | floor ms | median / floor |\n");
        std::printf("|---|---:|---:|---:|---:|---:|\n");
        for (const Case& c : cases) {
            RequestTimes times;
            for (int i = 0; i < iterations; ++i) {
                const auto begin = Clock::now();
                if (!c.request()) throw unavailable(std::string(c.name) + " failed: " + showMessages(session.lastMessages()));
                times.add(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
            }
            const double floor = c.sleeps * (1.0 + replyMs);
            std::printf("| %s | %d | %.3f | %.3f | %.3f | %.2f |\n", c.name, c.sleeps, times.median(), times.p99(),
                        floor, times.median() / floor);
            std::fflush(stdout);
        }
        session.stop();
    } catch (const ToolError& error) {
        std::fprintf(stderr, "zurpm_realtime_bench: %s\n", error.what());
        return error.status();
    }
    return 0;
}
