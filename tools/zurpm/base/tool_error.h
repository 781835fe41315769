// How the zurpm tool ends a run early: what went wrong, in words for the field engineer, and the
// exit status a script can test.
//
//   0  everything done
//   1  the driver refused a gate, or a read or write could not be carried through
//   2  bad input: a malformed gate, value, option or gate-file line (nothing was started)
//   3  the driver library or the XPORTIO device could not be reached
#pragma once

#include <stdexcept>
#include <string>

namespace zurtool {

enum ExitStatus : int {
    exitDone = 0,
    exitRefused = 1,
    exitBadInput = 2,
    exitUnavailable = 3,
};

class ToolError : public std::runtime_error {
public:
    ToolError(int status, const std::string& what) : std::runtime_error(what), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// A malformed gate, value, option or file line.
inline ToolError badInput(const std::string& what) { return ToolError(exitBadInput, what); }
// The driver library or the device is not there.
inline ToolError unavailable(const std::string& what) { return ToolError(exitUnavailable, what); }

}  // namespace zurtool
