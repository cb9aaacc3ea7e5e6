#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

// Raised when an INI file cannot be written. The message is the one the user sees, the path
// followed by the system's reason ("Impossible d'écrire dans PATH : REASON");
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

  // Files larger than this are not read: they give an empty INI that Save will not write.
  static constexpr std::size_t MaxFileSize = std::size_t{16} << 20;

  TIniFile() = default;

  // Reads the file at APath. A missing or unreadable file gives an empty INI;
  // Save refuses to replace a file that exists but could not be read.
  static TIniFile Load(const std::string& APath);
  // Why the file could not be read; empty when it was read or does not exist.
  std::error_code LoadError() const noexcept { return FLoadError; }
  // Reads INI text from memory (any bytes; a byte-order mark selects the encoding).
  static TIniFile Parse(std::string_view ABytes);

  // The whole file as it would be saved, in its encoding.
  std::string Bytes() const;

  // Writes the whole file to FileName() atomically: a temporary file in the same folder,
  // flushed to disk, then renamed over the old one. A symbolic link is followed to its end,
  // which is written (and created when missing) in its own folder; the link stays. A file that is
  // read-only for the user is not replaced. On any failure the old file is left untouched and
  // EIniWriteError is raised.
  void Save() const;
  // Saves the same lines to APath, which becomes FileName().
  void SaveAs(const std::string& APath);

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

  // One line of FText: its text without the break, where it starts, where the next one starts.
  struct TLineRef {
    std::string_view Text;
    std::size_t Start;
    std::size_t Next;
  };

  static TIniFile FromBytes(std::string ABytes);
  TLineRef LineAt(std::size_t AStart) const;
  // The first section line that starts at or after AFrom, itself the start of a line.
  std::optional<TLineRef> NextSection(std::size_t AFrom) const;
  std::optional<TLineRef> FindSection(std::string_view ASection) const;
  // Where the next section line starts, or the end of the text.
  std::size_t SectionEnd(const TLineRef& ASection) const;
  std::optional<TLineRef> FindKey(const TLineRef& ASection, std::string_view AKey) const;
  // Where a key that the section lacks is inserted.
  std::size_t NewKeyPos(const TLineRef& ASection) const;
  std::optional<std::string_view> FindRawValue(std::string_view ASection,
                                               std::string_view AKey) const;
  std::string NewLineBreak() const;

  // The whole text in UTF-8, line breaks included: one buffer, so memory stays a small multiple
  // of the file's size however its lines are cut.
  std::string FText;
  TEncoding FEncoding = TEncoding::Utf8;
  std::string FFileName;
  // Set when the file exists but could not be read: saving would destroy what it holds.
  std::error_code FLoadError;
};
