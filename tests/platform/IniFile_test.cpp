#include "platform/IniFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& P) {
  std::ifstream In(P, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& P, const std::string& Bytes) {
  std::ofstream Out(P, std::ios::binary);
  Out << Bytes;
}

std::string Utf16LE(const std::string& Ascii) {
  std::string Out = "\xFF\xFE";
  for (char C : Ascii) {
    Out += C;
    Out += '\0';
  }
  return Out;
}

class TempFolder {
public:
  TempFolder() {
    std::string Templ = (fs::temp_directory_path() / "initest.XXXXXX").string();
    Path = ::mkdtemp(Templ.data());
    fs::permissions(Path, fs::perms(0755));  // reachable by the ordinary user below
  }
  ~TempFolder() {
    std::error_code Ec;
    fs::permissions(Path, fs::perms::owner_all, fs::perm_options::add, Ec);
    fs::remove_all(Path, Ec);
  }
  std::size_t EntryCount() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(Path), fs::directory_iterator()));
  }
  fs::path Path;
};

// Root ignores file permissions; the permission tests run as an ordinary user then.
class AsOrdinaryUser {
public:
  AsOrdinaryUser() : FWasRoot(::geteuid() == 0) {
    if (FWasRoot) FOk = ::seteuid(65534) == 0;
  }
  ~AsOrdinaryUser() {
    if (FWasRoot && FOk) {
      EXPECT_EQ(::seteuid(0), 0);
    }
  }
  bool Ok() const { return !FWasRoot || FOk; }

private:
  bool FWasRoot;
  bool FOk = false;
};

}  // namespace

// ---- Reading values ----

struct IntCase {
  const char* Text;
  int32_t Expected;
};

class IniIntegerText : public testing::TestWithParam<IntCase> {};

TEST_P(IniIntegerText, ReadsAsProfileInteger) {
  constexpr int32_t Default = 77;
  EXPECT_EQ(TIniFile::StrToIntDef(GetParam().Text, Default), GetParam().Expected)
      << '"' << GetParam().Text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Forms, IniIntegerText,
    testing::Values(IntCase{"100", 100}, IntCase{"+5", 5}, IntCase{"-12", -12},
                    IntCase{"0000000000042", 42}, IntCase{"2147483647", 2147483647},
                    IntCase{"-2147483648", std::numeric_limits<int32_t>::min()},
                    IntCase{"0x50", 80}, IntCase{"0X50", 80}, IntCase{"$50", 80},
                    IntCase{"x50", 80}, IntCase{"X50", 80}, IntCase{"$aBcD", 0xABCD},
                    IntCase{"-0x10", -16}, IntCase{"0xFFFFFFFF", -1},
                    // Anything else gives the default.
                    IntCase{"", 77}, IntCase{"yes", 77}, IntCase{"2147483648", 77},
                    IntCase{"-2147483649", 77}, IntCase{"99999999999999999999", 77},
                    IntCase{"0x123456789", 77}, IntCase{"0x", 77}, IntCase{"+-5", 77},
                    IntCase{"5a", 77}, IntCase{"1.5", 77}, IntCase{" 5", 77}, IntCase{"0x1g", 77}));

TEST(IniRead, IntegersAndBooleansComeFromTheTrimmedUnquotedValue) {
  const TIniFile Ini = TIniFile::Parse(
      "[GUI]\n"
      "GUIShowPnlConfig=yes\n"
      "ShowPeak=2\n"
      "Off = 0 \n"
      "Empty=\n"
      "[AudioSource]\n"
      "InLevelCoefLeft=0x50\n"
      "InLevelCoefRight=  '150'  \n");
  EXPECT_TRUE(Ini.ReadBool("GUI", "GUIShowPnlConfig", true));
  EXPECT_FALSE(Ini.ReadBool("GUI", "GUIShowPnlConfig", false));
  EXPECT_TRUE(Ini.ReadBool("GUI", "ShowPeak", false));
  EXPECT_FALSE(Ini.ReadBool("GUI", "Off", true));
  EXPECT_TRUE(Ini.ReadBool("GUI", "Empty", true));
  EXPECT_TRUE(Ini.ReadBool("GUI", "Missing", true));
  EXPECT_EQ(Ini.ReadInteger("AudioSource", "InLevelCoefLeft", 100), 80);
  EXPECT_EQ(Ini.ReadInteger("AudioSource", "InLevelCoefRight", 100), 150);
  EXPECT_EQ(Ini.ReadInteger("Elsewhere", "InLevelCoefLeft", 100), 100);
}

