#include "gui/app/download_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/link/writer_link.h"
#include "gui/common/gui_queue.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

// The worker's side: each call is copied and queued to the window.
class DownloadDialog::View final : public kvx::DownloadView {
 public:
  explicit View(DownloadDialog& form) : form_(&form), queue_(new GuiQueue(&form)) {}
  void SelectLine(int index) override {
    DownloadDialog* f = form_;
    queue_->Post([f, index] { f->deviceList_->setCurrentRow(index); });
  }
  void SetGauge(int percent) override {
    DownloadDialog* f = form_;
    queue_->Post([f, percent] { f->gauge_->setValue(percent); });
  }
  // Waits for the operator's answer, as every view does, unless the download is stopped.
  void ShowMessage(std::string_view text) override {
    const QString t = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    WaitForBox(*queue_, form_->prompter_, form_, t, stop_);
  }
  // The download's stop token, set on the worker before the first call.
  void Arm(std::stop_token stop) { stop_ = std::move(stop); }

 private:
  DownloadDialog* form_;
  GuiQueue* queue_;
  std::stop_token stop_;
};

DownloadDialog::DownloadDialog(Prompter& prompter, QWidget* parent)
    : WorkerDialog(parent),
      prompter_(prompter),
      view_(std::make_unique<View>(*this)),
      nullView_(std::make_unique<kvx::NullOperationView>()) {
  setObjectName("DeviceForm");
  setWindowTitle("Device select");
  auto* layout = new QHBoxLayout(this);
  deviceList_ = new QListWidget(this);
  Name(deviceList_, "CheckListBox1", "Devices");
  for (const kvx::DeviceLine& line : download_.Lines()) {
    auto* item = new QListWidgetItem(QString::fromStdString(line.Name), deviceList_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(line.Ticked ? Qt::Checked : Qt::Unchecked);
    item->setSizeHint(QSize(140, 20));
  }
  deviceList_->setMinimumSize(170, 360);
  layout->addWidget(deviceList_);

  auto* side = new QVBoxLayout;
  auto* label1 = new QLabel(this);
  label1->setObjectName("Label1");
  SetLabelText(label1, "Maxium 16 devices can be selected.");
  side->addWidget(label1);
  auto* count = new QHBoxLayout;
  auto* label2 = new QLabel(this);
  label2->setObjectName("Label2");
  SetLabelText(label2, "Total selected devices :");
  selectedCountLabel_ = new QLabel(this);
  selectedCountLabel_->setObjectName("StaticText1");
  selectedCountLabel_->setFrameShape(QFrame::Panel);
  selectedCountLabel_->setFrameShadow(QFrame::Sunken);
  selectedCountLabel_->setMinimumWidth(40);
  selectedCountLabel_->setAlignment(Qt::AlignCenter);
  count->addWidget(label2);
  count->addWidget(selectedCountLabel_);
  count->addStretch(1);
  side->addLayout(count);
  gauge_ = new QProgressBar(this);
  Name(gauge_, "CGauge1");
  gauge_->setRange(0, 100);
  gauge_->setValue(0);
  side->addWidget(gauge_);
  side->addStretch(1);
  auto* buttons = new QHBoxLayout;
  downLoad_ = new QPushButton(this);
  downLoad_->setObjectName("DownLoad");
  SetButtonText(downLoad_, "Download");
  exit_ = new QPushButton(this);
  exit_->setObjectName("Exit");
  SetButtonText(exit_, "Exit");
  buttons->addWidget(downLoad_);
  buttons->addWidget(exit_);
  side->addLayout(buttons);
  layout->addLayout(side);
  ShowCount();

  connect(deviceList_, &QListWidget::itemChanged, this, &DownloadDialog::CheckListBox1ClickCheck);
  connect(downLoad_, &QPushButton::clicked, this, [this] {
    for (QWidget* w : {static_cast<QWidget*>(deviceList_), static_cast<QWidget*>(downLoad_),
                       static_cast<QWidget*>(exit_)})
      w->setEnabled(false);
    Q_EMIT downloadRequested();
  });
  connect(exit_, &QPushButton::clicked, this, [this] { CloseByButton(); });
}

DownloadDialog::~DownloadDialog() = default;

kvx::OperationView& DownloadDialog::NullView() { return *nullView_; }

kvx::OpOutcome DownloadDialog::Download(kvx::Workspace& ws, kvx::SerialPort& port, kvx::Clock& clock,
                                     std::stop_token stop) {
  kvx::WriterLink link(ws, port, clock, stop);
  view_->Arm(stop);
  const std::string message = download_.DownLoadClick(link, *view_);
  if (stop.stop_requested()) return kvx::OpOutcome::Stopped;
  return message.empty() ? kvx::OpOutcome::Ok : kvx::OpOutcome::LinkFailed;
}

void DownloadDialog::DownloadEnded() {
  for (QWidget* w : {static_cast<QWidget*>(deviceList_), static_cast<QWidget*>(downLoad_),
                     static_cast<QWidget*>(exit_)})
    w->setEnabled(true);
}

void DownloadDialog::CheckListBox1ClickCheck(QListWidgetItem* item) {
  const int index = deviceList_->row(item);
  const bool ticked = item->checkState() == Qt::Checked;
  if (index < 0 || ticked == download_.Lines()[index].Ticked) return;
  const std::string refusal = download_.CheckListBox1ClickCheck(index);
  {
    const QSignalBlocker block(deviceList_);
    item->setCheckState(download_.Lines()[index].Ticked ? Qt::Checked : Qt::Unchecked);
  }
  gauge_->setValue(download_.Gauge());
  ShowCount();
  if (!refusal.empty()) prompter_.Message(this, QString::fromStdString(refusal));
}

void DownloadDialog::ShowCount() {
  SetLabelText(selectedCountLabel_, QString::number(download_.TickedCount()));
}

}  // namespace kvx::gui
