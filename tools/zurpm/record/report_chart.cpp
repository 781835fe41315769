// One chart in parts: its frame and scales, the caption and axes, the polls gathered into columns,
// the trace through them, and the marks of each poll.
#include "report_chart.h"

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "report_html.h"
#include "report_text.h"

namespace zurtool {

namespace {

using report::at;
using report::coordinate;

// Beyond this many polls a chart draws one column of marks per pixel instead of one per poll.
constexpr size_t marksPerChart = 2000;

// The drawing area and its scales: the run's time across, the gate's values up.
struct Frame {
    static constexpr double width = 640, height = 180;
    static constexpr double left = 64, right = 628, top = 12, bottom = 128;
    static constexpr double failureLane = bottom + 4;

    int64_t begin = 0, end = 1;   // epoch milliseconds
    double low = 0, high = 1;     // values

    double x(int64_t epochMs) const {
        return left + (right - left) * static_cast<double>(epochMs - begin) / static_cast<double>(end - begin);
    }
    double y(double value) const { return bottom - 8 - (bottom - 8 - top - 8) * (value - low) / (high - low); }
};

// From the lowest to the highest value (0 and 1 for a digital gate); one either side of a value
// that never changed.
Frame frameOf(const RunRecord& run, const RunGate& gate, const GateFigures& figures) {
    Frame frame;
    std::tie(frame.begin, frame.end) = run.span();
    frame.low = gate.digital() ? 0 : figures.minimum.value_or(0);
    frame.high = gate.digital() ? 1 : figures.maximum.value_or(1);
    if (frame.high <= frame.low) {
        frame.low -= 1;
        frame.high += 1;
    }
    return frame;
}

// The polls of one column of the chart: each poll its own while they fit, else the polls of one
// pixel column together (first, lowest, highest and last value, and its failures), so that a run of
// days still makes a page a browser opens.
struct Column {
    int64_t firstMs = 0, lastMs = 0;
    std::optional<double> first, last, low, high;
    size_t failed = 0;
    int32_t kind = -1;  // of the first failure
};

std::vector<Column> columnsOf(const RunGate& gate, const Frame& frame, bool thinned) {
    std::vector<Column> columns;
    int64_t columnOf = -1;
    for (const RunSample& sample : gate.samples) {
        const int64_t column =
            thinned ? static_cast<int64_t>(frame.x(sample.epochMs)) : static_cast<int64_t>(columns.size());
        if (columns.empty() || column != columnOf) {
            columns.push_back({sample.epochMs, sample.epochMs, {}, {}, {}, {}, 0, -1});
            columnOf = column;
        }
        Column& c = columns.back();
        c.lastMs = sample.epochMs;
        if (!sample.value) {
            if (c.failed++ == 0) c.kind = sample.failureKind;
            continue;
        }
        const double value = *sample.value;
        if (!c.first) c.first = c.low = c.high = value;
        c.low = std::min(*c.low, value);
        c.high = std::max(*c.high, value);
        c.last = value;
    }
    return columns;
}

// The figure, its caption, the opening of the SVG and its frame.
void writeOpening(const RunGate& gate, size_t index, const GateFigures& figures, std::ostream& out) {
    const std::string rowClass = report::healthClass(figures);
    out << "<figure class=\"chart" << (rowClass.empty() ? "" : " " + rowClass) << "\" id=\"chart-" << index
        << "\" data-gate=\"" << htmlEscape(gate.name) << "\">\n<figcaption>" << htmlEscape(gate.name)
        << " <span class=\"where\">" << htmlEscape(gate.address);
    if (gate.where.station >= 0) out << ", " << htmlEscape(memoryReference(gate.where, gate.index));
    out << ", " << htmlEscape(gate.type) << "</span> <span class=\"mark\">" << report::healthMark(figures)
        << "</span></figcaption>\n";
    out << "<svg class=\"trend\" viewBox=\"0 0 " << Frame::width << " " << Frame::height
        << "\" xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" aria-label=\"" << htmlEscape(gate.name) << ": "
        << figures.answered << " values, " << (figures.requests - figures.answered) << " failed reads\">\n";
    out << "<rect class=\"frame\" x=\"" << Frame::left << "\" y=\"" << Frame::top << "\" width=\""
        << (Frame::right - Frame::left) << "\" height=\"" << (Frame::bottom - Frame::top) << "\"/>\n";
}

// Value axis: the lowest and highest value. Time axis: the clock at the start, the middle and the
// end of the run.
void writeAxes(const RunRecord& run, const Frame& frame, std::ostream& out) {
    for (const double value : {frame.low, frame.high}) {
        const double y = frame.y(value);
        out << "<line class=\"grid\" x1=\"" << Frame::left << "\" x2=\"" << Frame::right << "\" y1=\"" << coordinate(y)
            << "\" y2=\"" << coordinate(y) << "\"/><text x=\"" << (Frame::left - 4) << "\" y=\"" << coordinate(y + 4)
            << "\" text-anchor=\"end\">" << htmlEscape(report::number(value)) << "</text>\n";
    }
    for (int part = 0; part <= 2; ++part) {
        const int64_t t = frame.begin + (frame.end - frame.begin) * part / 2;
        const char* anchor = part == 0 ? "start" : (part == 1 ? "middle" : "end");
        out << "<text x=\"" << coordinate(frame.x(t)) << "\" y=\"" << (Frame::height - 6) << "\" text-anchor=\""
            << anchor << "\">" << at(run, t).clock() << "</text>\n";
    }
}

// The trace through the columns' values, broken after a column with a failed poll; a digital gate
// steps.
void writeTrace(const RunGate& gate, const std::vector<Column>& columns, const Frame& frame, bool thinned,
                std::ostream& out) {
    std::string points;
    double lastY = 0;
    bool hasLast = false;
    auto flush = [&] {
        if (!points.empty()) out << "<polyline class=\"trace\" points=\"" << points << "\"/>\n";
        points.clear();
        hasLast = false;
    };
    auto add = [&](double x, double y) {
        if (gate.digital() && hasLast && y != lastY) points += coordinate(x) + "," + coordinate(lastY) + " ";
        points += coordinate(x) + "," + coordinate(y) + " ";
        lastY = y;
        hasLast = true;
    };
    for (const Column& c : columns) {
        if (c.first) {
            const double x = frame.x(c.firstMs);
            add(x, frame.y(*c.first));
            if (thinned) {
                for (const double value : {*c.low, *c.high, *c.last})
                    if (frame.y(value) != lastY) add(x, frame.y(value));
            }
        }
        if (c.failed > 0) flush();
    }
    flush();
}

// A dot for each poll's value (while every poll is its own column), a triangle with its words for
// each column's failures.
void writeMarks(const RunRecord& run, const std::vector<Column>& columns, const Frame& frame, bool thinned,
                std::ostream& out) {
    for (const Column& c : columns) {
        const double x = frame.x(c.firstMs);
        if (!thinned && c.first)
            out << "<circle class=\"sample\" cx=\"" << coordinate(x) << "\" cy=\"" << coordinate(frame.y(*c.first))
                << "\" r=\"2\"/>";
        if (c.failed == 0) continue;
        const bool known = c.kind >= 0 && static_cast<size_t>(c.kind) < run.failureKinds.size();
        out << "<path class=\"failure\" d=\"M" << coordinate(x) << "," << Frame::failureLane << " l-4,9 h8 z\"><title>";
        if (c.failed == 1)
            out << at(run, c.firstMs).clock() << " read failed: ";
        else
            out << c.failed << " reads failed from " << at(run, c.firstMs).clock() << " to "
                << at(run, c.lastMs).clock() << ", the first: ";
        out << htmlEscape(known ? run.failureKinds[static_cast<size_t>(c.kind)] : "no message") << "</title></path>";
    }
}

// What the chart says in words: that it was thinned, that there is no value to draw.
void writeClosing(const RunGate& gate, const GateFigures& figures, bool thinned, std::ostream& out) {
    if (thinned)
        out << "\n<text x=\"" << Frame::right << "\" y=\"" << (Frame::top - 2) << "\" text-anchor=\"end\">"
            << gate.samples.size() << " polls, drawn by pixel column</text>";
    out << "\n";
    if (figures.answered == 0)
        out << "<text class=\"none\" x=\"" << ((Frame::left + Frame::right) / 2) << "\" y=\""
            << ((Frame::top + Frame::bottom) / 2) << "\" text-anchor=\"middle\">"
            << (figures.requests == 0 ? "not polled" : "no value: every read failed") << "</text>\n";
    out << "</svg>\n</figure>\n";
}

}  // namespace

void writeChart(const RunRecord& run, size_t index, const GateFigures& figures, std::ostream& out) {
    const RunGate& gate = run.gates[index];
    const Frame frame = frameOf(run, gate, figures);
    const bool thinned = gate.samples.size() > marksPerChart;
    writeOpening(gate, index, figures, out);
    writeAxes(run, frame, out);
    const std::vector<Column> columns = columnsOf(gate, frame, thinned);
    writeTrace(gate, columns, frame, thinned, out);
    writeMarks(run, columns, frame, thinned, out);
    writeClosing(gate, figures, thinned, out);
}

}  // namespace zurtool
