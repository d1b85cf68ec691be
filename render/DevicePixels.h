#pragma once

// Logical pixels are what the settings, margins, mouse positions and the
// projection fit count in; device pixels are what a window's buffer holds.
// They differ by the window's device pixel ratio (2 on a screen of twice the
// density, 1.25 or 1.5 on the ones between).

// A logical length in whole device pixels, rounded half away from zero as Qt
// sizes its native windows.
int DeviceLength(int logical, double ratio);

// The whole device pixels a line width or point size of the settings covers:
// the logical width times the ratio, rounded as DeviceLength, and never below
// one pixel for a positive width (a thin line stays visible). 0 for a width of
// 0 or less.
float DeviceLineWidth(float logical, double ratio);

// The logical pixels of a device length, rounded up so that room reserved by
// it holds the device pixels whole.
int LogicalCeil(int device, double ratio);
