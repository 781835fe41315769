// A record read back: the run header, the element lines of each poll, the closing counts; a
// block's one failed request gives one set of messages; lines that cannot be read are named.
#include <gtest/gtest.h>

#include "record_file.h"
#include "tool_error.h"
#include "tool_process.h"

namespace {

using tooltest::TemporaryDirectory;

const char* const record = R"({"time":"2026-12-08T07:00:00.000+01:00","header":true,"host":"PLANT-PC","command":"zurpm poll --record r.jsonl","driver":{"name":"GE Genius PCIM Lan","version":"7.50","library":"zurpm.dll"},"number_base":16,"interval_ms":500,"configuration":["BASE=16","1=CC00;3E0"],"cards":[{"card":1,"segment":"CC00","port":"3E0","started":true,"own_device":31,"version":"23"}],"messages":[{"level":32,"text":"ZURPM Message: Genius device number for PCIM card is 31"}],"gates":[{"time":"2026-12-08T07:00:00.000+01:00","name":"level","address":"039R0001","type":"s16","block":null,"status":"accepted","station":3,"memory_type":8,"offset":0,"bit":-1,"width":16,"messages":[]},{"time":"2026-12-08T07:00:00.000+01:00","name":"trend","address":"039R0002","type":"s16","block":2,"status":"accepted","station":3,"memory_type":8,"offset":1,"bit":-1,"width":16,"messages":[]}]}
{"time":"2026-12-08T07:00:00.500+01:00","name":"level","address":"039R0001","type":"s16","index":0,"value":100,"status":"ok","messages":[]}
{"time":"2026-12-08T07:00:00.500+01:00","name":"trend[0]","address":"039R0002","type":"s16","index":0,"value":5,"status":"ok","messages":[]}
{"time":"2026-12-08T07:00:00.500+01:00","name":"trend[1]","address":"039R0003","type":"s16","index":1,"value":-6,"status":"ok","messages":[]}
{"time":"2026-12-08T07:00:01.000+01:00","name":"level","address":"039R0001","type":"s16","index":0,"value":101,"status":"ok","messages":[]}
{"time":"2026-12-08T07:00:01.000+01:00","name":"trend[0]","address":"039R0002","type":"s16","index":0,"value":null,"status":"failed","messages":[{"level":32,"text":"ZURPM Error: Device 3 failed to respond"},{"level":32,"text":"ZURPM Error: Error transmitting request packet"}]}
{"time":"2026-12-08T07:00:01.000+01:00","name":"trend[1]","address":"039R0003","type":"s16","index":1,"value":null,"status":"failed","messages":[{"level":32,"text":"ZURPM Error: Device 3 failed to respond"},{"level":32,"text":"ZURPM Error: Error transmitting request packet"}]}
{"time":"2026-12-08T07:00:01.100+01:00","summary":true,"gates":[{"name":"level","address":"039R0001","requests":2,"successes":2,"failures":{},"ms":{"min":3.0,"median":3.1,"p99":3.2,"max":3.2}},{"name":"trend","address":"039R0002","requests":2,"successes":1,"failures":{"failed to respond":1},"ms":{"min":3.0,"median":3.0,"p99":150.2,"max":150.2}}],"stations":[{"station":3,"card":1,"device":3,"requests":4,"successes":3,"failures":{"failed to respond":1},"ms":{"min":3.0,"median":3.1,"p99":150.2,"max":150.2}}]}
)";

