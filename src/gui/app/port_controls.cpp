#include "gui/app/port_controls.h"

#include <QComboBox>
#include <QLabel>
#include <QToolBar>
#include <filesystem>

#include "core/link/port_select.h"
#include "core/production/pass_time.h"
#include <QMainWindow>
#include "core/device/workspace.h"
#include "gui/app/sim_bench.h"
#include "gui/app/port_chooser.h"
#include "gui/app/startup_exit.h"
#include "gui/common/gui_queue.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

namespace {
// Where a device path leads: "Com1" through KVXW_COM1 and a by-id link are one port.
std::string RealDevice(const std::string& path) {
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(path, error);
  return error ? path : real.string();
}
}  // namespace

PortControls::PortControls(const WindowParts& parts, QToolBar* bar)
    : QObject(&parts.window), parts_(parts), checkEnds_(new GuiQueue(this)) {
  // A selector with its caption before it; the caption is returned.
  auto selector = [bar](const char* labelName, const QString& caption, int leftMargin, QComboBox*& list,
                        const char* listName, const QString& listCaption) {
    auto* label = new QLabel(bar);
    label->setObjectName(labelName);
    SetLabelText(label, caption);
    label->setContentsMargins(leftMargin, 0, 4, 0);
    bar->addWidget(label);
    list = new QComboBox(bar);
    Name(list, listName, listCaption);
    bar->addWidget(list);
    return label;
  };
  portLabel_ = selector("Label3", "Serial Port :", 6, portList_, "ComboBox1", "Serial Port");
  portChooser_ = new PortChooser(portList_, parts.options.env, this);
  selector("Label4", "HandShake :", 10, handshake_, "HandShake", "HandShake");
  for (std::string_view name : kvx::kHandShakeNames) handshake_->addItem(Q(name));
  {
    QuietSelectors quiet(parts_.selectorsQuiet);
    portList_->setCurrentIndex(0);
  }
  parts_.ws.settings.PortName = portList_->currentText().toStdString();
  connect(portList_, &QComboBox::currentIndexChanged, this, [this] { onPortChosen(); });
  connect(handshake_, &QComboBox::currentIndexChanged, this, [this] { onPortChosen(); });
}

PortControls::~PortControls() = default;

void PortControls::ShowSelectedPort() {
  QuietSelectors quiet(parts_.selectorsQuiet);
  portChooser_->Show(parts_.ws.settings.PortName);  // a USB port the station settings remember, too
}

void PortControls::UseCtsHandshake() {
  {
    QuietSelectors quiet(parts_.selectorsQuiet);
    handshake_->setCurrentText(Q(kvx::kLinkHandShake));
  }
  parts_.ws.settings.HandShake = handshake_->currentText().toStdString();
}

bool PortControls::StartCheck(Check check, std::function<void(const std::vector<std::string>&)> then) {
  if (parts_.host.Busy()) return false;
  auto messages = std::make_shared<std::vector<std::string>>();
  const bool started = checks_.Start(
      parts_.ws,
      [check = std::move(check), messages](std::stop_token stop) {
        *messages = check(stop);
        return kvx::OpOutcome::Ok;
      },
      [this, messages, then = std::move(then)](kvx::OpOutcome) {
        checkEnds_->Post([this, messages, then] {
          checks_.Wait();  // it has returned: this only joins its thread
          checking_ = false;
          if (parts_.host.startupExit().CloseIfAsked()) return;
          if (then) then(*messages);
        });
      });
  checking_ = started;
  return started;
}

void PortControls::ShowMessages(const std::vector<std::string>& messages) {
  for (const std::string& m : messages) {
    QString text = Q(m);
    // A port that did not open: say why on a second line (busy and by whom, no such device,
    // no permission and which group may open it), as kvxw does.
    if (m == kvx::PortErrorMessage(parts_.ws.settings.PortName)) {
      const std::string reason = parts_.ports.OpenReason();
      if (!reason.empty()) text += "\n" + Q(reason);
    }
    parts_.prompter.Message(&parts_.window, text);
  }
}

bool PortControls::LendPort(const std::string& device, std::string& reason) {
  kvx::PortSelector& ports = parts_.ports;
  const std::string wanted = RealDevice(device);
  const bool mine = !parts_.ws.results.PortError && !kvx::IsSimPort(ports.Device()) &&
                    ports.Comm1().Enabled() && RealDevice(ports.Device()) == wanted;
  if (mine) {
    if (parts_.host.Busy() || !parts_.host.CommandAllowed()) {
      reason = "The main window is using " + kvx::PortNameUpper(parts_.ws.settings.PortName) +
               "; start this Writer again once its operation has ended.";
      return false;
    }
    // Closed now; PortReady opens it again for a command, and PortGivenBack once no tile holds it.
    ports.Comm1().Close();
    parts_.ws.results.PortError = true;
    released_ = true;
  }
  lent_.insert(wanted);
  return true;
}

void PortControls::PortGivenBack(const std::string& device) {
  const auto held = lent_.find(RealDevice(device));
  if (held != lent_.end()) lent_.erase(held);
  kvx::PortSelector& ports = parts_.ports;
  if (!released_ || lent_.count(RealDevice(ports.Device())) > 0) return;
  released_ = false;
  // A check or an operation under way opened its port itself.
  if (!parts_.host.Busy() && parts_.ws.results.PortError) ports.CheckComPort();
}

bool PortControls::PortReady() {
  if (parts_.host.Busy()) return false;
  if (released_ && lent_.count(RealDevice(parts_.ports.Device())) > 0) {
    parts_.prompter.Message(
        &parts_.window, Q(kvx::PortNameUpper(parts_.ws.settings.PortName)) +
                      " is in use by the production window.");
    return false;
  }
  kvx::Workspace& ws = parts_.ws;
  kvx::PortSelector& ports = parts_.ports;
  std::string message;
  // The simulated Writer's socket holds a chip of the workspace's device, whatever changed the
  // device (the device list, a configuration): another device means the port afresh.
  if (kvx::IsSimPort(ports.Device()) && !ws.results.PortError && parts_.sim.DeviceIndex() != ws.device.DeviceIndex)
    ports.CheckComPort();
  if (ports.EnsurePort(message)) return true;
  ShowMessages({message});
  return false;
}

void PortControls::onPortChosen() {
  if (parts_.selectorsQuiet) return;
  kvx::Workspace& ws = parts_.ws;
  if (parts_.host.Busy()) {
    // A worker owns the port: the selector goes back to the port it uses.
    QuietSelectors quiet(parts_.selectorsQuiet);
    portList_->setCurrentText(Q(ws.settings.PortName));
    handshake_->setCurrentText(Q(ws.settings.HandShake));
    return;
  }
  ws.settings.PortName = portList_->currentText().toStdString();
  ws.settings.HandShake = handshake_->currentText().toStdString();
  released_ = false;  // the check opens the chosen port, whatever a tile was lent
  StartCheck([this](std::stop_token stop) { return parts_.ports.ChangeCheck(stop); },
             [this](const std::vector<std::string>& messages) {
               ShowMessages(WithPortWarning(messages));
             });
}

std::vector<std::string> PortControls::WithPortWarning(std::vector<std::string> messages) const {
  const kvx::Workspace& ws = parts_.ws;
  if (ws.results.PortError) return messages;
  const std::string warning = kvx::SlowPortWarning(
      parts_.ports.Facts(), kvx::PortNameUpper(ws.settings.PortName), ws);
  if (!warning.empty()) messages.push_back(warning);
  return messages;
}

}  // namespace kvx::gui
