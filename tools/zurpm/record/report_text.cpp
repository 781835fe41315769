// Numbers and health words of the report.
#include "report_text.h"

#include <cmath>
#include <cstdio>

namespace zurtool::report {

std::string number(double value) {
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15) {
        char text[32];
        std::snprintf(text, sizeof text, "%.0f", value);
        return text;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", value);
    return text;
}

std::string coordinate(double value) {
    char text[24];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

LocalTime at(const RunRecord& run, int64_t epochMs) { return {epochMs, run.header.started.offsetMinutes}; }

std::string healthMark(const GateFigures& figures) {
    if (figures.requests == 0) return "not polled";
    if (figures.neverAnswered()) return "\xE2\x9C\x96 NEVER ANSWERED";
    if (figures.neverChanged()) return "\xE2\x97\x8B never changed";
    if (figures.answered < figures.requests) return "\xE2\x9A\xA0 some reads failed";
    return "ok";
}

std::string healthClass(const GateFigures& figures) {
    if (figures.neverAnswered()) return "never-answered";
    if (figures.neverChanged()) return "never-changed";
    return "";
}

}  // namespace zurtool::report
