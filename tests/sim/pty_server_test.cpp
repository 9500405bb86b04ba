// The simulated Writer on a pseudo-terminal, reached through the real serial-port code: TComm
// opens the server's link as it would open a serial device, and the link primitives run on it.
// Every wait is bounded; none waits out the link's 3-second time-out.
#include "sim/pty_server.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/device/catalogue.h"
#include "core/link/tcomm.h"
#include "core/link/writer_link.h"
#include "core/printers.h"

namespace kvx::sim {
namespace {

using std::chrono::steady_clock;

std::string TempPath(const std::string& stem) {
  return (std::filesystem::temp_directory_path() /
          (stem + "_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name()))
      .string();
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

template <class Pred>
bool Eventually(Pred pred, std::chrono::milliseconds max = std::chrono::seconds(2)) {
  const auto deadline = steady_clock::now() + max;
  while (!pred()) {
    if (steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

class PtyServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ws.device.SelectedDevice = "KVX-01";
    ws.device.DeviceIndex = GetICInfo(ws, ws.device.SelectedDevice);
    std::string error;
    ASSERT_TRUE(server.Start(linkPath, error)) << error;
    comm.SetDeviceName(linkPath);
    comm.SetBaudRate(br115200);
    comm.SetFlowControl(fcCTS);
    comm.Open();
    ASSERT_TRUE(comm.Enabled()) << "errno " << comm.LastError();
  }

  Workspace ws;
  SteadyClock clock;
  SimWriter writer{FindDevice("KVX-01")};
  PtyServer server{writer};
  std::string linkPath = TempPath("kvx_pty");
  TComm comm;
  WriterLink link{ws, comm, clock};
};

TEST_F(PtyServerTest, AnswersTheWriterCheckWithTheIdentification) {
  EXPECT_TRUE(std::filesystem::is_symlink(linkPath));
  EXPECT_EQ(std::filesystem::read_symlink(linkPath).string(), server.SlaveName());
  EXPECT_EQ(link.CheckWriter(true), LinkResult::WriterAny);
  EXPECT_EQ(ws.results.WriterId, " ZQR640B V3.10");
  EXPECT_EQ(ws.results.WriterVersion, "V3.10");
}

TEST_F(PtyServerTest, ProgramMemoryWrittenByteByByteReadsBackTheSame) {
  const int words = ws.device.ProgramWords();
  for (int i = 0; i < words; ++i) {
    const StoredWord w = SplitWord((i * 37 + 5) & 0x3FFF);
    ws.link.LinkBuffer[2 * i] = w.first;
    ws.link.LinkBuffer[2 * i + 1] = w.second;
  }
  link.GetHeader(AreaProgram, ActionProgram);
  ASSERT_EQ(link.SendHeader(10), LinkResult::Ready);
  ASSERT_EQ(link.WriteData(2 * words, true), LinkResult::WriteOk);

  ws.link.LinkBuffer.fill(0);
  link.GetHeader(AreaProgram, ActionRead);
  ASSERT_EQ(link.Read7BitData(2 * words, true), LinkResult::Done);
  int mismatches = 0;
  for (int i = 0; i < words; ++i) {
    const int got = JoinWord(ws.link.LinkBuffer[2 * i], ws.link.LinkBuffer[2 * i + 1]);
    if (got != writer.ReadBackWord(i) || got != ((i * 37 + 5) & 0x3FFF)) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0);
}

TEST_F(PtyServerTest, WriterFaultsReachTheHostAsTheirResultCodes) {
  struct Case {
    const char* fault;
    LinkResult result;
  } cases[] = {{"no-chip", LinkResult::NoDevice},
               {"adapter-error", LinkResult::AdapterError},
               {"bad-reply", LinkResult::BadReply}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    writer.Faults() = FaultSet{};
    std::string error;
    ASSERT_TRUE(ParseFault(c.fault, writer.Faults(), error)) << error;
    link.GetHeader(AreaId, ActionRead);
    EXPECT_EQ(link.SendHeader(10), c.result);
  }
}

TEST_F(PtyServerTest, ByteHeldBackWhileCtsIsInactiveIsTakenLaterNotLost) {
  writer.Faults().CtsInactive = true;
  const std::uint8_t check = kWriterCheck;
  ASSERT_EQ(comm.Write(&check, 1), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(writer.BytesReceived(), 0);

  writer.Faults().CtsInactive = false;
  ASSERT_TRUE(Eventually([&] { return writer.BytesReceived() == 1; }));
  ASSERT_TRUE(comm.WaitReadable(Millis(2000)));
  std::uint8_t answer = 0;
  EXPECT_EQ(comm.Read(&answer, 1), 1);
  EXPECT_EQ(answer, kWriterAnyByte);
}

// The host's port, timed from Start(): the n-th byte on the line, either way, cannot have reached
// the host before n byte times have passed. The server may count two terminal transits (half a
// byte's time each) and one wake-up aimed early (at most a byte's time) as wire time, so each byte
// is held to n - 2 byte times. A read that comes back late only hides a byte that came early.
class WireTimedPort final : public SerialPort {
 public:
  explicit WireTimedPort(SerialPort& inner) : in_(inner) {}
  void Start(bool gather) {
    start_ = steady_clock::now(), onLine_ = 0, earliest_ = {}, gather_ = gather;
  }
  // How far the earliest byte came ahead of its wire time; zero or less when none did.
  std::chrono::nanoseconds Earliest() const { return earliest_; }

  bool Enabled() const override { return in_.Enabled(); }
  int Read(std::uint8_t* b, int n) override { return Came(in_.Read(b, n)); }
  int ReadWithin(std::uint8_t* b, int n, Millis max) override {
    return Came(in_.ReadWithin(b, n, max));
  }
  int Write(const std::uint8_t* b, int n) override {
    const int sent = in_.Write(b, n);
    onLine_ += std::max(sent, 0);
    return sent;
  }
  int InQueCount() override { return in_.InQueCount(); }
  int OutQueCount() override { return in_.OutQueCount(); }
  void PurgeIn() override { in_.PurgeIn(); }
  void PurgeOut() override { in_.PurgeOut(); }
  bool GetModemState(int line) override { return in_.GetModemState(line); }
  bool WaitReadable(Millis max) override { return in_.WaitReadable(max); }
  void WaitModemChange(Millis max) override { in_.WaitModemChange(max); }
  int ByteRate() const override { return gather_ ? in_.ByteRate() : 0; }

 private:
  int Came(int got) {
    const auto now = steady_clock::now();
    onLine_ += std::max(got, 0);  // the last byte read is the one held to the most
    if (got > 0) earliest_ = std::max(earliest_, start_ + (onLine_ - 2) * kByteWireTime - now);
    return got;
  }
  SerialPort& in_;
  steady_clock::time_point start_;
  long onLine_ = 0;
  std::chrono::nanoseconds earliest_{};
  bool gather_ = true;
};

// How close the pacing comes to a real line is the link benchmark's business. What a loaded
// machine still keeps: neither a stream of acknowledged bytes nor a read-back (written into the
// terminal in chunks, each when its last byte is due) runs ahead of the wire, byte by byte, by
// more than the terminal's slack, and neither side busy-waits through it.
TEST_F(PtyServerTest, BaudDelayNeverRunsAheadOfTheWireAndNeverSpins) {
  writer.Faults().BaudDelay = true;
  const int bytes = 400;
  for (int i = 0; i < bytes; ++i) ws.link.LinkBuffer[i] = 0x7F;
  const struct {
    const char* what;
    int action;
    int wireBytes;  // bytes on the line, one way or the other, after the timed call starts
    bool gather;    // the host lets a stream's bytes gather, or takes each as it comes
    // A read-back is paced from its header; one the server took late is late throughout and
    // would hide an early byte. Several rounds are not all late.
    int rounds;
  } cases[] = {{"read-back", ActionRead, 10 + 2 * ws.device.ProgramWords(), true, 1},
               {"read-back, each byte as it comes", ActionRead, 10 + 2 * ws.device.ProgramWords(),
                false, 3},
               {"write", ActionProgram, 2 * bytes - 1, true, 1}};
  WireTimedPort timed(comm);
  WriterLink timedLink{ws, timed, clock};
  for (const auto& c : cases) {
    for (int round = 0; round < c.rounds; ++round) {
      SCOPED_TRACE(c.what);
      timedLink.GetHeader(AreaProgram, c.action);
      if (c.action == ActionProgram) {
        ASSERT_EQ(timedLink.SendHeader(10), LinkResult::Ready);
      }
      timespec cpu0{}, cpu1{};
      ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
      const auto start = steady_clock::now();
      timed.Start(c.gather);
      if (c.action == ActionProgram)
        EXPECT_EQ(timedLink.WriteData(bytes, false), LinkResult::WriteOk);
      else
        EXPECT_EQ(timedLink.Read7BitData(2 * ws.device.ProgramWords(), true), LinkResult::Done);
      const auto elapsed = steady_clock::now() - start;
      ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
      EXPECT_LE(timed.Earliest().count(), 0) << "ns ahead of the wire";
      // 10 bit times a byte at 115200 baud.
      EXPECT_GE(elapsed, c.wireBytes * kByteWireTime);
      const auto cpu = std::chrono::seconds(cpu1.tv_sec - cpu0.tv_sec) +
                       std::chrono::nanoseconds(cpu1.tv_nsec - cpu0.tv_nsec);
      EXPECT_LT(cpu, elapsed * 9 / 10);
    }
  }
}

// The threads of this process, for a test that counts them.
long Threads() {
  long n = 0;
  for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

// One thread serves every Writer of the process; stopping one leaves the others answering.
TEST_F(PtyServerTest, WritersShareOneServingThreadAndStopOneByOne) {
  const long before = Threads();
  struct Host {
    SimWriter writer{FindDevice("KVX-01")};
    PtyServer server{writer};
    TComm comm;
  };
  std::vector<std::unique_ptr<Host>> hosts;
  for (int i = 0; i < 3; ++i) {
    hosts.push_back(std::make_unique<Host>());
    std::string error;
    const std::string path = linkPath + "_" + std::to_string(i);
    ASSERT_TRUE(hosts.back()->server.Start(path, error)) << error;
    hosts.back()->comm.SetDeviceName(path);
    hosts.back()->comm.SetBaudRate(br115200);
    hosts.back()->comm.Open();
    ASSERT_TRUE(hosts.back()->comm.Enabled());
  }
  EXPECT_EQ(Threads(), before);
  hosts[1]->server.Stop();
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    WriterLink other{ws, hosts[i]->comm, clock};
    EXPECT_EQ(other.CheckWriter(false), i == 1 ? LinkResult::Timeout : LinkResult::WriterAny);
  }
  EXPECT_EQ(link.CheckWriter(false), LinkResult::WriterAny);
}

TEST_F(PtyServerTest, StoppingHangsUpOnTheHostAndRemovesTheLink) {
  ASSERT_EQ(link.CheckWriter(false), LinkResult::WriterAny);
  server.Stop();
  EXPECT_FALSE(Exists(linkPath));
  // A clean failure (how soon: link_bench's "after a hang-up").
  EXPECT_EQ(link.CheckWriter(false), LinkResult::Timeout);
}

TEST(PtyServerLinkTest, ReplacesAStaleLinkButNeverAnotherFile) {
  SimWriter writer{0};
  const std::string stale = TempPath("kvx_stale");
  std::filesystem::create_symlink("/nonexistent/pts", stale);
  {
    PtyServer server{writer};
    std::string error;
    ASSERT_TRUE(server.Start(stale, error)) << error;
    EXPECT_EQ(std::filesystem::read_symlink(stale).string(), server.SlaveName());
  }
  EXPECT_FALSE(Exists(stale));  // the server's destructor removed its link

  const std::string plain = TempPath("kvx_plain");
  std::ofstream(plain) << "keep me";
  PtyServer server{writer};
  std::string error;
  EXPECT_FALSE(server.Start(plain, error));
  EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
  std::ifstream in(plain);
  std::string content;
  std::getline(in, content);
  EXPECT_EQ(content, "keep me");
  std::filesystem::remove(plain);
}

}  // namespace
}  // namespace kvx::sim
