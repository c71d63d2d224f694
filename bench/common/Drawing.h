// What the window benchmarks share: the start of the toolbox on a host platform, and a step
// timed until the windows are drawn again.
#pragma once
#include "model/PackageFile.h"
#include "toolbox/gui/App.h"
#include "toolbox/harness/Harness.h"

#include <QByteArray>
#include <QtGlobal>

namespace bench {

// The offscreen platform unless QT_QPA_PLATFORM names another; called before the application
// object is made.
inline void useOffscreenPlatform() {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The toolbox with the harness (its scripted pointer and dialog answers), the frame shown, and
// the pool of package entries. paramErr when there is no application object to start on.
inline OSErr startWindows() {
    if (!InitToolbox("Ortix-Kelvane")) return paramErr;
    harness::Install();
    ShowFrame(10);
    return initEntryPool();
}

// Delivers pending updates, whose drawing is flushed to the views, then the views' paint events.
inline void paint() {
    ProcessPendingEvents();
    ProcessPendingEvents();
}

} // namespace bench
