#include "core/files/program_file.h"

#include <gtest/gtest.h>

#include "core/files/config_file.h"
#include "core/files/file_fixture.h"
#include "core/files/raw_image.h"

namespace kvx {
namespace {

using Messages = std::vector<std::string>;

std::vector<int> Ramp(int words, int mask) {
  std::vector<int> w;
  for (int i = 0; i < words; ++i) w.push_back((i * 0x1357 + 0x8001) & mask);
  return w;
}

TEST(OpenProgramFile, BinLoadAndSaveReproduceTheFileWithoutBitsFourteenAndFifteen) {
  const struct {
    const char* device;
    int keep;  // the bits a word of the device holds
  } cases[] = {{"KVX-03", 0x3FFF}, {"KVX-43", 0x3FFF}, {"KVX-49", 0x07FF}};
  for (const auto& c : cases) {
    test::ScratchDir dir;
    auto ws = test::WorkspaceFor(c.device);
    const auto words = Ramp(ws->device.ProgramWords(), 0xFFFF);
    LoadReport r = OpenProgramFile(*ws, dir.Write("prog.bin", test::FileWords(words)));
    EXPECT_EQ(r.messages, Messages{}) << c.device;
    EXPECT_FALSE(r.stopped);
    std::vector<int> kept;
    for (int w : words) kept.push_back(w & c.keep);
    EXPECT_EQ(ProgramImage(*ws), test::FileWords(kept)) << c.device;
  }
}

TEST(OpenProgramFile, StopsWithTheOperatorsMessage) {
  test::ScratchDir dir;
  std::filesystem::create_directory(dir.Path("folder.bin"));
  std::filesystem::create_directory(dir.Path("v1.2"));
  const struct {
    std::string path;
    std::string message;
  } cases[] = {
      {dir.Path("missing.bin"), "File don't exist!"},
      {dir.Path("folder.bin"), "File can't open!"},
      {dir.Write("short.bin", std::string(1022, '\0')), "File size unmatch!"},
      {dir.Write("long.obj", std::string(1026, '\0')), "File size unmatch!"},
      {dir.Write("prog.txt", "text"), "File type incorrect!"},
      {dir.Write("v1.2/prog", std::string(1024, '\0')), "File type incorrect!"},
      {dir.Write("notes.kvh", "a note, not a program\r\n0000 1234\r\n"), "File holds no Intel HEX record!"},
      {dir.Write("empty.hex", ""), "File holds no Intel HEX record!"},
  };
  for (const auto& c : cases) {
    auto ws = test::WorkspaceFor("KVX-03");
    ws->files.LastProgramPath = "earlier.bin";  // what the workspace came from stays its name
    ws->image.OptionLow = 0x12;
    ws->image.ProgramBuffer[0] = 0x55;
    const OpenViews listingOpen{.disassemblyOpen = true};
    LoadReport r = OpenProgramFile(*ws, c.path, listingOpen);
    EXPECT_EQ(r.messages, Messages{c.message}) << c.path;
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(ws->image.OptionLow, 0x7F) << "the OPTION word is blanked before the file is looked at";
    EXPECT_EQ(ws->image.ProgramBuffer[0], 0x55) << "the program memory stays as it was: " << c.path;
    EXPECT_FALSE(r.rebuildBufferView);
    EXPECT_FALSE(r.closeDisassembly) << "a refused file leaves the listing open";
    EXPECT_EQ(ws->files.LastProgramPath, "earlier.bin") << c.path;
    EXPECT_EQ(SaveCfg(*ws).substr(0, 14), "kvxearlier.bin") << c.path;
  }
  // A file whose first record is the end record is an empty program, not a refused one.
  auto ws = test::WorkspaceFor("KVX-03");
  const std::string ended = dir.Write("ended.kvh", "junk\r\n:00000001FF\r\n");
  LoadReport r = OpenProgramFile(*ws, ended);
  EXPECT_EQ(r.messages, Messages{});
  EXPECT_FALSE(r.stopped);
  EXPECT_EQ(ws->files.LoadedLength, 0);
  EXPECT_EQ(ws->files.LastProgramPath, ended);
}

TEST(OpenProgramFile, ExtensionIsTheTextAfterTheLastDotInAnyCase) {
  test::ScratchDir dir;
  auto ws = test::WorkspaceFor("KVX-03");
  const std::string path = dir.Write("PROG.Bin", std::string(1024, '\0'));
  LoadReport r = OpenProgramFile(*ws, path);
  EXPECT_FALSE(r.stopped);
  EXPECT_EQ(ws->files.LastProgramPath, path);
  EXPECT_EQ(ws->files.BufferCaption, path);
  EXPECT_TRUE(r.rebuildBufferView);
  EXPECT_EQ(FileExtension("a.b/c"), "B/C");
  EXPECT_EQ(DialogFileName("dir/prog.v2.hex"), "dir/prog");
  EXPECT_EQ(DialogFileName("noext"), "") << "a path without a dot proposes no name";
}

TEST(OpenProgramFile, PicFilesAreTranslatedByTheDevicesCore) {
  const std::string hex = ":04000000550C280073\r\n:00000001FF\r\n";  // 0x0C55, 0x0028
  const struct {
    const char* device;
    const char* name;
    std::string bytes;
    int word0, word1;
    Messages messages;
  } cases[] = {
      {"KVX-03", "p.hex", hex, 0x3A55, 0x1188, {}},
      {"KVX-03", "p.kvh", hex, 0x0C55, 0x0028, {}},
      {"KVX-17", "p.obj", "", 0x3A55, 0x1000, {}},
      {"KVX-49", "p.hex", hex, 0x0455, 0x0028, {"Incorrect file type!"}},
  };
  for (const auto& c : cases) {
    test::ScratchDir dir;
    auto ws = test::WorkspaceFor(c.device);
    std::string bytes = c.bytes;
    if (bytes.empty()) {
      auto words = test::FileWords({0x3055, 0x0020});
      words.resize(static_cast<std::size_t>(ws->device.ProgramBytes), 0xFF);
      bytes.assign(words.begin(), words.end());
    }
    LoadReport r = OpenProgramFile(*ws, dir.Write(c.name, bytes));
    EXPECT_EQ(r.messages, c.messages) << c.device << " " << c.name;
    EXPECT_EQ(test::StoredAt(*ws, 0), c.word0) << c.device << " " << c.name;
    EXPECT_EQ(test::StoredAt(*ws, 1), c.word1) << c.device << " " << c.name;
    EXPECT_EQ(test::StoredAt(*ws, 2) & 0x7F, 0x7F);
  }
}

TEST(OpenProgramFile, EndsWithModesOffPassCountZeroAndFreshSums) {
  test::ScratchDir dir;
  auto ws = test::WorkspaceFor("KVX-03");
  ws->production.SerialNoMode = ws->production.QtpFileLoaded = true;
  ws->production.QtpFileText = "serial.txt";
  ws->production.PassCount = 12;
  LoadReport r = OpenProgramFile(*ws, dir.Write("z.bin", std::string(1024, '\0')),
                                 OpenViews{.disassemblyOpen = true});
  EXPECT_FALSE(ws->production.SerialNoMode || ws->production.QtpFileLoaded);
  EXPECT_TRUE(r.closeDisassembly);
  EXPECT_EQ(ws->production.QtpFileText, "Disable");
  EXPECT_EQ(ws->production.PassCount, 0);
  EXPECT_EQ(ws->panel.ChecksumText, "0000");

  LoadReport cancelled;
  FinishOpen(*ws, cancelled);
  EXPECT_FALSE(cancelled.closeDisassembly);
}

TEST(OpenProgramFile, HexFaultIsReportedUnlessTheStartupLoadSwallowsIt) {
  test::ScratchDir dir;
  const std::string path = dir.Write("bad.kvh", ":010000005500\r\n:00000001FF\r\n");
  auto ws = test::WorkspaceFor("KVX-03");
  ws->files.StartupConfigLoad = true;
  EXPECT_EQ(OpenProgramFile(*ws, path).messages, Messages{});
  EXPECT_EQ(OpenProgramFile(*ws, path).messages, Messages{"Checksum error at line 1 !"});
}

TEST(OpenProgramFile, CompanionConfigurationAppliesItsSettingsOnly) {
  test::ScratchDir dir;
  auto source = test::WorkspaceFor("KVX-17");
  source->files.LastProgramPath = dir.Write("other.bin", std::string(2048, '\0'));
  source->image.IdBuffer.fill(0x11);
  source->production.SerialStartAddress = 0x20;
  dir.Write("prog.cfg", SaveCfg(*source));

  auto ws = test::WorkspaceFor("KVX-03");
  const OpenViews shown{.programViewClosed = true, .windowsShown = true};
  LoadReport r = OpenProgramFile(*ws, dir.Write("prog.bin", std::string(1024, '\0')), shown);
  EXPECT_EQ(r.messages, Messages{});
  EXPECT_EQ(ws->device.DeviceName, "KVX-03") << "the device of a companion file is not taken";
  EXPECT_EQ(ws->image.IdBuffer[5], 0x11);
  EXPECT_EQ(ws->production.SerialStartAddress, 0x20);
  EXPECT_EQ(ws->files.LastProgramPath, dir.Path("other.bin"));
  EXPECT_EQ(ws->files.BufferCaption, dir.Path("other.bin"));
  EXPECT_EQ(test::StoredAt(*ws, 0), 0) << "the program words come from the opened file";
}

TEST(OpenProgramFile, CompanionConfigurationFailureShowsItsMessageAndTheLoadGoesOn) {
  test::ScratchDir dir;
  dir.Write("prog.cfg", "not a configuration");
  auto ws = test::WorkspaceFor("KVX-03");
  LoadReport r = OpenProgramFile(*ws, dir.Write("prog.bin", std::string(1024, '\0')));
  EXPECT_EQ(r.messages, Messages{"'" + dir.Path("prog.cfg") + "' file data error!"});
  EXPECT_FALSE(r.stopped);
  EXPECT_EQ(test::StoredAt(*ws, 0), 0);
}

}  // namespace
}  // namespace kvx
