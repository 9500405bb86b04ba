// TComm on pseudo-terminals: the test holds the master side and plays the Writer's end of the
// cable. Every wait is bounded; nothing here waits for the link's 3-second time-out.
#include "core/link/tcomm.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/link/test_pty.h"

namespace kvx {
namespace {

using std::chrono::steady_clock;
using test::Pty;

bool WaitForInput(TComm& comm, int bytes) {
  const auto deadline = steady_clock::now() + std::chrono::seconds(2);
  while (comm.InQueCount() < bytes && steady_clock::now() < deadline) comm.WaitReadable(Millis(20));
  return comm.InQueCount() >= bytes;
}

TEST(TCommTest, OpensATerminalExclusivelyAndClosesAgain) {
  Pty pty;
  ASSERT_FALSE(pty.name.empty());
  TComm first, second;
  first.SetDeviceName(pty.name);
  second.SetDeviceName(pty.name);
  first.Open();
  ASSERT_TRUE(first.Enabled());
  EXPECT_EQ(first.LastError(), 0);

  second.Open();  // another program (or another port object) must not share the Writer
  EXPECT_FALSE(second.Enabled());
  EXPECT_EQ(second.LastError(), EBUSY);

  first.Close();
  EXPECT_FALSE(first.Enabled());
  second.Open();
  EXPECT_TRUE(second.Enabled());
}

TEST(TCommTest, NamesThatAreNoTerminalLeaveThePortClosedWithoutRaising) {
  const auto dir = std::filesystem::temp_directory_path();
  const std::string plainFile = (dir / ("kvx_tcomm_plain_" + std::to_string(::getpid()))).string();
  std::ofstream(plainFile) << "not a port";
  struct Case {
    std::string name;
    int error;
  } cases[] = {
      {(dir / "kvx_no_such_port").string(), ENOENT},
      {plainFile, ENOTTY},    // a regular file is no character device
      {"/dev/null", ENOTTY},  // a character device, but no terminal
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TComm comm;
    comm.SetDeviceName(c.name);
    EXPECT_NO_THROW(comm.Open());
    EXPECT_FALSE(comm.Enabled());
    EXPECT_EQ(comm.LastError(), c.error);
  }
  std::filesystem::remove(plainFile);
}

TEST(TCommTest, RefusesWhatTheOpenStateDoesNotAllowWithTheComponentsTexts) {
  Pty pty;
  TComm comm;
  // Closed: queries answer "nothing", purges do nothing.
  EXPECT_EQ(comm.InQueCount(), -1);
  EXPECT_EQ(comm.OutQueCount(), -1);
  EXPECT_FALSE(comm.GetModemState(1));
  EXPECT_NO_THROW(comm.PurgeIn());
  EXPECT_NO_THROW(comm.PurgeOut());
  // Open: a second Open and the settings that belong to a closed port raise.
  comm.SetDeviceName(pty.name);
  comm.Open();
  ASSERT_TRUE(comm.Enabled());
  try {
    comm.Open();
    ADD_FAILURE() << "no exception";
  } catch (const ECommError& e) {
    EXPECT_STREQ(e.what(), "Port already assigned (open) (Error: -1) ");
    EXPECT_EQ(e.ErrorCode(), -1);
  }
  EXPECT_THROW(comm.SetDeviceName("/dev/ttyS1"), ECommError);
  EXPECT_THROW(comm.SetReadBufSize(8192), ECommError);
  EXPECT_EQ(comm.DeviceName(), pty.name);
  // A rate the terminal interface does not know is refused, not silently replaced.
  try {
    comm.SetBaudRate(br14400);
    ADD_FAILURE() << "no exception";
  } catch (const ECommError& e) {
    EXPECT_STREQ(e.what(), ("Error updating DataControlBlock (Error: " + std::to_string(EINVAL) + ") ").c_str());
  }
}

TEST(TCommTest, LineSettingsAreStoredWhileClosedAndAppliedOnOpen) {
  Pty pty;
  // The test's own handle on the terminal side shows the settings TComm gives it.
  const int view = ::open(pty.name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(view, 0);
  TComm comm;
  EXPECT_EQ(comm.BaudRate(), br9600);  // the component's defaults
  EXPECT_EQ(comm.Databits(), da8);
  EXPECT_EQ(comm.FlowControl(), fcDefault);
  EXPECT_EQ(comm.WriteTimeout(), 1000u);
  comm.SetDeviceName(pty.name);
  comm.SetBaudRate(br115200);
  comm.SetParity(paEven);
  comm.SetFlowControl(fcCTS);
  EXPECT_EQ(comm.BaudRate(), br115200);

  comm.Open();
  ASSERT_TRUE(comm.Enabled());
  termios t{};
  ASSERT_EQ(::tcgetattr(view, &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B115200));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(comm.Parity(), paEven);  // a pseudo-terminal keeps no parity setting to look at
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));  // every byte passes unchanged and unechoed

