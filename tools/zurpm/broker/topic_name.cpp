#include "topic_name.h"

#include "mqtt_packet.h"

namespace zurtool::broker {

namespace {

std::optional<std::string> stringProblem(std::string_view text) {
    if (text.empty()) return "empty";
    return utf8StringProblem(text);
}

}  // namespace

std::optional<std::string> topicNameProblem(std::string_view name) {
    if (auto problem = stringProblem(name)) return problem;
    const size_t wildcard = name.find_first_of("+#");
    if (wildcard != std::string_view::npos)
        return "holds the wildcard " + std::string(1, name[wildcard]) + " at byte " + std::to_string(wildcard);
    return std::nullopt;
}

std::optional<std::string> topicFilterProblem(std::string_view filter) {
    if (auto problem = stringProblem(filter)) return problem;
    size_t levelStart = 0;
    for (size_t i = 0; i <= filter.size(); ++i) {
        if (i < filter.size() && filter[i] != '/') continue;
        const std::string_view level = filter.substr(levelStart, i - levelStart);
        if (level.size() > 1 && level.find_first_of("+#") != std::string_view::npos)
            return "a wildcard shares the level \"" + std::string(level) + "\"";
        if (level == "#" && i != filter.size()) return std::string("# is not the last level");
        levelStart = i + 1;
    }
    return std::nullopt;
}

std::optional<std::string> publishTopicProblem(std::string_view name) {
    if (auto problem = topicNameProblem(name)) return problem;
    if (name.front() == '$') return std::string("starts with $, which the broker keeps for itself");
    return std::nullopt;
}

std::optional<std::string> topicLevelProblem(std::string_view level) {
    if (auto problem = stringProblem(level)) return problem;
    const size_t forbidden = level.find_first_of("/+#");
    if (forbidden != std::string_view::npos)
        return "holds " + std::string(1, level[forbidden]) + " at byte " + std::to_string(forbidden);
    return std::nullopt;
}

}  // namespace zurtool::broker
