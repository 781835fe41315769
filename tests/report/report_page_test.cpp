// The commissioning report in a real browser: the page loads without errors and without reaching
// outside itself, has one chart per gate element with one mark per poll, and shows at once which
// gate never answered. First the judge itself is shown to catch what it is meant to catch.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>

#include "headless_chromium.h"
#include "tool_process.h"

namespace {

using nlohmann::json;
using reporttest::HeadlessChromium;
using tooltest::Background;
using tooltest::pcimsim;
using tooltest::run;
using tooltest::RunResult;
using tooltest::shown;
using tooltest::TemporaryDirectory;
using tooltest::zurpm;

const std::string artifacts = REPORT_ARTIFACTS;

// A PLC at station 3, an I/O block at station 5, and a PLC at station 4 that is not on the LAN.
const char* const plantFile = R"(
[[card]]
segment = 0xCC00
port = 0x3E0
own_device = 31
boot_ms = 200

  [[card.device]]
  number = 3
  kind = "plc"
  name = "Test CPU"
    [card.device.memory]
    R1 = 100
    R2 = [5, 6, 7]
    I1 = 1

  [[card.device]]
  number = 4
  kind = "plc"
  name = "Switched off"
  faults = { absent = true }

  [[card.device]]
  number = 5
  kind = "ioblock"
  data = [0x05, 0x00, 0x34, 0x12]
)";

const char* const gateFile =
    "name,address,type,block\n"
    "level,039R0001,,\n"
    "inputs,039I0001,digital,\n"
    "trend,039R0002,s16,3\n"
    "dead <station>,049R0001,,\n"
    "block,05GA0002,,\n";

constexpr int polls = 5;

std::string contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// What the page shows of each chart and each gate row, measured by the browser.
const char* const pageSurvey = R"((() => {
  const charts = [...document.querySelectorAll('figure.chart')].map(f => ({
    gate: f.dataset.gate,
    samples: f.querySelectorAll('svg circle.sample').length,
    failures: f.querySelectorAll('svg path.failure').length,
    heights: new Set([...f.querySelectorAll('svg circle.sample')].map(c => c.getAttribute('cy'))).size,
    caption: f.querySelector('figcaption').innerText,
    drawnWidth: f.querySelector('svg').getBoundingClientRect().width,
  }));
  const rows = [...document.querySelectorAll('table.gates tbody tr')].map(r => ({
    gate: r.dataset.gate, health: r.querySelector('td.health').innerText, text: r.innerText,
  }));
  return {charts, rows, verdict: document.getElementById('verdict').innerText};
})())";

class ReportInBrowser : public testing::Test {
protected:
    void SetUp() override {
        chromium_ = reporttest::findChromium();
        ASSERT_FALSE(chromium_.empty()) << "no chromium on the PATH: run scripts/install-deps.sh browser";
    }
    std::unique_ptr<HeadlessChromium> browser() {
        return std::make_unique<HeadlessChromium>(chromium_, profile_.path());
    }
    std::string chromium_;
    TemporaryDirectory profile_;
};

TEST_F(ReportInBrowser, TheJudgeSeesErrorsAndRequests) {
    struct Case {
        const char* name;
        const char* body;
        bool error;
        bool request;
    };
    const Case cases[] = {
        {"quiet page", "<p>fine</p>", false, false},
        {"console error", "<script>console.error('broken')</script>", true, false},
        {"uncaught exception", "<script>noSuchFunction()</script>", true, false},
        // A resource that cannot be had is also an error in the console.
        {"image from a server", "<img src=\"http://plant.invalid/logo.png\">", true, true},
        {"style sheet beside the file", "<link rel=\"stylesheet\" href=\"report.css\">", true, true},
    };
    TemporaryDirectory pages;
    auto chrome = browser();
    for (const Case& c : cases) {
        const std::string file = std::string(c.name) + ".html";
        pages.write(file, std::string("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>t</title></head><body>") +
                              c.body + "</body></html>");
        const size_t errorsBefore = chrome->errors().size();
        const size_t requestsBefore = chrome->requests().size();
        chrome->open("file://" + pages.path() + "/" + file);
        EXPECT_EQ(chrome->errors().size() > errorsBefore, c.error) << c.name;
        EXPECT_EQ(chrome->requests().size() > requestsBefore, c.request) << c.name;
        if (testing::Test::HasFailure()) {
            for (const std::string& error : chrome->errors()) std::cerr << "error: " << error << "\n";
            for (const std::string& request : chrome->requests()) std::cerr << "request: " << request << "\n";
        }
    }
}

