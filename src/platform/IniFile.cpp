#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <optional>
#include <random>

namespace {

constexpr char32_t ReplacementChar = 0xFFFD;

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

bool IsQuote(char C) { return C == '"' || C == '\''; }

std::string_view Trim(std::string_view S) {
  while (!S.empty() && IsBlank(S.front())) S.remove_prefix(1);
  while (!S.empty() && IsBlank(S.back())) S.remove_suffix(1);
  return S;
}

char LowerAscii(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; }

bool SameName(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I)
    if (LowerAscii(A[I]) != LowerAscii(B[I])) return false;
  return true;
}

// ---- UTF-8 and UTF-16 ----

// Length of the well-formed UTF-8 sequence at S[I] (overlong forms and surrogates are
// not well formed), or 0.
std::size_t Utf8SequenceLength(std::string_view S, std::size_t I) {
  const auto Byte = [&](std::size_t K) { return static_cast<unsigned char>(S[K]); };
  const unsigned char B0 = Byte(I);
  if (B0 < 0x80) return 1;
  std::size_t Len;
  unsigned char Lo = 0x80, Hi = 0xBF;  // bounds of the second byte
  if (B0 >= 0xC2 && B0 <= 0xDF) {
    Len = 2;
  } else if (B0 >= 0xE0 && B0 <= 0xEF) {
    Len = 3;
    if (B0 == 0xE0) Lo = 0xA0;
    if (B0 == 0xED) Hi = 0x9F;
  } else if (B0 >= 0xF0 && B0 <= 0xF4) {
    Len = 4;
    if (B0 == 0xF0) Lo = 0x90;
    if (B0 == 0xF4) Hi = 0x8F;
  } else {
    return 0;
  }
  if (I + Len > S.size()) return 0;
  if (Byte(I + 1) < Lo || Byte(I + 1) > Hi) return 0;
  for (std::size_t K = 2; K < Len; ++K)
    if ((Byte(I + K) & 0xC0) != 0x80) return 0;
  return Len;
}

bool IsValidUtf8(std::string_view S) {
  for (std::size_t I = 0; I < S.size();) {
    // Plain ASCII, the bulk of any INI file, eight bytes at a time.
    uint64_t Word;
    if (I + sizeof Word <= S.size()) {
      std::memcpy(&Word, S.data() + I, sizeof Word);
      if ((Word & 0x8080808080808080u) == 0) {
        I += sizeof Word;
        continue;
      }
    }
    const std::size_t Len = Utf8SequenceLength(S, I);
    if (Len == 0) return false;
    I += Len;
  }
  return true;
}

void AppendUtf8(std::string& Out, char32_t C) {
  if (C < 0x80) {
    Out += static_cast<char>(C);
  } else if (C < 0x800) {
    Out += static_cast<char>(0xC0 | (C >> 6));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Out += static_cast<char>(0xE0 | (C >> 12));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (C >> 18));
    Out += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  }
}

std::string Latin1ToUtf8(std::string_view S) {
  std::string Out;
  Out.reserve(S.size() + S.size() / 8);
  for (char C : S) AppendUtf8(Out, static_cast<unsigned char>(C));
  return Out;
}

// Code point of the well-formed sequence of length Len at S[I].
char32_t DecodeUtf8(std::string_view S, std::size_t I, std::size_t Len) {
  const auto Byte = [&](std::size_t K) {
    return static_cast<char32_t>(static_cast<unsigned char>(S[K]));
  };
  switch (Len) {
    case 1: return Byte(I);
    case 2: return ((Byte(I) & 0x1F) << 6) | (Byte(I + 1) & 0x3F);
    case 3: return ((Byte(I) & 0x0F) << 12) | ((Byte(I + 1) & 0x3F) << 6) | (Byte(I + 2) & 0x3F);
    default:
      return ((Byte(I) & 0x07) << 18) | ((Byte(I + 1) & 0x3F) << 12) | ((Byte(I + 2) & 0x3F) << 6) |
             (Byte(I + 3) & 0x3F);
  }
}

