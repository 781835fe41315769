// The figures the report shows without a browser: times as recorded, memory references, a gate's
// first, last, minimum, maximum, changes and failures.
#include <gtest/gtest.h>

#include <sstream>

#include "report_html.h"
#include "run_record.h"

namespace {

using zurtool::LocalTime;
using zurtool::RunAddress;
using zurtool::RunRecord;

TEST(RunTime, IsoTextReadsBackToTheSameMoment) {
    struct Case {
        const char* text;
        int64_t epochMs;
        int32_t offsetMinutes;
    };
    const Case cases[] = {
        {"1970-01-01T00:00:00.000+00:00", 0, 0},
        {"2026-12-08T07:01:02.123+01:00", 1796709662123, 60},
        {"2024-02-29T23:59:59.999-05:30", 1709270999999, -330},
        {"1969-12-31T23:59:59.500+00:00", -500, 0},
    };
    for (const Case& c : cases) {
        const auto time = LocalTime::parse(c.text);
        ASSERT_TRUE(time) << c.text;
        EXPECT_EQ(time->epochMs, c.epochMs) << c.text;
        EXPECT_EQ(time->offsetMinutes, c.offsetMinutes) << c.text;
        EXPECT_EQ(time->iso(), c.text);
    }
    const auto utc = LocalTime::parse("2026-12-08T06:01:02Z");
    ASSERT_TRUE(utc);
    EXPECT_EQ(utc->iso(), "2026-12-08T06:01:02.000+00:00");
    EXPECT_EQ(utc->clock(), "06:01:02");
    for (const char* bad : {"", "2026-12-08", "2026-13-08T07:01:02+01:00", "2026-12-08T07:01:02", "2026-12-08T07:01:02.1+01:00",
                            "2026-12-08T07:01:02+0100", "2026-12-08T24:00:00Z", "2026-12-08T07:01:02Zjunk"})
        EXPECT_FALSE(LocalTime::parse(bad)) << bad;
}

TEST(RunMemory, ReferencesInThePlcProgrammersWords) {
    struct Case {
        RunAddress where;
        int32_t index;
        const char* expected;
    };
    const Case cases[] = {
        {{5, 8, 15, -1, 16}, 0, "%R00016"},
        {{5, 8, 15, -1, 16}, 2, "%R00018"},
        {{1, 8, 8, -1, 32}, 0, "%R00017-%R00018"},  // a float is two registers
        {{1, 8, 8, -1, 32}, 1, "%R00019-%R00020"},
        {{1, 8, 2, 0, 1}, 0, "%R00003.00"},  // one bit of a word
        {{1, 10, 0, 15, 1}, 0, "%AI00001.15"},
        {{1, 12, 9, -1, 16}, 0, "%AQ00010"},
        {{1, 70, 0, 0, 1}, 0, "%I00001"},  // a discrete point is no bit of a word
        {{1, 84, 4, 0, 1}, 3, "%S00008"},
        {{37, 129, 8, 0, 1}, 2, "block digital 11"},
        {{37, 130, 1, -1, 16}, 0, "block analog 2"},
        {{1, 99, 0, -1, 16}, 0, "memory 99"},
    };
    for (const Case& c : cases) EXPECT_EQ(zurtool::memoryReference(c.where, c.index), c.expected) << c.expected;
}

TEST(RunFigures, FirstLastRangeChangesAndFailuresOfAGate) {
    RunRecord run;
    const int32_t noAnswer = run.failureKindIndex("Device 4 failed to respond");
    const int32_t busy = run.failureKindIndex("Timeout waiting for clear to transmit");
    EXPECT_EQ(run.failureKindIndex("Device 4 failed to respond"), noAnswer) << "a kind is kept once";
    struct Poll {
        std::optional<double> value;
        int32_t kind;
    };
    struct Case {
        const char* name;
        std::vector<Poll> polls;
        size_t answered, changes;
        std::optional<double> first, last, minimum, maximum;
        std::vector<std::pair<std::string, size_t>> failures;
        bool neverAnswered, neverChanged;
    };
    const Case cases[] = {
        {"moving, with failures between equal values",
         {{5, -1}, {5, -1}, {7, -1}, {{}, noAnswer}, {7, -1}, {3, -1}, {{}, busy}, {{}, noAnswer}},
         5, 2, 5, 3, 3, 7,
         {{"Device 4 failed to respond", 2}, {"Timeout waiting for clear to transmit", 1}}, false, false},
        {"never answered", {{{}, noAnswer}, {{}, noAnswer}}, 0, 0, {}, {}, {}, {}, {{"Device 4 failed to respond", 2}},
         true, false},
        {"never changed", {{1, -1}, {1, -1}, {1, -1}}, 3, 0, 1, 1, 1, 1, {}, false, true},
        {"negative floats", {{-0.5, -1}, {-2.25, -1}}, 2, 1, -0.5, -2.25, -2.25, -0.5, {}, false, false},
    };
    run.gateLinks.push_back({});
    run.gateLinks.back().medianMs = 3.5;
    run.gateLinks.back().p99Ms = 151;
    for (const Case& c : cases) {
        zurtool::RunGate gate;
        for (const Poll& poll : c.polls) gate.samples.push_back({0, poll.value, poll.kind});
        const zurtool::GateFigures f = run.figures(gate);
        EXPECT_EQ(f.requests, c.polls.size()) << c.name;
        EXPECT_EQ(f.answered, c.answered) << c.name;
        EXPECT_EQ(f.changes, c.changes) << c.name;
        EXPECT_EQ(f.first, c.first) << c.name;
        EXPECT_EQ(f.last, c.last) << c.name;
        EXPECT_EQ(f.minimum, c.minimum) << c.name;
        EXPECT_EQ(f.maximum, c.maximum) << c.name;
        EXPECT_EQ(f.failures, c.failures) << c.name;
        EXPECT_EQ(f.medianMs, 3.5) << c.name << ": the times are the poll's counts of the gate";
        EXPECT_EQ(f.p99Ms, 151) << c.name;
        EXPECT_EQ(f.neverAnswered(), c.neverAnswered) << c.name;
        EXPECT_EQ(f.neverChanged(), c.neverChanged) << c.name;
    }
}

// A day of polls every second must still make a page that a browser opens: the charts draw one
// column of marks per pixel, and failures of one column are one mark.
TEST(RunReport, ALongRunStaysASmallPage) {
    RunRecord run;
    run.header.started = *LocalTime::parse("2026-12-08T00:00:00Z");
    const int32_t kind = run.failureKindIndex("failed to respond");
    for (const char* type : {"s16", "digital"}) {
        run.addGate(type, "039R0001", type, std::nullopt, RunAddress{3, 8, 0, -1, 16});
        for (int64_t second = 0; second < 86400; ++second) {
            const bool failed = second % 1000 == 7;
            run.gates.back().samples.push_back({run.header.started.epochMs + second * 1000,
                                                failed ? std::nullopt : std::optional<double>(second % 600 / 300),
                                                failed ? kind : -1});
        }
    }
    std::ostringstream page;
    zurtool::writeReport(run, page);
    const std::string text = page.str();
    EXPECT_LT(text.size(), 400000u) << "two charts of 86400 polls";
    EXPECT_EQ(text.find("<circle"), std::string::npos) << "no dot per poll";
    size_t failures = 0;
    for (size_t at = text.find("class=\"failure\""); at != std::string::npos; at = text.find("class=\"failure\"", at + 1))
        ++failures;
    EXPECT_EQ(failures, 2u * 87u) << "87 failed polls a chart, each in a column of its own";
    EXPECT_NE(text.find("86400 polls, drawn by pixel column"), std::string::npos);
}

TEST(RunStart, DriverVersionFromTheBanner) {
    EXPECT_EQ(zurtool::versionFromBanner("\n|   Copyright    Ver 7.50    |\n"), "7.50");
    EXPECT_EQ(zurtool::versionFromBanner("no version here"), "");
}

}  // namespace