TEST(IniRead, StringsAreTrimmedAndLoseOnePairOfQuotes) {
  const TIniFile Ini = TIniFile::Parse(
      "[S]\n"
      "plain=  Micro USB \t\n"
      "dq=\" padded \"\n"
      "sq='single'\n"
      "mixed=\"mixed'\n"
      "lone=\"\n"
      "nested=\"\"twice\"\"\n"
      "inner=a \"b\" c\n"
      "eq=a=b=c\n"
      "empty=\n"
      "noequals\n");
  EXPECT_EQ(Ini.ReadString("S", "plain", "-"), "Micro USB");
  EXPECT_EQ(Ini.ReadString("S", "dq", "-"), " padded ");
  EXPECT_EQ(Ini.ReadString("S", "sq", "-"), "single");
  EXPECT_EQ(Ini.ReadString("S", "mixed", "-"), "\"mixed'");
  EXPECT_EQ(Ini.ReadString("S", "lone", "-"), "\"");
  EXPECT_EQ(Ini.ReadString("S", "nested", "-"), "\"twice\"");
  EXPECT_EQ(Ini.ReadString("S", "inner", "-"), "a \"b\" c");
  EXPECT_EQ(Ini.ReadString("S", "eq", "-"), "a=b=c");
  EXPECT_EQ(Ini.ReadString("S", "empty", "-"), "");
  EXPECT_EQ(Ini.ReadString("S", "noequals", "-"), "-");
  EXPECT_EQ(Ini.ReadString("S", "absent", "-"), "-");
}

TEST(IniRead, LongValuesAreCutAt2047Characters) {
  const std::string Ascii(3000, 'a');
  std::string Wide;  // two-byte characters must not be cut in half
  for (int I = 0; I < 2100; ++I) Wide += "\xC3\xA9";
  const TIniFile Ini =
      TIniFile::Parse("[S]\nascii=" + Ascii + "\nexact=" + Ascii.substr(0, 2047) + "\nquoted=\"" +
                      Ascii.substr(0, 2047) + "\"\nwide=" + Wide + "\n");
  EXPECT_EQ(Ini.ReadString("S", "ascii", ""), Ascii.substr(0, 2047));
  EXPECT_EQ(Ini.ReadString("S", "exact", ""), Ascii.substr(0, 2047));
  EXPECT_EQ(Ini.ReadString("S", "quoted", ""), Ascii.substr(0, 2047));
  EXPECT_EQ(Ini.ReadString("S", "wide", ""), Wide.substr(0, 2 * 2047));
}

TEST(IniRead, NamesMatchWithoutCaseAndTheFirstMatchWins) {
  const TIniFile Ini = TIniFile::Parse(
      "orphan=before any section\n"
      "[audiodevice]\n"
      "device=first\n"
      "DEVICE=second\n"
      "[ GUI ]\n"
      "k=gui\n"
      "[AudioDevice]\n"
      "Device=third\n"
      "DeviceLine=only here\n");
  EXPECT_EQ(Ini.ReadString("AudioDevice", "Device", ""), "first");
  EXPECT_EQ(Ini.ReadString("AUDIODEVICE", "device", ""), "first");
  EXPECT_EQ(Ini.ReadString("gui", "K", ""), "gui");
  EXPECT_EQ(Ini.ReadString("AudioDevice", "DeviceLine", "none"), "none");
  EXPECT_EQ(Ini.ReadString("", "orphan", "none"), "none");
}

