#include "app/frmMain.h"
#include "app/uAppIcon.h"
#include "app/uApplication.h"
#include "app/uCommandLine.h"
#include "app/uLanguage.h"
#include "app/uQtMessageQueue.h"

#include <exception>
#include <optional>

int main(int argc, char* argv[]) {
  LoadTranslations(UiLanguage());
  const TCommandLine commandLine = ParseCommandLine(argc, argv);
  if (commandLine.Action != TCommandLine::Run) return AnswerCommandLine(commandLine);

  std::optional<TDisplayCheck> displayCheck(std::in_place);
  TApplication app(argc, argv);
  displayCheck.reset();
  InstallTranslations(app);
  ApplyAppIdentity();
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
