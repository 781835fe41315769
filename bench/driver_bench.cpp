// What one request costs the host's thread in the driver's own code: a gate definition, building
// and parsing a request packet, and (with the emulator) a whole read of a register through a card,
// where every wait is virtual and so only the driver's and the card's work is measured.
#include <benchmark/benchmark.h>

#include <cstring>

#include "exchange/packet.h"
#include "platform/virtual/virtual_platform.h"
#include "zurpm/zurpm.h"

#if defined(ZURPM_BENCH_WITH_PLANT)
#include "pcimemu/virtual_plant.h"
#endif

namespace {

int32_t call(DriverContext& context, int32_t command, void* gate) {
    ZurRequest request{};
    request.context = &context;
    request.command = command;
    request.gate = gate;
    return ZurMain(&request);
}

void DefineRegisterGate(benchmark::State& state) {
    zurpm::virt::reset();
    DriverContext context{};
    context.numberBase = 16;
    GateDefinition gate{};
    gate.addressString = "359R0010";
    gate.valueType = ZUR_VALUE_SIGNED16;
    for (auto _ : state) benchmark::DoNotOptimize(call(context, ZUR_CMD_DEFINE_GATE, &gate));
}
BENCHMARK(DefineRegisterGate);

void DefineBitOfWordGate(benchmark::State& state) {
    zurpm::virt::reset();
    DriverContext context{};
    context.numberBase = 10;
    GateDefinition gate{};
    gate.addressString = "019R0001015";
    gate.valueType = ZUR_VALUE_DIGITAL;
    for (auto _ : state) benchmark::DoNotOptimize(call(context, ZUR_CMD_DEFINE_GATE, &gate));
}
BENCHMARK(DefineBitOfWordGate);

void BuildAndParseBlockRead(benchmark::State& state) {
    uint8_t values[128] = {};
    GateAccess access{};
    access.hardwareAddress = {3, 8, 10, -1, 16};
    access.count = 64;
    access.data = values;
    zurpm::RequestPacket packet{};
    for (auto _ : state) {
        packet.direction = zurpm::directionRead;
        zurpm::buildRequestPacket(&access, &packet);
        packet.bodyLength = 6 + 128;
        zurpm::parseReplyPacket(&access, &packet);
        benchmark::DoNotOptimize(values[0]);
    }
}
BENCHMARK(BuildAndParseBlockRead);

#if defined(ZURPM_BENCH_WITH_PLANT)
// A read of one register through an emulated card. The emulator completes the datagram after its
// reply delay of virtual milliseconds; the time measured is the work of both sides.
void ReadRegisterThroughCard(benchmark::State& state) {
    zurpm::virt::reset();
    pcimemu::VirtualPlant plant({pcimemu::card(0xCC00, 0x3E0, 31).plc(3)});
    DriverContext context{};
    call(context, ZUR_CMD_START, nullptr);
    GateDefinition gate{};
    gate.addressString = "039R00010";
    gate.valueType = ZUR_VALUE_SIGNED16;
    call(context, ZUR_CMD_DEFINE_GATE, &gate);
    uint8_t value[4] = {};
    GateAccess access{};
    access.hardwareAddress = gate.hardwareAddress;
    access.data = value;
    for (auto _ : state) {
        if (call(context, ZUR_CMD_READ_SINGLE, &access) != ZUR_RESULT_OK) state.SkipWithError("read failed");
    }
    call(context, ZUR_CMD_STOP, nullptr);
}
BENCHMARK(ReadRegisterThroughCard);
#endif

}  // namespace
