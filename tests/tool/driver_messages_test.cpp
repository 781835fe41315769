// The tool tells the driver's messages apart by their words (session/driver_messages.h). Each of
// those words must be what the driver's sources say in a message: a changed text fails here, not
// silently in the tool's counting of failures, its scan or its base hint.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver_messages.h"

namespace {

// The string literals of a C++ source, without comments and character literals.
std::vector<std::string> stringLiterals(const std::string& code) {
    std::vector<std::string> literals;
    size_t at = 0;
    while (at < code.size()) {
        if (code.compare(at, 2, "//") == 0) {
            at = code.find('\n', at);
        } else if (code.compare(at, 2, "/*") == 0) {
            at = code.find("*/", at + 2);
            if (at != std::string::npos) at += 2;
        } else if (code[at] == '"' || code[at] == '\'') {
            const char quote = code[at++];
            std::string literal;
            while (at < code.size() && code[at] != quote) {
                if (code[at] == '\\' && at + 1 < code.size()) literal += code[at++];
                literal += code[at++];
            }
            ++at;
            if (quote == '"') literals.push_back(literal);
        } else {
            ++at;
        }
    }
    return literals;
}

TEST(DriverMessages, EveryTextTheToolLooksForIsInAMessageOfTheDriver) {
    std::vector<std::string> literals;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(ZURPM_DRIVER_SOURCE_DIR)) {
        const std::string extension = entry.path().extension().string();
        if (extension != ".cpp" && extension != ".h") continue;
        std::ifstream file(entry.path());
        std::stringstream code;
        code << file.rdbuf();
        for (std::string& literal : stringLiterals(code.str())) literals.push_back(std::move(literal));
    }
    ASSERT_GT(literals.size(), 100u) << "the driver's sources in " << ZURPM_DRIVER_SOURCE_DIR;
    for (const zurtool::KnownText& known : zurtool::knownDriverTexts()) {
        bool found = false;
        for (const std::string& literal : literals) found = found || literal.find(known.words) != std::string::npos;
        EXPECT_TRUE(found) << "'" << known.words << "' is in no message of the driver";
    }
    // A text without words would be found in every message.
    for (int text = 0; text <= static_cast<int>(zurtool::DriverText::addressDigits); ++text)
        EXPECT_STRNE(zurtool::wordsOf(static_cast<zurtool::DriverText>(text)), "") << "text " << text << " has no row";
}

}  // namespace
