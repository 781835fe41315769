// Finding the number base in zurPM.int, line by line as the driver reads it.
#include "int_file.h"

#include <cstdlib>
#include <fstream>

namespace zurtool {

std::optional<int32_t> configuredNumberBase(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::optional<int32_t> base;
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 5) continue;
        bool isBaseLine = true;
        const char* keyword = "BASE=";
        for (size_t i = 0; i < 5; ++i) {
            char c = line[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            if (c != keyword[i]) isBaseLine = false;
        }
        if (isBaseLine) base = static_cast<int32_t>(std::atol(line.c_str() + 5));
    }
    return base;
}

}  // namespace zurtool
