// The PCIM card as a state machine over its window and ports. See emulator.h for the behaviour as
// the PC sees it; this file is the card's side of it.
#include "card.h"

#include <algorithm>
#include <utility>

#include "series90.h"
#include "window_bytes.h"

namespace pcimemu::detail {

using namespace cardmap;

Card::Card(int index, CardSpec setup, uint8_t* window, EventLog& log)
    : index_(index), setup_(std::move(setup)), window_(window), log_(log) {
    for (const DeviceSpec& described : setup_.devices) {
        auto device = std::make_unique<LanDevice>();
        device->setup = described;
        if (described.kind == DeviceSpec::Kind::plc)
            device->plc = std::make_unique<PlcDevice>(described.sizes);
        else
            device->block = std::make_unique<IoBlockDevice>();
        lan_[described.number] = std::move(device);
    }
    fill(window_, 0, 0, windowLength);
}

// ---- Ports ------------------------------------------------------------------------------------

uint8_t Card::readPort(uint16_t relative) const {
    switch (relative) {
        case ioStatus: return setup_.faults.ioStatusBits;
        case ioControl: return lastControl_;
        case ioRegister3: return lastRegister3_;
        default: return 0xFF;
    }
}

void Card::writePort(uint16_t relative, uint8_t value, uint32_t now) {
    if (relative == ioRegister3) {
        lastRegister3_ = value;
        if (value == controlKey) unlocked_ = true;
    } else if (relative == ioControl) {
        lastControl_ = value;
        if (value == controlHold)
            hold();
        else if (value == controlRun && held_ && unlocked_)
            boot(now);
    }
}

// ---- Life -------------------------------------------------------------------------------------

// The card's firmware starts: a clean command interface and clean tables, its identity in place,
// the heartbeat still to come.
void Card::boot(uint32_t now) {
    held_ = false;
    unlocked_ = false;
    running_ = true;
    booted_ = false;
    wokeAt_ = now;
    configured_ = false;
    job_ = Job::none;
    granted_ = false;
    lastScanAt_ = now;
    shadows_ = {};
    ownShadow_ = {};

    store(window_, heartbeat, 0);
    store(window_, commandStatus, 0);
    store(window_, lockoutGranted, 0);
    fill(window_, deviceTable, 0, deviceTableEntry * lanDevices);
    fill(window_, ownOutputTable, 0, tableLength);
    fill(window_, inputTables, 0, tableLength * lanDevices);
    store(window_, ownDeviceNumber,
          static_cast<uint8_t>(setup_.ownDeviceHighBits | (setup_.ownDeviceNumber & 0x1F)));
    store(window_, cardVersion, setup_.version);
}

// Held in reset: the card stops where it stands.
void Card::hold() {
    held_ = true;
    running_ = false;
    booted_ = false;
    configured_ = false;
    job_ = Job::none;
    granted_ = false;
    store(window_, heartbeat, 0);
    store(window_, lockoutGranted, 0);
}

bool Card::alive() const {
    const CardFaults& faults = setup_.faults;
    return running_ && booted_ && !faults.noHeartbeat &&
           !(faults.heartbeatStopsAfterConfig && configured_);
}

void Card::showHeartbeat() { refresh(window_, heartbeat, alive() ? 1 : 0); }

void Card::step(uint32_t now) {
    if (running_ && !booted_) {
        const uint32_t delay = setup_.faults.heartbeatAfterMs.value_or(setup_.bootTimeMs);
        if (now - wokeAt_ >= delay) booted_ = true;
    }
    showHeartbeat();
    if (!alive()) return;
    serveLockout();
    serveCommand(now);
    if (online() && now - lastScanAt_ >= setup_.busScanMs) scan(now);
}

void Card::bringOnline(uint32_t now) {
    boot(now);
    booted_ = true;
    configured_ = true;
    store(window_, commandStatus, configurationAccepted);
    showHeartbeat();
    if (online()) scan(now);
}

// ---- Lockout ----------------------------------------------------------------------------------

void Card::serveLockout() {
    const bool requested = load(window_, lockoutRequest) != 0;
    if (requested && !granted_ && !setup_.faults.lockoutNeverGranted) {
        granted_ = true;
        store(window_, lockoutGranted, 1);
    } else if (!requested && granted_) {
        granted_ = false;
        store(window_, lockoutGranted, 0);
    }
}

// ---- Command interface ------------------------------------------------------------------------

void Card::serveCommand(uint32_t now) {
    switch (job_) {
        case Job::configuring: stepConfiguration(now); break;
        case Job::datagram:
            if (!datagramHeld() && now - takenAt_ >= pendingDelayMs_) completeDatagram(now);
            break;
        case Job::none:
            if (load(window_, commandStatus) == commandIssued) takeCommand(now);
            break;
    }
}

void Card::takeCommand(uint32_t now) {
    const uint8_t code = load(window_, commandCode);
    takenAt_ = now;
    if (code == codeConfigure) {
        job_ = Job::configuring;
        configStep_ = SIZE_MAX;
        configured_ = false;
        stepConfiguration(now);
        return;
    }
    if (code != codeSendDatagram && code != codeSendDatagramWithReply) {
        store(window_, commandStatus, syntaxError);
        return;
    }

    pending_ = DatagramEvent{};
    pending_.atMs = now;
    pending_.card = index_;
    pending_.commandCode = code;
    for (uint32_t i = 0; i < commandParamsLength; ++i) pending_.params[i] = load(window_, commandParams + i);
    pending_.device = pending_.params[0];
    const uint32_t length = code == codeSendDatagram ? pending_.params[4] : pending_.params[5];
    pending_.request = loadBytes(window_, requestData, std::min(length, requestDataRoom));
    store(window_, commandStatus, commandBusy);
    job_ = Job::datagram;
    heldReported_ = false;

    LanDevice* target = device(pending_.device);
    const bool answers = configured_ && target != nullptr && target->present() &&
                         pending_.device != setup_.ownDeviceNumber;
    pendingDelayMs_ = answers ? target->setup.faults.replyDelayMs : setup_.noReplyMs;
    if (datagramHeld()) {
        heldReported_ = true;
        DatagramEvent stuck = pending_;
        stuck.status = commandBusy;
        stuck.completed = false;
        log_.datagram(stuck);
        return;
    }
    if (pendingDelayMs_ == 0) completeDatagram(now);
}

void Card::stepConfiguration(uint32_t now) {
    static const std::vector<uint8_t> acceptedAtOnce{configurationAccepted};
    const std::vector<uint8_t>& sequence = setup_.faults.configStatusSequence.empty()
                                               ? acceptedAtOnce
                                               : setup_.faults.configStatusSequence;
    const size_t last = sequence.size() - 1;
    const uint32_t stepMs = setup_.faults.configStepMs;
    const size_t step = stepMs == 0 ? last : std::min<size_t>((now - takenAt_) / stepMs, last);
    if (step != configStep_) {
        configStep_ = step;
        const uint8_t status = sequence[step];
        store(window_, commandStatus, status);
        const bool wasConfigured = configured_;
        configured_ = status == configurationAccepted;
        showHeartbeat();
        if (configured_ && !wasConfigured && online()) scan(now);
    }
    if (step == last) job_ = Job::none;
}

bool Card::datagramHeld() const {
    const LanDevice* target = pending_.device < lan_.size() ? lan_[pending_.device].get() : nullptr;
    return target != nullptr && target->setup.faults.neverComplete;
}

struct Card::Outcome {
    uint8_t status;
    std::vector<uint8_t> reply;
};

Card::Outcome Card::answerDatagram() {
    const auto& params = pending_.params;
    const bool read = pending_.commandCode == codeSendDatagramWithReply;
    if (params[1] != datagramFunction) return {syntaxError, {}};
    if (read ? (params[2] != cardmap::readDevice || params[3] != readDeviceReply) : params[2] != cardmap::writeDevice)
        return {syntaxError, {}};
    const uint32_t length = read ? params[5] : params[4];
    if (length > requestDataRoom || pending_.device >= lanDevices) return {syntaxError, {}};

    LanDevice* target = device(pending_.device);
    if (!configured_ || pending_.device == setup_.ownDeviceNumber || target == nullptr || !target->present())
        return {processError, {}};
    if (!target->plc) return {processError, {}};  // an I/O block serves no Read or Write Device

    DatagramAnswer answer = read ? readDevice(*target->plc, pending_.request)
                                 : writeDevice(*target->plc, pending_.request);
    return {answer.status, std::move(answer.body)};
}

void Card::completeDatagram(uint32_t now) {
    Outcome outcome = answerDatagram();
    const LanDevice* target = device(pending_.device);
    const DeviceFaults* faults = target != nullptr ? &target->setup.faults : nullptr;
    const uint8_t status = faults && faults->completionStatus ? *faults->completionStatus : outcome.status;

    if (pending_.commandCode == codeSendDatagramWithReply) {
        const size_t shown = std::min<size_t>(outcome.reply.size(), replyDataRoom);
        storeBytes(window_, replyData, outcome.reply.data(), shown);
        const uint8_t length = faults && faults->replyLength ? *faults->replyLength
                                                             : static_cast<uint8_t>(shown);
        store(window_, replyLength, length);
    }
    store(window_, commandStatus, status);  // last: it hands the interface back to the PC
    job_ = Job::none;

    pending_.reply = std::move(outcome.reply);
    pending_.status = status;
    pending_.completed = true;
    pending_.completedAtMs = now;
    log_.datagram(pending_);
}

// ---- Bus scan ---------------------------------------------------------------------------------

void Card::scan(uint32_t now) {
    lastScanAt_ = now;
    for (uint32_t number = 0; number < lanDevices; ++number) {
        const bool present = number == setup_.ownDeviceNumber || (lan_[number] && lan_[number]->present());
        refresh(window_, presenceByte(number), present ? 1 : 0);
    }
    if (granted_) return;  // the tables are the PC's until it gives them back

    exchangeTable(now, setup_.ownDeviceNumber, ownOutputTable, ownShadow_, nullptr);
    for (uint32_t number = 0; number < lanDevices; ++number) {
        LanDevice* device = lan_[number].get();
        if (device == nullptr || !device->present()) continue;
        exchangeTable(now, static_cast<uint8_t>(number), inputTable(number), shadows_[number],
                      device->block.get());
    }
}

// The PC's changes since the last scan go to the block; then the block's data come back. shadow is
// the table as the card left it at the last scan.
void Card::exchangeTable(uint32_t now, uint8_t device, uint32_t offset,
                         std::array<uint8_t, 128>& shadow, IoBlockDevice* block) {
    std::array<uint8_t, 128> current{};
    for (uint32_t i = 0; i < tableLength; ++i) current[i] = load(window_, offset + i);
    if (current != shadow) {
        if (log_.wantsGlobalData()) reportChanges(now, device, shadow, current, true);
        if (block != nullptr)
            for (uint32_t i = 0; i < tableLength; ++i)
                if (current[i] != shadow[i]) block->setData(i, current[i]);
    }
    if (block == nullptr) {
        shadow = current;
        return;
    }
    std::array<uint8_t, 128> sent{};
    for (uint32_t i = 0; i < tableLength; ++i) {
        sent[i] = block->data(i);
        if (sent[i] != current[i]) store(window_, offset + i, sent[i]);
    }
    if (sent != current && log_.wantsGlobalData()) reportChanges(now, device, current, sent, false);
    shadow = sent;
}

void Card::reportChanges(uint32_t now, uint8_t device, const std::array<uint8_t, 128>& before,
                         const std::array<uint8_t, 128>& after, bool fromHost) {
    uint32_t i = 0;
    while (i < tableLength) {
        if (before[i] == after[i]) {
            ++i;
            continue;
        }
        const uint32_t first = i;
        while (i < tableLength && before[i] != after[i]) ++i;
        log_.globalData(GlobalDataEvent{now, index_, device, first,
                                        std::vector<uint8_t>(after.begin() + first, after.begin() + i),
                                        fromHost});
    }
}

}  // namespace pcimemu::detail
