// Topic names (what is published) and topic filters (what is subscribed to) as MQTT 3.1.1 allows
// them: at least one byte, at most 65535, well-formed UTF-8 without U+0000. A name never holds the
// wildcards + or #; in a filter + stands alone in its level and # alone in the last. Names this
// client publishes never start with $, which brokers keep for themselves.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zurtool::broker {

// Why `name` is no topic name, or nullopt when it is one.
std::optional<std::string> topicNameProblem(std::string_view name);
// Why `filter` is no topic filter, or nullopt when it is one.
std::optional<std::string> topicFilterProblem(std::string_view filter);
// Why this client must not publish to `name` (a topic name problem, or a leading $).
std::optional<std::string> publishTopicProblem(std::string_view name);
// Why `level` cannot be one level of a topic (a node, gate, group or device name): empty, or
// holding /, + or #, or not a valid MQTT string.
std::optional<std::string> topicLevelProblem(std::string_view level);

}  // namespace zurtool::broker
