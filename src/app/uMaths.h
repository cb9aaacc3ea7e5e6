#pragma once

#include <cstdint>

// The level of Value against Reference in decibels; the sign of Value is ignored. A zero
// level, and any value that gives no finite result, reads as a level of 1.
double AmplitudeToDB(int32_t Reference, double Value);

// Decibels against 65536, the reference the readouts have always used: a full-scale 16-bit
// level reads -6.0 dBFS and silence -96.3 dBFS.
double AmplitudeToDBFS(double Value);