// ---- Writing values ----

TEST(IniWrite, ANewFileHoldsTheSectionsAndKeysInWritingOrder) {
  TIniFile Ini;
  Ini.WriteString("AudioDevice", "Device", "");
  Ini.WriteString("AudioDevice", "DeviceLine", "");
  Ini.WriteBool("AudioDevice", "ShowPeak", true);
  Ini.WriteBool("AudioDevice", "ShowPeakDBFS", false);
  Ini.WriteBool("GUI", "GUIShowPnlLevel", false);
  Ini.WriteBool("GUI", "GUIShowPnlConfig", true);
  Ini.WriteInteger("AudioSource", "InLevelCoefLeft", 100);
  Ini.WriteInteger("AudioSource", "InLevelCoefRight", -7);
  EXPECT_EQ(Ini.Bytes(),
            "[AudioDevice]\nDevice=\nDeviceLine=\nShowPeak=1\nShowPeakDBFS=0\n"
            "[GUI]\nGUIShowPnlLevel=0\nGUIShowPnlConfig=1\n"
            "[AudioSource]\nInLevelCoefLeft=100\nInLevelCoefRight=-7\n");
}

TEST(IniWrite, ReplacesInPlaceAppendsMissingKeysAndSectionsAndKeepsTheRest) {
  TIniFile Ini = TIniFile::Parse(
      "; my settings\r\n"
      "[gui]\r\n"
      "  guishowpnlconfig = 0 ; old\r\n"
      "# note\r\n"
      "\r\n"
      "[Mine]\r\n"
      "colour=blue\r\n"
      "[audiodevice]\r\n"
      "device=old name");
  Ini.WriteBool("GUI", "GUIShowPnlConfig", true);
  Ini.WriteBool("GUI", "GUIShowPnlLevel", false);
  Ini.WriteString("AudioDevice", "Device", "Micro");
  Ini.WriteString("AudioDevice", "DeviceLine", "Ligne");
  Ini.WriteInteger("AudioSource", "InLevelCoefLeft", 120);
  EXPECT_EQ(Ini.Bytes(),
            "; my settings\r\n"
            "[gui]\r\n"
            "  guishowpnlconfig = 1\r\n"
            "# note\r\n"
            "GUIShowPnlLevel=0\r\n"
            "\r\n"
            "[Mine]\r\n"
            "colour=blue\r\n"
            "[audiodevice]\r\n"
            "device=Micro\r\n"
            "DeviceLine=Ligne\r\n"
            "[AudioSource]\r\n"
            "InLevelCoefLeft=120\r\n");
}

TEST(IniWrite, AwkwardValuesReadBackAsWritten) {
  const std::string Long(2047, 'z');
  const std::string Values[] = {
      "",    " lead", "trail\t",         "\"quoted\"",      "'single'",           "\"", "'x\"",
      "\" ", "a=b",   "[not a section]", "; not a comment", "Entrée ligne 1 — ♪", Long};
  TIniFile Ini;
  for (const std::string& V : Values) {
    Ini.WriteString("S", "k", V);
    EXPECT_EQ(Ini.ReadString("S", "k", "-"), V);
    EXPECT_EQ(TIniFile::Parse(Ini.Bytes()).ReadString("S", "k", "-"), V);
  }
  EXPECT_EQ(Ini.Bytes(), "[S]\nk=" + Long + "\n");  // one key, rewritten each time
}

