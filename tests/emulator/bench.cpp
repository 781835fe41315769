// The bench of bench.h.
#include "bench.h"

#include <cstdio>

#include "zurpm/little_endian.h"

namespace pcimemu::bench {

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char digits[4];
    for (uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X ", b);
        text += digits;
    }
    return text;
}

std::vector<uint8_t> header(uint8_t selector, uint16_t offset, uint8_t length) {
    std::vector<uint8_t> body{0, selector, 0, 0, 0, length};
    zurpm::putLittle16(&body[map::bodyOffset], offset);
    return body;
}

Bench::Bench(PlantSpec setup, uint32_t startMs) : plant(std::move(setup)), now(startMs) {
    plant.advance(now);
    plant.openDevice();
}

void Bench::run(uint32_t ms) {
    for (uint32_t i = 0; i < ms; ++i) plant.advance(++now);
}

bool Bench::port(int c, uint16_t relative, uint8_t value) {
    return plant.writePort(static_cast<uint16_t>(plant.setup(c).ioPort + relative), value);
}

uint8_t Bench::byte(int c, uint32_t offset) {
    return __atomic_load_n(plant.window(c) + offset, __ATOMIC_ACQUIRE);
}

void Bench::set(int c, uint32_t offset, uint8_t value) {
    __atomic_store_n(plant.window(c) + offset, value, __ATOMIC_RELEASE);
}

void Bench::wake(int c) {
    port(c, map::ioRegister3, 0x99);
    port(c, map::ioControl, 0x01);
    port(c, map::ioControl, 0x43);
}

void Bench::reset(int c) {
    port(c, map::ioControl, 0x01);
    port(c, map::ioRegister3, 0x99);
    port(c, map::ioControl, 0x01);
}

void Bench::issue(int c, uint8_t code) {
    set(c, map::commandCode, code);
    set(c, map::commandStatus, 1);
}

void Bench::start(int c) {
    wake(c);
    const CardSpec& setup = plant.setup(c);
    run(setup.faults.heartbeatAfterMs.value_or(setup.bootTimeMs));
    issue(c, map::codeConfigure);
    run(1);
}

Answer Bench::datagram(int c, uint8_t code, const std::vector<uint8_t>& params,
                       const std::vector<uint8_t>& body, uint32_t limitMs) {
    for (size_t i = 0; i < params.size(); ++i) set(c, map::commandParams + static_cast<uint32_t>(i), params[i]);
    for (size_t i = 0; i < body.size(); ++i) set(c, map::requestData + static_cast<uint32_t>(i), body[i]);
    issue(c, code);
    Answer answer{};
    const uint32_t issuedAt = now;
    while ((byte(c, map::commandStatus) & map::busyMask) != 0 && now - issuedAt < limitMs) run(1);
    answer.status = byte(c, map::commandStatus);
    answer.busyMs = now - issuedAt;
    if (code == map::codeSendDatagramWithReply) {
        const uint8_t length = byte(c, map::replyLength);
        for (uint32_t i = 0; i < length && i < map::replyDataRoom; ++i)
            answer.reply.push_back(byte(c, map::replyData + i));
    }
    return answer;
}

Answer Bench::read(uint8_t device, uint8_t selector, uint16_t offset, uint8_t length, int c) {
    return datagram(c, map::codeSendDatagramWithReply, {device, 0x20, 30, 31, 0, 6, 0},
                    header(selector, offset, length));
}

Answer Bench::write(uint8_t device, uint8_t selector, uint16_t offset, uint8_t length,
                    const std::vector<uint8_t>& data, int c) {
    std::vector<uint8_t> body = header(selector, offset, length);
    body.insert(body.end(), data.begin(), data.end());
    return datagram(c, map::codeSendDatagram,
                    {device, 0x20, 32, 0, static_cast<uint8_t>(body.size()), 0, 0}, body);
}

}  // namespace pcimemu::bench
