// zurpm demo where the emulator's socket server does not exist (Windows): a clear word instead.
#include "commands.h"
#include "tool_error.h"

namespace zurtool {

int runDemo(const CommonOptions&, const DemoOptions&) {
    throw ToolError(exitUnavailable,
                    "the demo runs on Linux only: it serves an emulated plant on a Unix socket. On this PC, "
                    "use check, read, write and poll against the real cards.");
}

}  // namespace zurtool