std::string Utf16ToUtf8(std::string_view S, bool ABigEndian) {
  const auto Unit = [&](std::size_t I) {
    const auto A = static_cast<unsigned char>(S[I]), B = static_cast<unsigned char>(S[I + 1]);
    return static_cast<char32_t>(ABigEndian ? (A << 8) | B : (B << 8) | A);
  };
  std::string Out;
  Out.reserve(S.size() / 2);
  std::size_t I = 0;
  for (; I + 1 < S.size(); I += 2) {
    const char32_t U = Unit(I);
    if (U >= 0xD800 && U <= 0xDBFF && I + 3 < S.size()) {
      const char32_t Low = Unit(I + 2);
      if (Low >= 0xDC00 && Low <= 0xDFFF) {
        AppendUtf8(Out, 0x10000 + ((U - 0xD800) << 10) + (Low - 0xDC00));
        I += 2;
        continue;
      }
    }
    AppendUtf8(Out, (U >= 0xD800 && U <= 0xDFFF) ? ReplacementChar : U);
  }
  if (I < S.size()) AppendUtf8(Out, ReplacementChar);  // odd byte left over
  return Out;
}

std::string Utf8ToUtf16(std::string_view S, bool ABigEndian) {
  std::string Out;
  Out.reserve(S.size() * 2);
  const auto Put = [&](char32_t U) {
    const char Hi = static_cast<char>(U >> 8), Lo = static_cast<char>(U & 0xFF);
    Out += ABigEndian ? Hi : Lo;
    Out += ABigEndian ? Lo : Hi;
  };
  for (std::size_t I = 0; I < S.size();) {
    const std::size_t Len = Utf8SequenceLength(S, I);
    const char32_t C = Len ? DecodeUtf8(S, I, Len) : ReplacementChar;
    I += Len ? Len : 1;
    if (C >= 0x10000) {
      Put(0xD800 + ((C - 0x10000) >> 10));
      Put(0xDC00 + ((C - 0x10000) & 0x3FF));
    } else {
      Put(C);
    }
  }
  return Out;
}

// The first ACount characters of a well-formed UTF-8 text.
std::string_view Utf8Prefix(std::string_view S, std::size_t ACount) {
  std::size_t I = 0;
  for (std::size_t N = 0; N < ACount && I < S.size(); ++N) {
    const std::size_t Len = Utf8SequenceLength(S, I);
    I += Len ? Len : 1;
  }
  return S.substr(0, I);
}

// ---- Lines ----

// The section name of a section line: the text between "[" and the last "]".
std::optional<std::string_view> SectionName(std::string_view ALine) {
  const std::string_view T = Trim(ALine);
  if (T.empty() || T.front() != '[') return std::nullopt;
  const std::size_t Close = T.rfind(']');
  if (Close == std::string_view::npos || Close == 0) return std::nullopt;
  return Trim(T.substr(1, Close - 1));
}

struct TKeyLine {
  std::string_view Name;
  std::size_t ValueStart;  // offset of the text after "="
};

std::optional<TKeyLine> KeyLine(std::string_view ALine) {
  const std::size_t Eq = ALine.find('=');
  if (Eq == std::string_view::npos) return std::nullopt;
  return TKeyLine{Trim(ALine.substr(0, Eq)), Eq + 1};
}

