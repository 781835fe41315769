// Faults switched at random from a seed (the simulation's and pcimsim's --chaos): what is switched
// is put back exactly, the menu keeps out what it excludes, and a seed tells the same faults again.
#include <gtest/gtest.h>

#include <sstream>

#include "bench.h"
#include "pcimemu/fault_schedule.h"

namespace pcimemu::bench {
namespace {

// Every fault of the plant, as text.
std::string faultsOf(Plant& plant) {
    std::ostringstream text;
    const auto optional = [&](const auto& value) { text << (value ? std::to_string(*value) : "-") << ' '; };
    for (int card = 0; card < plant.cardCount(); ++card) {
        const CardFaults& c = plant.faults(card);
        text << c.noHeartbeat << c.heartbeatStopsAfterConfig << c.lockoutNeverGranted << c.refuseMap << c.refusePortRead
             << c.refusePortWrite << ' ' << int(c.ioStatusBits) << ' ' << c.configStepMs << ' ' << hex(c.configStatusSequence);
        optional(c.heartbeatAfterMs);
        for (const DeviceSpec& device : plant.setup(card).devices) {
            const DeviceFaults& d = plant.faults(card, device.number);
            text << d.absent << d.neverComplete << ' ' << d.replyDelayMs << ' ';
            optional(d.completionStatus);
            optional(d.replyLength);
        }
    }
    text << plant.xportioFaults().cannotOpen << plant.xportioFaults().refuseUnmap;
    return text.str();
}

TEST(FaultSchedule, SwitchedFaultIsPutBackExactly) {
    CardSpec second = standardCard();
    second.memorySegment = 0xD000;
    second.ioPort = 0x2E0;
    second.faults.ioStatusBits = 0x08;  // faults of the plant file come back as they were
    second.devices[0].faults.replyDelayMs = 7;
    Plant plant(plantOf({standardCard(), second}));
    const std::string described = faultsOf(plant);
    SeededDraws draws(1);
    int changed = 0;
    for (int i = 0; i < 500; ++i) {
        const FaultSwitch fault = switchRandomFault(plant, draws, draws.chance(80));
        changed += faultsOf(plant) != described ? 1 : 0;
        fault.undo();
        ASSERT_EQ(faultsOf(plant), described) << "after undoing " << fault.what;
    }
    EXPECT_GT(changed, 250) << "most switches change nothing";
}

TEST(FaultSchedule, MenuKeepsOutWhatItExcludes) {
    Plant plant(plantOf({standardCard()}));
    FaultMenu menu;
    menu.forgedCompletion = false;
    menu.startFaults = false;
    menu.longestReplyDelayMs = 300;
    SeededDraws draws(7);
    for (int i = 0; i < 2000; ++i) {
        const FaultSwitch fault = switchRandomFault(plant, draws, true, menu);
        SCOPED_TRACE(fault.what);
        for (const DeviceSpec& device : plant.setup(0).devices) {
            const DeviceFaults& d = plant.faults(0, device.number);
            EXPECT_FALSE(d.completionStatus && (*d.completionStatus & 0x04)) << "a status that claims success";
            EXPECT_LE(d.replyDelayMs, 300u);
        }
        const CardFaults& c = plant.faults(0);
        EXPECT_FALSE(c.refuseMap || c.refusePortRead || c.refusePortWrite || c.heartbeatAfterMs || c.ioStatusBits ||
                     !c.configStatusSequence.empty() || plant.xportioFaults().cannotOpen || plant.xportioFaults().refuseUnmap)
            << "a fault of the start-up, the map or the stop";
        fault.undo();
    }
}

TEST(FaultSchedule, SameSeedSameFaults) {
    Plant first(plantOf({standardCard()})), second(plantOf({standardCard()}));
    SeededDraws a(4711), b(4711);
    for (int i = 0; i < 200; ++i) {
        const bool on = i % 3 != 0;
        ASSERT_EQ(switchRandomFault(first, a, on).what, switchRandomFault(second, b, on).what) << "switch " << i;
    }
    EXPECT_EQ(faultsOf(first), faultsOf(second));
}

}  // namespace
}  // namespace pcimemu::bench
