#include "app/frmMain.h"
#include "app/uApplication.h"
#include "app/uQtMessageQueue.h"

#include <exception>

int main(int argc, char* argv[]) {
  TApplication app(argc, argv);
  InstallQtMessageQueue();
  // An error while the main window is made leaves nothing to run: its text is shown and the
  // program ends.
  try {
    TfmMain fmMain;
    app.CloseOnTerminate(&fmMain);
    fmMain.show();
    return app.exec();
  } catch (const std::exception& E) {
    ShowException(E);
    return 1;
  }
}
