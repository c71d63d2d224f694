// What the GUI tests share besides the recorder: a fixture that clears the harness's scripts and
// records around every test, and pixel probes of the backing images of ports.
#pragma once
#include "toolbox/gui/Quickdraw.h"
#include <cstdint>
#include <functional>
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
// The pixels of r in port that differ from those of an off-screen port (reaching r's right and
// bottom edges, white) in which draw has drawn, the off-screen port current while it runs.
int DifferingPixels(GrafPtr port, const Rect& r, const std::function<void()>& draw);
