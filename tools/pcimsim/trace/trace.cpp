// Decoding datagrams and global-data changes for the trace.
#include "trace.h"

#include <cstdint>
#include <cstdio>

#include "pcimemu/card_map.h"
#include "regions.h"
#include "zurpm/little_endian.h"

namespace pcimsim {

namespace {

namespace map = pcimemu::cardmap;

// The card's name of a completion status, or null for one it does not name.
const char* statusName(uint8_t status) {
    if (status == map::completed) return "completed";
    if (status == map::syntaxError) return "syntax error";
    if (status == map::processError) return "process error";
    if ((status & map::busyMask) != 0) return "busy";
    return nullptr;
}

std::string timeOf(uint32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "[%6u.%03u]", ms / 1000, ms % 1000);
    return text;
}

std::string valuesOf(const std::vector<uint8_t>& bytes, size_t from, bool words) {
    std::string text;
    char item[16];
    if (words) {
        for (size_t i = from; i + 1 < bytes.size(); i += 2) {
            std::snprintf(item, sizeof item, " %d", static_cast<int16_t>(zurpm::getLittle16(&bytes[i])));
            text += item;
        }
    } else {
        for (size_t i = from; i < bytes.size(); ++i) {
            std::snprintf(item, sizeof item, " %02X", bytes[i]);
            text += item;
        }
    }
    return text;
}

}  // namespace

std::string describeDatagram(const pcimemu::DatagramEvent& event) {
    const bool write = event.commandCode == map::codeSendDatagram;
    char text[160];
    std::snprintf(text, sizeof text, "%s card %d device %u %s", timeOf(event.atMs).c_str(), event.card + 1,
                  static_cast<unsigned>(event.device), write ? "write" : "read ");
    std::string line = text;
    const std::vector<uint8_t>& body = event.request;
    if (body.size() < map::bodyHeaderLength) {
        line += " (body of ";
        line += std::to_string(body.size());
        line += " bytes, no header)";
    } else {
        const uint8_t selector = body[map::bodySelector];
        const zurtool::Memory* segment = zurtool::memoryOfCode(selector);
        std::snprintf(text, sizeof text, " %s offset %u length %u", segment != nullptr ? segment->reference : "selector",
                      static_cast<unsigned>(zurpm::getLittle16(&body[map::bodyOffset])),
                      static_cast<unsigned>(body[map::bodyLength]));
        if (segment == nullptr) {
            line += ' ';
            line += std::to_string(selector);
        }
        line += text;
        const bool words = segment != nullptr && segment->unit == zurtool::MemoryUnit::word;
        if (write) {
            line += " <-";
            line += valuesOf(body, map::bodyHeaderLength, words);
        } else if (event.completed && event.reply.size() > map::bodyHeaderLength) {
            line += " ->";
            line += valuesOf(event.reply, map::bodyHeaderLength, words);
        }
    }
    const char* status = statusName(event.status);
    std::snprintf(text, sizeof text, "  status 0x%02X%s%s%s", event.status, status != nullptr ? " " : "",
                  status != nullptr ? status : "", event.completed ? "" : " (not completed)");
    return line + text;
}

std::string describeGlobalData(const pcimemu::GlobalDataEvent& event) {
    char text[160];
    std::snprintf(text, sizeof text, "%s card %d device %u global data from %s offset %u length %zu:",
                  timeOf(event.atMs).c_str(), event.card + 1, static_cast<unsigned>(event.device),
                  event.fromHost ? "host" : "device", event.offset, event.bytes.size());
    std::string line = text;
    line += valuesOf(event.bytes, 0, false);
    return line;
}

void traceTo(pcimemu::Plant& plant, std::FILE* stream) {
    plant.onDatagram([stream](const pcimemu::DatagramEvent& event) {
        std::fprintf(stream, "%s\n", describeDatagram(event).c_str());
        std::fflush(stream);
    });
    plant.onGlobalData([stream](const pcimemu::GlobalDataEvent& event) {
        std::fprintf(stream, "%s\n", describeGlobalData(event).c_str());
        std::fflush(stream);
    });
}

}  // namespace pcimsim
