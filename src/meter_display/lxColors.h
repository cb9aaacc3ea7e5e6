#pragma once

#include <QColor>

#include <cstdint>

// A colour as the meter's properties store it: a plain RGB colour is 0x00BBGGRR, red in
// the low byte and the top byte 0.
using TColor = uint32_t;

constexpr TColor RGBToColor(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}

constexpr TColor clBlack = RGBToColor(0, 0, 0);
constexpr TColor clSilver = RGBToColor(192, 192, 192);
constexpr TColor clGray = RGBToColor(128, 128, 128);
constexpr TColor clLime = RGBToColor(0, 255, 0);
constexpr TColor clYellow = RGBToColor(255, 255, 0);
constexpr TColor clRed = RGBToColor(255, 0, 0);

// The top byte is ignored: only plain RGB colours are drawn.
inline QColor ColorToQColor(TColor c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}
