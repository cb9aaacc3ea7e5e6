#pragma once

#include <string>

// What the command line asks for. Qt's own options (-platform, -display, -style, -session
// and the like) are left for Qt; anything else that is not ours is an error.
struct TCommandLine {
  enum TAction { Run, Help, Version, Error };
  TAction Action = Run;
  std::string Message;  // for an error: what was wrong, in the interface's language
};

TCommandLine ParseCommandLine(int argc, const char* const* argv);

// The text of --help and of --version, in the interface's language.
std::string UsageText();
std::string VersionText();

// Answers --help, --version or a bad option as a Linux tool does: help and version on
// standard output with status 0, an error and the usage on standard error with status 2.
int AnswerCommandLine(const TCommandLine& CommandLine);

// While it lives, a toolkit that cannot reach a display ends the process with one line on
// standard error and status 1, not with an abort. The toolkit's own messages about it are
// held back; others pass.
class TDisplayCheck {
public:
  TDisplayCheck();
  ~TDisplayCheck();
  TDisplayCheck(const TDisplayCheck&) = delete;
  TDisplayCheck& operator=(const TDisplayCheck&) = delete;
};
