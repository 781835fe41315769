// A poll on standard output: on a terminal a table redrawn in place after each pass (the value, ok
// or the last error, the time of the last change, the gate's failures and median request time);
// otherwise one line per gate element per pass, CSV, or JSON lines; at the end the closing
// summary of the link statistics.
#pragma once

#include <string>
#include <vector>

#include "output_format.h"
#include "poller.h"

namespace zurtool {

class PollView : public PollWatcher {
public:
    // Writes CSV's header line at once. `title` heads the table ("zurpm poll").
    PollView(const std::vector<DefinedGate>& gates, int32_t numberBase, OutputFormat format, std::string title,
             uint32_t intervalMs);

    void reading(const PollReading& reading) override;
    void passDone(uint32_t polls, const LocalTime& time, const LinkStatistics& statistics) override;
    void ended(const LinkStatistics& statistics) override;

private:
    // One element of one gate, as the table shows it.
    struct Row {
        std::string name;
        std::string address;
        std::string type;
        size_t gate = 0;
        std::string value = "-";
        std::string status = "not read";
        std::string changedAt = "-";
        bool read = false;
    };

    void drawTable(uint32_t polls, const LocalTime& time, const LinkStatistics& statistics) const;
    void printLines(const LocalTime& time) const;

    OutputFormat format_;
    std::string title_;
    uint32_t intervalMs_;
    std::vector<Row> rows_;
    std::vector<size_t> firstRow_;  // per gate
};

}  // namespace zurtool
