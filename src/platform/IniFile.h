#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// Raised when an INI file cannot be written. The message is the one the user sees;
// the path and the system's reason are kept apart for callers that want them.
class EIniWriteError : public std::runtime_error {
public:
  EIniWriteError(const std::string& APath, std::error_code AReason);
  const std::string& Path() const noexcept { return FPath; }
  std::error_code Reason() const noexcept { return FReason; }

private:
  std::string FPath;
  std::error_code FReason;
};

// An INI file held in memory, read and written with the classic profile-file rules:
// sections and keys match without regard to ASCII letter case, the first matching
// section and key win, and every line the program does not write is kept as it stands.
// All text is UTF-8 in memory; the file keeps its encoding (UTF-8, with or without a
// byte-order mark, or UTF-16 with a byte-order mark). An 8-bit file that is not valid
// UTF-8 is read as Latin-1 and saved as UTF-8, so no character is lost either way.
//
// Typical use: Load, read every key, write the changed ones, Save once.
class TIniFile {
public:
  // Values longer than this many characters are cut when read.
  static constexpr std::size_t MaxValueLength = 2047;

  TIniFile() = default;

  // Reads the file at APath. A missing or unreadable file gives an empty INI;
  // Save refuses to replace a file that exists but could not be read.
  static TIniFile Load(const std::string& APath);
  // Reads INI text from memory (any bytes; a byte-order mark selects the encoding).
  static TIniFile Parse(std::string_view ABytes);

  // The whole file as it would be saved, in its encoding.
  std::string Bytes() const;

  // Writes the whole file to FileName() atomically: a temporary file in the same folder,
  // flushed to disk, then renamed over the old one. A file that is read-only for the user
  // is not replaced. On any failure the old file is left untouched and EIniWriteError
  // is raised.
  void Save() const;

  const std::string& FileName() const noexcept { return FFileName; }

  // The value after the first "=", trimmed of spaces and tabs, without one pair of
  // enclosing double or single quotes, cut to MaxValueLength characters.
  std::string ReadString(std::string_view ASection, std::string_view AKey,
                         std::string_view ADefault) const;
  // A signed decimal in the 32-bit range, or up to eight hex digits after "$", "x",
  // "X", "0x" or "0X" taken as a 32-bit pattern; anything else gives ADefault.
  int32_t ReadInteger(std::string_view ASection, std::string_view AKey, int32_t ADefault) const;
  // An integer; any value but 0 is true.
  bool ReadBool(std::string_view ASection, std::string_view AKey, bool ADefault) const;

  // Replaces the key's value where it stands, or appends the key at the end of its
  // section, or appends the section at the end of the file. Section and key names must
  // be non-empty, without surrounding blanks, line breaks or NUL; a key may not hold "="
  // or start with "[", a section may not hold "]". Values may not hold line breaks or
  // NUL. Anything else raises std::invalid_argument and leaves the INI unchanged.
  // A value that would lose its surrounding blanks or quotes on reading is written
  // in quotes, so that it reads back as written.
  void WriteString(std::string_view ASection, std::string_view AKey, std::string_view AValue);
  void WriteInteger(std::string_view ASection, std::string_view AKey, int32_t AValue);
  void WriteBool(std::string_view ASection, std::string_view AKey, bool AValue);

  // Converts a value read as text by the integer rules above.
  static int32_t StrToIntDef(std::string_view AText, int32_t ADefault);

private:
  enum class TEncoding { Utf8, Utf8Bom, Utf16LE, Utf16BE };

  struct TLine {
    std::string Text;   // without its line break
    std::string Break;  // "\n", "\r\n", "\r" or empty for a last line without one
  };

  // Index of the section line, or Lines.size() for none.
  std::size_t FindSection(std::string_view ASection) const;
  // Index of the key's line within the section that starts at ASectionLine.
  std::size_t FindKey(std::size_t ASectionLine, std::string_view AKey) const;
  std::size_t SectionEnd(std::size_t ASectionLine) const;
  std::optional<std::string_view> FindRawValue(std::string_view ASection,
                                               std::string_view AKey) const;
  std::string NewLineBreak() const;

  std::vector<TLine> FLines;
  TEncoding FEncoding = TEncoding::Utf8;
  std::string FFileName;
  // Set when the file exists but could not be read: saving would destroy what it holds.
  std::error_code FLoadError;
};
