// The program's entry: hands the toolbox the application's name and the show state; the toolbox
// makes the frame window and calls the application's main routine.
#include "shell/Application.h"
#include "toolbox/gui/App.h"

int main(int argc, char** argv) {
    return ToolboxMain(argc, argv, kApplicationName, kDefaultShowState, applicationMain);
}
