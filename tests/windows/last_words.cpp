// A Windows test program's last words. An exception that nothing handles (GoogleTest turns one in
// a test body into that test's failure, so this is a fault in a static object's destructor, a DLL's
// detach, the runtime's exit or a thread of its own) is told on standard error before Wine's
// debugger adds its backtrace: the program, the exception, the module and offset it happened at,
// and whether every test had already run. Linked into every Windows test program.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

volatile LONG testsEnded = 0;

// The file name alone of a module's path.
const char* fileName(const char* path) {
    const char* name = path;
    for (const char* c = path; *c != '\0'; ++c)
        if (*c == '\\' || *c == '/') name = c + 1;
    return name;
}

LONG WINAPI tellUnhandled(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    char program[MAX_PATH] = "?";
    GetModuleFileNameA(nullptr, program, sizeof program);
    char module[MAX_PATH] = "?";
    HMODULE faulting = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(record.ExceptionAddress), &faulting))
        GetModuleFileNameA(faulting, module, sizeof module);
    char text[512];
    const int length = std::snprintf(
        text, sizeof text, "last words of %s: exception %08lX at %p (%s+0x%lx) in thread %lu, %s\n",
        fileName(program), static_cast<unsigned long>(record.ExceptionCode), record.ExceptionAddress,
        fileName(module),
        static_cast<unsigned long>(static_cast<const char*>(record.ExceptionAddress) -
                                   reinterpret_cast<const char*>(faulting)),
        GetCurrentThreadId(), testsEnded ? "after every test had run (on the way out)" : "while the tests ran");
    DWORD written = 0;
    if (length > 0)
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(length < int(sizeof text) ? length : sizeof text - 1),
                  &written, nullptr);
    return EXCEPTION_CONTINUE_SEARCH;  // on to Wine's debugger and its backtrace
}

class EndOfTests : public testing::EmptyTestEventListener {
    void OnTestProgramEnd(const testing::UnitTest&) override { InterlockedExchange(&testsEnded, 1); }
};

const bool installed = [] {
    SetUnhandledExceptionFilter(tellUnhandled);
    testing::UnitTest::GetInstance()->listeners().Append(new EndOfTests);
    return true;
}();

}  // namespace
