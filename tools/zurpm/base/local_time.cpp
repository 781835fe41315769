// Civil dates from epoch milliseconds and back, the local offset from the C library.
#include "local_time.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace zurtool {

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

struct Civil {
    int64_t year;
    unsigned month, day;
};

Civil civilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2), month, day};
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Reads exactly `digits` decimal digits at text[at]; -1 when they are not there.
int64_t digitsAt(const std::string& text, size_t at, size_t digits) {
    if (at + digits > text.size()) return -1;
    int64_t value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Seconds east of UTC of local time at `when`, from the broken-down local and UTC times.
long utcOffsetSeconds(std::time_t when) {
    std::tm local{};
    std::tm utc{};
    if (const std::tm* l = std::localtime(&when)) local = *l;
    if (const std::tm* u = std::gmtime(&when)) utc = *u;
    long days = local.tm_yday - utc.tm_yday;
    if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
    return ((days * 24 + local.tm_hour - utc.tm_hour) * 60 + local.tm_min - utc.tm_min) * 60 +
           (local.tm_sec - utc.tm_sec);
}

}  // namespace

LocalTime LocalTime::at(std::chrono::system_clock::time_point when) {
    const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(floorDiv(ms, 1000));
    return {ms, static_cast<int32_t>(utcOffsetSeconds(seconds) / 60)};
}

LocalTime LocalTime::now() { return at(std::chrono::system_clock::now()); }

std::string LocalTime::iso() const {
    const int64_t local = epochMs + static_cast<int64_t>(offsetMinutes) * 60000;
    const int64_t days = floorDiv(local, 86400000);
    const int64_t msOfDay = local - days * 86400000;
    const Civil date = civilFromDays(days);
    const int32_t offset = std::abs(offsetMinutes);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02d.%03d%c%02d:%02d",
                  static_cast<long long>(date.year), date.month, date.day, static_cast<int>(msOfDay / 3600000),
                  static_cast<int>(msOfDay / 60000 % 60), static_cast<int>(msOfDay / 1000 % 60),
                  static_cast<int>(msOfDay % 1000), offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
}

std::string LocalTime::clock() const { return iso().substr(11, 8); }

std::string LocalTime::clockWithMs() const { return iso().substr(11, 12); }

std::optional<LocalTime> LocalTime::parse(const std::string& text) {
    // YYYY-MM-DDTHH:MM:SS[.mmm](Z|+HH:MM|-HH:MM)
    const int64_t year = digitsAt(text, 0, 4), month = digitsAt(text, 5, 2), day = digitsAt(text, 8, 2);
    const int64_t hour = digitsAt(text, 11, 2), minute = digitsAt(text, 14, 2), second = digitsAt(text, 17, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60 || text[4] != '-' || text[7] != '-' ||
        (text[10] != 'T' && text[10] != ' ') || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    size_t at = 19;
    int64_t ms = 0;
    if (at < text.size() && text[at] == '.') {
        ms = digitsAt(text, at + 1, 3);
        if (ms < 0) return std::nullopt;
        at += 4;
    }
    LocalTime time;
    if (at < text.size() && text[at] == 'Z' && at + 1 == text.size()) {
        time.offsetMinutes = 0;
    } else if (at + 6 == text.size() && (text[at] == '+' || text[at] == '-') && text[at + 3] == ':') {
        const int64_t offsetHours = digitsAt(text, at + 1, 2), offsetMinutes = digitsAt(text, at + 4, 2);
        if (offsetHours < 0 || offsetMinutes < 0) return std::nullopt;
        time.offsetMinutes = static_cast<int32_t>((offsetHours * 60 + offsetMinutes) * (text[at] == '-' ? -1 : 1));
    } else {
        return std::nullopt;
    }
    const int64_t localMs =
        ((daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 24 + hour) * 60 + minute) *
            60000 + second * 1000 + ms;
    time.epochMs = localMs - static_cast<int64_t>(time.offsetMinutes) * 60000;
    return time;
}

std::string isoLocalTime(std::chrono::system_clock::time_point when) { return LocalTime::at(when).iso(); }

std::string isoLocalTimeNow() { return LocalTime::now().iso(); }

}  // namespace zurtool
