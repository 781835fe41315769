// ZurMain, the driver's only export: remember the host's context for this call, then hand the
// request to the command's handler.
#define ZURPM_BUILDING_DRIVER 1
#include "zurpm/zurpm.h"

#include "cards/card_service.h"
#include "entry/context.h"
#include "exchange/commands.h"
#include "gates/gate_definition.h"

namespace zurpm {

DriverContext* currentContext = nullptr;

namespace {

int32_t answerNothingProvided(ZurRequest*) { return ZUR_RESULT_FAILED; }
int32_t answerDone(ZurRequest*) { return ZUR_RESULT_OK; }

// Indexed by command code. Codes 8 and 9 have no handler.
constexpr CommandHandler commandTable[] = {
    nullptr,               // 0
    startDriver,           // 1
    restartCards,          // 2
    defineGate,            // 3
    defineBlockGate,       // 4
    readSingleGate,        // 5
    readGate,              // 6
    writeSingleGate,       // 7
    nullptr,               // 8
    nullptr,               // 9
    writeGate,             // 10
    stopDriver,            // 11
    answerNothingProvided, // 12
    answerNothingProvided, // 13
    describeDriver,        // 14
    answerDone,            // 15
};
constexpr int32_t commandCount = static_cast<int32_t>(sizeof commandTable / sizeof commandTable[0]);

}  // namespace

}  // namespace zurpm

extern "C" ZURPM_EXPORT int32_t ZURPM_STDCALL ZurMain(ZurRequest* request) {
    using namespace zurpm;
    // A host that passes no request gets the answer for an unknown command; there is nothing to
    // remember and nothing to serve.
    if (request == nullptr) return ZUR_RESULT_FAILED;
    currentContext = request->context;
    const int32_t command = request->command;
    if (command < 0 || command >= commandCount || commandTable[command] == nullptr)
        return ZUR_RESULT_FAILED;
    return commandTable[command](request);
}
