#pragma once

#include <QSize>

#include <cstdint>

class TfmMain;

// Lays the configuration and level panels out for a client area ClientWidth wide: each keeps
// its design layout where that fits, and is otherwise stacked into rows that fit a narrow
// window (a vertical meter), so that every control stays whole. Sets the panels' heights.
void LayoutPanels(TfmMain& Form, int32_t ClientWidth);

// The smallest client area in which the meter (sixteen LEDs long, both bars whole) and the
// visible panels, as they are laid out now, are whole.
QSize MinimumClientSize(const TfmMain& Form);
