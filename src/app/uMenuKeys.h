#pragma once

class TfmMain;

// The keys that reach the menus without a mouse: F10 opens the menu bar's first menu;
// Shift+F10 and the Menu key open the context menu, under the control that has the focus
// (a text field shows its own editing menu instead).
void InstallMenuKeys(TfmMain& Form);
