// How a Series 90 PLC answers the Read Device and Write Device datagrams: the segment selectors it
// knows, the body's address header, and the checks that make a request a syntax or process error.
#pragma once

#include <cstdint>
#include <vector>

#include "lan_devices.h"

namespace pcimemu::detail {

struct DatagramAnswer {
    uint8_t status;             // completed, syntax error or process error
    std::vector<uint8_t> body;  // reads: the request's 6-byte header, then the data
};

DatagramAnswer readDevice(const PlcDevice& plc, const std::vector<uint8_t>& request);
DatagramAnswer writeDevice(PlcDevice& plc, const std::vector<uint8_t>& request);

}  // namespace pcimemu::detail
