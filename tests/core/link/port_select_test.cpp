// Port selection and the connection checks, with the simulated Writer standing in behind a
// factory (and a pseudo-terminal where Comm1 itself has to open something).
#include "core/link/port_select.h"

#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "core/device/catalogue.h"
#include "core/link/test_pty.h"
#include "sim/sim_writer.h"

namespace kvx {
namespace {

using test::Pty;

// A fixed environment instead of the process's own.
EnvLookup Env(std::map<std::string, std::string> vars) {
  return [vars = std::move(vars)](const char* name) -> const char* {
    auto it = vars.find(name);
    return it == vars.end() ? nullptr : it->second.c_str();
  };
}

TEST(PortSelectTest, PortNamesLeadToTheirDevices) {
  const EnvLookup env = Env({{"KVXW_COM2", "/dev/ttyUSB0"}, {"KVXW_COM5", "sim"}, {"KVXW_COM6", ""}});
  struct Case {
    const char* name;
    const char* device;
  } cases[] = {
      {"Com1", "/dev/ttyS0"},   {"Com8", "/dev/ttyS7"},     {"COM3", "/dev/ttyS2"},
      {"Com2", "/dev/ttyUSB0"},  // the environment points Com2 at an adapter
      {"com5", "sim"},           {"Com6", "/dev/ttyS5"},  // an empty value changes nothing
      {"Com9", "Com9"},          {"/dev/ttyACM0", "/dev/ttyACM0"},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolvePortDevice(c.name, env), c.device) << c.name;
  EXPECT_TRUE(IsSimPort("sim"));
  EXPECT_TRUE(IsSimPort("SIM"));
  EXPECT_FALSE(IsSimPort("/dev/sim"));
}

TEST(PortSelectTest, MessagesShowThePortNameInUpperCase) {
  EXPECT_EQ(PortErrorMessage("Com3"), "Open  COM3 Port Error!!");
  EXPECT_EQ(ConnectTimeoutMessage("Com1"), "Connect COM1 Timeout!!");
  EXPECT_EQ(PortNameUpper("sim"), "SIM");
  EXPECT_EQ(PortNameUpper("/dev/ttyUSB0"), "/dev/ttyUSB0");  // a path keeps its case
  EXPECT_EQ(FlowControlFor("CTS"), fcCTS);
  EXPECT_EQ(FlowControlFor("None"), fcNone);
  EXPECT_EQ(FlowControlFor("Default"), fcDefault);
  EXPECT_EQ(FlowControlFor(""), fcDefault);
}

int DeviceOfWriterType(int type) {
  for (int i = 0; Catalogue[i].Name != nullptr; ++i)
    if (Catalogue[i].WriterType == type) return i;
  return -1;
}

class PortSelectorTest : public ::testing::Test {
 protected:
  PortSelectorTest() { ws.device.DeviceIndex = GetICInfo(ws, ws.device.SelectedDevice); }

  // Com1 leads to the simulated Writer; the factory counts how often it was asked.
  PortSelector SimSelector(std::map<std::string, std::string> env = {{"KVXW_COM1", "sim"}}) {
    return PortSelector(ws, clock, [this]() -> std::unique_ptr<SerialPort> {
      ++factoryCalls;
      if (!simAvailable) return nullptr;
      return std::make_unique<sim::SimPort>(writer, &clock);
    }, Env(std::move(env)));
  }

