#pragma once

#include <QApplication>

// Widgets need one application object per process; the tests share it until the process ends.
inline void EnsureQApplication() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "stereolux_tests";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}
