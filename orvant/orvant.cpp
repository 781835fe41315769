// The stand-in host library: see orvant.h.
#define ORVANT_BUILDING 1
#include "orvant.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {
OrvantSink installedSink = nullptr;
void* installedUser = nullptr;
}  // namespace

extern "C" ORVANT_API void ORVANT_CDECL err(int32_t level, const char* format, ...) {
    if (format == nullptr) return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(&text[0], text.size(), format, args);
        text.resize(static_cast<size_t>(length));
    }
    va_end(args);
    if (installedSink != nullptr) {
        installedSink(level, text.c_str(), installedUser);
        return;
    }
    std::fprintf(stderr, "[%d] %s\n", static_cast<int>(level), text.c_str());
    std::fflush(stderr);
}

extern "C" ORVANT_API void ORVANT_CDECL orvantSetSink(OrvantSink sink, void* user) {
    installedSink = sink;
    installedUser = user;
}