  comm.SetParity(paNone);  // on an open port a setter takes effect at once
  comm.SetBaudRate(br9600);
  comm.SetFlowControl(fcNone);
  ASSERT_EQ(::tcgetattr(view, &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  ::close(view);
}

TEST(TCommTest, OneByteReadWithNothingWaitingReturnsZeroAtOnce) {
  Pty pty;
  TComm comm;
  comm.SetDeviceName(pty.name);
  comm.Open();
  std::uint8_t byte = 0;
  EXPECT_EQ(comm.Read(&byte, 1), 0);  // how soon: link_bench's "empty one-byte read"
  EXPECT_EQ(comm.InQueCount(), 0);
}

TEST(TCommTest, BytesTravelBothWaysUnchanged) {
  Pty pty;
  TComm comm;
  comm.SetDeviceName(pty.name);
  comm.SetBaudRate(br115200);
  comm.Open();
  // Bytes a terminal would normally interpret: CR, LF, XON, XOFF, Ctrl-C, 0xFF.
  const std::vector<std::uint8_t> bytes = {0xA0, 0x0D, 0x0A, 0x11, 0x13, 0x03, 0xFF, 0x00};
  for (std::uint8_t b : bytes) ASSERT_EQ(comm.Write(&b, 1), 1);
  EXPECT_EQ(pty.Receive(bytes.size()), bytes);

  pty.Send(bytes);
  ASSERT_TRUE(WaitForInput(comm, static_cast<int>(bytes.size())));
  EXPECT_EQ(comm.InQueCount(), static_cast<int>(bytes.size()));
  std::vector<std::uint8_t> got;
  std::uint8_t b = 0;
  while (comm.Read(&b, 1) == 1) got.push_back(b);
  EXPECT_EQ(got, bytes);
  EXPECT_TRUE(comm.GetModemState(1));  // a pseudo-terminal has no CTS to ask: reported active
  EXPECT_FALSE(comm.GetModemState(2));
}

TEST(TCommTest, PurgeOutKeepsBytesAlreadyWrittenAndPurgeInDropsWaitingInput) {
  Pty pty;
  TComm comm;
  comm.SetDeviceName(pty.name);
  comm.Open();
  const std::vector<std::uint8_t> header = {0xA1, 0, 0, 0xFF, 0x03, 0, 0x12, 2, 0x50, 0xA5};
  ASSERT_EQ(comm.Write(header.data(), static_cast<int>(header.size())), 10);
  comm.PurgeOut();  // the Writer must still get the whole header
  EXPECT_EQ(pty.Receive(header.size()), header);

  pty.Send({0xB5, 0xB8});
  ASSERT_TRUE(WaitForInput(comm, 2));
  comm.PurgeIn();
  std::uint8_t b = 0;
  EXPECT_EQ(comm.Read(&b, 1), 0);
}

TEST(TCommTest, WriteWaitsForRoomInsteadOfDroppingAByte) {
  Pty pty;
  TComm comm;
  comm.SetDeviceName(pty.name);
  comm.SetWriteTimeout(20);
  comm.Open();
  // Fill the terminal until a write times out: the peer reads nothing.
  const std::uint8_t filler = 0x55;
  size_t written = 0;
  for (int i = 0; i < 1'000'000; ++i) {
    const int n = comm.Write(&filler, 1);
    if (n != 1) {
      EXPECT_EQ(n, -1);
      break;
    }
    ++written;
  }
  ASSERT_LT(written, 1'000'000u);  // the buffer did fill up
  // Now the peer starts reading a little later; the next byte waits for room and goes through.
  comm.SetWriteTimeout(2000);
  std::vector<std::uint8_t> got;
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    got = pty.Receive(written + 1, std::chrono::seconds(3));
  });
  const std::uint8_t last = 0xAA;
  EXPECT_EQ(comm.Write(&last, 1), 1);
  reader.join();
  ASSERT_EQ(got.size(), written + 1);
  EXPECT_EQ(got.back(), 0xAA);
}

TEST(TCommTest, APeerThatHangsUpGivesACleanFailureNotAHang) {
  Pty pty;
  TComm comm;
  comm.SetDeviceName(pty.name);
  comm.Open();
  pty.CloseMaster();

  const auto start = steady_clock::now();
  std::uint8_t b = 0;
  EXPECT_EQ(comm.Read(&b, 1), -1);
  EXPECT_FALSE(comm.WaitReadable(Millis(500)));
  EXPECT_EQ(comm.Write(&b, 1), -1);
  EXPECT_FALSE(comm.GetModemState(1));  // the link then stops sending
  EXPECT_LT(steady_clock::now() - start, std::chrono::milliseconds(400));
  EXPECT_FALSE(comm.Enabled());  // the link stops at once instead of waiting for CTS
  EXPECT_NO_THROW(comm.Close());
  EXPECT_FALSE(comm.Enabled());
}

TEST(TCommTest, WaitReadableWakesForInputAndOtherwiseBlocksWithoutSpinning) {
  Pty pty;
  TComm comm;
  comm.SetDeviceName(pty.name);
  comm.Open();
  timespec cpu0{}, cpu1{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu0);
  const auto start = steady_clock::now();
  EXPECT_FALSE(comm.WaitReadable(Millis(60)));
  const auto waited = steady_clock::now() - start;
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu1);
  EXPECT_GE(waited, std::chrono::milliseconds(50));
  const double cpuMs = static_cast<double>(cpu1.tv_sec - cpu0.tv_sec) * 1e3 +
                       static_cast<double>(cpu1.tv_nsec - cpu0.tv_nsec) / 1e6;
  EXPECT_LT(cpuMs, 10.0);

  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    pty.Send({0xB5});
  });
  EXPECT_TRUE(comm.WaitReadable(Millis(2000)));
  writer.join();
}

