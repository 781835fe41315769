// Counted faults at the device: every device request of a start of two cards, a read and a write
// on each, and a stop is refused in turn, once or from then on. Whatever request is refused, the
// driver answers as it promises for that request: a refused map is that card's "Unable to get
// pointer", a refused wake-up write leaves that card without a heartbeat, a refused port read is
// the console line and a value of 0, a refused reset or unmap goes unremarked; start answers 0,
// the cards that came through serve their gates, and the others fail with a message.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "hw/port_device.h"
#include "service_support.h"

namespace {

using pcimemu::card;
using service::Bench;
using service::Lines;

constexpr uint16_t cardSegments[] = {0xCC00, 0xC800};
constexpr uint16_t cardPorts[] = {0x3E0, 0x300};
const char* const cardGates[] = {"039R0001", "359R0001"};

struct Outcome {
    std::vector<zurpm::virt::DeviceRequest> requests;
    size_t startRequests = 0;  // of requests, those of the start
    Lines lines;
    std::string console;
    int32_t start = -1;
    int32_t read[2] = {-1, -1};
    int32_t write[2] = {-1, -1};
};

// The run, with the n-th device request refused (0: none).
Outcome runRefusing(uint32_t n, bool fromThenOn) {
    Bench bench(service::twoCards, {card(cardSegments[0], cardPorts[0], 31).plc(3),
                                    card(cardSegments[1], cardPorts[1], 31).plc(3)});
    zurpm::virt::refuseDeviceRequest(n, fromThenOn);
    Outcome run;
    run.start = bench.start();
    run.startRequests = zurpm::virt::deviceRequests().size();
    for (int which = 0; which < 2; ++which) {
        GateAccess access = bench.gate(cardGates[which], 0);
        uint8_t buffer[4] = {0, 0, 0x34, 0x12};
        access.data = buffer;
        run.write[which] = bench.call(ZUR_CMD_WRITE, &access);
        run.read[which] = bench.call(ZUR_CMD_READ, &access);
    }
    bench.call(ZUR_CMD_STOP);
    run.requests = zurpm::virt::deviceRequests();
    run.lines = bench.lines();
    run.console = zurpm::virt::consoleText();
    return run;
}

// The card (0, 1) a request is for: by the segment of a map, the port of a port access.
int cardOf(const zurpm::virt::DeviceRequest& request) {
    for (int which = 0; which < 2; ++which) {
        if (request.code == zurpm::XPORTIO_MAP_MEMORY &&
            zurpm::getLittle32(request.input.data() + zurpm::mapRequestPhysicalAddress) == cardSegments[which] * 16u)
            return which;
        if ((request.code == zurpm::XPORTIO_READ_PORT || request.code == zurpm::XPORTIO_WRITE_PORT) &&
            static_cast<unsigned>(zurpm::getLittle16(request.input.data()) - cardPorts[which]) < 4u)
            return which;
    }
    return -1;
}

bool has(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// What the refusals of a run must have led to, read from the requests it refused.
void expectConsequences(const Outcome& run) {
    bool mapRefused[2] = {};
    bool wakeUpRefused[2] = {};
    size_t portReadsRefused = 0;
    for (size_t i = 0; i < run.requests.size(); ++i) {
        const auto& request = run.requests[i];
        if (request.accepted) continue;
        const int which = cardOf(request);
        if (request.code == zurpm::XPORTIO_MAP_MEMORY) mapRefused[which] = true;
        if (request.code == zurpm::XPORTIO_WRITE_PORT && i < run.startRequests) wakeUpRefused[which] = true;
        if (request.code == zurpm::XPORTIO_READ_PORT) ++portReadsRefused;
    }
    EXPECT_EQ(run.start, ZUR_RESULT_OK);
    bool heartbeatMissed = false;
    for (int which = 0; which < 2; ++which) {
        const std::string number = std::to_string(which + 1);
        EXPECT_EQ(has(run.lines, "32: ZURPM Error: Unable to get pointer to PCIM card " + number), mapRefused[which])
            << "card " << number;
        // Whether a card that missed one wake-up write still boots is the card's affair (a card
        // at power-on is already held); one that missed none boots.
        const bool notStarted = has(run.lines, "32: ZURPM Error: Unable to start PCIM card " + number);
        EXPECT_TRUE(!notStarted || (wakeUpRefused[which] && !mapRefused[which])) << "card " << number;
        heartbeatMissed = heartbeatMissed || notStarted;
        const int32_t expected = mapRefused[which] || notStarted ? ZUR_RESULT_FAILED : ZUR_RESULT_OK;
        EXPECT_EQ(run.write[which], expected) << "write, card " << number;
        EXPECT_EQ(run.read[which], expected) << "read, card " << number;
    }
    EXPECT_EQ(has(run.lines, "16: ZURPM Error: No Heart beat detected on PCIM card"), heartbeatMissed);
    EXPECT_EQ(occurrences(run.console, "XPORTIO error: IOctl(rport) returned 1\n"), portReadsRefused);
    for (const std::string& line : run.lines)
        EXPECT_TRUE(line.rfind("32: ", 0) == 0 || line.rfind("16: ", 0) == 0) << line;
}

TEST(DeviceFaults, EveryRequestOfARunRefusedInTurn) {
    const Outcome clean = runRefusing(0, false);
    // Each card: at start its map, three wake-up writes, a heartbeat poll's and the status port's
    // read; at stop three reset writes and its unmap. Reads and writes go through the window only.
    ASSERT_EQ(clean.requests.size(), 20u);
    expectConsequences(clean);
    for (const bool fromThenOn : {false, true}) {
        for (uint32_t n = 1; n <= clean.requests.size(); ++n) {
            SCOPED_TRACE("request " + std::to_string(n) + (fromThenOn ? " and every later one" : " alone") +
                         " refused");
            const Outcome run = runRefusing(n, fromThenOn);
            ASSERT_GE(run.requests.size(), n);
            EXPECT_FALSE(run.requests[n - 1].accepted);
            expectConsequences(run);
            if (HasFailure()) return;  // one refusal's story is enough to read
        }
    }
}

}  // namespace