TEST(IniWrite, NamesAndValuesThatCannotBeStoredAreRefused) {
  struct Case {
    const char* Section;
    const char* Key;
    std::string Value;
  };
  const Case Cases[] = {
      {"", "k", "v"},           {" S", "k", "v"},   {"S]", "k", "v"},
      {"S\n", "k", "v"},        {"S", "", "v"},     {"S", "k ", "v"},
      {"S", "a=b", "v"},        {"S", "[k", "v"},   {"S", "k\r", "v"},
      {"S", "k", "two\nlines"}, {"S", "k", "cr\r"}, {"S", "k", std::string("n\0l", 3)},
      {"S", "k", "\xC3"},       {"\xFF", "k", "v"},
  };
  TIniFile Ini = TIniFile::Parse("[S]\nk=kept\n");
  for (const Case& C : Cases)
    EXPECT_THROW(Ini.WriteString(C.Section, C.Key, C.Value), std::invalid_argument)
        << C.Section << "/" << C.Key << "/" << C.Value;
  EXPECT_EQ(Ini.Bytes(), "[S]\nk=kept\n");
}

// ---- Encodings ----

TEST(IniEncoding, Utf16FilesStayUtf16InTheirByteOrder) {
  TIniFile Le = TIniFile::Parse(Utf16LE("[GUI]\r\nGUIShowPnlConfig=0\r\n"));
  EXPECT_FALSE(Le.ReadBool("GUI", "GUIShowPnlConfig", true));
  Le.WriteBool("GUI", "GUIShowPnlConfig", true);
  Le.WriteString("AudioDevice", "Device",
                 "Entrée \xF0\x9F\x8E\xA4");  // beyond the BMP: a surrogate pair
  const std::string Expected =
      Utf16LE("[GUI]\r\nGUIShowPnlConfig=1\r\n[AudioDevice]\r\nDevice=Entr") +
      std::string("\xE9\0e\0 \0<\xD8\xA4\xDF\r\0\n\0", 14);
  EXPECT_EQ(Le.Bytes(), Expected);
  EXPECT_EQ(TIniFile::Parse(Le.Bytes()).ReadString("AudioDevice", "Device", ""),
            "Entrée \xF0\x9F\x8E\xA4");

  TIniFile Be = TIniFile::Parse(std::string("\xFE\xFF\0[\0S\0]\0\n\0k\0=\x01\x42", 16));
  EXPECT_EQ(Be.ReadString("S", "k", ""), "\xC5\x82");  // U+0142
  Be.WriteString("S", "k", "A");
  EXPECT_EQ(Be.Bytes(), std::string("\xFE\xFF\0[\0S\0]\0\n\0k\0=\0A", 16));
}

TEST(IniEncoding, Utf8KeepsItsByteOrderMarkAndLatin1BecomesUtf8) {
  TIniFile Bom = TIniFile::Parse("\xEF\xBB\xBF[S]\nk=1\n");
  Bom.WriteInteger("S", "k", 2);
  EXPECT_EQ(Bom.Bytes(), "\xEF\xBB\xBF[S]\nk=2\n");

  // A legacy 8-bit file: "é" as one byte.
  TIniFile Latin = TIniFile::Parse("[S]\nname=Entr\xE9\x65\nk=1\n");
  EXPECT_EQ(Latin.ReadString("S", "name", ""), "Entrée");
  Latin.WriteInteger("S", "k", 2);
  EXPECT_EQ(Latin.Bytes(), "[S]\nname=Entrée\nk=2\n");
}

// ---- Files ----

TEST(IniFileOnDisk, MissingFileReadsEmptyAndSaveCreatesIt) {
  TempFolder Dir;
  const fs::path P = Dir.Path / "stereolux.ini";
  TIniFile Ini = TIniFile::Load(P.string());
  EXPECT_EQ(Ini.FileName(), P.string());
  EXPECT_EQ(Ini.ReadInteger("AudioSource", "InLevelCoefLeft", 100), 100);
  Ini.WriteString("AudioDevice", "Device", "Micro");
  Ini.Save();
  EXPECT_EQ(ReadFile(P), "[AudioDevice]\nDevice=Micro\n");
  EXPECT_EQ(Dir.EntryCount(), 1u);  // no temporary file left behind
  EXPECT_EQ(TIniFile::Load(P.string()).ReadString("audiodevice", "device", ""), "Micro");
}

