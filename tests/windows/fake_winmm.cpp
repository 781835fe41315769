// A stand-in winmm.dll for the Windows host tests: it keeps count of the timer resolution requests
// that zurpm.dll makes (timeBeginPeriod, timeEndPeriod) instead of changing the system timer, and
// can refuse them, so a host program can check that the driver's requests balance. Loaded from the
// test program's folder in place of Windows' own (WINEDLLOVERRIDES=winmm=n).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

constexpr UINT noError = 0;     // TIMERR_NOERROR
constexpr UINT cannotDo = 97;   // TIMERR_NOCANDO

struct TimerRequests {
    int begun;      // timeBeginPeriod calls granted
    int ended;      // timeEndPeriod calls that matched a granted request
    int unmatched;  // timeEndPeriod calls without one
    int refused;    // timeBeginPeriod calls refused on purpose
    UINT lastPeriod;
};

TimerRequests requests{};
bool refuseNext = false;

}  // namespace

extern "C" {

__declspec(dllexport) UINT WINAPI timeBeginPeriod(UINT period) {
    requests.lastPeriod = period;
    if (refuseNext || period == 0) {
        ++requests.refused;
        return cannotDo;
    }
    ++requests.begun;
    return noError;
}

__declspec(dllexport) UINT WINAPI timeEndPeriod(UINT period) {
    requests.lastPeriod = period;
    if (requests.ended >= requests.begun) {
        ++requests.unmatched;
        return cannotDo;
    }
    ++requests.ended;
    return noError;
}

// What was asked so far; and whether timeBeginPeriod refuses from now on.
__declspec(dllexport) void __cdecl fakeWinmmRequests(TimerRequests* out) { *out = requests; }
__declspec(dllexport) void __cdecl fakeWinmmRefuse(int refuse) { refuseNext = refuse != 0; }

}
