/*
 * The stand-in for the host library ORVANT: its err shows the driver's messages. A real host
 * brings its own library; this one serves our tests and tools.
 *
 * Each message goes to standard error as "[level] text", unless a program has installed a sink,
 * which then receives the level and the formatted text instead.
 */
#ifndef ORVANT_H
#define ORVANT_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(ORVANT_BUILDING)
#define ORVANT_API __declspec(dllexport)
#else
#define ORVANT_API __declspec(dllimport)
#endif
#define ORVANT_CDECL __cdecl
#else
#define ORVANT_API __attribute__((visibility("default")))
#define ORVANT_CDECL
#endif

#ifdef __cplusplus
extern "C" {
#endif

ORVANT_API void ORVANT_CDECL err(int32_t level, const char* format, ...);

typedef void(ORVANT_CDECL* OrvantSink)(int32_t level, const char* text, void* user);
/* Null restores standard error. */
ORVANT_API void ORVANT_CDECL orvantSetSink(OrvantSink sink, void* user);

#ifdef __cplusplus
}
#endif

#endif
