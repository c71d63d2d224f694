// A second start of the program, reduced to the single-instance guard: hands its command line
// to the running instance and ends with the guard's exit code (1), or 0 if it found none.
#include "toolbox/gui/SingleInstance.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!RunSingleInstanceGuard("Ortix-Kelvane MUTEX", QCoreApplication::arguments())) return 1;
    ReleaseSingleInstanceGuard();
    return 0;
}