// ReadWithin waits and reads in one call on the terminal's read timer, and with the poll for
// waits shorter than the timer: either way it hands over what came, 0 when nothing did, and -1
// once the peer has hung up (never an endless run of empty reads).
TEST(TCommTest, ReadWithinTakesWhatCameAndTellsAHangUpFromSilence) {
  for (const Millis wait : {Millis(20), TComm::kReadTimer, Millis(250)}) {
    SCOPED_TRACE(wait.count());
    Pty pty;
    TComm comm;
    comm.SetDeviceName(pty.name);
    comm.Open();
    ASSERT_TRUE(comm.Enabled());
    std::uint8_t got[4] = {};
    EXPECT_EQ(comm.ReadWithin(got, 4, wait), 0) << "nothing came";
    pty.Send({0xB5, 0x11});
    ASSERT_TRUE(WaitForInput(comm, 2));
    EXPECT_EQ(comm.ReadWithin(got, 4, wait), 2);
    EXPECT_EQ(got[0], 0xB5);
    EXPECT_EQ(got[1], 0x11);
    comm.Close();
    // Both of the port's descriptors were closed: the terminal opens again, exclusively.
    TComm again;
    again.SetDeviceName(pty.name);
    again.Open();
    ASSERT_EQ(again.LastError(), 0);
    pty.CloseMaster();
    EXPECT_EQ(again.ReadWithin(got, 4, wait), -1);
    EXPECT_FALSE(again.Enabled());
  }
}

}  // namespace
}  // namespace kvx
