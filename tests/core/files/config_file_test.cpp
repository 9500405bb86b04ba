#include "core/files/config_file.h"

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "core/files/file_fixture.h"
#include "core/files/raw_image.h"

namespace kvx {
namespace {

using Messages = std::vector<std::string>;

// A configuration file's bytes from its text tokens (4 to 21) and a 34-byte tail.
std::string CfgBytes(const std::string& path, const std::vector<std::string>& tokens,
                     std::string magic = "kvx") {
  std::string text = magic + path + '\x0F';
  for (const auto& t : tokens) text += t + ' ';
  return text + std::string(2, '\x7F') + std::string(32, '\x11');
}

std::vector<std::string> GoodTokens() {
  return {"Com2", "KVX-17", "XT", "Enable", "Enable", "Disable", "Disable", "Blank",
          "ABCD", "0",    "0",      "1",  "16",     "2",       "0A0B",    "1", "0", "0"};
}

struct CfgFixture {
  test::ScratchDir dir;
  std::string program = dir.Write("prog.bin", std::string(2048, '\0'));
  std::unique_ptr<Workspace> ws = test::WorkspaceFor("KVX-03");

  LoadReport Load(const std::string& bytes, bool full = true) {
    ws->files.ConfigPath = dir.Path("x.cfg");
    LoadReport r;
    LoadCfg(*ws, bytes, full, r);
    return r;
  }
  std::string DataError() const { return "'" + dir.Path("x.cfg") + "' file data error!"; }
};

TEST(GetStr, TakesOneTokenOffTheFront) {
  std::string_view text = "  Com2 KVX-01 ";
  EXPECT_EQ(GetStr(text), "Com2");
  EXPECT_EQ(text, "KVX-01 ");
  EXPECT_EQ(GetStr(text), "KVX-01");
  EXPECT_EQ(text, "");
  EXPECT_EQ(GetStr(text), "");
  text = "last";
  EXPECT_EQ(GetStr(text), "last");
  EXPECT_EQ(text, "");
}

TEST(ConfigFile, SaveAndLoadRestoreEveryField) {
  test::ScratchDir dir;
  auto source = test::WorkspaceFor("KVX-17");
  std::vector<int> words;
  for (int i = 0; i < source->device.ProgramWords(); ++i) words.push_back(i & 0x3FFF);
  source->files.LastProgramPath = dir.Write("Prog.Bin", test::FileWords(words));
  source->settings.PortName = "Com5";
  source->settings.KeepOptionChecked = true;
  source->production.SerialNoMode = true;
  source->production.SerialStartAddress = 0x10;
  source->production.SerialByteCount = 3;
  source->production.SerialValue = {1, 2, 3, 0, 0, 0, 0, 0};
  source->production.SerialIncrement = 5;
  source->production.SerialStepMode = 1;
  source->production.SerialByteOrder = 1;
  source->production.PassCount = 12;
  source->image.OptionLow = 0x35;
  source->image.OptionHigh = 0x1A;
  for (std::size_t i = 0; i < kIdBytes; ++i) source->image.IdBuffer[i] = static_cast<std::uint8_t>(i * 3);
  const std::string bytes = SaveCfg(*source);
  EXPECT_NE(bytes.find(" 16 3 030201 5 1 1 "), std::string::npos) << "most significant slot first";
  ASSERT_EQ(SaveConfig(*source, dir.Path("all.cfg"), 1), "");

  auto ws = test::WorkspaceFor("KVX-03");
  LoadReport r = LoadConfig(*ws, dir.Path("all.cfg"), 1);
  EXPECT_EQ(r.messages, Messages{});
  EXPECT_EQ(ws->device.DeviceName, "KVX-17");
  EXPECT_EQ(ws->device.SelectedDevice, "KVX-17");
  EXPECT_EQ(ws->settings.PortName, "Com5");
  EXPECT_TRUE(ws->settings.KeepOptionChecked);
  EXPECT_TRUE(ws->production.SerialNoMode);
  EXPECT_EQ(ws->production.SerialStartAddress, 0x10);
  EXPECT_EQ(ws->production.SerialByteCount, 3);
  EXPECT_EQ(ws->production.SerialValue, source->production.SerialValue);
  EXPECT_EQ(ws->production.SerialText, "030201");
  EXPECT_EQ(ws->production.SerialIncrement, 5);
  EXPECT_EQ(ws->production.SerialStepMode, 1);
  EXPECT_EQ(ws->production.SerialByteOrder, 1);
  EXPECT_EQ(ws->production.PassCount, 0);
  EXPECT_EQ(ws->image.OptionLow, 0x35);
  EXPECT_EQ(ws->image.OptionHigh, 0x1A);
  EXPECT_EQ(ws->image.IdBuffer, source->image.IdBuffer);
  EXPECT_EQ(ws->files.LastProgramPath, source->files.LastProgramPath) << "the path is used as stored";
  EXPECT_EQ(ProgramImage(*ws), test::FileWords(words));
}

TEST(ConfigFile, EveryTruncationIsADataErrorThatChangesNothing) {
  CfgFixture f;
  const std::string good = CfgBytes(f.program, GoodTokens());
  ASSERT_EQ(f.Load(good).messages, Messages{});
  for (std::size_t size = 0; size < good.size(); ++size) {
    auto ws = test::WorkspaceFor("KVX-03");
    f.ws.swap(ws);
    EXPECT_EQ(f.Load(good.substr(0, size)).messages, Messages{f.DataError()}) << size;
    EXPECT_EQ(f.ws->settings.PortName, "Com1") << size;
    EXPECT_EQ(f.ws->device.DeviceName, "KVX-03") << size;
  }
}

TEST(ConfigFile, MalformedTokensAreDataErrors) {
  const struct {
    std::size_t token;  // index into GoodTokens()
    const char* text;
  } cases[] = {{0, "Com9"}, {0, "Com0"}, {0, "Co"},  {0, "ComX"}, {1, "KVX-99"},
               {9, "x"},    {10, "on"},  {11, "-"},  {12, "-1"},
               {13, "0"},   {13, "9"},   {13, "2x"}, {14, "0G0B"}, {14, "0A0"},
               {15, "one"}, {16, "1.5"}, {17, ""}};
  for (const auto& c : cases) {
    CfgFixture f;
    auto tokens = GoodTokens();
    tokens[c.token] = c.text;
    EXPECT_EQ(f.Load(CfgBytes(f.program, tokens)).messages, Messages{f.DataError()})
        << c.token << " " << c.text;
  }
  CfgFixture f;
  EXPECT_EQ(f.Load(CfgBytes(f.program, GoodTokens(), "KVX")).messages, Messages{f.DataError()});
}

TEST(ConfigFile, SerialSettingsOutsideTheDevicesMemoryStillLoad) {
  // A device chosen after the setup, or a refused QTP record, leaves such settings behind, and
  // the exit writes them into the default file: it must load again at the next start.
  const struct {
    const char* start;
    const char* count;
  } cases[] = {{"1022", "2"}, {"1023", "2"}, {"5000", "1"}, {"16375", "8"}};
  for (const auto& c : cases) {
    CfgFixture f;  // KVX-17: 1024 words
    auto tokens = GoodTokens();
    tokens[12] = c.start;
    tokens[13] = c.count;
    tokens[14] = std::string(2 * static_cast<std::size_t>(std::stoi(c.count)), '0');
    EXPECT_EQ(f.Load(CfgBytes(f.program, tokens)).messages, Messages{}) << c.start;
    EXPECT_EQ(f.ws->device.DeviceName, "KVX-17") << c.start;
    EXPECT_EQ(f.ws->production.SerialStartAddress, std::stoi(c.start)) << c.start;
  }
}

TEST(ConfigFile, SerialWordsBeyondTheProgramBufferAreADataError) {
  const struct {
    const char* start;
    const char* count;
  } cases[] = {{"16376", "8"}, {"16383", "1"}, {"65535", "8"}};
  for (const auto& c : cases) {
    CfgFixture f;
    auto tokens = GoodTokens();
    tokens[12] = c.start;
    tokens[13] = c.count;
    tokens[14] = std::string(2 * static_cast<std::size_t>(std::stoi(c.count)), '0');
    EXPECT_EQ(f.Load(CfgBytes(f.program, tokens)).messages,
              Messages{"'" + f.dir.Path("x.cfg") + "' file data error!"})
        << c.start;
  }
}

TEST(ConfigFile, PortIsTakenFromTheFourthCharacterAndQzrFilesAreRead) {
  CfgFixture f;
  auto tokens = GoodTokens();
  tokens[0] = "xyz8";
  EXPECT_EQ(f.Load(CfgBytes(f.program, tokens, "qzr")).messages, Messages{});
  EXPECT_EQ(f.ws->settings.PortName, "Com8");
}

TEST(ConfigFile, MissingDataFileFailsAfterPortAndDeviceAreTaken) {
  CfgFixture f;
  const std::string moved = f.dir.Path("moved.bin");
  EXPECT_EQ(f.Load(CfgBytes(moved, GoodTokens())).messages,
            Messages{"'" + moved + "' file do not find!"});
  EXPECT_EQ(f.ws->settings.PortName, "Com2");
  EXPECT_EQ(f.ws->device.DeviceName, "KVX-17");
  EXPECT_EQ(f.ws->files.LastProgramPath, "");
  EXPECT_EQ(f.Load(CfgBytes("", GoodTokens())).messages, Messages{"No data file name"});
}

TEST(ConfigFile, SettingsOnlyLoadIgnoresTheDeviceAndKeepsTheProgram) {
  CfgFixture f;
  f.ws->image.ProgramBuffer[0] = 0x12;
  auto tokens = GoodTokens();
  tokens[1] = "not-a-device";
  EXPECT_EQ(f.Load(CfgBytes(f.program, tokens), false).messages, Messages{});
  EXPECT_EQ(f.ws->device.DeviceName, "KVX-03");
  EXPECT_EQ(f.ws->image.ProgramBuffer[0], 0x12);
  EXPECT_EQ(f.ws->image.IdBuffer[0], 0x11);
}

TEST(ConfigFile, ReloadFailuresOfTheProgramDataFile) {
  const struct {
    const char* device;
    const char* name;
    std::string bytes;
    Messages messages;
  } cases[] = {
      {"KVX-17", "short.bin", std::string(100, '\0'), {"File size unmatch!"}},
      {"KVX-49", "wide.bin", std::string("\xFF\x0F") + std::string(1022, '\0'),
       {"It is not 11-bit instructions !"}},
      {"KVX-49", "p.obj", std::string(1024, '\0'), {"Incorrect file type!"}},
      {"KVX-17", "bad.kvh", ":010000005500\r\n", {"Checksum error at line 1 !"}},
  };
  for (const auto& c : cases) {
    CfgFixture f;
    auto tokens = GoodTokens();
    tokens[1] = c.device;
    tokens[12] = "0";
    EXPECT_EQ(f.Load(CfgBytes(f.dir.Write(c.name, c.bytes), tokens)).messages, c.messages)
        << c.name;
  }
}

TEST(ConfigFile, OpeningAConfigurationLoadsItFullyAndResetsOnFailure) {
  CfgFixture f;
  const OpenViews shown{.programViewClosed = true, .windowsShown = true};
  const std::string path = f.dir.Write("set.CFG", CfgBytes(f.program, GoodTokens()));
  LoadReport r = OpenProgramFile(*f.ws, path, shown);
  EXPECT_EQ(r.messages, Messages{});
  EXPECT_EQ(f.ws->device.DeviceName, "KVX-17");
  EXPECT_EQ(f.ws->files.BufferCaption, f.program);
  EXPECT_TRUE(r.rebuildIdWindow && r.rebuildBufferView);
  EXPECT_FALSE(f.ws->production.SerialNoMode);

  auto tokens = GoodTokens();
  tokens[1] = "KVX-03";
  const std::string bad = f.dir.Write("bad.cfg", CfgBytes(f.dir.Path("gone.bin"), tokens));
  r = OpenProgramFile(*f.ws, bad, shown);
  EXPECT_EQ(f.ws->device.DeviceName, "KVX-03");
  EXPECT_EQ(f.ws->image.IdBuffer[0], 0x7F) << "ResetData blanks what the failed load applied";
}

TEST(ConfigFile, OnlyAShownMainWindowIsAskedToRebuildItsWindows) {
  for (const bool shown : {false, true}) {
    CfgFixture f;
    f.ws->files.BufferCaption = "earlier.bin";
    f.ws->panel.RefreshPending = false;
    LoadReport r;
    const std::string bytes = CfgBytes(f.program, GoodTokens());
    ASSERT_TRUE(LoadCfg(*f.ws, bytes, true, r, OpenViews{.windowsShown = shown})) << shown;
    EXPECT_EQ(r.rebuildIdWindow, shown);
    EXPECT_EQ(r.rebuildBufferView, shown);
    EXPECT_EQ(f.ws->panel.RefreshPending, shown);
    EXPECT_EQ(f.ws->files.BufferCaption, shown ? f.program : "earlier.bin");
  }
}

TEST(DefaultConfig, ExitWritesItWithSerialModeOffAndStartUpReadsItBack) {
  test::ScratchDir dir;
  auto ws = test::WorkspaceFor("KVX-17");
  ws->files.StartDir = dir.Dir();
  ws->files.LastProgramPath = dir.Write("p.bin", std::string(2048, '\0'));
  ws->production.SerialNoMode = true;
  ws->image.IdBuffer[3] = 0x44;
  EXPECT_EQ(SaveDefaultConfig(*ws), "");
  EXPECT_EQ(ws->files.ConfigPath, dir.Path("Default.cfg"));

  auto next = test::WorkspaceFor("KVX-03");
  next->files.StartDir = dir.Dir();
  LoadReport r = LoadDefaultConfig(*next);
  EXPECT_EQ(r.messages, Messages{});
  EXPECT_EQ(next->device.DeviceName, "KVX-17");
  EXPECT_FALSE(next->production.SerialNoMode);
  EXPECT_EQ(next->image.IdBuffer[3], 0x44);
  EXPECT_TRUE(next->files.StartupConfigLoad);
}

// A Writer on a USB serial adapter has no place in the configuration file's port token: the file
// keeps its format (and loads again), and the station settings beside it remember the port.
TEST(DefaultConfig, AUsbPortIsRememberedBesideTheFileWithoutBreakingIt) {
  test::ScratchDir dir;
  const std::string usb = "/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0";
  for (const std::string& port : {usb, std::string("Com3")}) {
    SCOPED_TRACE(port);
    auto ws = test::WorkspaceFor("KVX-17");
    ws->files.StartDir = dir.Dir();
    ws->files.LastProgramPath = dir.Write("p.bin", std::string(2048, '\0'));
    ws->settings.PortName = port;
    ws->image.IdBuffer[3] = 0x44;
    EXPECT_EQ(SaveDefaultConfig(*ws), "");
    std::ifstream in(dir.Path("Default.cfg"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_TRUE(ParseCfg(bytes).has_value());
    EXPECT_EQ(ParseCfg(bytes)->port, port == usb ? 1 : 3);

    auto next = test::WorkspaceFor("KVX-03");
    next->files.StartDir = dir.Dir();
    EXPECT_EQ(LoadDefaultConfig(*next).messages, Messages{});
    EXPECT_EQ(next->settings.PortName, port);
    EXPECT_EQ(next->image.IdBuffer[3], 0x44);
  }
  // Settings that name a Com port never overrule the default file's own port.
  dir.Write("KvxWriter.ini", "port=Com5\n");
  auto ws = test::WorkspaceFor("KVX-03");
  ws->files.StartDir = dir.Dir();
  LoadDefaultConfig(*ws);
  EXPECT_EQ(ws->settings.PortName, "Com3");
}

TEST(DefaultConfig, StartUpWithoutOrWithABrokenFile) {
  test::ScratchDir dir;
  auto ws = test::WorkspaceFor("KVX-03");
  ws->files.StartDir = dir.Dir();
  EXPECT_EQ(LoadDefaultConfig(*ws).messages, Messages{});
  dir.Write("Default.cfg", "kvx");
  ws->image.IdBuffer[0] = 0;
  EXPECT_EQ(LoadDefaultConfig(*ws).messages,
            Messages{"'" + dir.Path("Default.cfg") + "' file data error!"});
  EXPECT_EQ(ws->image.IdBuffer[0], 0x7F);
}

TEST(ConfigCommands, RefusedDialogChoicesAndFailedWrites) {
  test::ScratchDir dir;
  auto ws = test::WorkspaceFor("KVX-03");
  EXPECT_EQ(SaveConfig(*ws, dir.Path("a.bin"), 2), "File can't be saved!");
  EXPECT_EQ(SaveConfig(*ws, "", 1), "File can't be saved!");
  EXPECT_EQ(LoadConfig(*ws, dir.Path("a.txt"), 2).messages, Messages{"Can't load file!"});
  EXPECT_EQ(LoadConfig(*ws, "", 1).messages, Messages{"Can't load file!"});
  const std::string blocked = dir.Path("none/x.cfg");
  EXPECT_EQ(SaveConfig(*ws, blocked, 1), "'" + blocked + "' file can't be written!");
  ws->files.StartDir = dir.Path("none");
  EXPECT_FALSE(SaveDefaultConfig(*ws).empty());
}

TEST(ConfigCommands, EmptyPanelTextsKeepTheTokensInStep) {
  CfgFixture f;
  f.ws->files.LastProgramPath = f.dir.Write("small.bin", std::string(1024, '\0'));
  f.ws->panel.OptionLabelText[2] = "";
  f.ws->panel.ChecksumText = "";
  f.ws->production.SerialStartAddress = 7;
  auto ws = test::WorkspaceFor("KVX-03");
  f.ws.swap(ws);
  EXPECT_EQ(f.Load(SaveCfg(*ws)).messages, Messages{});
  EXPECT_EQ(f.ws->production.SerialStartAddress, 7);
}

}  // namespace
}  // namespace kvx
