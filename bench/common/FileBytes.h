// The size of a scratch file of a benchmark.
#pragma once
#include <cstdio>
#include <string>

namespace bench {

// Size of a file in bytes; 0 when it cannot be opened.
inline long fileBytes(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::fseek(f, 0, SEEK_END);
    const long n = std::ftell(f);
    std::fclose(f);
    return n;
}

} // namespace bench
