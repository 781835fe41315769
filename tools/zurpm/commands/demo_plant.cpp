// The demo plant and its process.
#include "demo_plant.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zurtool::demo {

namespace {

constexpr int tankCard = 0;
constexpr uint8_t tankPlc = 1;      // station 01
constexpr int fieldCard = 1;
constexpr uint8_t fieldBlock = 5;   // station 37

using pcimemu::PlcMemory;

// Where the PLC keeps its process, 0-based.
constexpr uint32_t levelRegister = 0;        // %R00001, 0 to 1000
// %R00002 holds the level set-point: the operator's to write, not the process's to use.
constexpr uint32_t statusRegister = 2;       // %R00003: bit 0 pump running, bit 1 valve open
constexpr uint32_t temperatureRegister = 16; // %R00017-%R00018, a float
constexpr uint32_t flowInput = 0;            // %AI0001
constexpr uint32_t valveOutput = 0;          // %AQ0001, valve position 0 to 100
constexpr uint32_t pumpRunning = 0;          // %I00001
constexpr uint32_t pumpCommand = 0;          // %Q00001
constexpr uint32_t valveCommand = 1;         // %Q00002
constexpr uint32_t secondTimer = 0;          // %T00001, toggles every second
constexpr uint32_t highAlarm = 0;            // %M00001

constexpr int32_t pumpOnBelow = 200;
constexpr int32_t pumpOffAbove = 800;
constexpr int32_t valveOpenAbove = 600;
constexpr int32_t alarmAbove = 750;

void setFloat(pcimemu::Plc& plc, uint32_t firstRegister, float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    plc.setWord(PlcMemory::R, firstRegister, static_cast<uint16_t>(bits & 0xFFFF));
    plc.setWord(PlcMemory::R, firstRegister + 1, static_cast<uint16_t>(bits >> 16));
}

}  // namespace

const char* const plantText = R"(# The zurpm demo plant: a tank on card 1, a field I/O block on card 2.
[[card]]
segment = 0xCC00
port = 0x3E0
own_device = 31
boot_ms = 1500

  [[card.device]]
  number = 1
  kind = "plc"
  name = "Tank farm CPU"
    [card.device.memory]
    R1 = 400
    R2 = 500
    SA1 = 1
    SB1 = 0
    SC1 = 1
    S1 = 1
    G1 = 1

[[card]]
segment = 0xC800
port = 0x2E0
own_device = 30
boot_ms = 1500

  [[card.device]]
  number = 5
  kind = "ioblock"
  name = "Field block"
  data = [0x01, 0x00, 0x10, 0x00, 0x20, 0x00]
)";

const char* const configurationText = "BASE=16\n1=CC00;3E0;30;16;150\n2=C800;2E0;30;16;150\n";

std::vector<GateItem> gateList() {
    struct Entry {
        const char* name;
        const char* address;
        const char* type;
        const char* block;
    };
    static const Entry entries[] = {
        {"tank_level", "019R0001", "s16", ""},
        {"level_setpoint", "019R0002", "u16", ""},
        {"pump_running_bit", "019R000300", "digital", ""},
        {"temperature", "019F0011", "float", ""},
        {"flow", "019L0001", "s16", ""},
        {"valve_position", "019O0001", "s16", ""},
        {"pump_feedback", "019I0001", "digital", ""},
        {"pump_command", "019Q0001", "digital", ""},
        {"valve_command", "019Q0002", "digital", ""},
        {"second_timer", "019T0001", "digital", ""},
        {"high_alarm", "019M0001", "digital", ""},
        {"system_sa", "019A0001", "digital", ""},
        {"system_sb", "019B0001", "digital", ""},
        {"system_sc", "019C0001", "digital", ""},
        {"system_s", "019D0001", "digital", ""},
        {"global_g", "019G0001", "digital", ""},
        {"tank_registers", "019R0001", "s16", "3"},
        {"block_inputs", "37GD0001", "digital", "8"},
        {"block_input_1", "37GD0001", "digital", ""},
        {"block_analog_1", "37GA0002", "s16", ""},
        {"block_analog_2", "37GA0003", "s16", ""},
    };
    std::vector<GateItem> gates;
    for (const Entry& entry : entries) gates.push_back(makeGateItem(entry.name, entry.address, entry.type, entry.block));
    return gates;
}

void runProcess(pcimemu::Plant& plant, uint64_t elapsedMs) {
    pcimemu::Plc* plc = plant.plc(tankCard, tankPlc);
    if (plc != nullptr) {
        int32_t level = static_cast<int16_t>(plc->word(PlcMemory::R, levelRegister));
        const bool pumping = plc->point(PlcMemory::Q, pumpCommand);
        const bool draining = plc->point(PlcMemory::Q, valveCommand);
        // One step every call (the demo calls every 100 ms): the pump fills faster than the valve
        // drains, so the level swings between the two switching points.
        level += (pumping ? 25 : 0) - (draining ? 15 : 5);
        if (level < 0) level = 0;
        if (level > 1000) level = 1000;
        const bool pumpOn = level < pumpOnBelow ? true : (level > pumpOffAbove ? false : pumping);
        const bool valveOpen = level > valveOpenAbove;
        plc->setWord(PlcMemory::R, levelRegister, static_cast<uint16_t>(level));
        plc->setPoint(PlcMemory::Q, pumpCommand, pumpOn);
        plc->setPoint(PlcMemory::Q, valveCommand, valveOpen);
        plc->setPoint(PlcMemory::I, pumpRunning, pumping);
        plc->setPoint(PlcMemory::M, highAlarm, level > alarmAbove);
        plc->setPoint(PlcMemory::T, secondTimer, (elapsedMs / 1000) % 2 == 1);
        plc->setWord(PlcMemory::R, statusRegister,
                     static_cast<uint16_t>((pumping ? 1u : 0u) | (valveOpen ? 2u : 0u)));
        const int32_t flow = pumping ? 400 + static_cast<int32_t>((elapsedMs / 100) % 7) * 3 : 0;
        plc->setWord(PlcMemory::AI, flowInput, static_cast<uint16_t>(flow));
        const int32_t position = static_cast<int16_t>(plc->word(PlcMemory::AQ, valveOutput));
        const int32_t target = valveOpen ? 100 : 0;
        const int32_t moved = position < target ? std::min(position + 10, target) : std::max(position - 10, target);
        plc->setWord(PlcMemory::AQ, valveOutput, static_cast<uint16_t>(moved));
        const double seconds = static_cast<double>(elapsedMs) / 1000.0;
        setFloat(*plc, temperatureRegister, static_cast<float>(21.5 + 2.5 * std::sin(seconds / 4.0)));
    }
    pcimemu::IoBlock* block = plant.ioBlock(fieldCard, fieldBlock);
    if (block != nullptr) {
        // Inputs walk through the first byte; two analog values ramp.
        block->setData(0, static_cast<uint8_t>(1u << ((elapsedMs / 500) % 8)));
        const uint16_t rampUp = static_cast<uint16_t>((elapsedMs / 100) % 4096);
        const uint16_t rampDown = static_cast<uint16_t>(4095 - rampUp);
        block->setData(2, static_cast<uint8_t>(rampUp & 0xFF));
        block->setData(3, static_cast<uint8_t>(rampUp >> 8));
        block->setData(4, static_cast<uint8_t>(rampDown & 0xFF));
        block->setData(5, static_cast<uint8_t>(rampDown >> 8));
    }
}

}  // namespace zurtool::demo
