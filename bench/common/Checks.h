// What every benchmark does when a step fails, and the plain sequential read that several of
// them measure as their reference.
#pragma once
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace bench {

// Prints "PROGRAM: what" and ends the benchmark with 1.
[[noreturn]] inline void die(const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
    std::exit(1);
}

// Ends the benchmark when a call returned an error code.
inline void check(int err, const char* what) {
    if (err) die(std::string(what) + " failed with error " + std::to_string(err));
}

// The reference: every byte of the file, read in order in large blocks.
inline void plainRead(const std::string& path) {
    static std::vector<char> buf(1 << 20);
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) die("cannot open " + path);
    long total = 0;
    for (ssize_t n; (n = ::read(fd, buf.data(), buf.size())) > 0;)
        total += n;
    ::close(fd);
    if (total == 0) die("empty file " + path);
}

} // namespace bench
