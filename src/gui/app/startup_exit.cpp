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
#include "gui/app/main_window.h"
#include "gui/app/port_controls.h"
#include "gui/app/status_panel.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"
#include "gui/editors/buffer_windows.h"
#include "gui/editors/editor_commands.h"

namespace kvx::gui {

StartupExit::StartupExit(MainWindow& window, QTimer* refreshTimer)
    : QObject(&window), window_(window), refreshTimer_(refreshTimer) {}

void StartupExit::Create() {
  kvx::Workspace& ws = window_.workspace();
  window_.setWindowTitle(QString("KVX Writer ") + " V2.63");
  ws.results.WriterId.clear();
  if (ws.files.StartDir.empty()) ws.files.StartDir = QDir::currentPath().toStdString();
  ws.files.BufferCaption.clear();
  QComboBox* deviceList = window_.statusPanel()->DeviceList();
  {
    QuietSelectors quiet(window_.selectorsQuiet());
    deviceList->setCurrentIndex(0);
  }
  ws.device.SelectedDevice = deviceList->currentText().toStdString();
  ws.device.DeviceIndex = kvx::GetICInfo(ws, ws.device.SelectedDevice);

  // Default.cfg from the start-up folder: its device, port and program data.
  const kvx::LoadReport report = kvx::LoadDefaultConfig(ws);
  window_.ShowSelectedDevice();
  window_.port().ShowSelectedPort();
  window_.statusPanel()->RefreshData(ws);
  window_.editors();
  window_.actions().UpdateCommandStates();

  window_.port().StartCheck(
      [this](std::stop_token stop) { return window_.ports().StartupCheck(stop); },
      [this, loaded = report.messages](const std::vector<std::string>& messages) {
        if (window_.options().closeLogo) window_.options().closeLogo();
        window_.port().ShowMessages(loaded);
        window_.port().ShowMessages(window_.port().WithPortWarning(messages));
        // On this platform the link runs with the CTS handshake from the next check on.
        window_.port().UseCtsHandshake();
        refreshTimer_->start();
      });
}

void StartupExit::FirstShow() {
  WindowFlags& windows = window_.editors().Windows().Flags();
  if (windows.ShownOnce) return;
  window_.workspace().panel.RefreshPending = true;
  windows.IdChecksumFormOpen = true;
  windows.BufferViewOpen = true;
  windows.ShownOnce = true;
  window_.RebuildBufferWindows();
}

void StartupExit::CloseRequested(QCloseEvent* event) {
  if (window_.Busy()) {
    // The worker (or the connection check) is asked to stop and the window closes once it has
    // returned.
    closeAfterWorker_ = true;
    window_.device().CloseSession();
    if (window_.port().Checking()) window_.port().RequestStop();
    event->ignore();
    return;
  }
  SaveAtExit();
  event->accept();
}

bool StartupExit::CloseIfAsked() {
  if (!closeAfterWorker_) return false;
  window_.close();
  return true;
}

void StartupExit::SaveAtExit() {
  if (closed_) return;
  closed_ = true;
  refreshTimer_->stop();
  kvx::Workspace& ws = window_.workspace();
  window_.ports().CloseAtExit();
  ws.production.QtpReadFile.reset();
  const std::string failure = kvx::SaveDefaultConfig(ws);
  if (failure.empty()) return;
  exitStatus_ = 1;
  if (closeBySignal_)
    std::fprintf(stderr, "%s\n", failure.c_str());
  else
    window_.prompter().Message(&window_, Q(failure));
}

void StartupExit::CloseBySignal() {
  closeBySignal_ = true;
  window_.close();
}

}  // namespace kvx::gui
