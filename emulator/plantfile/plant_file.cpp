// Plant files in TOML: see pcimemu/plant_file.h. Each section is read by a table of its keys; a
// key that no table names is a mistake, so a misspelt fault does not go quietly unnoticed.
#include "pcimemu/plant_file.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace pcimemu {

namespace {

// A mistake in the file, with the line it is on.
struct PlantFileError {
    uint32_t line;
    std::string what;
};

uint32_t lineOf(const toml::node& node) { return node.source().begin.line; }

[[noreturn]] void fail(const toml::node& node, std::string what) { throw PlantFileError{lineOf(node), std::move(what)}; }

int64_t integerIn(const toml::node& node, int64_t low, int64_t high, const std::string& what) {
    const std::optional<int64_t> value = node.is_integer() ? node.value<int64_t>() : std::nullopt;
    if (!value || *value < low || *value > high) {
        std::ostringstream text;
        text << what << " must be an integer from " << low << " to " << high;
        fail(node, text.str());
    }
    return *value;
}

bool flagOf(const toml::node& node, const std::string& what) {
    if (!node.is_boolean()) fail(node, what + " must be true or false");
    return node.as_boolean()->get();
}

std::string textOf(const toml::node& node, const std::string& what) {
    if (!node.is_string()) fail(node, what + " must be a string");
    return node.as_string()->get();
}

const toml::table& tableOf(const toml::node& node, const std::string& what) {
    if (!node.is_table()) fail(node, what + " must be a table");
    return *node.as_table();
}

std::vector<int64_t> integersIn(const toml::node& node, int64_t low, int64_t high, const std::string& what) {
    std::vector<int64_t> values;
    if (!node.is_array()) fail(node, what + " must be a list of integers");
    for (const toml::node& element : *node.as_array()) values.push_back(integerIn(element, low, high, what + " values"));
    return values;
}

// ---- Keys of a section, as data ---------------------------------------------------------------

template <typename Record>
struct Key {
    const char* name;
    void (*read)(Record& record, const toml::node& node, const std::string& what);
};

template <typename Record, size_t count>
void readKeys(const toml::table& table, Record& record, const Key<Record> (&keys)[count], const std::string& section,
              std::initializer_list<const char*> readElsewhere = {}) {
    for (auto&& [key, node] : table) {
        const std::string name(key.str());
        if (std::find_if(std::begin(readElsewhere), std::end(readElsewhere),
                         [&](const char* other) { return name == other; }) != std::end(readElsewhere))
            continue;
        const auto found = std::find_if(std::begin(keys), std::end(keys), [&](const Key<Record>& k) { return name == k.name; });
        if (found == std::end(keys)) throw PlantFileError{key.source().begin.line, "unknown key '" + name + "' in " + section};
        found->read(record, node, section + " " + name);
    }
}

#define PLANT_INTEGER(type, field, low, high) \
    [](auto& record, const toml::node& node, const std::string& what) { \
        record.field = static_cast<type>(integerIn(node, low, high, what)); \
    }
#define PLANT_FLAG(field) \
    [](auto& record, const toml::node& node, const std::string& what) { record.field = flagOf(node, what); }

const Key<XportioFaults> xportioKeys[] = {
    {"cannot_open", PLANT_FLAG(cannotOpen)},
    {"refuse_unmap", PLANT_FLAG(refuseUnmap)},
};

const Key<CardSpec> cardKeys[] = {
    // The window must lie in the first megabyte, where ISA memory is.
    {"segment", PLANT_INTEGER(uint16_t, memorySegment, 0, 0xFC00)},
    {"port", PLANT_INTEGER(uint16_t, ioPort, 0, 0xFFFC)},
    {"own_device", PLANT_INTEGER(uint8_t, ownDeviceNumber, 0, 31)},
    {"own_device_high_bits",
     [](CardSpec& card, const toml::node& node, const std::string& what) {
         const int64_t bits = integerIn(node, 0, 0xFF, what);
         if ((bits & 0x1F) != 0) fail(node, what + " must leave the low five bits, the device number, clear");
         card.ownDeviceHighBits = static_cast<uint8_t>(bits);
     }},
    {"version", PLANT_INTEGER(uint8_t, version, 0, 0xFF)},
    {"boot_ms", PLANT_INTEGER(uint32_t, bootTimeMs, 0, 600000)},
    {"bus_scan_ms", PLANT_INTEGER(uint32_t, busScanMs, 1, 60000)},
    {"no_reply_ms", PLANT_INTEGER(uint32_t, noReplyMs, 0, 600000)},
};

const Key<CardFaults> cardFaultKeys[] = {
    {"no_heartbeat", PLANT_FLAG(noHeartbeat)},
    {"heartbeat_after_ms", PLANT_INTEGER(uint32_t, heartbeatAfterMs, 0, 600000)},
    {"heartbeat_stops_after_config", PLANT_FLAG(heartbeatStopsAfterConfig)},
    {"config_status",
     [](CardFaults& faults, const toml::node& node, const std::string& what) {
         faults.configStatusSequence.clear();
         for (int64_t status : integersIn(node, 0, 255, what)) faults.configStatusSequence.push_back(static_cast<uint8_t>(status));
     }},
    {"config_step_ms", PLANT_INTEGER(uint32_t, configStepMs, 0, 600000)},
    {"io_status", PLANT_INTEGER(uint8_t, ioStatusBits, 0, 0xFF)},
    {"lockout_never_granted", PLANT_FLAG(lockoutNeverGranted)},
    {"refuse_map", PLANT_FLAG(refuseMap)},
    {"refuse_port_read", PLANT_FLAG(refusePortRead)},
    {"refuse_port_write", PLANT_FLAG(refusePortWrite)},
};

const Key<DeviceFaults> deviceFaultKeys[] = {
    {"absent", PLANT_FLAG(absent)},
    {"never_complete", PLANT_FLAG(neverComplete)},
    {"completion_status", PLANT_INTEGER(uint8_t, completionStatus, 0, 0xFF)},
    {"reply_length", PLANT_INTEGER(uint8_t, replyLength, 0, 0xFF)},
};

// ---- PLC memories ------------------------------------------------------------------------------

struct MemoryName {
    const char* name;
    PlcMemory memory;
    bool words;
    uint32_t PlcSizes::*size;
};

const MemoryName memoryNames[] = {
    {"R", PlcMemory::R, true, &PlcSizes::R},     {"AI", PlcMemory::AI, true, &PlcSizes::AI},
    {"AQ", PlcMemory::AQ, true, &PlcSizes::AQ},  {"I", PlcMemory::I, false, &PlcSizes::I},
    {"Q", PlcMemory::Q, false, &PlcSizes::Q},    {"T", PlcMemory::T, false, &PlcSizes::T},
    {"M", PlcMemory::M, false, &PlcSizes::M},    {"SA", PlcMemory::SA, false, &PlcSizes::SA},
    {"SB", PlcMemory::SB, false, &PlcSizes::SB}, {"SC", PlcMemory::SC, false, &PlcSizes::SC},
    {"S", PlcMemory::S, false, &PlcSizes::S},    {"G", PlcMemory::G, false, &PlcSizes::G},
};

// A datagram's offset is 16 bits: no memory is larger than it can reach.
constexpr int64_t largestMemory = 65536;

const MemoryName* memoryNamed(const std::string& name) {
    for (const MemoryName& memory : memoryNames)
        if (name == memory.name) return &memory;
    return nullptr;
}

void readSizes(PlcSizes& sizes, const toml::table& table, const std::string& section) {
    for (auto&& [key, node] : table) {
        const std::string name(key.str());
        const MemoryName* memory = memoryNamed(name);
        if (memory == nullptr) throw PlantFileError{key.source().begin.line, "unknown memory '" + name + "' in " + section};
        sizes.*(memory->size) = static_cast<uint32_t>(integerIn(node, 1, largestMemory, section + " " + name));
    }
}

// "R1", "%I17", "ai3": the memory and its reference number.
bool splitReference(const std::string& key, std::string& memory, int64_t& number) {
    size_t at = key.size() > 0 && key[0] == '%' ? 1 : 0;
    memory.clear();
    while (at < key.size() && std::isalpha(static_cast<unsigned char>(key[at])))
        memory += static_cast<char>(std::toupper(static_cast<unsigned char>(key[at++])));
    if (memory.empty() || at == key.size() || key.size() - at > 6) return false;
    number = 0;
    for (; at < key.size(); ++at) {
        if (!std::isdigit(static_cast<unsigned char>(key[at]))) return false;
        number = number * 10 + (key[at] - '0');
    }
    return true;
}

uint16_t pointValue(const toml::node& node, const std::string& what) {
    if (node.is_boolean()) return node.as_boolean()->get() ? 1 : 0;
    return static_cast<uint16_t>(integerIn(node, 0, 1, what));
}

uint16_t wordValue(const toml::node& node, const std::string& what) {
    // Signed or unsigned: -1 and 65535 are the same word.
    return static_cast<uint16_t>(integerIn(node, -32768, 65535, what));
}

void readMemory(PlantFile& file, int card, const DeviceSpec& device, const toml::table& table, const std::string& section) {
    for (auto&& [key, node] : table) {
        const std::string name(key.str());
        const uint32_t line = key.source().begin.line;
        std::string memoryText;
        int64_t number = 0;
        if (!splitReference(name, memoryText, number))
            throw PlantFileError{line, "'" + name + "' in " + section + " is not a memory reference such as R1 or I17"};
        const MemoryName* memory = memoryNamed(memoryText);
        if (memory == nullptr) throw PlantFileError{line, "unknown memory '" + memoryText + "' in " + section};
        const uint32_t size = device.sizes.*(memory->size);
        const char* unit = memory->words ? "words" : "points";

        std::vector<const toml::node*> values;
        if (node.is_array())
            for (const toml::node& element : *node.as_array()) values.push_back(&element);
        else
            values.push_back(&node);
        if (number < 1 || number - 1 + static_cast<int64_t>(values.size()) > size) {
            std::ostringstream text;
            text << section << " " << name;
            if (values.size() > 1) text << " with " << values.size() << " values";
            text << " is outside " << memoryText << "1 to " << memoryText << size << " (" << size << " " << unit << ")";
            throw PlantFileError{line, text.str()};
        }
        for (size_t i = 0; i < values.size(); ++i) {
            InitialValue value;
            value.card = card;
            value.device = device.number;
            value.target = memory->words ? InitialValue::Target::word : InitialValue::Target::point;
            value.memory = memory->memory;
            value.index = static_cast<uint32_t>(number - 1) + static_cast<uint32_t>(i);
            const std::string what = section + " " + name;
            value.value = memory->words ? wordValue(*values[i], what) : pointValue(*values[i], what);
            file.values.push_back(value);
        }
    }
}

// ---- Devices and cards -------------------------------------------------------------------------

constexpr uint32_t blockDataLength = 128;

struct KindName {
    const char* name;
    DeviceSpec::Kind kind;
};
const KindName kindNames[] = {{"plc", DeviceSpec::Kind::plc}, {"ioblock", DeviceSpec::Kind::ioBlock}};

void readDevice(PlantFile& file, int card, CardSpec& setup, const toml::node& node, const std::string& cardSection) {
    const toml::table& table = tableOf(node, cardSection + " device");
    const std::string section = cardSection + " device " + std::to_string(setup.devices.size() + 1);
    DeviceSpec device;

    const toml::node* number = table.get("number");
    if (number == nullptr) fail(node, section + " needs a number (0 to 31)");
    device.number = static_cast<uint8_t>(integerIn(*number, 0, 31, section + " number"));
    const std::string named = cardSection + " device " + std::to_string(device.number);
    if (device.number == setup.ownDeviceNumber)
        fail(*number, named + ": " + std::to_string(device.number) + " is the card's own device number");
    for (const DeviceSpec& other : setup.devices)
        if (other.number == device.number) fail(*number, named + " is described twice");

    const toml::node* kind = table.get("kind");
    if (kind == nullptr) fail(node, named + " needs a kind, \"plc\" or \"ioblock\"");
    const std::string kindText = textOf(*kind, named + " kind");
    const auto found = std::find_if(std::begin(kindNames), std::end(kindNames), [&](const KindName& k) { return kindText == k.name; });
    if (found == std::end(kindNames)) fail(*kind, named + " kind must be \"plc\" or \"ioblock\", not \"" + kindText + "\"");
    device.kind = found->kind;
    const bool plc = device.kind == DeviceSpec::Kind::plc;

    for (auto&& [key, value] : table) {
        const std::string name(key.str());
        const uint32_t line = key.source().begin.line;
        if (name == "number" || name == "kind") continue;
        if (name == "name") {
            device.name = textOf(value, named + " name");
        } else if (name == "reply_delay_ms") {
            device.faults.replyDelayMs = static_cast<uint32_t>(integerIn(value, 0, 600000, named + " reply_delay_ms"));
        } else if (name == "faults") {
            readKeys(tableOf(value, named + " faults"), device.faults, deviceFaultKeys, named + " faults");
        } else if (name == "sizes" && plc) {
            readSizes(device.sizes, tableOf(value, named + " sizes"), named + " sizes");
        } else if (name == "memory" && plc) {
            continue;  // once the sizes are known
        } else if (name == "data" && !plc) {
            const std::vector<int64_t> bytes = integersIn(value, 0, 255, named + " data");
            if (bytes.size() > blockDataLength) fail(value, named + " data has " + std::to_string(bytes.size()) + " bytes; a block has 128");
            for (size_t i = 0; i < bytes.size(); ++i) {
                InitialValue byte;
                byte.card = card;
                byte.device = device.number;
                byte.target = InitialValue::Target::blockData;
                byte.index = static_cast<uint32_t>(i);
                byte.value = static_cast<uint16_t>(bytes[i]);
                file.values.push_back(byte);
            }
        } else if (name == "sizes" || name == "memory" || name == "data") {
            throw PlantFileError{line, "'" + name + "' does not belong to a device of kind \"" + kindText + "\" (" + named + ")"};
        } else {
            throw PlantFileError{line, "unknown key '" + name + "' in " + named};
        }
    }
    if (const toml::node* memory = table.get("memory"); memory != nullptr && plc)
        readMemory(file, card, device, tableOf(*memory, named + " memory"), named + " memory");
    setup.devices.push_back(std::move(device));
}

void readCard(PlantFile& file, const toml::node& node) {
    const int card = static_cast<int>(file.setup.cards.size());
    const std::string section = "card " + std::to_string(card + 1);
    const toml::table& table = tableOf(node, section);
    CardSpec setup;
    readKeys(table, setup, cardKeys, section, {"faults", "device"});
    if (const toml::node* faults = table.get("faults"))
        readKeys(tableOf(*faults, section + " faults"), setup.faults, cardFaultKeys, section + " faults");
    if (const toml::node* devices = table.get("device")) {
        if (!devices->is_array_of_tables()) fail(*devices, section + " device must be [[card.device]] tables");
        for (const toml::node& device : *devices->as_array()) readDevice(file, card, setup, device, section);
    }

    // Cards share one bus: their windows and their port blocks must not overlap.
    const uint32_t window = static_cast<uint32_t>(setup.memorySegment) * 16;
    for (size_t other = 0; other < file.setup.cards.size(); ++other) {
        const CardSpec& earlier = file.setup.cards[other];
        const uint32_t earlierWindow = static_cast<uint32_t>(earlier.memorySegment) * 16;
        const std::string against = section + " and card " + std::to_string(other + 1);
        if (window < earlierWindow + 0x4000 && earlierWindow < window + 0x4000)
            fail(node, against + ": their 16 KB windows overlap");
        if (setup.ioPort < earlier.ioPort + 4 && earlier.ioPort < setup.ioPort + 4) fail(node, against + ": their ports overlap");
    }
    file.setup.cards.push_back(std::move(setup));
}

constexpr size_t cardLimit = 3;

PlantFile readPlant(const toml::table& root) {
    PlantFile file;
    for (auto&& [key, node] : root) {
        const std::string name(key.str());
        if (name == "card") {
            if (!node.is_array_of_tables()) fail(node, "card must be [[card]] tables");
            for (const toml::node& card : *node.as_array()) {
                if (file.setup.cards.size() == cardLimit) fail(card, "a plant has at most three cards");
                readCard(file, card);
            }
        } else if (name == "xportio") {
            readKeys(tableOf(node, "xportio"), file.setup.xportio, xportioKeys, "xportio");
        } else {
            throw PlantFileError{key.source().begin.line, "unknown key '" + name + "'"};
        }
    }
    if (file.setup.cards.empty()) throw PlantFileError{1, "a plant needs at least one [[card]]"};
    return file;
}

}  // namespace

