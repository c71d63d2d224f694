// Drawing in the window benchmarks: a step is timed until the windows are drawn again.
#pragma once
#include "toolbox/gui/App.h"

namespace bench {

// Delivers pending updates, whose drawing is flushed to the views, then the views' paint events.
inline void paint() {
    ProcessPendingEvents();
    ProcessPendingEvents();
}

} // namespace bench