TEST(IniFileOnDisk, SaveKeepsTheFileModeAndWritesThroughSymbolicLinks) {
  TempFolder Dir;
  const fs::path Real = Dir.Path / "real.ini", Link = Dir.Path / "link.ini";
  WriteFile(Real, "[S]\nk=1\n");
  fs::permissions(Real, fs::perms(0640));
  fs::create_symlink(Real, Link);
  TIniFile Ini = TIniFile::Load(Link.string());
  Ini.WriteInteger("S", "k", 2);
  Ini.Save();
  EXPECT_TRUE(fs::is_symlink(Link));
  EXPECT_EQ(ReadFile(Real), "[S]\nk=2\n");
  EXPECT_EQ(fs::status(Real).permissions(), fs::perms(0640));

  // A link made before the first run, through a relative link to a link in another folder,
  // to a file that does not exist yet: the file is created at the end of the chain.
  fs::create_directories(Dir.Path / "dotfiles" / "conf");
  fs::create_symlink("conf/stereolux.ini", Dir.Path / "dotfiles" / "hop.ini");
  fs::create_symlink("dotfiles/hop.ini", Dir.Path / "stereolux.ini");
  TIniFile Fresh = TIniFile::Load((Dir.Path / "stereolux.ini").string());
  Fresh.WriteString("GUI", "k", "v");
  Fresh.Save();
  EXPECT_TRUE(fs::is_symlink(Dir.Path / "stereolux.ini"));
  EXPECT_TRUE(fs::is_symlink(Dir.Path / "dotfiles" / "hop.ini"));
  EXPECT_EQ(ReadFile(Dir.Path / "dotfiles" / "conf" / "stereolux.ini"), "[GUI]\nk=v\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path / "dotfiles" / "conf"),
                          fs::directory_iterator()),
            1);
}

TEST(IniFileOnDisk, UnwritablePlacesFailWithThePathAndLeaveTheOldFile) {
  TempFolder Dir;
  const fs::path P = Dir.Path / "stereolux.ini";
  const std::string Old = "; mine\n[GUI]\nGUIShowPnlConfig=0\n";
  WriteFile(P, Old);
  fs::permissions(P, fs::perms(0644));
  TIniFile Ini = TIniFile::Load(P.string());
  Ini.WriteBool("GUI", "GUIShowPnlConfig", true);

  const auto ExpectFailure = [&](const char* AWhy) {
    try {
      Ini.Save();
      ADD_FAILURE() << AWhy << ": no error";
    } catch (const EIniWriteError& E) {
      EXPECT_EQ(E.Path(), P.string());
      EXPECT_TRUE(E.Reason()) << AWhy;
      EXPECT_EQ(std::string(E.what()),
                "Impossible d'écrire dans " + P.string() + " : " + E.Reason().message())
          << AWhy;
    }
    EXPECT_EQ(ReadFile(P), Old) << AWhy;
    EXPECT_EQ(Dir.EntryCount(), 1u) << AWhy;
  };

  {
    fs::permissions(Dir.Path, fs::perms(0555));
    AsOrdinaryUser User;
    if (!User.Ok()) GTEST_SKIP() << "cannot leave root to test permissions";
    ExpectFailure("read-only folder");
  }
  {
    fs::permissions(Dir.Path, fs::perms(0777));  // the folder itself open to anyone
    fs::permissions(P, fs::perms(0444));
    AsOrdinaryUser User;
    ExpectFailure("read-only file");
  }
  fs::permissions(P, fs::perms(0644));
  Ini.Save();
  EXPECT_EQ(ReadFile(P), "; mine\n[GUI]\nGUIShowPnlConfig=1\n");
}

