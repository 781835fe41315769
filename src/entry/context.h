// The context of the request being served. ZurMain replaces it at every call; every handler and
// everything it calls reach the number base and the card slots through it, never through the
// request.
#pragma once

#include "zurpm/records.h"

namespace zurpm {

extern DriverContext* currentContext;

// Every command handler takes the request and answers the host's result code.
using CommandHandler = int32_t (*)(ZurRequest* request);

// Command 14.
int32_t describeDriver(ZurRequest* request);

// The driver's name and banner as command 14 hands them out.
extern const char driverName[];
extern const char bannerText[];

}  // namespace zurpm