std::optional<PlantFile> parsePlantFile(std::string_view text, const std::string& sourceName, std::string& error) {
    try {
        const toml::table root = toml::parse(text, sourceName);
        return readPlant(root);
    } catch (const toml::parse_error& problem) {
        error = sourceName + ":" + std::to_string(problem.source().begin.line) + ": " + std::string(problem.description());
    } catch (const PlantFileError& problem) {
        error = sourceName + ":" + std::to_string(problem.line) + ": " + problem.what;
    }
    return std::nullopt;
}

std::optional<PlantFile> readPlantFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parsePlantFile(text.str(), path, error);
}

void applyInitialValues(Plant& plant, const PlantFile& file) {
    for (const InitialValue& value : file.values) {
        switch (value.target) {
        case InitialValue::Target::word:
            if (Plc* plc = plant.plc(value.card, value.device)) plc->setWord(value.memory, value.index, value.value);
            break;
        case InitialValue::Target::point:
            if (Plc* plc = plant.plc(value.card, value.device)) plc->setPoint(value.memory, value.index, value.value != 0);
            break;
        case InitialValue::Target::blockData:
            if (IoBlock* block = plant.ioBlock(value.card, value.device))
                block->setData(value.index, static_cast<uint8_t>(value.value));
            break;
        }
    }
}

}  // namespace pcimemu
