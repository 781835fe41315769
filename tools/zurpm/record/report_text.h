// Small words and numbers that the report's tables and charts share.
#pragma once

#include <cstdint>
#include <string>

#include "run_record.h"

namespace zurtool::report {

// A value as the report shows it: whole numbers without a point, others with 7 significant digits.
std::string number(double value);
// An SVG coordinate: one decimal.
std::string coordinate(double value);
// A moment of the run, in the time zone of its start.
LocalTime at(const RunRecord& run, int64_t epochMs);
// The word a reader sees first in a gate's row and above its chart.
std::string healthMark(const GateFigures& figures);
// The class of a gate's row and chart: "never-answered", "never-changed" or "".
std::string healthClass(const GateFigures& figures);

}  // namespace zurtool::report
