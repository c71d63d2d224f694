// Timing of benchmark steps: wall time and CPU time, in ms, best of several runs. The machine may
// be shared with other work: CPU time is what a step costs, wall time what it took.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <type_traits>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Whose CPU time a step is charged: this process, its finished children (a step that runs a
// command), or both.
enum class CpuOf { self, children, both };

// CPU time (user and system) so far, in ms.
inline double cpuMs(CpuOf who = CpuOf::both) {
    double total = 0;
    for (int w : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        if ((w == RUSAGE_SELF && who == CpuOf::children) ||
            (w == RUSAGE_CHILDREN && who == CpuOf::self))
            continue;
        rusage u{};
        getrusage(w, &u);
        total += double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
                 double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
    }
    return total;
}

struct Timing {
    double wall = 1e30, cpu = 1e30; // ms
};

// Times one run() and keeps each of its figures in b where it beats b's. A run() that returns
// false ends the program.
template <class Run> void keepBest(Timing& b, CpuOf who, Run run) {
    const double c = cpuMs(who);
    const auto t = Clock::now();
    if constexpr (std::is_same_v<decltype(run()), bool>) {
        if (!run()) {
            std::fprintf(stderr, "benchmark: a measured step failed\n");
            std::exit(1);
        }
    } else {
        run();
    }
    b.wall = std::min(b.wall, msSince(t));
    b.cpu = std::min(b.cpu, cpuMs(who) - c);
}
template <class Run> void keepBest(Timing& b, Run run) {
    keepBest(b, CpuOf::both, run);
}

// Best of `runs`: prepare() runs untimed before each run, run() is timed (each run must leave the
// same state behind). A run() that returns false ends the program.
template <class Prepare, class Run> Timing best(int runs, CpuOf who, Prepare prepare, Run run) {
    Timing b;
    for (int i = 0; i < runs; ++i) {
        prepare();
        keepBest(b, who, run);
    }
    return b;
}
template <class Run> Timing best(int runs, CpuOf who, Run run) {
    return best(
        runs, who, [] {}, run);
}
// Best of three, charged to this process and its children.
template <class Prepare, class Run> Timing best(Prepare prepare, Run run) {
    return best(3, CpuOf::both, prepare, run);
}
template <class Run> Timing best(Run run) {
    return best([] {}, run);
}

} // namespace bench
