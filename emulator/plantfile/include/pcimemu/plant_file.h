// Plant files: a plant described in TOML, for pcimsim and for commissioning without hardware.
//
//     [xportio]                      # faults of the device itself (optional)
//     cannot_open = false
//     refuse_unmap = false
//
//     [[card]]                       # one to three; the first is the driver's card 1
//     segment = 0xCC00               # window at segment * 16 (default 0xCC00)
//     port = 0x3E0                   # ports port .. port + 3 (default 0x3E0)
//     own_device = 31                # the card's own Genius device number (default 31)
//     own_device_high_bits = 0xE0    # bits above the device number in its byte
//     version = 0x23
//     boot_ms = 1500                 # wake-up to heartbeat
//     bus_scan_ms = 10
//     no_reply_ms = 20               # a datagram nobody answers fails after this
//     [card.faults]                  # no_heartbeat, heartbeat_after_ms,
//     config_status = [1, 2, 4]      # heartbeat_stops_after_config, config_status,
//                                    # config_step_ms, io_status, lockout_never_granted,
//                                    # refuse_map, refuse_port_read, refuse_port_write
//
//     [[card.device]]
//     number = 3                     # 0 to 31, not the card's own
//     kind = "plc"                   # "plc" or "ioblock"
//     name = "Line 1 CPU"
//     reply_delay_ms = 2
//     sizes = { R = 2048, I = 512 }  # PLCs: R AI AQ in words, I Q T M SA SB SC S G in points
//     faults = { absent = false, never_complete = false, completion_status = 0x10, reply_length = 200 }
//     [card.device.memory]           # PLCs: initial values by reference number, from 1
//     R1 = 100                       # %R00001; a list fills from there: R10 = [1, 2, 3]
//     I17 = 1                        # discrete points take 0, 1, true or false
//
//     [[card.device]]
//     number = 5
//     kind = "ioblock"
//     data = [0x01, 0x80]            # the block's global data from byte 0 (at most 128 bytes)
//
// Every mistake is reported as "FILE:LINE: what is wrong", and unknown keys are mistakes too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pcimemu/emulator.h"

namespace pcimemu {

// A value the plant starts with: a PLC word or point, or a byte of an I/O block's data.
struct InitialValue {
    enum class Target { word, point, blockData };
    int card = 0;  // 0-based, as in PlantSpec
    uint8_t device = 0;
    Target target = Target::word;
    PlcMemory memory = PlcMemory::R;  // words and points
    uint32_t index = 0;               // 0-based word, point or byte
    uint16_t value = 0;
};

struct PlantFile {
    PlantSpec setup;
    std::vector<InitialValue> values;
};

// Reads the plant file at path; nullopt with the reason in error when it cannot be read or is
// wrong.
std::optional<PlantFile> readPlantFile(const std::string& path, std::string& error);
// The same for text in memory; sourceName stands for the file in messages.
std::optional<PlantFile> parsePlantFile(std::string_view text, const std::string& sourceName, std::string& error);

// Gives a plant built from file.setup its initial values.
void applyInitialValues(Plant& plant, const PlantFile& file);

}  // namespace pcimemu