TEST_F(ReportInBrowser, PollOfAPlantWithAnAbsentStation) {
    TemporaryDirectory place;
    place.write("plant.toml", plantFile);
    place.write("zurPM.int", "BASE=16\n1=CC00;3E0\n");
    place.write("gates.csv", gateFile);
    Background simulator(pcimsim, {"plant.toml", "--socket", "XPORTIO"}, place.path());
    ASSERT_TRUE(simulator.waitForLine("ready", 30)) << simulator.output();
    const RunResult result = run(zurpm,
                                 {"poll", "--gates", "gates.csv", "--interval", "100", "--count", std::to_string(polls),
                                  "--record", "run.jsonl", "--report", "report.html"},
                                 place.path());
    ASSERT_EQ(result.status, 1) << "the absent station's reads fail\n" << shown(result);
    ASSERT_TRUE(std::filesystem::exists(place.path() + "/report.html")) << shown(result);
    // The page of the poll is the page of its record.
    const RunResult again = run(zurpm, {"report", "run.jsonl", "-o", "again.html"}, place.path());
    ASSERT_EQ(again.status, 0) << shown(again);
    EXPECT_EQ(contents(place.path() + "/again.html"), contents(place.path() + "/report.html"));

    auto chrome = browser();
    chrome->open("file://" + place.path() + "/report.html");
    chrome->screenshot(artifacts + "/report-absent-station.png");
    EXPECT_EQ(chrome->errors(), std::vector<std::string>{});
    EXPECT_EQ(chrome->requests(), std::vector<std::string>{});

    const json page = chrome->evaluate(pageSurvey);
    const std::vector<std::string> expectedGates{"level", "inputs", "trend[0]", "trend[1]", "trend[2]", "dead <station>",
                                                 "block"};
    ASSERT_EQ(page["charts"].size(), expectedGates.size()) << page.dump(2);
    ASSERT_EQ(page["rows"].size(), expectedGates.size()) << page.dump(2);
    for (size_t i = 0; i < expectedGates.size(); ++i) {
        const json& chart = page["charts"][i];
        const json& row = page["rows"][i];
        const bool dead = expectedGates[i] == "dead <station>";
        EXPECT_EQ(chart["gate"], expectedGates[i]);
        EXPECT_EQ(row["gate"], expectedGates[i]);
        EXPECT_GT(chart["drawnWidth"].get<double>(), 200) << expectedGates[i] << ": the chart is not drawn";
        EXPECT_EQ(chart["samples"], dead ? 0 : polls) << expectedGates[i];
        EXPECT_EQ(chart["failures"], dead ? polls : 0) << expectedGates[i];
        const std::string health = row["health"];
        const std::string caption = chart["caption"];
        EXPECT_EQ(health.find("NEVER ANSWERED") != std::string::npos, dead) << expectedGates[i] << ": " << health;
        EXPECT_EQ(caption.find("NEVER ANSWERED") != std::string::npos, dead) << expectedGates[i] << ": " << caption;
    }
    // The plant's values do not move: every gate that answered is marked as never changed.
    EXPECT_NE(page["rows"][0]["text"].get<std::string>().find("never changed"), std::string::npos) << page.dump(2);
    EXPECT_NE(page["rows"][5]["text"].get<std::string>().find("not found"), std::string::npos)
        << "the failures by kind name the driver's message\n" << page.dump(2);
    EXPECT_EQ(page["verdict"], "6 of 7 answered; 1 never answered; 6 never changed.");

    // On paper: the gate table first, the charts after it from a new page.
    chrome->emulatePrint(true);
    const json print = chrome->evaluate(
        "({table: document.querySelector('table.gates').getBoundingClientRect().top,"
        " charts: document.getElementById('charts').getBoundingClientRect().top,"
        " breakBefore: getComputedStyle(document.getElementById('charts')).breakBefore})");
    EXPECT_LT(print["table"].get<double>(), print["charts"].get<double>());
    EXPECT_EQ(print["breakBefore"], "page");
}

TEST_F(ReportInBrowser, DemoRunShowsMovingValues) {
    TemporaryDirectory place;
    const RunResult result =
        run(zurpm, {"demo", "--seconds", "3", "--interval", "500", "--report", "demo.html"}, place.path(),
            {{"TMPDIR", place.path()}});
    ASSERT_EQ(result.status, 0) << shown(result);
    auto chrome = browser();
    chrome->open("file://" + place.path() + "/demo.html");
    chrome->screenshot(artifacts + "/report-demo.png");
    EXPECT_EQ(chrome->errors(), std::vector<std::string>{});
    EXPECT_EQ(chrome->requests(), std::vector<std::string>{});
    const json page = chrome->evaluate(pageSurvey);
    ASSERT_EQ(page["charts"].size(), 30u) << "21 gates, two of them blocks of 3 and 8 elements\n" << page.dump(2);
    std::set<int> marks;
    for (const json& chart : page["charts"]) marks.insert(chart["samples"].get<int>() + chart["failures"].get<int>());
    EXPECT_EQ(marks.size(), 1u) << "every chart has one mark per poll\n" << page.dump(2);
    EXPECT_GE(*marks.begin(), 5) << page.dump(2);
    const json& level = page["charts"][0];
    EXPECT_EQ(level["gate"], "tank_level");
    EXPECT_GE(level["heights"].get<int>(), 2) << "the tank level moves, and so does its trace";
}

}  // namespace
