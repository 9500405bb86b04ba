#include "core/production/serial_setup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>

#include "core/production/serial_fixture.h"
#include "core/production/serial_number.h"

namespace kvx {
namespace {

using namespace kvx::testing;

// KVX-04 (1024 words) with RTIW words at 0x100-0x103.
std::unique_ptr<Workspace> ProgramWithRtiw() {
  auto ws = std::make_unique<Workspace>();
  GetICInfo(*ws, "KVX-04");
  for (int a = 0x100; a < 0x104; ++a) {
    ws->image.ProgramBuffer[2 * a] = 0x00;
    ws->image.ProgramBuffer[2 * a + 1] = 0x62;
  }
  return ws;
}

SerialSetupFields Fields(const char* address, const char* bytes, const char* value) {
  SerialSetupFields f;
  f.StartAddress = address;
  f.NoOfByte = bytes;
  f.StartValue = value;
  return f;
}

TEST(SerialSetupDialog, OpensWithTheWorkspaceNumberPaddedToItsWidth) {
  auto ws = std::make_unique<Workspace>();
  ws->production.SerialStartAddress = 0x1A;
  ws->production.SerialByteCount = 3;
  ASSERT_TRUE(SetSerialHexText(*ws, "0A0B0C"));
  ws->production.SerialIncrement = 17;
  ws->production.SerialStepMode = 1;
  ws->production.SerialByteOrder = 1;
  const SerialSetupFields f = SerialSetupFromWorkspace(*ws);
  EXPECT_EQ(f.StartAddress, "001A");
  EXPECT_EQ(f.NoOfByte, "3");
  EXPECT_EQ(f.StartValue, "0A0B0C");
  EXPECT_EQ(f.StartValueMaxLength, 6);
  EXPECT_EQ(f.Increment, "17");
  EXPECT_EQ(f.NoOfPart, "1");
  EXPECT_FALSE(f.IncrementEnabled());
  EXPECT_EQ(f.ByteOrder, 1);
}

TEST(SerialSetupDialog, FieldExitsPadTrimAndReplaceZeros) {
  SerialSetupFields f = Fields("1F", "2", "ABCDEF");
  StartAddressExit(f);
  EXPECT_EQ(f.StartAddress, "001F");
  EXPECT_EQ(NoOfByteExit(f), "");
  EXPECT_EQ(f.StartValue, "CDEF");  // the last 2n digits stay
  EXPECT_EQ(f.StartValueMaxLength, 4);
  f.NoOfByte = "3";
  EXPECT_EQ(NoOfByteExit(f), "");
  EXPECT_EQ(f.StartValue, "00CDEF");
  f.StartValue = "7";
  EXPECT_EQ(StartValueExit(f), "");
  EXPECT_EQ(f.StartValue, "000007");

  f.Increment = "0";
  f.NoOfPart = "000";
  EXPECT_EQ(IncrementExit(f), "");
  EXPECT_EQ(NoOfPartExit(f), "");
  EXPECT_EQ(f.Increment, "1");
  EXPECT_EQ(f.NoOfPart, "1");

  SerialSetupFields empty = Fields("0", "", "12");  // emptied fields stay empty, with a message
  empty.Increment = empty.NoOfPart = "";
  EXPECT_EQ(StartValueExit(empty), kMsgNoOfByteInvalid);
  EXPECT_EQ(IncrementExit(empty), kMsgIncrementInvalid);
  EXPECT_EQ(NoOfPartExit(empty), kMsgNoOfPartInvalid);
  EXPECT_EQ(empty.StartValue, "12");
}

TEST(SerialSetupDialog, AllOnesStartValueBecomesZerosOnlyInPseudoRandomMode) {
  for (int mode : {0, 1}) {
    SerialSetupFields f = Fields("0", "1", "ff");
    f.StepMode = mode;
    StartValueExit(f);
    EXPECT_EQ(f.StartValue, mode == 1 ? "00" : "FF") << mode;
  }
  SerialSetupFields wide = Fields("0", "4", "FFFFFFFF");
  wide.StepMode = 1;
  StartValueExit(wide);
  EXPECT_EQ(wide.StartValue, "00000000");
}

TEST(SerialSetupOk, TakesTheFieldsSwitchesTheModeOnAndStampsAtOnce) {
  auto ws = ProgramWithRtiw();
  SerialSetupFields f = Fields("100", "3", "123456");
  f.Increment = "5";
  f.ByteOrder = 1;
  const SetupOutcome r = SerialSetupOk(*ws, f);
  EXPECT_EQ(r.message, "");
  EXPECT_TRUE(r.closeDialog);
  EXPECT_TRUE(ws->production.SerialNoMode);
  EXPECT_TRUE(ws->settings.SerialCommandsLocked);
  EXPECT_EQ(ws->production.SerialStartAddress, 0x100);
  EXPECT_EQ(ws->production.SerialIncrement, 5);
  EXPECT_EQ(ws->production.SerialText, "123456");
  EXPECT_EQ(WordAt(*ws, 0x100), 0x3156);
  EXPECT_EQ(WordAt(*ws, 0x102), 0x3112);
  EXPECT_EQ(WordAt(*ws, 0x103), 0x3100);
}

TEST(SerialSetupOk, RefusedEntriesLeaveTheWorkspaceAndKeepTheDialogOpen) {
  struct Case {
    const char* name;
    SerialSetupFields fields;
    const char* increment;
    std::string message;
    bool errorBox;
  };
  const Case cases[] = {
      {"byte count", Fields("100", "9", "12"), "1", kMsgNoOfByteInvalid, false},
      {"increment 0", Fields("100", "1", "12"), "0", kMsgIncrementInvalid, false},
      {"increment 256", Fields("100", "1", "12"), "256", kMsgIncrementInvalid, false},
      {"value too long", Fields("100", "1", "123"), "1", kMsgStartValueOverflow, false},
      {"value not hex", Fields("100", "2", "12G4"), "1", kMsgStartValueInvalid, false},
      {"words past the memory", Fields("3FE", "3", "123456"), "1", kMsgStartAddressOverflow, false},
      {"address past the buffer", Fields("FFFF", "1", "12"), "1", kMsgStartAddressOverflow, false},
      {"words not RTIW", Fields("102", "3", "123456"), "1", kMsgSetupNotRtiw, true},
  };
  for (const Case& c : cases) {
    auto ws = ProgramWithRtiw();
    ws->production.SerialNoMode = true;
    SerialSetupFields f = c.fields;
    f.Increment = c.increment;
    const auto before = ws->image.ProgramBuffer;
    const SetupOutcome r = SerialSetupOk(*ws, f);
    EXPECT_EQ(r.message, c.message) << c.name;
    EXPECT_EQ(r.errorBox, c.errorBox) << c.name;
    EXPECT_FALSE(r.closeDialog) << c.name;
    EXPECT_EQ(ws->production.SerialNoMode, !c.errorBox) << c.name << ": only the RTIW test ends the mode";
    EXPECT_EQ(ws->production.SerialStartAddress, 0) << c.name;
    EXPECT_EQ(ws->image.ProgramBuffer, before) << c.name;
    if (c.message == kMsgIncrementInvalid) {
      EXPECT_EQ(f.Increment, "") << "typed again";
    }
  }
}

TEST(DisableSerialMode, SwitchesOffButKeepsTheLoadedQtpFile) {
  auto ws = ProgramWithRtiw();
  ws->production.SerialNoMode = true;
  ws->production.QtpSimulate = true;
  ws->settings.SerialCommandsLocked = true;
  ws->production.QtpFileLoaded = true;
  ws->production.QtpReadFile = std::make_unique<std::istringstream>(":00000001FF");
  EXPECT_TRUE(DisableSerialMode(*ws).closeDialog);
  EXPECT_FALSE(ws->production.SerialNoMode);
  EXPECT_FALSE(ws->production.QtpSimulate);
  EXPECT_FALSE(ws->settings.SerialCommandsLocked);
  EXPECT_TRUE(ws->production.QtpFileLoaded);
  EXPECT_NE(ws->production.QtpReadFile, nullptr);
}

TEST(PrepareQtpFile, ChecksThePartCountBeforeAnythingElse) {
  struct Case {
    const char* parts;
    std::string message;
  };
  const Case cases[] = {
      {"0", kMsgNoOfPartOverflow}, {"100001", kMsgNoOfPartOverflow}, {"", kMsgNoOfPartInvalid},
      {"12a", kMsgNoOfPartInvalid}, {"100000", ""}, {"1", ""},
  };
  for (const Case& c : cases) {
    auto ws = ProgramWithRtiw();
    SerialSetupFields f = Fields("100", "2", "0102");
    f.NoOfPart = c.parts;
    long parts = -1;
    EXPECT_EQ(PrepareQtpFile(*ws, f, parts).message, c.message) << c.parts;
    if (c.message.empty()) {
      EXPECT_EQ(parts, std::stol(c.parts));
    }
  }
}

TEST(PrepareQtpFile, TakesTheNumberBeforeTheRtiwTestButStampsNothing) {
  auto ws = ProgramWithRtiw();
  SerialSetupFields f = Fields("0", "2", "abcd");
  f.NoOfPart = "3";
  long parts = 0;
  const SetupOutcome r = PrepareQtpFile(*ws, f, parts);
  EXPECT_EQ(r.message, kMsgSetupNotRtiw);
  EXPECT_TRUE(r.errorBox);
  EXPECT_EQ(ws->production.SerialText, "00");  // not stamped, not shown
  EXPECT_EQ(SerialHexText(*ws), "ABCD");
  EXPECT_EQ(WordAt(*ws, 0), 0x3FFF);

  auto good = ProgramWithRtiw();
  SerialSetupFields g = Fields("101", "2", "abcd");
  g.NoOfPart = "3";
  EXPECT_EQ(PrepareQtpFile(*good, g, parts).message, "");
  EXPECT_EQ(parts, 3);
  EXPECT_FALSE(good->production.SerialNoMode);  // writing a file does not switch the mode on
  EXPECT_EQ(WordAt(*good, 0x101), 0x3100);
}

TEST(QtpSaveDialog, OnlyTextFilesSaveAndANameWithoutAnyDotGetsTxt) {
  struct Case {
    bool textFilter;
    const char* name;
    bool save;
    const char* path;
  };
  const Case cases[] = {
      {true, "lot7", true, "lot7.txt"},
      {true, "lot7.qtp", true, "lot7.qtp"},
      {true, "runs.2024/lot7", true, "runs.2024/lot7"},  // a dot anywhere counts
      {false, "lot7.txt", false, ""},
      {true, "", false, ""},
  };
  for (const Case& c : cases) {
    const QtpSaveDecision d = DecideQtpSave(c.textFilter, c.name);
    EXPECT_EQ(d.save, c.save) << c.name;
    EXPECT_EQ(d.path, c.path) << c.name;
    EXPECT_EQ(d.message, c.save ? "" : "File can't be saved!") << c.name;
    EXPECT_FALSE(d.askReplace) << c.name;
  }

  const std::string existing = (std::filesystem::temp_directory_path() /
                                ("kvx_qtp_exists_" + std::to_string(::getpid()) + ".txt"))
                                   .string();
  std::ofstream(existing) << ":00000001FF";
  const QtpSaveDecision d = DecideQtpSave(true, existing);
  EXPECT_TRUE(d.save);
  EXPECT_EQ(d.path, existing);
  EXPECT_TRUE(d.askReplace) << "an existing file is replaced only after \"" << kMsgQtpFileExists
                            << "\"";
  std::filesystem::remove(existing);
}

}  // namespace
}  // namespace kvx
