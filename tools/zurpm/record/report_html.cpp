// The report page. Everything is written inline: the style sheet, and each chart as SVG
// (report_chart.cpp) drawn from the samples, so that the page needs nothing but itself. Marks that matter (a gate that never
// answered, a failed poll) are words and shapes, never colour alone, so the page reads in black and
// white.
#include "report_html.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>

#include "report_chart.h"
#include "report_text.h"
#include "tool_error.h"

namespace zurtool {

namespace {

using report::at;
using report::healthClass;
using report::healthMark;
using report::number;

const char* const styleSheet = R"(
:root { color-scheme: light; }
body { font: 14px/1.4 system-ui, "Segoe UI", Arial, sans-serif; color: #111; margin: 1.5em auto; max-width: 1200px;
       padding: 0 1em; }
h1 { font-size: 1.6em; margin: 0 0 .2em; }
h2 { font-size: 1.25em; border-bottom: 2px solid #111; margin: 1.6em 0 .5em; }
.verdict { font-size: 1.1em; font-weight: 600; }
dl.run { display: grid; grid-template-columns: max-content 1fr; gap: .1em 1em; margin: .8em 0; }
dl.run dt { font-weight: 600; }
dl.run dd { margin: 0; }
pre { background: #f4f4f4; border: 1px solid #bbb; padding: .4em .6em; margin: .3em 0; white-space: pre-wrap; }
table { border-collapse: collapse; width: 100%; font-size: .88em; }
.wide { overflow-x: auto; }
th, td { border: 1px solid #999; padding: .2em .4em; text-align: left; vertical-align: top; }
th { background: #e8e8e8; }
td.n { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
tr.never-answered td { font-weight: 700; background: #fde2e2; border-top: 2px solid #000; border-bottom: 2px solid #000; }
tr.never-changed td { font-style: italic; background: #fff5d6; }
.mark { font-weight: 700; white-space: nowrap; }
.legend { margin: .3em 0 .8em; }
.charts { display: grid; grid-template-columns: repeat(auto-fill, minmax(540px, 1fr)); gap: 1em; }
figure.chart { margin: 0; border: 1px solid #999; padding: .3em .5em .2em; break-inside: avoid; }
figure.chart.never-answered { border: 3px double #000; }
figure.chart figcaption { font-weight: 600; }
figure.chart figcaption .where { font-weight: 400; color: #333; }
svg.trend { width: 100%; height: auto; display: block; }
svg .frame { fill: none; stroke: #555; stroke-width: 1; }
svg .grid { stroke: #bbb; stroke-width: 1; stroke-dasharray: 3 3; }
svg .trace { fill: none; stroke: #1a4c9c; stroke-width: 1.6; stroke-linejoin: round; }
svg .sample { fill: #1a4c9c; }
svg .failure { fill: #b00000; stroke: #000; stroke-width: .8; }
svg text { font: 11px system-ui, Arial, sans-serif; fill: #222; }
svg text.none { font-size: 13px; font-weight: 700; }
footer { margin-top: 2em; font-size: .85em; color: #444; }
@media print {
  body { font-size: 9pt; margin: 0; max-width: none; }
  h2 { break-after: avoid; }
  tr, figure.chart { break-inside: avoid; }
  thead { display: table-header-group; }
  #charts { break-before: page; }
  .charts { display: block; }
  figure.chart { margin: 0 0 .6em; }
  tr.never-answered td, tr.never-changed td, th, pre { background: none; }
}
)";

std::string optionalNumber(const std::optional<double>& value) { return value ? number(*value) : "-"; }

std::string milliseconds(const std::optional<double>& value) {
    if (!value) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", *value);
    return text;
}

std::string duration(int64_t ms) {
    const int64_t seconds = ms / 1000;
    char text[48];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld h %02lld min", static_cast<long long>(seconds / 3600),
                      static_cast<long long>(seconds / 60 % 60));
    else if (seconds >= 60)
        std::snprintf(text, sizeof text, "%lld min %02lld s", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}

std::string stationText(int32_t station) {
    if (station < 0) return "-";
    return std::to_string(station) + " (card " + std::to_string(station / 32 + 1) + ", device " +
           std::to_string(station % 32) + ")";
}

// A station in the gate table: its number, with card and device when one points at it.
std::string shortStationText(int32_t station) {
    if (station < 0) return "-";
    return "<span title=\"card " + std::to_string(station / 32 + 1) + ", device " + std::to_string(station % 32) +
           "\">" + std::to_string(station) + "</span>";
}

std::string failuresText(const GateFigures& figures) {
    std::string text;
    for (const auto& [kind, count] : figures.failures) {
        if (!text.empty()) text += "; ";
        text += std::to_string(count) + " \xC3\x97 " + kind;
    }
    return text;
}

void writeHeader(const RunRecord& run, std::ostream& out, size_t neverAnswered, size_t neverChanged) {
    const RunHeader& header = run.header;
    const auto [begin, end] = run.span();
    out << "<header>\n<h1>Commissioning report" << (header.host.empty() ? "" : ": " + htmlEscape(header.host))
        << "</h1>\n";
    out << "<p>" << run.gates.size() << " gate elements polled " << run.polls() << " times";
    if (header.intervalMs > 0) out << ", every " << header.intervalMs << " ms";
    out << ", from " << htmlEscape(at(run, begin).iso()) << " for " << duration(end - begin) << ".</p>\n";
    out << "<p class=\"verdict\" id=\"verdict\">" << (run.gates.size() - neverAnswered) << " of " << run.gates.size()
        << " answered; " << neverAnswered << " never answered; " << neverChanged << " never changed.</p>\n";
    if (!header.known) {
        out << "<p>The record has no run header (JSON lines of a poll alone): where it ran, the driver, the "
               "cards and zurPM.int are not known.</p>\n</header>\n";
        return;
    }
    out << "<dl class=\"run\">\n";
    const std::pair<const char*, std::string> facts[] = {
        {"Host", header.host},
        {"Started", header.started.iso()},
        {"Ended", run.ended ? run.ended->iso() : std::string("(no end recorded)")},
        {"Polls", std::to_string(run.polls())},
        {"Interval", header.intervalMs > 0 ? std::to_string(header.intervalMs) + " ms" : std::string("-")},
        {"Command", header.command},
        {"Driver", header.driverName},
        {"Version", header.driverVersion},
        {"Library", header.driverLibrary},
        {"Number base", std::to_string(header.numberBase)},
    };
    for (const auto& [term, value] : facts)
        out << "<dt>" << term << "</dt><dd>" << (value.empty() ? "-" : htmlEscape(value)) << "</dd>\n";
    out << "</dl>\n";

    out << "<h2>Cards</h2>\n";
    if (header.cards.empty()) {
        out << "<p>The start reported no card.</p>\n";
    } else {
        out << "<table class=\"cards\"><thead><tr><th>Card</th><th>Memory segment</th><th>I/O port</th>"
               "<th>Started</th><th>Own device</th><th>Version</th><th>Stations polled</th></tr></thead><tbody>\n";
        for (const Card& card : header.cards) {
            std::string stations;
            std::vector<int32_t> seen;
            for (const RunGate& gate : run.gates) {
                const int32_t station = gate.where.station;
                if (station < 0 || station / 32 + 1 != card.number ||
                    std::find(seen.begin(), seen.end(), station) != seen.end())
                    continue;
                seen.push_back(station);
                if (!stations.empty()) stations += ", ";
                stations += std::to_string(station);
            }
            out << "<tr><td class=\"n\">" << card.number << "</td><td>" << htmlEscape(card.segment) << "</td><td>"
                << htmlEscape(card.port) << "</td><td>" << (card.started ? "yes" : "<span class=\"mark\">NO</span>")
                << "</td><td class=\"n\">" << (card.ownDevice ? std::to_string(*card.ownDevice) : "-")
                << "</td><td>" << (card.version.empty() ? "-" : htmlEscape(card.version)) << "</td><td>"
                << (stations.empty() ? "-" : stations) << "</td></tr>\n";
        }
        out << "</tbody></table>\n";
    }
    out << "<h2>zurPM.int</h2>\n<pre class=\"configuration\">";
    if (header.configurationLines.empty()) out << "(not found: the driver took its defaults)";
    for (const std::string& line : header.configurationLines) out << htmlEscape(line) << "\n";
    out << "</pre>\n</header>\n";
}

void writeGateTable(const RunRecord& run, const std::vector<GateFigures>& figures, std::ostream& out) {
    out << "<section id=\"gates\">\n<h2>Gates</h2>\n"
           "<p class=\"legend\">\xE2\x9C\x96 NEVER ANSWERED: no read of the gate succeeded. "
           "\xE2\x97\x8B never changed: every value read was the same. Times are those of the requests, "
           "in milliseconds.</p>\n";
    out << "<div class=\"wide\"><table class=\"gates\"><thead><tr><th>Gate</th><th>Address</th><th>Type</th><th>Station</th>"
           "<th>Memory</th><th>Health</th><th>First</th><th>Last</th><th>Min</th><th>Max</th><th>Changes</th>"
           "<th>Requests</th><th>Failures</th><th>Median ms</th><th>p99 ms</th></tr></thead><tbody>\n";
    for (size_t i = 0; i < run.gates.size(); ++i) {
        const RunGate& gate = run.gates[i];
        const GateFigures& f = figures[i];
        const std::string rowClass = healthClass(f);
        out << "<tr" << (rowClass.empty() ? "" : " class=\"" + rowClass + "\"") << " data-gate=\""
            << htmlEscape(gate.name) << "\"><td><a href=\"#chart-" << i << "\">" << htmlEscape(gate.name)
            << "</a></td><td>" << htmlEscape(gate.address) << "</td><td>" << htmlEscape(gate.type) << "</td><td>"
            << shortStationText(gate.where.station) << "</td><td>"
            << (gate.where.station < 0 ? "-" : htmlEscape(memoryReference(gate.where, gate.index)))
            << "</td><td class=\"mark health\">" << healthMark(f) << "</td><td class=\"n\">"
            << optionalNumber(f.first) << "</td><td class=\"n\">" << optionalNumber(f.last) << "</td><td class=\"n\">"
            << optionalNumber(f.minimum) << "</td><td class=\"n\">" << optionalNumber(f.maximum)
            << "</td><td class=\"n\">" << f.changes << "</td><td class=\"n\">" << f.requests << "</td><td>"
            << (f.failures.empty() ? "0" : htmlEscape(std::to_string(f.requests - f.answered) + ": " + failuresText(f)))
            << "</td><td class=\"n\">" << milliseconds(f.medianMs) << "</td><td class=\"n\">" << milliseconds(f.p99Ms)
            << "</td></tr>\n";
    }
    out << "</tbody></table></div>\n</section>\n";
}

// Each request counts once for its station, also when it served several gates.
void writeStationTable(const RunRecord& run, std::ostream& out) {
    out << "<section id=\"stations\">\n<h2>Link health by station</h2>\n";
    if (run.stationLinks.empty()) {
        out << "<p>The run has no closing counts (it was cut short).</p>\n</section>\n";
        return;
    }
    out << "<table class=\"stations\"><thead><tr><th>Station</th><th>Requests</th><th>Failed</th>"
           "<th>Failures by kind</th><th>Min ms</th><th>Median ms</th><th>p99 ms</th><th>Max ms</th></tr></thead><tbody>\n";
    for (const auto& [station, link] : run.stationLinks) {
        std::string kinds;
        for (const auto& [kind, count] : link.failures)
            kinds += (kinds.empty() ? "" : "; ") + std::to_string(count) + " \xC3\x97 " + kind;
        const bool dead = link.requests > 0 && link.successes == 0;
        out << "<tr" << (dead ? " class=\"never-answered\"" : "") << "><td>" << stationText(station)
            << (dead ? " <span class=\"mark\">\xE2\x9C\x96 NEVER ANSWERED</span>" : "") << "</td><td class=\"n\">"
            << link.requests << "</td><td class=\"n\">" << (link.requests - link.successes) << "</td><td>"
            << htmlEscape(kinds) << "</td><td class=\"n\">" << milliseconds(link.minMs) << "</td><td class=\"n\">"
            << milliseconds(link.medianMs) << "</td><td class=\"n\">" << milliseconds(link.p99Ms)
            << "</td><td class=\"n\">" << milliseconds(link.maxMs) << "</td></tr>\n";
    }
    out << "</tbody></table>\n</section>\n";
}

void writeMessages(const RunRecord& run, std::ostream& out) {
    // Identical messages of one gate are one row, with how often and when first and last.
    struct Group {
        const RunMessage* first;
        LocalTime last;
        size_t count;
    };
    std::vector<Group> groups;
    std::map<std::string, size_t> indexOf;
    for (const RunMessage& message : run.messages) {
        const std::string key = std::to_string(message.level) + '\x1f' + message.gate + '\x1f' + message.text;
        const auto found = indexOf.find(key);
        if (found == indexOf.end()) {
            indexOf.emplace(key, groups.size());
            groups.push_back({&message, message.time, 1});
        } else {
            groups[found->second].last = message.time;
            ++groups[found->second].count;
        }
    }
    out << "<section id=\"messages\">\n<h2>Messages</h2>\n";
    if (groups.empty()) {
        out << "<p>The driver sent no message.</p>\n</section>\n";
        return;
    }
    out << "<table class=\"messages\"><thead><tr><th>Time</th><th>Level</th><th>From</th><th>Message</th>"
           "<th>Times</th><th>Last</th></tr></thead><tbody>\n";
    for (const Group& group : groups) {
        out << "<tr><td class=\"n\">" << group.first->time.clock() << "</td><td class=\"n\">" << group.first->level
            << "</td><td>" << (group.first->gate.empty() ? "start" : htmlEscape(group.first->gate)) << "</td><td>"
            << htmlEscape(group.first->text) << "</td><td class=\"n\">" << group.count << "</td><td class=\"n\">"
            << (group.count > 1 ? group.last.clock() : "") << "</td></tr>\n";
    }
    out << "</tbody></table>\n</section>\n";
}

}  // namespace

std::string htmlEscape(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            case '\'': escaped += "&#39;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

void writeReport(const RunRecord& run, std::ostream& out) {
    std::vector<GateFigures> figures;
    size_t neverAnswered = 0, neverChanged = 0;
    for (const RunGate& gate : run.gates) {
        figures.push_back(run.figures(gate));
        neverAnswered += figures.back().neverAnswered();
        neverChanged += figures.back().neverChanged();
    }
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           // Nothing outside the page may load, not even by mistake.
           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'; "
           "img-src data:\">\n<title>Commissioning report "
        << htmlEscape(run.header.host) << " " << htmlEscape(run.header.started.iso().substr(0, 16)) << "</title>\n<style>"
        << styleSheet << "</style>\n</head>\n<body>\n";
    writeHeader(run, out, neverAnswered, neverChanged);
    writeGateTable(run, figures, out);
    writeStationTable(run, out);
    out << "<section id=\"charts\">\n<h2>Trends</h2>\n<div class=\"charts\">\n";
    for (size_t i = 0; i < run.gates.size(); ++i) writeChart(run, i, figures[i], out);
    out << "</div>\n</section>\n";
    writeMessages(run, out);
    out << "<footer>Written by zurpm from the run of " << htmlEscape(run.header.started.iso()) << " on "
        << htmlEscape(run.header.host.empty() ? std::string("an unnamed host") : run.header.host)
        << ".</footer>\n</body>\n</html>\n";
}

void writeReportFile(const RunRecord& run, const std::string& path) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) throw unavailable("cannot write the report " + path);
    writeReport(run, file);
    file.flush();
    if (!file) throw unavailable("cannot write the report " + path);
}

}  // namespace zurtool
