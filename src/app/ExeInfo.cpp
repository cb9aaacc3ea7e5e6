#include "app/ExeInfo.h"

#include <cstdio>

TExeInfo::TExeInfo(const TVersionResource* Resource) : FHasResource(Resource != nullptr) {
  if (!Resource || Resource->Translations.empty()) return;
  const auto table = Resource->StringTables.find(TranslationKey(Resource->Translations.front()));
  if (table != Resource->StringTables.end()) FStrings = table->second;
}

std::string TExeInfo::Value(const std::string& Name) const {
  if (!FHasResource) return Placeholder;
  const auto it = FStrings.find(Name);
  return it == FStrings.end() ? std::string() : it->second;
}

std::string TExeInfo::TranslationKey(const TVersionTranslation& Translation) {
  char key[9];
  std::snprintf(key, sizeof key, "%04X%04X", unsigned{Translation.Language},
                unsigned{Translation.CodePage});
  return key;
}
