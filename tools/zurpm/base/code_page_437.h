// The driver's banner is 8-bit text in code page 437 (box drawing and shades); terminals today
// speak UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace zurtool {

std::string codePage437ToUtf8(std::string_view text);

}  // namespace zurtool
