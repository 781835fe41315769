// Probing one device number with a read of %R00001, and Genius block data after a refusal.
#include "lan_scan.h"

#include <chrono>

#include "driver_messages.h"
#include "read_plan.h"

namespace zurtool {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t blockDataWords = 64;  // the 128 bytes of a device's global data

double millisecondsSince(Clock::time_point begin) {
    return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
}

DefinedGate defineProbe(DriverSession& session, int32_t station, int32_t memoryType, int32_t count) {
    GroupSpan span;
    span.station = station;
    span.memoryType = memoryType;
    span.count = count;
    GateItem item;
    item.address = spanAddress(span, session.numberBase());
    item.name = item.address;
    if (count > 1) item.blockSize = count;
    return session.define(item);
}

}  // namespace

const char* deviceKindName(DeviceKind kind) {
    switch (kind) {
    case DeviceKind::absent: return "absent";
    case DeviceKind::plc: return "plc";
    case DeviceKind::block: return "block";
    case DeviceKind::silent: return "silent";
    case DeviceKind::card: return "card";
    }
    return "?";
}

ScanDevice scanDevice(DriverSession& session, LinkStatistics& statistics, int32_t card, int32_t device) {
    ScanDevice found;
    found.card = card;
    found.device = device;
    found.station = (card - 1) * devicesPerLan + device;
    constexpr int32_t registers = 8;
    const DefinedGate probe = defineProbe(session, found.station, registers, 1);
    if (!probe.accepted()) {
        found.kind = DeviceKind::absent;
        found.messages = probe.messages;
        return found;
    }
    ValueBuffer buffer = emptyValueBuffer();
    auto begin = Clock::now();
    const Transfer transfer = session.read(probe, 1, buffer);
    found.ms = millisecondsSince(begin);
    found.messages = transfer.messages;
    const FailureKind kind = classifyFailure(transfer.messages);
    // An absent device is what most device numbers of a LAN are: no failure of a link.
    if (transfer.done() || kind != FailureKind::notFound)
        statistics.recordStation(found.station, transfer.done(), transfer.messages, found.ms);
    if (transfer.done()) {
        found.kind = DeviceKind::plc;
        found.firstRegister = takeSingleValue(buffer, ValueKind::signed16).integer;
        return found;
    }
    if (kind == FailureKind::notFound) {
        found.kind = DeviceKind::absent;
        return found;
    }
    if (refusedByDevice(kind)) {
        // On the LAN, but no Read Device: its global data comes from the card's table.
        constexpr int32_t blockAnalog = 130;
        found.kind = DeviceKind::block;
        const DefinedGate table = defineProbe(session, found.station, blockAnalog, blockDataWords);
        if (!table.accepted()) return found;
        buffer = emptyValueBuffer();
        begin = Clock::now();
        const Transfer data = session.read(table, blockDataWords, buffer);
        const double ms = millisecondsSince(begin);
        statistics.recordStation(found.station, data.done(), data.messages, ms);
        found.ms += ms;
        if (data.done())
            found.data.assign(buffer.begin(), buffer.begin() + blockDataWords * 2);
        else
            found.messages.insert(found.messages.end(), data.messages.begin(), data.messages.end());
        return found;
    }
    found.kind = DeviceKind::silent;
    return found;
}

}  // namespace zurtool
