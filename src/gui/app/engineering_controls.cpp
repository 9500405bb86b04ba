#include "gui/app/engineering_controls.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>
#include <functional>

#include "core/device/workspace_ops.h"
#include <QMainWindow>
#include "core/device/workspace.h"
#include "gui/app/sim_bench.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

namespace {

// Double clicks on the "Serial Port :" label reach the controls through this filter.
class DoubleClickFilter : public QObject {
 public:
  DoubleClickFilter(QObject* parent, std::function<void()> onDouble)
      : QObject(parent), onDouble_(std::move(onDouble)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonDblClick) {
      onDouble_();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> onDouble_;
};

QLabel* Caption(const char* name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  SetLabelText(label, text);
  return label;
}

QLineEdit* WidthEdit(const char* name, const QString& text, const QString& caption, QWidget* parent) {
  auto* edit = new QLineEdit(text, parent);
  Name(edit, name, caption);
  edit->setValidator(new QIntValidator(0, 999, edit));
  edit->setMaximumWidth(40);
  return edit;
}

// The engineering toggles' caption: "Disable" while the mode is on, "Enable" while it is off.
void ToggleCaption(QPushButton* button, bool on) { SetButtonText(button, on ? "Disable" : "Enable"); }

// The width edits show what the core kept of the entry.
void ShowWidth(QLineEdit* edit, const std::string& kept) {
  if (Q(kept) != edit->text()) edit->setText(Q(kept));
}

}  // namespace

EngineeringControls::EngineeringControls(const WindowParts& parts, QToolBar* bar, QLabel* label,
                                         QAction* forceWrite)
    : QObject(&parts.window), parts_(parts), forceWrite_(forceWrite) {
  // The hidden Force Write button shows with the engineering panel.
  forceWrite_->setVisible(false);
  label->installEventFilter(new DoubleClickFilter(this, [this] { onToggleShown(); }));

  auto* panel = new QWidget(bar);
  panel->setObjectName("Panel2");
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(12, 0, 0, 0);
  qtpSimulation_ = new QPushButton(panel);
  qtpSimulation_->setObjectName("QtpSim");
  SetButtonText(qtpSimulation_, "Enable");
  flashTest_ = new QPushButton(panel);
  flashTest_->setObjectName("FlashPgmTest");
  SetButtonText(flashTest_, "Enable");
  row->addWidget(Caption("Label20", "QTP Sim :", panel));
  row->addWidget(qtpSimulation_);
  row->addWidget(Caption("Label21", "Flash Pgm Test :", panel));
  row->addWidget(flashTest_);
  // A widget on a toolbar shows and hides through its action.
  panelAction_ = bar->addWidget(panel);
  panelAction_->setObjectName("Panel2Action");
  panelAction_->setVisible(false);

  // The pulse and erase width edits are built hidden and stay hidden: the header then carries
  // fixed widths.
  auto* widths = new QWidget(bar);
  widths->setObjectName("WidthPanel");
  auto* widthRow = new QHBoxLayout(widths);
  widthRow->setContentsMargins(12, 0, 0, 0);
  pulseWidth_ = WidthEdit("PulseWidth", "5", "Write pulse width:", widths);
  eraseWidth_ = WidthEdit("EraseWidth", "120", "Erase Pulse Width:", widths);
  for (QWidget* w : {static_cast<QWidget*>(Caption("Label22", "Write pulse width:", widths)),
                     static_cast<QWidget*>(pulseWidth_),
                     static_cast<QWidget*>(Caption("Label23", "x 0.2ms", widths)),
                     static_cast<QWidget*>(Caption("Label24", "Erase Pulse Width:", widths)),
                     static_cast<QWidget*>(eraseWidth_),
                     static_cast<QWidget*>(Caption("Label25", "x 0.1ms", widths))}) {
    widthRow->addWidget(w);
    w->setVisible(false);
  }
  keepOption_ = new QCheckBox("Keep Option for new code", widths);
  keepOption_->setObjectName("cbKeepOption");
  keepOption_->setAccessibleName("Keep Option for new code");
  keepOption_->setVisible(false);
  widthRow->addWidget(keepOption_);
  bar->addWidget(widths);

  connect(qtpSimulation_, &QPushButton::clicked, this, &EngineeringControls::onQtpSimulation);
  connect(flashTest_, &QPushButton::clicked, this, &EngineeringControls::onFlashProgramTest);
  connect(pulseWidth_, &QLineEdit::textChanged, this, &EngineeringControls::onPulseWidthEdited);
  connect(eraseWidth_, &QLineEdit::textChanged, this, &EngineeringControls::onEraseWidthEdited);
}

void EngineeringControls::QtpSimulationEnded() { SetButtonText(qtpSimulation_, "Enable"); }

void EngineeringControls::onToggleShown() {
  const bool show = !forceWrite_->isVisible();
  forceWrite_->setVisible(show);
  panelAction_->setVisible(show);
}

void EngineeringControls::onQtpSimulation() {
  kvx::Workspace& ws = parts_.ws;
  if (parts_.host.Busy() || !ws.production.SerialNoMode) return;
  ws.production.QtpSimulate = !ws.production.QtpSimulate;
  ToggleCaption(qtpSimulation_, ws.production.QtpSimulate);
}

void EngineeringControls::onFlashProgramTest() {
  if (parts_.host.Busy()) return;
  kvx::Workspace& ws = parts_.ws;
  ws.production.FlashPgmTestOn = !ws.production.FlashPgmTestOn;
  ToggleCaption(flashTest_, ws.production.FlashPgmTestOn);
}

void EngineeringControls::onPulseWidthEdited() {
  if (!parts_.host.Busy())
    ShowWidth(pulseWidth_, kvx::EnterPulseWidth(parts_.ws, pulseWidth_->text().toStdString()));
}

void EngineeringControls::onEraseWidthEdited() {
  if (!parts_.host.Busy())
    ShowWidth(eraseWidth_, kvx::EnterEraseWidth(parts_.ws, eraseWidth_->text().toStdString()));
}

}  // namespace kvx::gui
