#include "app/uLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdlib>
#include <cstring>

namespace {

QTranslator& ProgramCatalogue() {
  static QTranslator* catalogue = new QTranslator;
  return *catalogue;
}

QTranslator& QtCatalogue() {
  static QTranslator* catalogue = new QTranslator;
  return *catalogue;
}

}  // namespace

TUiLanguage UiLanguage(const std::function<const char*(const char*)>& GetEnv) {
  const char* locale = nullptr;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    locale = GetEnv(name);
    if (locale && *locale) break;
  }
  if (!locale || !*locale || std::strcmp(locale, "C") == 0 || std::strncmp(locale, "C.", 2) == 0 ||
      std::strcmp(locale, "POSIX") == 0 || std::strncmp(locale, "fr", 2) == 0)
    return TUiLanguage::French;
  return TUiLanguage::English;
}

TUiLanguage UiLanguage() {
  return UiLanguage([](const char* Name) { return std::getenv(Name); });
}

void LoadTranslations(TUiLanguage Language) {
  if (Language == TUiLanguage::English) {
    // Qt's own texts are English already.
    [[maybe_unused]] const bool loaded =
        ProgramCatalogue().load(QStringLiteral(":/i18n/stereolux_en.qm"));
  } else {
    [[maybe_unused]] const bool loaded = QtCatalogue().load(
        QStringLiteral("qtbase_fr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  }
}

void InstallTranslations(QCoreApplication& /*App*/) {
  if (!ProgramCatalogue().isEmpty()) QCoreApplication::installTranslator(&ProgramCatalogue());
  if (!QtCatalogue().isEmpty()) QCoreApplication::installTranslator(&QtCatalogue());
}

QString Text(const char* Context, const char* Source) {
  const QString translated = ProgramCatalogue().translate(Context, Source);
  return translated.isEmpty() ? QString::fromUtf8(Source) : translated;
}
