// What the plant saw and did, kept for tests and handed to observers (pcimsim's trace).
#pragma once

#include <functional>
#include <vector>

#include "pcimemu/emulator.h"

namespace pcimemu::detail {

struct EventLog {
    bool recording = true;
    std::vector<PortEvent> ports;
    std::vector<DatagramEvent> datagrams;
    std::vector<std::function<void(const DatagramEvent&)>> datagramObservers;
    std::vector<std::function<void(const GlobalDataEvent&)>> globalDataObservers;

    void port(const PortEvent& event) {
        if (recording) ports.push_back(event);
    }
    void datagram(const DatagramEvent& event) {
        if (recording) datagrams.push_back(event);
        for (const auto& observer : datagramObservers) observer(event);
    }
    void globalData(const GlobalDataEvent& event) {
        for (const auto& observer : globalDataObservers) observer(event);
    }
    bool wantsGlobalData() const { return !globalDataObservers.empty(); }
};

}  // namespace pcimemu::detail
