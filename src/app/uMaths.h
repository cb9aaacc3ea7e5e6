#pragma once

#include <cstdint>

// Decibels of a level against a reference: 20 log10(|Value| / Reference). A zero level,
// or anything that gives no finite result, reads as the floor 20 log10(1 / Reference)
// instead, so a display always has a number to show. Reference must be positive
// (std::invalid_argument otherwise).
double AmplitudeToDB(int32_t Reference, double Value);

// Decibels against 65536: a full-scale 16-bit level (32767) reads about -6.0 and
// silence about -96.3, the scale the level readouts have always used.
double AmplitudeToDBFS(double Value);
