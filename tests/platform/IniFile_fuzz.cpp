// libFuzzer target for the INI reader and writer. Built with clang by scripts/test.sh.
// Checks, for any file content and any sequence of writes:
//  - nothing crashes or hangs;
//  - saving and reading again changes nothing more (and a pure ASCII file is kept byte for byte);
//  - every value written reads back as written (cut to the maximum length), before and
//    after a trip through the file's bytes, and whatever other keys were written since.

#include "platform/IniFile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

void Check(bool AOk, const char* AWhat) {
  if (!AOk) {
    std::fprintf(stderr, "INI fuzz check failed: %s\n", AWhat);
    std::abort();
  }
}

std::string Lower(std::string S) {
  for (char& C : S)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return S;
}

// Small names so that writes often hit the same sections and keys, and the file's own.
std::string PickName(FuzzedDataProvider& AData) {
  static const char* const Names[] = {"GUI", "gui", "AudioDevice", "Device", "device",
                                      "k",   "K",   "S",           "s"};
  if (AData.ConsumeBool())
    return Names[AData.ConsumeIntegralInRange<std::size_t>(0, std::size(Names) - 1)];
  return AData.ConsumeRandomLengthString(12);
}

std::size_t CharCount(const std::string& AUtf8) {
  std::size_t N = 0;
  for (char C : AUtf8)
    if ((static_cast<unsigned char>(C) & 0xC0) != 0x80) ++N;
  return N;
}

struct TWritten {
  std::string Section, Key;
  bool IsInteger;
  std::string Text;
  int32_t Number;
};

void CheckWritten(const TIniFile& AIni, const std::map<std::string, TWritten>& AWritten) {
  for (const auto& [Id, W] : AWritten) {
    if (W.IsInteger) {
      Check(AIni.ReadInteger(W.Section, W.Key, W.Number ^ 1) == W.Number, "integer reads back");
    } else if (CharCount(W.Text) <= TIniFile::MaxValueLength) {
      Check(AIni.ReadString(W.Section, W.Key, "\x01") == W.Text, "string reads back");
    } else {
      const std::string Read = AIni.ReadString(W.Section, W.Key, "");
      Check(CharCount(Read) == TIniFile::MaxValueLength && W.Text.starts_with(Read),
            "long string is cut");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  FuzzedDataProvider Data(AData, ASize);
  const std::string File = Data.ConsumeRandomLengthString(4096);

  TIniFile Ini = TIniFile::Parse(File);
  const std::string Saved = Ini.Bytes();
  Check(TIniFile::Parse(Saved).Bytes() == Saved, "saving is stable");
  bool Ascii = true;
  for (char C : File) Ascii = Ascii && static_cast<unsigned char>(C) < 0x80;
  if (Ascii) Check(Saved == File, "ASCII file kept byte for byte");

  std::map<std::string, TWritten> Written;
  const int Writes = Data.ConsumeIntegralInRange(0, 8);
  for (int I = 0; I < Writes && Data.remaining_bytes() > 0; ++I) {
    TWritten W{PickName(Data), PickName(Data), Data.ConsumeBool(), {}, 0};
    if (W.IsInteger)
      W.Number = Data.ConsumeIntegral<int32_t>();
    else
      W.Text = Data.ConsumeBool() ? std::string(Data.ConsumeIntegralInRange(2040, 2060), 'v')
                                  : Data.ConsumeRandomLengthString(64);
    try {
      if (W.IsInteger)
        Ini.WriteInteger(W.Section, W.Key, W.Number);
      else
        Ini.WriteString(W.Section, W.Key, W.Text);
    } catch (const std::invalid_argument&) {
      continue;  // a name or value that a file cannot hold
    }
    Written[Lower(W.Section) + '\n' + Lower(W.Key)] = W;
  }
  // Reads of keys nobody wrote must not disturb anything either.
  (void)Ini.ReadString(PickName(Data), PickName(Data), "");
  (void)Ini.ReadBool(PickName(Data), PickName(Data), true);

  CheckWritten(Ini, Written);
  const TIniFile Reread = TIniFile::Parse(Ini.Bytes());
  CheckWritten(Reread, Written);
  Check(Reread.Bytes() == Ini.Bytes(), "written file is stable");
  return 0;
}
