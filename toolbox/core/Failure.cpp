// Failure scopes: a count of active frames and the raise that unwinds to the innermost one.
#include "toolbox/core/Failure.h"

#include <cstdio>
#include <cstdlib>

namespace {
constexpr int kMaxFrames = 16;
thread_local int gDepth = 0; // failure scopes belong to the thread that opened them
} // namespace

namespace failure_detail {

bool enterFrame() {
    if (gDepth >= kMaxFrames) return false;
    ++gDepth;
    return true;
}

void leaveFrame() {
    if (gDepth > 0) --gDepth;
}

int depth() {
    return gDepth;
}

} // namespace failure_detail

void FailOSErr(OSErr code) {
    if (code == noErr) return;
    if (gDepth == 0) {
        std::fprintf(stderr, "FailOSErr(%d) outside any failure scope\n", static_cast<int>(code));
        std::abort();
    }
    throw failure_detail::Unwind{code};
}
