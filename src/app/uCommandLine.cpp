#include "app/uCommandLine.h"

#include "app/ExeInfo.h"
#include "app/uLanguage.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

// Texts marked for the "CommandLine" context of the catalogue.
std::string Tr(const char* Source) { return Text("CommandLine", Source).toStdString(); }

std::string Arg(std::string Format, const std::string& Value) {
  const std::size_t at = Format.find("%1");
  if (at != std::string::npos) Format.replace(at, 2, Value);
  return Format;
}

// Qt's options that take a value, and those that stand alone; Qt reads them with one dash or
// two, and those with a value also as -option=value.
constexpr std::string_view QtOptionsWithValue[] = {
    "platform",   "platformpluginpath", "platformtheme", "plugin",          "display",
    "style",      "stylesheet",         "session",       "qwindowgeometry", "qwindowtitle",
    "qwindowicon"};
constexpr std::string_view QtOptions[] = {"reverse", "nograb", "dograb", "sync", "widgetcount"};

// The option's name without its dashes and without "=value".
std::string_view OptionName(std::string_view Arg) {
  Arg.remove_prefix(Arg.starts_with("--") ? 2 : 1);
  return Arg.substr(0, Arg.find('='));
}

}  // namespace

TCommandLine ParseCommandLine(int argc, const char* const* argv) {
  TCommandLine result;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      result.Action = TCommandLine::Help;
      return result;
    }
    if (arg == "-V" || arg == "--version") {
      result.Action = TCommandLine::Version;
      return result;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      result.Action = TCommandLine::Error;
      result.Message =
          Arg(Tr(QT_TRANSLATE_NOOP("CommandLine", "argument inattendu « %1 »")), std::string(arg));
      return result;
    }
    const std::string_view name = OptionName(arg);
    bool known = false;
    for (std::string_view option : QtOptions)
      if (name == option && arg.find('=') == std::string_view::npos) known = true;
    for (std::string_view option : QtOptionsWithValue) {
      if (name != option) continue;
      known = true;
      if (arg.find('=') == std::string_view::npos && ++i >= argc) {
        result.Action = TCommandLine::Error;
        result.Message =
            Arg(Tr(QT_TRANSLATE_NOOP("CommandLine", "l'option « %1 » demande une valeur")),
                std::string(arg));
        return result;
      }
    }
    if (!known) {
      result.Action = TCommandLine::Error;
      result.Message =
          Arg(Tr(QT_TRANSLATE_NOOP("CommandLine", "option inconnue « %1 »")), std::string(arg));
      return result;
    }
  }
  return result;
}

std::string UsageText() {
  return Tr(QT_TRANSLATE_NOOP(
      "CommandLine",
      "Utilisation : stereolux [OPTION]...\n"
      "Vumètre stéréo : affiche le niveau gauche et droit d'une entrée de la carte son.\n"
      "\n"
      "  -h, --help     affiche cette aide et quitte\n"
      "  -V, --version  affiche la version et quitte\n"
      "\n"
      "Les options de Qt (-platform, -display, -style...) sont transmises à Qt.\n"));
}

std::string VersionText() {
  const TExeInfo info(ExeVersionResource());
  return "stereolux " + info.FileVersion() + "\n" + info.LegalCopyright() + "\n";
}

int AnswerCommandLine(const TCommandLine& CommandLine) {
  switch (CommandLine.Action) {
    case TCommandLine::Help: std::fputs(UsageText().c_str(), stdout); break;
    case TCommandLine::Version: std::fputs(VersionText().c_str(), stdout); break;
    case TCommandLine::Error:
      std::fprintf(stderr, "stereolux: %s\n%s", CommandLine.Message.c_str(), UsageText().c_str());
      return 2;
    case TCommandLine::Run: return 0;
  }
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

namespace {

QtMessageHandler PreviousHandler = nullptr;

void DisplayCheckHandler(QtMsgType Type, const QMessageLogContext& Where, const QString& Message) {
  if (Type == QtFatalMsg) {
    std::fprintf(stderr, "stereolux: %s\n",
                 Tr(QT_TRANSLATE_NOOP("CommandLine",
                                      "aucun affichage utilisable (DISPLAY ou WAYLAND_DISPLAY)"))
                     .c_str());
    std::_Exit(1);
  }
  // What the platform plugins say on the way to that failure is not for the user.
  if (Where.category && std::strncmp(Where.category, "qt.qpa", 6) == 0) return;
  if (PreviousHandler)
    PreviousHandler(Type, Where, Message);
  else
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(Type, Where, Message)));
}

}  // namespace

TDisplayCheck::TDisplayCheck() { PreviousHandler = qInstallMessageHandler(DisplayCheckHandler); }

TDisplayCheck::~TDisplayCheck() { qInstallMessageHandler(PreviousHandler); }
