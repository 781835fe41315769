// Gate definitions (commands 3 and 4) with any bytes as the address string, any number base, value
// type and block size. A refusal says why in exactly one level-8 message; an acceptance says
// nothing and yields a hardware address the read and write commands can serve.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "fuzz_check.h"
#include "platform/virtual/virtual_platform.h"
#include "zurpm/zurpm.h"

namespace {

constexpr int32_t usualBases[] = {16, 10};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using fuzz::require;
    FuzzedDataProvider input(data, size);
    zurpm::virt::reset();

    DriverContext context{};
    context.numberBase = input.ConsumeBool() ? input.PickValueInArray(usualBases) : input.ConsumeIntegral<int32_t>();
    const int32_t command = input.ConsumeBool() ? ZUR_CMD_DEFINE_BLOCK_GATE : ZUR_CMD_DEFINE_GATE;
    GateDefinition definition{};
    definition.valueType = input.ConsumeIntegral<int32_t>();
    definition.blockSize = input.ConsumeIntegral<int32_t>();

    // The string in a buffer of exactly its length and its NUL: a read past its end is caught.
    const std::string text = input.ConsumeRemainingBytesAsString();
    const auto address = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(address.get(), text.data(), text.size());
    address[text.size()] = '\0';
    definition.addressString = address.get();

    ZurRequest request{};
    request.context = &context;
    request.command = command;
    request.gate = &definition;
    const int32_t result = ZurMain(&request);

    const auto& messages = zurpm::virt::messages();
    require(result == ZUR_RESULT_OK || result == ZUR_RESULT_REFUSED, "a definition answers 0 or 1");
    if (result == ZUR_RESULT_REFUSED) {
        require(messages.size() == 1 && messages[0].level == 8, "a refusal is one level-8 message");
        return 0;
    }
    require(messages.empty(), "an acceptance says nothing");
    const HardwareAddress& accepted = definition.hardwareAddress;
    require(accepted.station >= 0 && accepted.station <= 95, "an accepted station is 0-95");
    require(fuzz::isGateCode(accepted.memoryType), "an accepted memory type is a known code");
    require(accepted.width == 1 || accepted.width == 16 || accepted.width == 32, "an accepted width is 1, 16 or 32");
    require(std::memcmp(address.get(), text.data(), text.size()) == 0, "the host's string is not changed");
    return 0;
}