  Workspace ws;
  FakeClock clock;
  sim::SimWriter writer{0};
  int factoryCalls = 0;
  bool simAvailable = true;
};

TEST_F(PortSelectorTest, CheckComPortOpensTheSelectedPortAfterThreeShortPauses) {
  PortSelector selector = SimSelector();
  const TimePoint before = clock.Now();
  EXPECT_EQ(selector.CheckComPort(), "");
  EXPECT_FALSE(ws.results.PortError);
  EXPECT_EQ(factoryCalls, 1);
  EXPECT_EQ(clock.Now() - before, Millis(3));
  EXPECT_TRUE(selector.Port().Enabled());
  EXPECT_FALSE(selector.Comm1().Enabled());
}

TEST_F(PortSelectorTest, APortThatDoesNotOpenGivesThePortErrorWithItsNameInUpperCase) {
  ws.settings.PortName = "Com3";
  PortSelector selector = SimSelector({{"KVXW_COM3", "/nonexistent/kvx-port"}});
  EXPECT_EQ(selector.CheckComPort(), "Open  COM3 Port Error!!");
  EXPECT_TRUE(ws.results.PortError);
  EXPECT_EQ(selector.OpenError(), ENOENT);
  EXPECT_EQ(selector.Device(), "/nonexistent/kvx-port");

  simAvailable = false;
  ws.settings.PortName = "Com1";
  PortSelector simSelector = SimSelector();
  EXPECT_EQ(simSelector.CheckComPort(), "Open  COM1 Port Error!!");
  EXPECT_TRUE(ws.results.PortError);
}

// The one port opening every front end uses: name and handshake in, the port or the operator's
// reason out; the same name and handshake again reuse the open port.
TEST_F(PortSelectorTest, OpenGivesThePortOrTheReasonAndReusesAnOpenPort) {
  PortSelector selector = SimSelector({{"KVXW_COM1", "sim"}, {"KVXW_COM3", "/nonexistent/kvx-port"}});
  std::string reason;
  EXPECT_EQ(selector.Open("Com3", kLinkHandShake, reason), nullptr);
  EXPECT_TRUE(reason.starts_with("Open  COM3 Port Error!!\n")) << reason;
  SerialPort* port = selector.Open("Com1", kLinkHandShake, reason);
  ASSERT_NE(port, nullptr) << reason;
  EXPECT_EQ(reason, "");
  EXPECT_EQ(ws.settings.HandShake, "CTS");
  EXPECT_EQ(selector.Open("Com1", kLinkHandShake, reason), port);
  EXPECT_EQ(factoryCalls, 1) << "opened once";
}

TEST_F(PortSelectorTest, ConnectionChecksReportByTheWritersAnswer) {
  const int type2 = DeviceOfWriterType(2);
  ASSERT_GE(type2, 0);
  struct Case {
    const char* what;
    bool change;  // the change check rather than the start-up check
    bool ctsInactive;
    bool wrongType;
    std::vector<std::string> messages;
  } cases[] = {
      {"start-up, Writer answers", false, false, false, {}},
      {"start-up, no answer", false, true, false, {"Connect COM1 Timeout!!"}},
      {"start-up, wrong Writer type", false, false, true, {"Connect Fail!"}},
      {"change, Writer answers", true, false, false, {"Connect OK!"}},
      {"change, no answer", true, true, false, {"Connect COM1 Timeout!!"}},
      {"change, wrong Writer type", true, false, true, {"Connect Fail!"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Workspace local;
    local.device.SelectedDevice = c.wrongType ? Catalogue[type2].Name : "KVX-01";
    local.device.DeviceIndex = GetICInfo(local, local.device.SelectedDevice);
    sim::SimWriter answering(local.device.DeviceIndex, c.wrongType ? 0xB2 : 0xB4);
    answering.Faults().CtsInactive = c.ctsInactive;
    PortSelector selector(local, clock, [&] { return std::make_unique<sim::SimPort>(answering, &clock); },
                          Env({{"KVXW_COM1", "sim"}}));
    const auto messages = c.change ? selector.ChangeCheck() : selector.StartupCheck();
    EXPECT_EQ(messages, c.messages);
    // Only the start-up check asks for the identification.
    EXPECT_EQ(local.results.WriterId.empty(), c.change || c.ctsInactive || c.wrongType);
  }
}

TEST_F(PortSelectorTest, StartupWithAMissingPortShowsOnlyThePortError) {
  PortSelector selector = SimSelector({{"KVXW_COM1", "/nonexistent/kvx-port"}});
  EXPECT_EQ(selector.StartupCheck(), std::vector<std::string>{"Open  COM1 Port Error!!"});
  EXPECT_EQ(writer.BytesReceived(), 0);
}

TEST_F(PortSelectorTest, ADeviceCommandRetriesAFailedOpenOnceAndOnlyThen) {
  PortSelector selector = SimSelector();
  simAvailable = false;
  selector.CheckComPort();
  ASSERT_TRUE(ws.results.PortError);

  std::string message;
  EXPECT_FALSE(selector.EnsurePort(message));  // still missing: the command stops here
  EXPECT_EQ(message, "Open  COM1 Port Error!!");
  EXPECT_EQ(factoryCalls, 2);

  simAvailable = true;  // the Writer is plugged in now: the command goes on without a message
  EXPECT_TRUE(selector.EnsurePort(message));
  EXPECT_EQ(message, "");
  EXPECT_EQ(factoryCalls, 3);

  EXPECT_TRUE(selector.EnsurePort(message));  // an open port is not opened again
  EXPECT_EQ(factoryCalls, 3);
}

TEST_F(PortSelectorTest, Comm1GetsTheLinkSettingsAndGivesBackTheSavedOnesAtExit) {
  Pty adapter;
  ASSERT_FALSE(adapter.name.empty());
  const std::string terminal = adapter.name;
  ws.settings.HandShake = "CTS";
  PortSelector selector(ws, clock, {}, Env({{"KVXW_COM1", terminal}}));

  EXPECT_EQ(selector.CheckComPort(), "");
  TComm& comm = selector.Comm1();
  EXPECT_TRUE(comm.Enabled());
  EXPECT_EQ(&selector.Port(), &comm);
  EXPECT_EQ(comm.DeviceName(), terminal);
  EXPECT_EQ(comm.BaudRate(), br115200);
  EXPECT_EQ(comm.Databits(), da8);
  EXPECT_EQ(comm.Parity(), paNone);
  EXPECT_EQ(comm.Stopbits(), sb10);
  EXPECT_EQ(comm.FlowControl(), fcCTS);
  EXPECT_EQ(comm.ReadBufSize(), 8192);
  EXPECT_EQ(comm.WriteBufSize(), 0u);
  // What Comm1 had before: the component's own defaults.
  EXPECT_EQ(ws.link.SavedPort.Name, "Com2");
  EXPECT_EQ(ws.link.SavedPort.BaudRate, br9600);

  selector.CheckComPort();  // a second check remembers the link's settings
  EXPECT_EQ(ws.link.SavedPort.Name, terminal);
  EXPECT_EQ(ws.link.SavedPort.BaudRate, br115200);

  ws.link.SavedPort = {"Com4", br57600, da7, paOdd, sb20};
  selector.CloseAtExit();
  EXPECT_FALSE(comm.Enabled());
  EXPECT_EQ(comm.DeviceName(), "Com4");
  EXPECT_EQ(comm.BaudRate(), br57600);
  EXPECT_EQ(comm.Databits(), da7);
  EXPECT_EQ(comm.Parity(), paOdd);
  EXPECT_EQ(comm.Stopbits(), sb20);
  EXPECT_EQ(comm.FlowControl(), fcCTS);  // the handshake is not given back
}

TEST_F(PortSelectorTest, AnAdapterPluggedBackInIsOpenedAfreshByTheNextCommand) {
  const std::string link = (std::filesystem::temp_directory_path() /
                            ("kvx_adapter_" + std::to_string(::getpid()))).string();
  std::filesystem::remove(link);
  Pty first;
  std::filesystem::create_symlink(first.name, link);
  PortSelector selector(ws, clock, {}, Env({{"KVXW_COM1", link}}));
  ASSERT_EQ(selector.CheckComPort(), "");

  first.CloseMaster();
  std::uint8_t byte = 0;
  EXPECT_EQ(selector.Port().Read(&byte, 1), -1);
  EXPECT_FALSE(selector.Port().Enabled());

  Pty second;  // the same name leads to the adapter again
  std::filesystem::remove(link);
  std::filesystem::create_symlink(second.name, link);
  std::string message;
  EXPECT_TRUE(selector.EnsurePort(message));
  EXPECT_EQ(message, "");
  EXPECT_TRUE(selector.Port().Enabled());
  selector.CloseAtExit();
  std::filesystem::remove(link);
}

}  // namespace
}  // namespace kvx
