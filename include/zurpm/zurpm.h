/*
 * zurpm: the driver's export, as a host declares it.
 */
#ifndef ZURPM_ZURPM_H
#define ZURPM_ZURPM_H

#include "zurpm/records.h"

#if defined(_WIN32)
#if defined(ZURPM_BUILDING_DRIVER)
#define ZURPM_EXPORT __declspec(dllexport)
#else
#define ZURPM_EXPORT __declspec(dllimport)
#endif
#else
#define ZURPM_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

ZURPM_EXPORT int32_t ZURPM_STDCALL ZurMain(ZurRequest* request);

#ifdef __cplusplus
}
#endif

#endif /* ZURPM_ZURPM_H */
