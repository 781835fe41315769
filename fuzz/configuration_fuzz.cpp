// Any content as zurPM.int, through command 1 on the virtual platform, with one card in the plant
// (away from the default place, so that most starts need no handshake and the search stays fast). Start answers 0 or 2, every card record it keeps holds values in their
// ranges, the file is closed again, and stop gives every window back.
#include <string>

#include "cards/card_config.h"
#include "fuzz_check.h"
#include "pcimemu/virtual_plant.h"
#include "zurpm/zurpm.h"

namespace {

int32_t call(DriverContext& context, int32_t command) {
    ZurRequest request{};
    request.context = &context;
    request.command = command;
    return ZurMain(&request);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using fuzz::require;
    zurpm::virt::reset();
    zurpm::virt::setConfigurationFile(std::string(reinterpret_cast<const char*>(data), size));
    pcimemu::VirtualPlant plant({pcimemu::card(0xD000, 0x3E8, 7).plc(3)});

    DriverContext context{};
    const int32_t result = call(context, ZUR_CMD_START);
    require(result == ZUR_RESULT_OK || result == ZUR_RESULT_FAILED, "start answers 0 or 2");
    require(zurpm::virt::openConfigurationFiles() == 0, "zurPM.int is closed after start");
    require(context.cards[3] == nullptr, "no line fills the fourth slot");
    for (const CardConfig* card : context.cards) {
        if (card == nullptr) continue;
        require(card->configWord1 == 0 && card->configByte4 == 0 && card->configByte5 == 128,
                "the fixed configuration values are 0, 0 and 128");
        require(card->configByte3 <= 128, "the configuration byte is at most 128");
        require(card->deviceNumber < 32 || card->deviceNumber == zurpm::noDeviceNumber,
                "a device number is 0-31 once learned");
        require(card->window == nullptr || card->memorySegment == 0xD000, "only the plant's card is mapped");
    }

    call(context, ZUR_CMD_STOP);
    require(!plant->mapped(0), "stop gives the window back");
    return 0;
}