TEST(RecordFile, ReadsBackTheRunAsThePollKeptIt) {
    TemporaryDirectory place;
    place.write("r.jsonl", record);
    const zurtool::RunRecord run = zurtool::readRunFile(place.path() + "/r.jsonl");
    EXPECT_TRUE(run.header.known);
    EXPECT_EQ(run.header.host, "PLANT-PC");
    EXPECT_EQ(run.header.driverVersion, "7.50");
    EXPECT_EQ(run.header.numberBase, 16);
    EXPECT_EQ(run.header.started.offsetMinutes, 60);
    ASSERT_EQ(run.header.cards.size(), 1u);
    EXPECT_EQ(run.header.cards[0].ownDevice, 31);
    ASSERT_EQ(run.gates.size(), 3u);
    EXPECT_EQ(run.gates[2].name, "trend[1]");
    EXPECT_EQ(run.gates[2].address, "039R0003") << "a block element's own address, in the header's base";
    EXPECT_EQ(zurtool::memoryReference(run.gates[2].where, run.gates[2].index), "%R00003");
    EXPECT_EQ(run.polls(), 2u);
    const zurtool::GateFigures level = run.figures(run.gates[0]);
    EXPECT_EQ(level.changes, 1u);
    EXPECT_EQ(level.medianMs, 3.1);
    const zurtool::GateFigures trend = run.figures(run.gates[2]);
    EXPECT_EQ(trend.answered, 1u);
    EXPECT_EQ(trend.failures, (std::vector<std::pair<std::string, size_t>>{{"failed to respond", 1}}));
    EXPECT_EQ(trend.p99Ms, 150.2);
    ASSERT_EQ(run.messages.size(), 3u) << "the start's message, and the block's two once";
    EXPECT_EQ(run.messages[1].gate, "trend");
    EXPECT_EQ(run.messages[1].time.clock(), "07:00:01");
    ASSERT_TRUE(run.stationLinks.count(3));
    EXPECT_EQ(run.stationLinks.at(3).requests, 4u);
    EXPECT_EQ(run.stationLinks.at(3).maxMs, 150.2);
    ASSERT_TRUE(run.ended);
}

TEST(RecordFile, LinesOfAPollWithoutHeaderAreARunToo) {
    TemporaryDirectory place;
    place.write("lines.jsonl",
                "{\"time\":\"2026-12-08T07:00:00.500Z\",\"name\":\"039R0001\",\"address\":\"039R0001\",\"type\":\"s16\","
                "\"index\":0,\"value\":7,\"status\":\"ok\",\"messages\":[]}\n\n"
                "{\"time\":\"2026-12-08T07:00:01.500Z\",\"name\":\"039R0001\",\"address\":\"039R0001\",\"type\":\"s16\","
                "\"index\":0,\"value\":8,\"status\":\"ok\",\"messages\":[]}\n");
    const zurtool::RunRecord run = zurtool::readRunFile(place.path() + "/lines.jsonl");
    ASSERT_EQ(run.gates.size(), 1u);
    EXPECT_EQ(run.polls(), 2u);
    EXPECT_EQ(run.header.started.iso(), "2026-12-08T07:00:00.500+00:00");
    EXPECT_FALSE(run.header.known) << "the page must not claim a host, driver or cards it was not told";
    EXPECT_EQ(run.figures(run.gates[0]).changes, 1u);
}

TEST(RecordFile, WhatCannotBeReadIsNamedByItsLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"{\"time\":\"2026-12-08T07:00:00Z\",\"header\":true}\n{oops\n", "r.jsonl:2: not a JSON object"},
        {"{\"time\":\"today\",\"name\":\"a\",\"address\":\"039R0001\",\"index\":0,\"status\":\"ok\",\"value\":1}\n",
         "r.jsonl:1: no time in ISO 8601 form"},
        {"{\"time\":\"2026-12-08T07:00:00Z\",\"name\":\"a\",\"address\":\"039R0001\",\"index\":0,\"status\":\"ok\"}\n",
         "r.jsonl:1: an ok element without a value"},
        {"{\"time\":\"2026-12-08T07:00:00Z\",\"header\":true}\n{\"time\":\"2026-12-08T07:00:00Z\",\"header\":true}\n",
         "r.jsonl:2: a second run header"},
        {"", "no poll in it"},
    };
    TemporaryDirectory place;
    for (const auto& [text, words] : cases) {
        place.write("r.jsonl", text);
        try {
            zurtool::readRunFile(place.path() + "/r.jsonl");
            ADD_FAILURE() << "read without complaint: " << text;
        } catch (const zurtool::ToolError& error) {
            EXPECT_EQ(error.status(), zurtool::exitBadInput) << text;
            EXPECT_NE(std::string(error.what()).find(words), std::string::npos) << error.what();
        }
    }
}

}  // namespace
