#pragma once

#include <memory>

#include "dataflow/SLMessageQueue.h"

// Binds the core's main-thread queue to Qt: every hidden window is a QObject that lives on
// the application's thread and receives the posted messages as events from Qt's loop.
class TQtMessageQueue final : public ISLMessageQueue {
public:
  std::unique_ptr<ISLHiddenWindow> CreateHiddenWindow(TWndMethod AWndProc) override;
};

// Call once on the GUI thread, after the QApplication exists and before any window that
// holds a meter is made.
void InstallQtMessageQueue();
