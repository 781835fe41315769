// zurpm info: the driver's name and banner.
#include <iostream>

#include "code_page_437.h"
#include "commands.h"
#include "open_session.h"
#include "tool_error.h"

namespace zurtool {

int runInfo(const CommonOptions& common) {
    SessionRequest request;
    request.driverPath = common.driverPath;
    request.start = false;
    request.consoleLines = ConsoleLines::keep;
    const auto open = openSession(request);
    prepareTerminalOutput();  // a Windows console shows the banner's UTF-8 then
    const DriverInfo info = open->session.describe();
    std::cout << "driver   " << (info.driverName != nullptr ? info.driverName : "(none)") << "\n";
    std::cout << "library  " << open->library.loadedFrom() << "\n";
    if (info.bannerText != nullptr) std::cout << codePage437ToUtf8(info.bannerText);
    std::cout.flush();
    return exitDone;
}

}  // namespace zurtool