TEST(IniFileOnDisk, AFullDiskLeavesTheOldFileWhole) {
  TempFolder Dir;
  const fs::path P = Dir.Path / "stereolux.ini";
  WriteFile(P, "[S]\nk=old\n");
  TIniFile Ini = TIniFile::Load(P.string());
  Ini.WriteString("S", "k", std::string(4000, 'n'));

  // A file-size limit makes the write fail part-way, as a full disk would.
  rlimit Saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &Saved), 0);
  const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit Small = Saved;
  Small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
  EXPECT_THROW(Ini.Save(), EIniWriteError);
  ::setrlimit(RLIMIT_FSIZE, &Saved);
  std::signal(SIGXFSZ, OldHandler);

  EXPECT_EQ(ReadFile(P), "[S]\nk=old\n");
  EXPECT_EQ(Dir.EntryCount(), 1u);
}

// Things in the file's place that cannot be read as an INI file: each gives the defaults,
// says why, and is left as it is by a save.
struct UnreadableCase {
  const char* Name;
  void (*Make)(const fs::path&);
  std::errc Reason;
};

class IniUnreadable : public ::testing::TestWithParam<UnreadableCase> {};

TEST_P(IniUnreadable, GivesTheDefaultsAndIsNotReplaced) {
  TempFolder Dir;
  const fs::path P = Dir.Path / "stereolux.ini";
  GetParam().Make(P);
  const auto Before = fs::symlink_status(P).type();
  TIniFile Ini = TIniFile::Load(P.string());
  EXPECT_EQ(Ini.LoadError(), std::make_error_code(GetParam().Reason));
  EXPECT_EQ(Ini.ReadInteger("S", "k", 5), 5);
  Ini.WriteInteger("S", "k", 1);
  try {
    Ini.Save();
    ADD_FAILURE() << "saved over it";
  } catch (const EIniWriteError& E) {
    EXPECT_EQ(E.Reason(), std::make_error_code(GetParam().Reason));
  }
  EXPECT_EQ(fs::symlink_status(P).type(), Before);
  if (fs::is_regular_file(fs::symlink_status(P))) {
    EXPECT_EQ(fs::file_size(P), TIniFile::MaxFileSize + 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    IniFileOnDisk, IniUnreadable,
    ::testing::Values(
        UnreadableCase{"Folder", [](const fs::path& P) { fs::create_directory(P); },
                       std::errc::is_a_directory},
        UnreadableCase{"Fifo", [](const fs::path& P) { ASSERT_EQ(::mkfifo(P.c_str(), 0644), 0); },
                       std::errc::invalid_argument},
        UnreadableCase{"LinkLoop",
                       [](const fs::path& P) {
                         fs::create_symlink("other.ini", P);
                         fs::create_symlink(P.filename(), P.parent_path() / "other.ini");
                       },
                       std::errc::too_many_symbolic_link_levels},
        // Sparse: large on paper, nothing on the disk.
        UnreadableCase{"TooLarge",
                       [](const fs::path& P) {
                         WriteFile(P, "[S]\nk=2\n");
                         fs::resize_file(P, TIniFile::MaxFileSize + 1);
                       },
                       std::errc::file_too_large}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(IniFileOnDisk, AFileOfTheLargestSizeIsRead) {
  TempFolder Dir;
  const fs::path P = Dir.Path / "stereolux.ini";
  std::string Bytes(TIniFile::MaxFileSize, '\n');
  Bytes.replace(Bytes.size() - 9, 9, "[S]\nk=42\n");
  WriteFile(P, Bytes);
  TIniFile Ini = TIniFile::Load(P.string());
  EXPECT_FALSE(Ini.LoadError());
  EXPECT_EQ(Ini.ReadInteger("s", "K", 0), 42);
  Ini.WriteInteger("S", "k", 43);
  Ini.WriteInteger("T", "k", 1);
  Ini.Save();
  EXPECT_EQ(ReadFile(P), Bytes.substr(0, Bytes.size() - 3) + "43\n[T]\nk=1\n");
}
