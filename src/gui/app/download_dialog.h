// "Device select": the operator ticks up to 16 catalogue devices and sends their parameter
// records to the newer Writer model. The records go out on a worker; the list, the count and
// the gauge follow it here.
#pragma once

#include <memory>

#include "core/link/download.h"
#include "core/ops/operation.h"
#include "gui/app/worker_dialog.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;
namespace kvx::gui {

class Prompter;

class DownloadDialog : public WorkerDialog {
  Q_OBJECT
 public:
  DownloadDialog(Prompter& prompter, QWidget* parent = nullptr);
  ~DownloadDialog() override;

  // The download's worker writes through DownloadView, not an operation view.
  kvx::OperationView& NullView();
  // On the worker: the opening record and the ticked devices' records.
  kvx::OpOutcome Download(kvx::Workspace& ws, kvx::SerialPort& port, kvx::Clock& clock,
                          std::stop_token stop);
  // On the GUI thread, once the worker has returned.
  void DownloadEnded();

 Q_SIGNALS:
  void downloadRequested();

 private:
  void CheckListBox1ClickCheck(QListWidgetItem* item);
  void ShowCount();
  class View;

  Prompter& prompter_;
  kvx::DeviceDownload download_;
  std::unique_ptr<View> view_;
  std::unique_ptr<kvx::OperationView> nullView_;
  QListWidget* deviceList_;
  QLabel* selectedCountLabel_;
  QProgressBar* gauge_;
  QPushButton* downLoad_;
  QPushButton* exit_;
};

}  // namespace kvx::gui
