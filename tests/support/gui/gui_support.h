// What the GUI tests share besides the recorder: a fixture that clears the harness's scripts and
// records around every test, and pixel probes of the backing images of ports.
#pragma once
#include "toolbox/gui/Quickdraw.h"
#include <cstdint>
#include <gtest/gtest.h>

// Forgets every dialog, file dialog and popup answer and record, the scripted pointer, the
// keyboard overrides and the beeps counted.
void ResetHarnessState();

// A GUI test that starts and ends with the harness cleared.
class HarnessTest : public ::testing::Test {
protected:
    void SetUp() override { ResetHarnessState(); }
    void TearDown() override { ResetHarnessState(); }
};

// The colour at local point (h, v) of port's image, as 0xRRGGBB (0 outside the image).
std::uint32_t PixelAt(GrafPtr port, int h, int v);
// Pixels of r that are black, and that are dark (grey below half: antialiased text).
int CountBlack(GrafPtr port, const Rect& r);
int CountDark(GrafPtr port, const Rect& r);
