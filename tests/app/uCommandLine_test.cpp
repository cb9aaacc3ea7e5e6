// The command line and the interface's language, and the program run as a user runs it.
#include "app/uCommandLine.h"
#include "app/uLanguage.h"

#include <QCoreApplication>
#include <QTranslator>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

TEST(LanguageTest, FrenchUnlessTheLocaleNamesAnotherLanguage) {
  struct Case {
    std::map<std::string, const char*> env;
    TUiLanguage expected;
  };
  const Case cases[] = {
      {{}, TUiLanguage::French},
      {{{"LANG", "C"}}, TUiLanguage::French},
      {{{"LANG", "C.UTF-8"}}, TUiLanguage::French},
      {{{"LANG", "POSIX"}}, TUiLanguage::French},
      {{{"LANG", "fr_FR.UTF-8"}}, TUiLanguage::French},
      {{{"LANG", "fr_CA"}}, TUiLanguage::French},
      {{{"LANG", "en_US.UTF-8"}}, TUiLanguage::English},
      {{{"LANG", "de_DE.UTF-8"}}, TUiLanguage::English},
      // LC_ALL over LC_MESSAGES over LANG; an empty one counts as unset.
      {{{"LANG", "fr_FR.UTF-8"}, {"LC_MESSAGES", "en_GB.UTF-8"}}, TUiLanguage::English},
      {{{"LANG", "en_US.UTF-8"}, {"LC_ALL", "fr_BE.UTF-8"}}, TUiLanguage::French},
      {{{"LANG", "de_DE.UTF-8"}, {"LC_ALL", ""}}, TUiLanguage::English},
      {{{"LANG", "de_DE.UTF-8"}, {"LC_ALL", "C"}}, TUiLanguage::French},
  };
  for (const Case& c : cases) {
    const auto env = [&](const char* Name) -> const char* {
      const auto found = c.env.find(Name);
      return found == c.env.end() ? nullptr : found->second;
    };
    std::string where;
    for (const auto& [name, value] : c.env) where += name + "=" + value + " ";
    EXPECT_EQ(UiLanguage(env), c.expected) << where;
  }
}

TEST(CommandLineTest, OurOptionsAndQtsArePassedOthersRefused) {
  struct Case {
    std::vector<const char*> args;
    TCommandLine::TAction action;
  };
  const Case cases[] = {
      {{}, TCommandLine::Run},
      {{"--help"}, TCommandLine::Help},
      {{"-h"}, TCommandLine::Help},
      {{"--version"}, TCommandLine::Version},
      {{"-V"}, TCommandLine::Version},
      {{"-platform", "offscreen"}, TCommandLine::Run},
      {{"--platform=xcb", "-reverse", "-style", "fusion"}, TCommandLine::Run},
      {{"-session", "1234abcd"}, TCommandLine::Run},
      {{"-platform"}, TCommandLine::Error},
      {{"--bogus"}, TCommandLine::Error},
      {{"-reverse=1"}, TCommandLine::Error},
      {{"file.wav"}, TCommandLine::Error},
      {{"-"}, TCommandLine::Error},
      {{"-platform", "xcb", "--help"}, TCommandLine::Help},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"stereolux"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const TCommandLine parsed = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    std::string line;
    for (const char* a : c.args) line += std::string(a) + " ";
    EXPECT_EQ(parsed.Action, c.action) << line;
    EXPECT_EQ(parsed.Message.empty(), c.action != TCommandLine::Error) << line;
  }
}

TEST(LanguageTest, QtsOwnTextsAreFrenchWhereTheInterfaceIs) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  LoadTranslations(TUiLanguage::French);
  InstallTranslations(app);
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Annuler"));
}

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// Runs the program with a clean environment but for Env, without any display.
TRun RunProgram(const std::string& Env, const std::string& Args) {
  char errName[] = "/tmp/stereolux_cli_XXXXXX";
  const int errFile = mkstemp(errName);
  TRun run;
  if (errFile < 0) return run;
  close(errFile);
  const std::string command =
      "env -i PATH=/usr/bin:/bin " + Env + " " + STEREOLUX_BIN + " " + Args + " 2>" + errName;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.Out.append(buffer, got);
    const int status = pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  if (FILE* err = fopen(errName, "r")) {
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, err)) > 0) run.Err.append(buffer, got);
    fclose(err);
  }
  std::remove(errName);
  return run;
}

TEST(CommandLineProcessTest, AnswersAsLinuxToolsDo) {
  const TRun help = RunProgram("", "--help");
  EXPECT_EQ(help.Status, 0);
  EXPECT_EQ(help.Out.rfind("Utilisation : stereolux [OPTION]...\n", 0), 0u) << help.Out;
  EXPECT_EQ(help.Err, "");

  const TRun english = RunProgram("LANG=en_US.UTF-8", "-h");
  EXPECT_EQ(english.Status, 0);
  EXPECT_EQ(english.Out.rfind("Usage: stereolux [OPTION]...\n", 0), 0u) << english.Out;

  const TRun version = RunProgram("", "--version");
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out.rfind(std::string("stereolux ") + STEREOLUX_VERSION + "\n", 0), 0u)
      << version.Out;

  const TRun bad = RunProgram("LANG=de_DE.UTF-8", "--bogus");
  EXPECT_EQ(bad.Status, 2);
  EXPECT_EQ(bad.Out, "");
  EXPECT_EQ(bad.Err.rfind("stereolux: unknown option '--bogus'\nUsage: stereolux", 0), 0u)
      << bad.Err;

  // No display at all: one line and status 1, whichever platform Qt would have tried.
  for (const char* platform : {"", "QT_QPA_PLATFORM=xcb", "QT_QPA_PLATFORM=wayland"}) {
    const TRun headless = RunProgram(platform, "");
    EXPECT_EQ(headless.Status, 1) << platform << ": " << headless.Err;
    EXPECT_EQ(headless.Err, "stereolux: aucun affichage utilisable (DISPLAY ou WAYLAND_DISPLAY)\n")
        << platform;
  }
}

}  // namespace
