// Any bytes as the payload of an NCMD or DCMD. The decoder takes them or says why not; every
// metric it keeps as a write has a name in UTF-8 or a reason; and a payload it takes, written by our
// encoder and read again, is written the same (nothing lost, nothing invented).
#include <cstdio>
#include <cstdlib>
#include <span>

#include "mqtt_packet.h"
#include "sparkplug_node.h"

namespace {

void require(bool holds, const char* invariant) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zurtool::broker::sparkplug;
    const std::span<const uint8_t> bytes(data, size);
    const auto command = decodeCommand(bytes);
    const auto payload = decodePayload(bytes);
    require(command.index() == payload.index(), "a command is a payload, and only a payload is a command");
    if (const auto* problem = std::get_if<std::string>(&command)) {
        require(!problem->empty(), "a refused command says why");
        return 0;
    }
    for (const MetricWrite& write : std::get<Command>(command).writes)
        require((!write.name.empty() && !zurtool::broker::utf8StringProblem(write.name)) ||
                    std::holds_alternative<std::string>(write.value),
                "a write is named in UTF-8, or refused with a reason");
    const std::vector<uint8_t> written = encodePayload(std::get<Payload>(payload));
    const auto reread = decodePayload(written);
    require(std::holds_alternative<Payload>(reread), "our own payload decodes");
    require(encodePayload(std::get<Payload>(reread)) == written, "a payload written again is written the same");
    return 0;
}
