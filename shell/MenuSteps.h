// The application's step before every menu enabling question, installed with the toolbox at
// start-up so that every window's enabling procedure gets it: the texts of Create (401) and
// Revert Package (403) are preset from the string table, and the Window menu (500) is rebuilt
// and enabled unless a modal dialog is up.
#pragma once

// Installs the step as the toolbox's shared pre-step (EnablingSteps.h).
void installMenuSteps();