bool HasForbiddenChar(std::string_view S) {
  return S.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

void CheckName(std::string_view AName, const char* AWhat) {
  if (AName.empty() || Trim(AName).size() != AName.size() || HasForbiddenChar(AName) ||
      !IsValidUtf8(AName))
    throw std::invalid_argument(std::string("INI ") + AWhat + " name cannot be stored: \"" +
                                std::string(AName) + "\"");
}

// Joins texts into one string. GCC 12 at -O3 reports a false -Wrestrict (GCC bug 105329) for
// a one-character literal put before a std::string ("[" + Name), which inserts the literal at
// the front of the temporary; appending in order avoids that path.
std::string Concat(std::initializer_list<std::string_view> AParts) {
  std::size_t Size = 0;
  for (std::string_view P : AParts) Size += P.size();
  std::string Text;
  Text.reserve(Size);
  for (std::string_view P : AParts) Text.append(P);
  return Text;
}

// The value as it goes into the file: quoted when reading would otherwise strip blanks
// or a pair of quotes from it.
std::string EncodeValue(std::string_view AValue) {
  const bool NeedsQuotes =
      !AValue.empty() &&
      (IsBlank(AValue.front()) || IsBlank(AValue.back()) ||
       (AValue.size() >= 2 && IsQuote(AValue.front()) && AValue.front() == AValue.back()));
  return NeedsQuotes ? Concat({"\"", AValue, "\""}) : std::string(AValue);
}

std::string DecodeValue(std::string_view ARaw) {
  std::string_view V = Trim(ARaw);
  if (V.size() >= 2 && IsQuote(V.front()) && V.front() == V.back()) V = V.substr(1, V.size() - 2);
  return std::string(Utf8Prefix(V, TIniFile::MaxValueLength));
}

std::error_code LastError() { return {errno, std::generic_category()}; }

// ---- Files ----

struct TFd {
  int Fd = -1;
  ~TFd() {
    if (Fd >= 0) ::close(Fd);
  }
};

std::error_code ReadWholeFile(const std::string& APath, std::string& AOut, bool& AMissing) {
  AMissing = false;
  TFd F;
  // Non-blocking so that a FIFO in the file's place cannot hang the program.
  F.Fd = ::open(APath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (F.Fd < 0) {
    AMissing = errno == ENOENT || errno == ENOTDIR;
    return LastError();
  }
  struct stat St {};
  if (::fstat(F.Fd, &St) != 0) return LastError();
  if (S_ISDIR(St.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  if (!S_ISREG(St.st_mode)) return std::make_error_code(std::errc::invalid_argument);
  if (St.st_size > static_cast<off_t>(TIniFile::MaxFileSize))
    return std::make_error_code(std::errc::file_too_large);
  // One buffer of the file's size; a file that grows while it is read is cut off at the limit.
  AOut.resize(static_cast<std::size_t>(St.st_size) + 1);
  std::size_t Got = 0;
  for (;;) {
    if (Got == AOut.size()) {
      if (Got > TIniFile::MaxFileSize) return std::make_error_code(std::errc::file_too_large);
      AOut.resize(std::min(Got * 2, TIniFile::MaxFileSize + 1));
    }
    const ssize_t N = ::read(F.Fd, AOut.data() + Got, AOut.size() - Got);
    if (N < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (N == 0) break;
    Got += static_cast<std::size_t>(N);
  }
  AOut.resize(Got);
  return {};
}

std::error_code WriteAll(int AFd, std::string_view AData) {
  while (!AData.empty()) {
    const ssize_t N = ::write(AFd, AData.data(), AData.size());
    if (N < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    AData.remove_prefix(static_cast<std::size_t>(N));
  }
  return {};
}

std::string TempName(const std::filesystem::path& ATarget) {
  thread_local std::mt19937_64 Gen{std::random_device{}()};
  const std::string Name =
      Concat({".", ATarget.filename().string(), ".tmp", std::to_string(Gen() % 1000000000)});
  return (ATarget.parent_path() / Name).string();
}

// The file that a save replaces: APath, or the end of its chain of symbolic links, which may
// not exist yet. Relative links are taken from the folder of the link that holds them.
std::error_code FollowLinks(std::filesystem::path& APath) {
  namespace fs = std::filesystem;
  for (int Hops = 0; Hops < 40; ++Hops) {
    std::error_code Ec;
    if (!fs::is_symlink(APath, Ec)) return {};  // not a link, or nothing there yet
    const fs::path Next = fs::read_symlink(APath, Ec);
    if (Ec) return Ec;
    APath = Next.is_absolute() ? Next : APath.parent_path() / Next;
  }
  return std::make_error_code(std::errc::too_many_symbolic_link_levels);
}

void SyncFolder(const std::filesystem::path& AFolder) {
  TFd D;
  D.Fd = ::open(AFolder.empty() ? "." : AFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (D.Fd >= 0) ::fsync(D.Fd);  // the rename is done; a failure here loses nothing
}

}  // namespace

EIniWriteError::EIniWriteError(const std::string& APath, std::error_code AReason)
    : std::runtime_error("Impossible d'écrire dans " + APath +
                         (AReason ? " : " + AReason.message() : std::string())),
      FPath(APath),
      FReason(AReason) {}

TIniFile TIniFile::Load(const std::string& APath) {
  std::string Bytes;
  bool Missing = false;
  const std::error_code Err = ReadWholeFile(APath, Bytes, Missing);
  TIniFile Ini = Err ? TIniFile() : FromBytes(std::move(Bytes));
  Ini.FFileName = APath;
  if (Err && !Missing) Ini.FLoadError = Err;
  return Ini;
}

TIniFile TIniFile::Parse(std::string_view ABytes) { return FromBytes(std::string(ABytes)); }

TIniFile TIniFile::FromBytes(std::string ABytes) {
  TIniFile Ini;
  const auto StartsWith = [&](std::string_view Bom) {
    return std::string_view(ABytes).substr(0, Bom.size()) == Bom;
  };
  if (StartsWith("\xFF\xFE")) {
    Ini.FEncoding = TEncoding::Utf16LE;
    Ini.FText = Utf16ToUtf8(std::string_view(ABytes).substr(2), false);
  } else if (StartsWith("\xFE\xFF")) {
    Ini.FEncoding = TEncoding::Utf16BE;
    Ini.FText = Utf16ToUtf8(std::string_view(ABytes).substr(2), true);
  } else {
    if (StartsWith("\xEF\xBB\xBF")) {
      Ini.FEncoding = TEncoding::Utf8Bom;
      ABytes.erase(0, 3);
    }
    Ini.FText = IsValidUtf8(ABytes) ? std::move(ABytes) : Latin1ToUtf8(ABytes);
  }
  return Ini;
}

std::string TIniFile::Bytes() const {
  switch (FEncoding) {
    case TEncoding::Utf16LE: return "\xFF\xFE" + Utf8ToUtf16(FText, false);
    case TEncoding::Utf16BE: return "\xFE\xFF" + Utf8ToUtf16(FText, true);
    case TEncoding::Utf8Bom: return "\xEF\xBB\xBF" + FText;
    case TEncoding::Utf8: break;
  }
  return FText;
}

void TIniFile::Save() const {
  namespace fs = std::filesystem;
  if (FFileName.empty()) throw std::logic_error("TIniFile::Save: the INI has no file name");
  if (FLoadError) throw EIniWriteError(FFileName, FLoadError);

  // Write through a symbolic link rather than replace the link with a file; a link whose
  // target does not exist yet gets it created.
  fs::path Target = FFileName;
  if (const std::error_code Err = FollowLinks(Target)) throw EIniWriteError(FFileName, Err);

  struct stat Old {};
  const bool Existed = ::stat(Target.c_str(), &Old) == 0;
  // The rename would replace a read-only file as easily as any other; honour its mode.
  if (Existed && ::faccessat(AT_FDCWD, Target.c_str(), W_OK, AT_EACCESS) != 0)
    throw EIniWriteError(FFileName, LastError());

  std::string Tmp;
  TFd F;
  for (int Attempt = 0; Attempt < 100 && F.Fd < 0; ++Attempt) {
    Tmp = TempName(Target);
    F.Fd = ::open(Tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, Existed ? 0600 : 0666);
    if (F.Fd < 0 && errno != EEXIST) break;
  }
  if (F.Fd < 0) throw EIniWriteError(FFileName, LastError());

  const auto Fail = [&](std::error_code AReason) {
    ::close(F.Fd);
    F.Fd = -1;
    ::unlink(Tmp.c_str());
    throw EIniWriteError(FFileName, AReason);
  };
  if (Existed && ::fchmod(F.Fd, Old.st_mode & 07777) != 0) Fail(LastError());
  if (const std::error_code Err = WriteAll(F.Fd, Bytes())) Fail(Err);
  if (::fsync(F.Fd) != 0) Fail(LastError());
  const int Closed = ::close(F.Fd);
  F.Fd = -1;
  if (Closed != 0) {
    const std::error_code Err = LastError();
    ::unlink(Tmp.c_str());
    throw EIniWriteError(FFileName, Err);
  }
  if (::rename(Tmp.c_str(), Target.c_str()) != 0) {
    const std::error_code Err = LastError();
    ::unlink(Tmp.c_str());
    throw EIniWriteError(FFileName, Err);
  }
  SyncFolder(Target.parent_path());
}

TIniFile::TLineRef TIniFile::LineAt(std::size_t AStart) const {
  const std::size_t End = std::min(FText.find_first_of("\r\n", AStart), FText.size());
  std::size_t Next = End;
  if (End < FText.size())
    Next += (FText[End] == '\r' && End + 1 < FText.size() && FText[End + 1] == '\n') ? 2 : 1;
  return {std::string_view(FText).substr(AStart, End - AStart), AStart, Next};
}

// The scans below jump from one "[" or "=" to the next rather than walk every line, so that
// the blank lines and comments of a large file cost no more than a search for one character.

void TIniFile::SaveAs(const std::string& APath) {
  FFileName = APath;
  Save();
}

std::optional<TIniFile::TLineRef> TIniFile::NextSection(std::size_t AFrom) const {
  for (std::size_t Pos = AFrom; Pos < FText.size();) {
    const std::size_t Open = FText.find('[', Pos);
    if (Open == std::string::npos) break;
    std::size_t Start = Open;
    while (Start > Pos && IsBlank(FText[Start - 1])) --Start;
    const TLineRef L = LineAt(Start);
    if ((Start == Pos || FText[Start - 1] == '\n' || FText[Start - 1] == '\r') &&
        SectionName(L.Text))
      return L;
    Pos = LineAt(Open).Next;  // the rest of this line cannot open a section
  }
  return std::nullopt;
}

std::optional<TIniFile::TLineRef> TIniFile::FindSection(std::string_view ASection) const {
  for (auto L = NextSection(0); L; L = NextSection(L->Next))
    if (SameName(*SectionName(L->Text), ASection)) return L;
  return std::nullopt;
}

std::size_t TIniFile::SectionEnd(const TLineRef& ASection) const {
  const auto Next = NextSection(ASection.Next);
  return Next ? Next->Start : FText.size();
}

std::optional<TIniFile::TLineRef> TIniFile::FindKey(const TLineRef& ASection,
                                                    std::string_view AKey) const {
  const std::size_t End = SectionEnd(ASection);
  for (std::size_t Pos = ASection.Next; Pos < End;) {
    const std::size_t Eq = FText.find('=', Pos);
    if (Eq >= End) break;
    // Pos starts a line, so the search back stops at the latest at the break before it.
    const std::size_t Break = Eq == 0 ? std::string::npos : FText.find_last_of("\r\n", Eq - 1);
    const TLineRef L = LineAt(Break == std::string::npos ? 0 : Break + 1);
    if (SameName(KeyLine(L.Text)->Name, AKey)) return L;
    Pos = L.Next;
  }
  return std::nullopt;
}

std::size_t TIniFile::NewKeyPos(const TLineRef& ASection) const {
  // After the section's last non-blank line, so blank lines before the next section stay there.
  std::size_t Pos = SectionEnd(ASection);
  while (Pos > ASection.Next &&
         (IsBlank(FText[Pos - 1]) || FText[Pos - 1] == '\n' || FText[Pos - 1] == '\r'))
    --Pos;
  // Pos - 1 is the line's last non-blank character; its line ends where the next break does.
  return Pos == ASection.Next ? Pos : LineAt(Pos - 1).Next;
}

std::optional<std::string_view> TIniFile::FindRawValue(std::string_view ASection,
                                                       std::string_view AKey) const {
  const auto S = FindSection(ASection);
  if (!S) return std::nullopt;
  const auto K = FindKey(*S, AKey);
  if (!K) return std::nullopt;
  return K->Text.substr(KeyLine(K->Text)->ValueStart);
}

std::string TIniFile::ReadString(std::string_view ASection, std::string_view AKey,
                                 std::string_view ADefault) const {
  const auto Raw = FindRawValue(ASection, AKey);
  return Raw ? DecodeValue(*Raw) : std::string(ADefault);
}

int32_t TIniFile::ReadInteger(std::string_view ASection, std::string_view AKey,
                              int32_t ADefault) const {
  const auto Raw = FindRawValue(ASection, AKey);
  return Raw ? StrToIntDef(DecodeValue(*Raw), ADefault) : ADefault;
}

bool TIniFile::ReadBool(std::string_view ASection, std::string_view AKey, bool ADefault) const {
  return ReadInteger(ASection, AKey, ADefault ? 1 : 0) != 0;
}

int32_t TIniFile::StrToIntDef(std::string_view AText, int32_t ADefault) {
  std::string_view S = AText;
  bool Negative = false;
  if (!S.empty() && (S.front() == '+' || S.front() == '-')) {
    Negative = S.front() == '-';
    S.remove_prefix(1);
  }

  std::size_t HexPrefix = 0;
  if (S.starts_with("0x") || S.starts_with("0X"))
    HexPrefix = 2;
  else if (!S.empty() && (S.front() == '$' || S.front() == 'x' || S.front() == 'X'))
    HexPrefix = 1;

  if (HexPrefix) {
    S.remove_prefix(HexPrefix);
    if (S.empty() || S.size() > 8) return ADefault;
    uint32_t Pattern = 0;
    for (char C : S) {
      const char L = LowerAscii(C);
      uint32_t Digit;
      if (L >= '0' && L <= '9')
        Digit = static_cast<uint32_t>(L - '0');
      else if (L >= 'a' && L <= 'f')
        Digit = static_cast<uint32_t>(L - 'a' + 10);
      else
        return ADefault;
      Pattern = (Pattern << 4) | Digit;
    }
    if (Negative) Pattern = 0u - Pattern;
    return static_cast<int32_t>(Pattern);
  }

  if (S.empty()) return ADefault;
  constexpr int64_t Limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t Magnitude = 0;
  for (char C : S) {
    if (C < '0' || C > '9') return ADefault;
    Magnitude = Magnitude * 10 + (C - '0');
    if (Magnitude > Limit) return ADefault;
  }
  if (!Negative && Magnitude == Limit) return ADefault;
  return static_cast<int32_t>(Negative ? -Magnitude : Magnitude);
}

std::string TIniFile::NewLineBreak() const {
  const std::size_t At = FText.find_first_of("\r\n");
  if (At == std::string::npos) return "\n";
  return FText.compare(At, 2, "\r\n") == 0 ? "\r\n" : FText.substr(At, 1);
}

void TIniFile::WriteString(std::string_view ASection, std::string_view AKey,
                           std::string_view AValue) {
  CheckName(ASection, "section");
  if (ASection.find(']') != std::string_view::npos)
    throw std::invalid_argument("INI section name cannot hold \"]\": \"" + std::string(ASection) +
                                "\"");
  CheckName(AKey, "key");
  if (AKey.find('=') != std::string_view::npos || AKey.front() == '[')
    throw std::invalid_argument("INI key name cannot hold \"=\" or start with \"[\": \"" +
                                std::string(AKey) + "\"");
  if (HasForbiddenChar(AValue) || !IsValidUtf8(AValue))
    throw std::invalid_argument("INI value cannot hold line breaks, NUL or invalid UTF-8");

  const std::string Value = EncodeValue(AValue);
  const std::string Break = NewLineBreak();
  // New lines start where a line starts; only the file's last line can lack a break.
  const auto InsertLineAt = [&](std::size_t APos, const std::string& AText) {
    if (APos == FText.size() && !FText.empty() && FText.back() != '\n' && FText.back() != '\r') {
      FText += Break;
      APos = FText.size();
    }
    FText.insert(APos, AText + Break);
  };

  const auto S = FindSection(ASection);
  if (!S) {
    InsertLineAt(FText.size(), Concat({"[", ASection, "]"}));
    InsertLineAt(FText.size(), std::string(AKey) + "=" + Value);
    return;
  }
  if (const auto K = FindKey(*S, AKey)) {
    // Keep the key as spelled in the file and the blanks around "=".
    std::size_t Keep = KeyLine(K->Text)->ValueStart;
    while (Keep < K->Text.size() && IsBlank(K->Text[Keep])) ++Keep;
    FText.replace(K->Start + Keep, K->Text.size() - Keep, Value);
    return;
  }
  InsertLineAt(NewKeyPos(*S), std::string(AKey) + "=" + Value);
}

void TIniFile::WriteInteger(std::string_view ASection, std::string_view AKey, int32_t AValue) {
  WriteString(ASection, AKey, std::to_string(AValue));
}

void TIniFile::WriteBool(std::string_view ASection, std::string_view AKey, bool AValue) {
  WriteString(ASection, AKey, AValue ? "1" : "0");
}
