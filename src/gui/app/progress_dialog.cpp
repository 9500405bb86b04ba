#include "gui/app/progress_dialog.h"

#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/common/gui_queue.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

ProgressDialog::ProgressDialog(const kvx::DialogSpec& look, Prompter& prompter, QWidget* parent)
    : WorkerDialog(parent), prompter_(prompter), queue_(new GuiQueue(this)), closeBox_(look.closeBox) {
  setObjectName(QString::fromStdString(look.objectName));
  setWindowTitle(QString::fromStdString(look.caption));
  // Only the dialogs that may be closed at any moment get a close box.
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (closeBox_) flags |= Qt::WindowCloseButtonHint;
  setWindowFlags(flags);
  setMinimumWidth(380);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(18, 14, 18, 14);
  layout->setSpacing(8);
  auto* title = new QLabel(this);
  title->setObjectName("StaticText1");
  QFont big = title->font();
  big.setPointSizeF(big.pointSizeF() * 1.4);
  big.setBold(true);
  title->setFont(big);
  title->setAlignment(Qt::AlignCenter);
  SetLabelText(title, QString::fromStdString(look.title), Ampersands::DoubledShowOnce);
  lines_.insert("StaticText1", title);
  layout->addWidget(title);
  auto* bevel = new QFrame(this);
  bevel->setObjectName("Bevel1");
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);
  layout->addWidget(bevel);

  for (const kvx::ControlSpec& c : look.labels) {
    auto* label = new QLabel(this);
    label->setObjectName(QString::fromStdString(c.name));
    label->setMinimumHeight(label->fontMetrics().height() + 4);
    SetLabelText(label, QString::fromStdString(c.text), Ampersands::DoubledShowOnce);
    label->setVisible(c.visible);
    lines_.insert(label->objectName(), label);
    layout->addWidget(label);
  }
  if (look.gauge) {
    gauge_ = new QProgressBar(this);
    gauge_->setObjectName("CGauge1");
    gauge_->setAccessibleName("CGauge1");
    gauge_->setRange(0, 100);
    gauge_->setValue(0);
    gauge_->setTextVisible(true);
    // A blue bar, as on the Writer's own software.
    QPalette pal = gauge_->palette();
    pal.setColor(QPalette::Highlight, QColor(0, 0, 255));
    gauge_->setPalette(pal);
    layout->addWidget(gauge_);
  }
  layout->addStretch(1);
  auto* row = new QHBoxLayout;
  prediction_ = new QLabel(this);
  prediction_->setObjectName("predictionLabel");
  prediction_->setToolTip(tr("A pass of the loaded device on this port, predicted from how long "
                             "the Writer took to answer its check"));
  prediction_->setVisible(false);
  row->addWidget(prediction_);
  row->addStretch(1);
  for (const kvx::ControlSpec& b : look.buttons) {
    auto* button = new QPushButton(this);
    const QString name = QString::fromStdString(b.name);
    button->setObjectName(name);
    SetButtonText(button, QString::fromStdString(b.text));
    button->setEnabled(false);  // only the worker enables it
    button->setAutoDefault(false);
    button->setMinimumWidth(90);
    connect(button, &QPushButton::clicked, this, [this, name] { ButtonClicked(name); });
    buttons_.insert(name, button);
    row->addWidget(button);
  }
  if (auto* cont = buttons_.value("Button2")) cont->setDefault(true);
  row->addStretch(1);
  layout->addLayout(row);
}

void ProgressDialog::ButtonClicked(const QString& name) {
  if (name == "Button2") {
    Q_EMIT continueRequested();
    return;
  }
  CloseByButton();  // "OK", "Exit"
}

bool ProgressDialog::MayClose() const {
  if (closeBox_) return true;
  for (QPushButton* b : buttons_)
    if (b->isEnabled() && b->objectName() != "Button2") return true;
  return false;
}

void ProgressDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  Q_EMIT shown();
}

void ProgressDialog::ApplyText(const QString& control, const QString& text) {
  if (QLabel* label = lines_.value(control)) SetLabelText(label, text, Ampersands::DoubledShowOnce);
}

void ProgressDialog::ApplyColour(const QString& control, kvx::LineColour colour) {
  QLabel* label = lines_.value(control);
  if (label == nullptr) return;
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, colour == kvx::LineColour::Red
                                         ? QColor(255, 0, 0)
                                         : palette().color(QPalette::WindowText));
  label->setPalette(pal);
}

void ProgressDialog::ApplyVisible(const QString& control, bool visible) {
  if (QWidget* w = lines_.value(control)) w->setVisible(visible);
}

void ProgressDialog::ApplyGauge(int percent) {
  if (gauge_ != nullptr) gauge_->setValue(percent);
}

void ProgressDialog::ApplyEnabled(const QString& button, bool enabled) {
  if (QPushButton* b = buttons_.value(button)) b->setEnabled(enabled);
}

void ProgressDialog::ShowPassPrediction(const QString& duration) {
  prediction_->setText(tr("A pass: about %1").arg(duration));
  prediction_->setVisible(true);
}

// ---- The worker's side ----------------------------------------------------------------------

void QueuedView::Post(std::function<void(ProgressDialog&)> call) {
  ProgressDialog* form = form_;
  form->Queue().Post([form, call = std::move(call)] { call(*form); });
}

void QueuedView::SetText(std::string_view control, std::string_view text) {
  Post([c = Q(control), t = Q(text)](ProgressDialog& f) { f.ApplyText(c, t); });
}

void QueuedView::SetColour(std::string_view control, kvx::LineColour colour) {
  Post([c = Q(control), colour](ProgressDialog& f) { f.ApplyColour(c, colour); });
}

void QueuedView::SetVisible(std::string_view control, bool visible) {
  Post([c = Q(control), visible](ProgressDialog& f) { f.ApplyVisible(c, visible); });
}

void QueuedView::SetGauge(int percent) {
  Post([percent](ProgressDialog& f) { f.ApplyGauge(percent); });
}

void QueuedView::SetEnabled(std::string_view button, bool enabled) {
  Post([b = Q(button), enabled](ProgressDialog& f) { f.ApplyEnabled(b, enabled); });
}

void QueuedView::ShowMessage(std::string_view text) {
  WaitForBox(form_->Queue(), form_->prompter(), form_, Q(text), stop_);
}

}  // namespace kvx::gui
