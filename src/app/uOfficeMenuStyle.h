#pragma once

class QWidget;

// Gives a menu bar or a context menu, and the menus under it, the blue office look that all
// the program's menus share, with their "Tahoma" 8 pt font.
void ApplyOfficeMenuStyle(QWidget* Menu);
