// A PCIM card's life seen from the PC: the wake-up and reset written to its ports, its heartbeat,
// its identity bytes, the configuration command, and the faults of each of them.
#include <gtest/gtest.h>

#include "bench.h"

namespace pcimemu::bench {
namespace {

TEST(CardLife, WakeUpBringsTheHeartbeatAfterTheBootTime) {
    Bench bench;
    EXPECT_EQ(bench.byte(0, 0x893), 0) << "a card never woken has no heartbeat";
    bench.wake();
    bench.run(1499);
    EXPECT_EQ(bench.byte(0, 0x893), 0) << "heartbeat before the boot time of 1500 ms";
    bench.run(1);
    EXPECT_EQ(bench.byte(0, 0x893), 1) << "no heartbeat 1500 ms after the wake-up";
    EXPECT_TRUE(bench.plant.heartbeat(0));
}

TEST(CardLife, BootedCardShowsItsDeviceNumberWithHighBitsAndItsVersion) {
    CardSpec setup;
    setup.ownDeviceNumber = 3;
    setup.ownDeviceHighBits = 0xE0;
    setup.version = 0x41;
    Bench bench(plantOf({setup}));
    bench.wake();
    EXPECT_EQ(bench.byte(0, 0x882), 0xE3) << "device number byte: high bits above the number 3";
    EXPECT_EQ(bench.byte(0, 0x882) & 0x1F, 3);
    EXPECT_EQ(bench.byte(0, 0x892), 0x41);
}

TEST(CardLife, RunWithoutTheKeyOrWithoutHoldDoesNotBoot) {
    struct Case {
        const char* what;
        std::vector<std::pair<uint16_t, uint8_t>> writes;  // (port offset, value)
        bool boots;
    };
    const Case cases[] = {
        {"wake-up 0x99, 0x01, 0x43", {{3, 0x99}, {1, 0x01}, {1, 0x43}}, true},
        {"0x43 alone", {{1, 0x43}}, false},
        {"0x01, 0x43 without the key", {{1, 0x01}, {1, 0x43}}, false},
        {"key written to the wrong port", {{2, 0x99}, {1, 0x01}, {1, 0x43}}, false},
        {"reset then 0x43", {{1, 0x01}, {3, 0x99}, {1, 0x01}, {1, 0x43}}, true},
    };
    for (const Case& c : cases) {
        Bench fresh;  // held, as after power-on
        for (auto [port, value] : c.writes) fresh.port(0, port, value);
        fresh.run(1500);
        EXPECT_EQ(fresh.byte(0, 0x893), c.boots ? 1 : 0) << c.what;
    }
}

TEST(CardLife, RunWrittenToARunningCardDoesNotRestartIt) {
    Bench bench;
    bench.start();
    bench.port(0, 3, 0x99);
    bench.port(0, 1, 0x43);
    bench.run(1);
    EXPECT_EQ(bench.byte(0, 0x893), 1);
    EXPECT_TRUE(bench.plant.online(0)) << "0x43 without a hold rebooted the card";
}

TEST(CardLife, ResetDropsTheHeartbeatAndTheCardStops) {
    Bench bench;
    bench.start();
    ASSERT_EQ(bench.byte(0, 0x893), 1);
    bench.reset();
    EXPECT_EQ(bench.byte(0, 0x893), 0) << "heartbeat still 1 right after the reset writes";
    bench.run(5000);
    EXPECT_EQ(bench.byte(0, 0x893), 0) << "a reset card came back on its own";
    const Answer answer = bench.read(3, 8, 0, 1);
    EXPECT_EQ(answer.status, 1) << "a stopped card took a command";
    EXPECT_FALSE(bench.plant.online(0));
}

TEST(CardLife, WakeUpAfterResetBootsAgain) {
    Bench bench;
    bench.start();
    bench.reset();
    bench.wake();
    EXPECT_EQ(bench.byte(0, 0x893), 0);
    bench.run(1500);
    EXPECT_EQ(bench.byte(0, 0x893), 1);
    EXPECT_FALSE(bench.plant.online(0)) << "a rebooted card must be configured again";
}

TEST(CardLife, HeartbeatComesAcrossTheWrapOfTheClock) {
    Bench bench(plantOf({standardCard()}), 0xFFFFFF00u);
    bench.wake();
    bench.run(1499);
    EXPECT_EQ(bench.byte(0, 0x893), 0);
    bench.run(1);
    EXPECT_EQ(bench.byte(0, 0x893), 1) << "boot time measured wrongly across 2^32";
}

TEST(CardLife, ConfigurationIsAcceptedAtOnceByDefault) {
    Bench bench;
    bench.wake();
    bench.run(1500);
    bench.set(0, 0x885, 7);
    bench.issue(0, 4);
    EXPECT_EQ(bench.byte(0, 0x8C2), 1);
    bench.run(1);
    EXPECT_EQ(bench.byte(0, 0x8C2), 4);
    EXPECT_TRUE(bench.plant.online(0));
    EXPECT_EQ(bench.byte(0, 0x885), 7) << "the card changed the PC's configuration bytes";
}

TEST(CardLife, ConfigurationStatusSequencesStepEveryConfigStep) {
    struct Case {
        std::vector<uint8_t> sequence;
        bool online;
    };
    const Case cases[] = {
        {{2, 2, 2, 2, 4}, true}, {{1, 1, 1, 1, 1, 1}, false}, {{8}, false},
        {{16}, false},           {{2, 0}, false},             {{2, 4, 16}, false},
    };
    for (const Case& c : cases) {
        CardSpec setup = standardCard();
        setup.faults.configStatusSequence = c.sequence;
        setup.faults.configStepMs = 100;
        Bench bench(plantOf({setup}));
        bench.wake();
        bench.run(1500);
        bench.issue(0, 4);
        // The card takes the command at the next millisecond; each value is held 100 ms from then.
        for (size_t i = 0; i < c.sequence.size() + 2; ++i) {
            bench.run(i == 0 ? 1 : 100);
            const size_t shown = std::min(i, c.sequence.size() - 1);
            EXPECT_EQ(bench.byte(0, 0x8C2), c.sequence[shown])
                << "sequence " << hex(c.sequence) << ", " << i * 100 << " ms after taking it";
        }
        EXPECT_EQ(bench.plant.online(0), c.online) << "sequence " << hex(c.sequence);
    }
}

TEST(CardLife, DriverLooksSeeTheSequenceOneValueEach) {
    // The PC writes the command, then looks 100, 200, ... ms later: the k-th look sees value k.
    CardSpec setup = standardCard();
    setup.faults.configStatusSequence = {2, 2, 2, 2, 4};
    Bench bench(plantOf({setup}));
    bench.wake();
    bench.run(2000);
    bench.issue(0, 4);
    std::vector<uint8_t> looks;
    for (int look = 0; look < 5; ++look) {
        bench.run(100);
        looks.push_back(bench.byte(0, 0x8C2));
    }
    EXPECT_EQ(hex(looks), hex({2, 2, 2, 2, 4}));
}

struct HeartbeatCase {
    const char* what;
    CardFaults faults;
    uint8_t beforeConfiguration;  // at 1500 ms
    uint8_t afterConfiguration;   // 1000 ms after it was accepted
};

TEST(CardFaults, HeartbeatFaults) {
    CardFaults none;
    CardFaults noHeartbeat;
    noHeartbeat.noHeartbeat = true;
    CardFaults stops;
    stops.heartbeatStopsAfterConfig = true;
    const HeartbeatCase cases[] = {
        {"no fault", none, 1, 1},
        {"no heartbeat", noHeartbeat, 0, 0},
        {"heartbeat lost after configuration", stops, 1, 0},
    };
    for (const HeartbeatCase& c : cases) {
        CardSpec setup = standardCard();
        setup.faults = c.faults;
        Bench bench(plantOf({setup}));
        bench.wake();
        bench.run(1500);
        EXPECT_EQ(bench.byte(0, 0x893), c.beforeConfiguration) << c.what << ": before configuration";
        bench.issue(0, 4);
        bench.run(1000);
        EXPECT_EQ(bench.byte(0, 0x893), c.afterConfiguration) << c.what << ": after configuration";
    }
}

TEST(CardFaults, LateHeartbeatComesAtItsOwnTime) {
    CardSpec setup = standardCard();
    setup.faults.heartbeatAfterMs = 2150;
    Bench bench(plantOf({setup}));
    bench.wake();
    bench.run(2149);
    EXPECT_EQ(bench.byte(0, 0x893), 0);
    bench.run(1);
    EXPECT_EQ(bench.byte(0, 0x893), 1);
}

TEST(CardFaults, NoHeartbeatSwitchedOnStopsARunningCardAndOffRevivesIt) {
    Bench bench;
    bench.start();
    bench.plant.faults(0).noHeartbeat = true;
    bench.run(1);
    EXPECT_EQ(bench.byte(0, 0x893), 0);
    EXPECT_EQ(bench.read(3, 8, 0, 1, 0).status, 1) << "a card without heartbeat served a datagram";
    bench.plant.faults(0).noHeartbeat = false;
    bench.run(1);
    EXPECT_EQ(bench.byte(0, 0x893), 1);
}

TEST(CardFaults, IoStatusPortShowsTheFaultBits) {
    for (uint8_t bits : {0x00, 0x08, 0x10, 0x18}) {
        CardSpec setup = standardCard();
        setup.faults.ioStatusBits = bits;
        Bench bench(plantOf({setup}));
        bench.start();
        EXPECT_EQ(bench.plant.readPort(0x3E0), bits);
    }
}

TEST(CardLife, UnknownCommandCodeIsASyntaxError) {
    Bench bench;
    bench.start();
    bench.issue(0, 9);
    bench.run(1);
    EXPECT_EQ(bench.byte(0, 0x8C2), 0x08);
}

}  // namespace
}  // namespace pcimemu::bench
