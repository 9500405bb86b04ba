// Why a port did not open, as the operator reads it, and connection checks that can be stopped
// from another thread.
#include "core/link/port_reason.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stop_token>
#include <string>

#include <gtest/gtest.h>

#include "core/device/catalogue.h"
#include "core/link/port_select.h"
#include "core/link/test_pty.h"
#include "sim/sim_writer.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

TEST(PortReasonTest, EachFailedOpenSaysWhy) {
  const fs::path dir = fs::temp_directory_path() / ("kvx_reason_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string plain = (dir / "plain").string();
  std::ofstream(plain) << "not a port";
  const std::string dangling = (dir / "ttyKVX").string();
  fs::create_symlink(dir / "unplugged", dangling);
  test::Pty pty;
  TComm holder;  // this process holds the terminal, as another program would
  holder.SetDeviceName(pty.name);
  holder.Open();
  ASSERT_TRUE(holder.Enabled());
  std::ifstream commFile("/proc/self/comm");
  std::string self;
  std::getline(commFile, self);

  struct Case {
    std::string device;
    std::string reason;
  } cases[] = {
      {(dir / "nothing").string(), "No such device: " + (dir / "nothing").string()},
      {dangling, "No such device: " + dangling + " is a link to " + (dir / "unplugged").string() +
                     ", which does not exist"},
      {plain, plain + " is not a serial device"},
      {"/dev/null", "/dev/null is not a serial device"},
      {pty.name, "Port busy: " + pty.name + " is held by another program (process " +
                     std::to_string(::getpid()) + " (" + self + "))"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    TComm comm;
    comm.SetDeviceName(c.device);
    comm.Open();
    ASSERT_FALSE(comm.Enabled());
    EXPECT_EQ(PortOpenReason(c.device, comm.LastError()), c.reason);
  }
  EXPECT_EQ(PortOpenReason("/dev/ttyS9", EACCES).rfind("Permission denied on /dev/ttyS9", 0), 0u);
  EXPECT_EQ(PortOpenReason(pty.name, 0), "");
  fs::remove_all(dir);
}

TEST(PortReasonTest, AStoppedConnectionCheckSendsNothingMoreAndShowsNothing) {
  FakeClock clock;
  Workspace ws;
  ws.device.DeviceIndex = GetICInfo(ws, ws.device.SelectedDevice);
  sim::SimWriter silent(ws.device.DeviceIndex);
  silent.Faults().CtsInactive = true;  // the check would wait its whole time-out
  PortSelector selector(ws, clock, [&] { return std::make_unique<sim::SimPort>(silent, &clock); },
                        [](const char* name) { return std::string(name) == "KVXW_COM1" ? "sim" : nullptr; });
  std::stop_source stop;
  stop.request_stop();
  for (bool change : {false, true}) {
    const TimePoint start = clock.Now();
    const auto messages = change ? selector.ChangeCheck(stop.get_token()) : selector.StartupCheck(stop.get_token());
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_LT(clock.Now() - start, Millis(100));
    EXPECT_EQ(silent.BytesReceived(), 0);
    EXPECT_TRUE(selector.OpenReason().empty());
  }
}

}  // namespace
}  // namespace kvx
