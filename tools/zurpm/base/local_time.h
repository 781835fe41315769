// The one way the tool writes and reads a moment: ISO 8601 local time with milliseconds and the
// offset from UTC, as the JSON lines, the record file and the report carry it, and the clock of
// the day that tables show.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace zurtool {

// A moment as the plant PC's clock gave it: milliseconds since 1970 (UTC) and the local offset.
struct LocalTime {
    int64_t epochMs = 0;
    int32_t offsetMinutes = 0;  // east of UTC

    // The moment in the computer's time zone.
    static LocalTime at(std::chrono::system_clock::time_point when);
    static LocalTime now();

    // "2026-12-08T07:01:02.123+01:00".
    std::string iso() const;
    // "07:01:02".
    std::string clock() const;
    // "07:01:02.123".
    std::string clockWithMs() const;
    // Reads the form iso() writes (also "Z" for UTC, and no milliseconds); nothing when malformed.
    static std::optional<LocalTime> parse(const std::string& text);
};

// LocalTime::at(when).iso(), and the same of now.
std::string isoLocalTime(std::chrono::system_clock::time_point when);
std::string isoLocalTimeNow();

}  // namespace zurtool
