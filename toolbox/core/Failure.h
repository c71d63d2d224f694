// Failure scopes: CatchFailures runs a body and returns 0, or the first code raised inside it by
// FailOSErr. Unwinding uses a private exception caught only by CatchFailures, so destructors run
// and nothing escapes the scope. At most 16 scopes are active at once; a 17th returns memFullErr
// without running its body.
#pragma once
#include "resources/Types.h"
#include <new>
#include <utility>

namespace failure_detail {
struct Unwind {
    OSErr code;
};
bool enterFrame();
void leaveFrame();
int depth();
// Gives the frame back however the scope is left.
struct FrameGuard {
    ~FrameGuard() { leaveFrame(); }
};
} // namespace failure_detail

// Raises code (when non-zero) to the innermost CatchFailures. Outside any scope it aborts the
// program: that is a programming error.
void FailOSErr(OSErr code);
inline void FailNIL(const void* p) {
    if (!p) FailOSErr(memFullErr);
}

// A std::bad_alloc thrown by a container inside the body is reported as memFullErr.
template <class Body> OSErr CatchFailures(Body&& body) {
    if (!failure_detail::enterFrame()) return memFullErr;
    failure_detail::FrameGuard frame;
    try {
        std::forward<Body>(body)();
    } catch (const failure_detail::Unwind& u) {
        return u.code;
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    return noErr;
}
