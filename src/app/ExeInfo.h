#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One language and code-page pair of a version resource's translation table.
struct TVersionTranslation {
  uint16_t Language;
  uint16_t CodePage;
};

// The version strings of an executable: a translation table and, for each translation key
// ("040C04E4"), a string table from names ("FileVersion", ...) to values.
struct TVersionResource {
  std::vector<TVersionTranslation> Translations;
  std::map<std::string, std::map<std::string, std::string>> StringTables;
};

// The running executable's own version resource, embedded at build time.
const TVersionResource* ExeVersionResource();

// Reads the version strings once, when created. Without a resource every text is the
// placeholder; otherwise the first translation's string table answers, and a name it lacks
// (or a table that is missing altogether) gives an empty text.
class TExeInfo {
public:
  static constexpr const char* Placeholder = "Updated at run-time";

  explicit TExeInfo(const TVersionResource* Resource);

  std::string Value(const std::string& Name) const;
  std::string FileVersion() const { return Value("FileVersion"); }
  std::string LegalCopyright() const { return Value("LegalCopyright"); }
  std::string Comments() const { return Value("Comments"); }

  // The 8-digit upper-case hexadecimal key of a translation: language, then code page.
  static std::string TranslationKey(const TVersionTranslation& Translation);

private:
  bool FHasResource = false;
  std::map<std::string, std::string> FStrings;
};
