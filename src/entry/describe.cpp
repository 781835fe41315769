// Command 14: the driver's name and its banner, in code page 437 as the host shows it.
#include "entry/context.h"

namespace zurpm {

const char driverName[] = "GE Genius PCIM Lan";

// One newline, then six lines of 61 characters, each ending in a newline. Box drawing and shades
// are single bytes of code page 437.
#define ZUR_H4 "\xC4\xC4\xC4\xC4"
#define ZUR_H59 ZUR_H4 ZUR_H4 ZUR_H4 ZUR_H4 ZUR_H4 ZUR_H4 ZUR_H4 ZUR_H4 ZUR_H4 ZUR_H4 ZUR_H4 \
    ZUR_H4 ZUR_H4 ZUR_H4 "\xC4\xC4\xC4"
#define ZUR_BLANK12 "            "
#define ZUR_FULL5 "\xDB\xDB\xDB\xDB\xDB"
#define ZUR_DARK6 "\xB2\xB2\xB2\xB2\xB2\xB2"
#define ZUR_MEDIUM6 "\xB1\xB1\xB1\xB1\xB1\xB1"
#define ZUR_LIGHT6 "\xB0\xB0\xB0\xB0\xB0\xB0"

#define ZUR_BANNER_TOP "\xDA" ZUR_H59 "\xBF\n"
#define ZUR_BANNER_TITLE "\xB3 " ZUR_FULL5 ZUR_DARK6 ZUR_MEDIUM6 ZUR_LIGHT6 " Z U R P M " \
    ZUR_LIGHT6 ZUR_MEDIUM6 ZUR_DARK6 ZUR_FULL5 " \xB3\n"
#define ZUR_BANNER_LINE3 "\xB3" ZUR_BLANK12 "Genral Electric , Driver installed." ZUR_BLANK12 "\xB3\n"
#define ZUR_BANNER_LINE4 "\xB3" ZUR_BLANK12 "GE Fanuc,series 90s PLCs, PCIM/Genius Bus" "      " "\xB3\n"
#define ZUR_BANNER_NOTICE "Copyright (c) zurpm developers "
#define ZUR_BANNER_LINE5 "\xB3" ZUR_BLANK12 ZUR_BANNER_NOTICE "    Ver 7.50    \xB3\n"
#define ZUR_BANNER_BOTTOM "\xC0" ZUR_H59 "\xD9\n"

static_assert(sizeof(ZUR_BANNER_TOP) - 1 == 62, "banner top edge is 61 characters");
static_assert(sizeof(ZUR_BANNER_TITLE) - 1 == 62, "banner title is 61 characters");
static_assert(sizeof(ZUR_BANNER_LINE3) - 1 == 62, "banner line 3 is 61 characters");
static_assert(sizeof(ZUR_BANNER_LINE4) - 1 == 62, "banner line 4 is 61 characters");
static_assert(sizeof(ZUR_BANNER_NOTICE) - 1 == 31, "the notice is 31 characters");
static_assert(sizeof(ZUR_BANNER_LINE5) - 1 == 62, "banner line 5 is 61 characters");
static_assert(sizeof(ZUR_BANNER_BOTTOM) - 1 == 62, "banner bottom edge is 61 characters");

const char bannerText[] = "\n" ZUR_BANNER_TOP ZUR_BANNER_TITLE ZUR_BANNER_LINE3 ZUR_BANNER_LINE4
    ZUR_BANNER_LINE5 ZUR_BANNER_BOTTOM;
static_assert(sizeof(bannerText) == 374, "the banner is 373 bytes before its NUL");

int32_t describeDriver(ZurRequest* request) {
    auto* info = static_cast<DriverInfo*>(request->gate);
    // The host hands a record with command 14; a host that forgets it gets no crash.
    if (info == nullptr) return ZUR_RESULT_OK;
    info->infoValue0 = 80;
    info->driverName = driverName;
    info->bannerText = bannerText;
    info->infoValue3 = 24;
    info->infoValue4 = 1;
    info->infoValue7 = 3;
    return ZUR_RESULT_OK;
}

}  // namespace zurpm
