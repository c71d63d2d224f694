// The main() of the GUI test programs: a QApplication on the offscreen platform (unless another
// platform is asked for), the toolbox with its frame window and the application's standard
// commands, the test harness installed, then the tests.
#include "resources/Commands.h"
#include "toolbox/gui/App.h"
#include "toolbox/harness/Harness.h"
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    if (!InitToolbox("Ortix-Kelvane")) return 1;
    SetStandardCommands({.close = kCmdClose, .quit = kCmdExit});
    harness::Install();
    ShowFrame(10);
    const int rc = RUN_ALL_TESTS();
    DisposeToolbox();
    return rc;
}
