#include "core/link/port_select.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "core/device/text_convert.h"
#include "core/link/port_reason.h"
#include "core/link/writer_link.h"

namespace kvx {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// 0..7 for "Com1".."Com8", -1 for any other name.
int ComIndex(std::string_view name) {
  for (size_t i = 0; i < kPortNames.size(); ++i) {
    if (SameName(name, kPortNames[i])) return static_cast<int>(i);
  }
  return -1;
}

bool Accepted(LinkResult result) {
  return result == LinkResult::WriterType1 || result == LinkResult::WriterType2 ||
         result == LinkResult::WriterAny;
}

}  // namespace

std::string ResolvePortDevice(std::string_view name, const EnvLookup& env) {
  const int index = ComIndex(name);
  if (index < 0) return std::string(name);
  const std::string variable = "KVXW_COM" + std::to_string(index + 1);
  const char* value = env ? env(variable.c_str()) : std::getenv(variable.c_str());
  if (value != nullptr && *value != '\0') return value;
  return "/dev/ttyS" + std::to_string(index);
}

bool IsSimPort(std::string_view device) { return SameName(device, kSimPortName); }

std::string PortNameUpper(std::string_view name) {
  if (name.find('/') != std::string_view::npos) return std::string(name);  // a path's case matters
  return UpperCase(std::string(name));
}

std::string PortErrorMessage(std::string_view name) {
  return "Open  " + PortNameUpper(name) + " Port Error!!";
}

std::string ConnectTimeoutMessage(std::string_view name) {
  return "Connect " + PortNameUpper(name) + " Timeout!!";
}

TFlowControl FlowControlFor(std::string_view handShake) {
  if (handShake == "CTS") return fcCTS;
  if (handShake == "None") return fcNone;
  return fcDefault;
}

PortSelector::PortSelector(Workspace& ws, Clock& clock, SimPortFactory simFactory, EnvLookup env)
    : ws_(ws), clock_(clock), simFactory_(std::move(simFactory)), env_(std::move(env)) {
  // The main window's port keeps a larger input queue than the component's default and leaves
  // the output queue to the driver (0).
  comm_.SetReadBufSize(8192);
  comm_.SetWriteBufSize(0);
  // KVXW_SYS_ROOT stands in for /sys, for trying what a port reports without the adapter.
  const char* sys = env_ ? env_("KVXW_SYS_ROOT") : std::getenv("KVXW_SYS_ROOT");
  if (sys != nullptr && *sys != '\0') sysRoot_ = sys;
}

SerialPort& PortSelector::Port() {
  if (simPort_) return *simPort_;
  return comm_;
}

void PortSelector::ClosePorts() {
  comm_.Close();
  simPort_.reset();
}

std::string PortSelector::CheckComPort() {
  ClosePorts();
  ws_.link.SavedPort = {comm_.DeviceName(), comm_.BaudRate(), comm_.Databits(), comm_.Parity(),
                   comm_.Stopbits()};
  for (int i = 0; i < 3; ++i) clock_.SleepFor(Millis(1));
  ws_.results.PortError = !OpenDevice();
  return ws_.results.PortError ? PortErrorMessage(ws_.settings.PortName) : std::string();
}

bool PortSelector::OpenDevice() {
  facts_ = PortFacts{};
  ws_.link.RoundTrip = {};  // a round trip of the last port says nothing of this one
  device_ = ResolvePortDevice(ws_.settings.PortName, env_);
  if (IsSimPort(device_)) {
    simPort_ = simFactory_ ? simFactory_() : nullptr;
    openError_ = simPort_ && simPort_->Enabled() ? 0 : ENODEV;
    if (openError_ != 0) simPort_.reset();
    return openError_ == 0;
  }
  comm_.SetDeviceName(device_);
  comm_.SetBaudRate(br115200);
  comm_.SetDatabits(da8);
  comm_.SetParity(paNone);
  comm_.SetStopbits(sb10);
  comm_.SetFlowControl(FlowControlFor(ws_.settings.HandShake));
  try {
    comm_.Open();
    openError_ = comm_.LastError();
  } catch (const ECommError& e) {
    // The device opened but refused the link's line settings: as unusable as a missing one.
    openError_ = e.ErrorCode() > 0 ? e.ErrorCode() : EIO;
  }
  if (!comm_.Enabled()) return false;
  facts_ = ReadPortFacts(device_, sysRoot_, comm_.ByteRate());
  facts_.lowLatency = comm_.LowLatencyState();
  return true;
}

std::string PortSelector::OpenReason() const {
  if (!ws_.results.PortError || IsSimPort(device_)) return {};
  return PortOpenReason(device_, openError_);
}

std::vector<std::string> PortSelector::StartupCheck(std::stop_token stop) {
  return ConnectionCheck(true, {}, std::move(stop));
}

std::vector<std::string> PortSelector::ChangeCheck(std::stop_token stop) {
  return ConnectionCheck(false, {std::string(kConnectOk)}, std::move(stop));
}

std::vector<std::string> PortSelector::ConnectionCheck(bool readId,
                                                       std::vector<std::string> whenAccepted,
                                                       std::stop_token stop) {
  const std::string portError = CheckComPort();
  if (ws_.results.PortError) return {portError};
  WriterLink link(ws_, Port(), clock_, stop);
  const LinkResult result = link.CheckWriterSettled(readId);
  if (stop.stop_requested()) return {};
  if (Accepted(result)) return whenAccepted;
  if (result == LinkResult::Timeout) return {ConnectTimeoutMessage(ws_.settings.PortName)};
  if (ws_.results.WriterBusyHint) return {std::string(kConnectFail), kWriterBusyHint};
  return {std::string(kConnectFail)};
}

bool PortSelector::EnsurePort(std::string& message) {
  message.clear();
  // A port that hung up since it was opened (an adapter pulled and plugged in again) is
  // opened afresh as well.
  if (!ws_.results.PortError && Port().Enabled()) return true;
  message = CheckComPort();
  return !ws_.results.PortError;
}

SerialPort* PortSelector::Open(const std::string& name, std::string_view handShake,
                               std::string& reason) {
  reason.clear();
  const std::string wanted = name + " " + std::string(handShake);
  std::string error;
  if (wanted != opened_) {
    ws_.settings.PortName = name;
    ws_.settings.HandShake = std::string(handShake);
    opened_ = wanted;
    error = CheckComPort();
  } else {
    EnsurePort(error);
  }
  if (!ws_.results.PortError) return &Port();
  const std::string why = OpenReason();
  reason = why.empty() ? error : error + "\n" + why;
  return nullptr;
}

void PortSelector::CloseAtExit() {
  ClosePorts();
  const SavedPortSettings& saved = ws_.link.SavedPort;
  comm_.SetDeviceName(saved.Name);
  comm_.SetBaudRate(static_cast<TBaudrate>(saved.BaudRate));
  comm_.SetDatabits(static_cast<TDatabits>(saved.DataBits));
  comm_.SetParity(static_cast<TParity>(saved.Parity));
  comm_.SetStopbits(static_cast<TStopbits>(saved.StopBits));
}

}  // namespace kvx
