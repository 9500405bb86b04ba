#include "gui/app/startup_exit.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QTimer>
#include <cstdio>

#include "core/device/catalogue.h"
#include "core/device/workspace_ops.h"
#include "core/files/config_file.h"
#include "gui/app/device_commands.h"
#include "gui/app/main_actions.h"
#include <QMainWindow>
#include "core/device/workspace.h"
#include "gui/app/sim_bench.h"
#include "gui/app/port_controls.h"
#include "gui/app/status_panel.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"
#include "gui/editors/buffer_windows.h"
#include "gui/editors/editor_commands.h"

namespace kvx::gui {

StartupExit::StartupExit(const WindowParts& parts, QTimer* refreshTimer)
    : QObject(&parts.window), parts_(parts), refreshTimer_(refreshTimer) {}

void StartupExit::Create() {
  kvx::Workspace& ws = parts_.ws;
  parts_.window.setWindowTitle(QString("KVX Writer ") + " V2.63");
  ws.results.WriterId.clear();
  if (ws.files.StartDir.empty()) ws.files.StartDir = QDir::currentPath().toStdString();
  ws.files.BufferCaption.clear();
  QComboBox* deviceList = parts_.panel.DeviceList();
  {
    QuietSelectors quiet(parts_.selectorsQuiet);
    deviceList->setCurrentIndex(0);
  }
  ws.device.SelectedDevice = deviceList->currentText().toStdString();
  ws.device.DeviceIndex = kvx::GetICInfo(ws, ws.device.SelectedDevice);

  // Default.cfg from the start-up folder: its device, port and program data.
  const kvx::LoadReport report = kvx::LoadDefaultConfig(ws);
  parts_.host.ShowSelectedDevice();
  parts_.host.port().ShowSelectedPort();
  parts_.panel.RefreshData(ws);
  parts_.host.editors();
  parts_.host.actions().UpdateCommandStates();

  parts_.host.port().StartCheck(
      [this](std::stop_token stop) { return parts_.ports.StartupCheck(stop); },
      [this, loaded = report.messages](const std::vector<std::string>& messages) {
        if (parts_.options.closeLogo) parts_.options.closeLogo();
        parts_.host.port().ShowMessages(loaded);
        parts_.host.port().ShowMessages(parts_.host.port().WithPortWarning(messages));
        // On this platform the link runs with the CTS handshake from the next check on.
        parts_.host.port().UseCtsHandshake();
        refreshTimer_->start();
      });
}

void StartupExit::FirstShow() {
  WindowFlags& windows = parts_.host.editors().Windows().Flags();
  if (windows.ShownOnce) return;
  parts_.ws.panel.RefreshPending = true;
  windows.IdChecksumFormOpen = true;
  windows.BufferViewOpen = true;
  windows.ShownOnce = true;
  parts_.host.RebuildBufferWindows();
}

void StartupExit::CloseRequested(QCloseEvent* event) {
  if (parts_.host.Busy()) {
    // The worker (or the connection check) is asked to stop and the window closes once it has
    // returned.
    closeAfterWorker_ = true;
    parts_.host.device().CloseSession();
    if (parts_.host.port().Checking()) parts_.host.port().RequestStop();
    event->ignore();
    return;
  }
  SaveAtExit();
  event->accept();
}

bool StartupExit::CloseIfAsked() {
  if (!closeAfterWorker_) return false;
  parts_.window.close();
  return true;
}

void StartupExit::SaveAtExit() {
  if (closed_) return;
  closed_ = true;
  refreshTimer_->stop();
  kvx::Workspace& ws = parts_.ws;
  parts_.ports.CloseAtExit();
  ws.production.QtpReadFile.reset();
  const std::string failure = kvx::SaveDefaultConfig(ws);
  if (failure.empty()) return;
  exitStatus_ = 1;
  if (closeBySignal_)
    std::fprintf(stderr, "%s\n", failure.c_str());
  else
    parts_.prompter.Message(&parts_.window, Q(failure));
}

void StartupExit::CloseBySignal() {
  closeBySignal_ = true;
  parts_.window.close();
}

}  // namespace kvx::gui
