// The trend chart of one gate element on the report page: inline SVG of its values against the
// time of the run, a digital gate as steps between 0 and 1, each failed poll a triangle under the
// time axis.
#pragma once

#include <cstddef>
#include <ostream>

#include "run_record.h"

namespace zurtool {

void writeChart(const RunRecord& run, size_t index, const GateFigures& figures, std::ostream& out);

}  // namespace zurtool
