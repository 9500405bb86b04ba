#include "gui/app/status_panel.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "core/device/pass_count.h"
#include "core/device/catalogue.h"
#include "core/editors/buffer_edit.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

namespace {

constexpr int kPanelWidth = 200;

// The OPTION lines in the workspace's label order (Label5..Label10) and their start texts.
struct OptionLine {
  const char* caption;
  const char* captionText;
  const char* value;
};
constexpr OptionLine kOptionLines[6] = {
    {"StaticText2", "OSC Type:", "Label5"}, {"StaticText3", "OST:", "Label6"},
    {"StaticText4", "WDT:", "Label7"},      {"StaticText5", "PED:", "Label8"},
    {"StaticText6", "Security:", "Label9"}, {"StaticText7", "PRD:", "Label10"},
};


// The ID box shows its twelve bytes in two rows of six, so they fit the column.
QString IdRows(const std::string& text) {
  QStringList bytes = Q(text).split(' ', Qt::SkipEmptyParts);
  if (bytes.size() <= 6) return bytes.join(' ');
  return bytes.mid(0, 6).join(' ') + '\n' + bytes.mid(6).join(' ');
}

}  // namespace

StatusPanel::StatusPanel(QWidget* parent) : QWidget(parent) {
  setObjectName("StatusPanel");
  setFixedWidth(kPanelWidth);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 6, 6, 6);
  column->setSpacing(6);

  auto* device = new QHBoxLayout;
  device->addWidget(Caption("StaticText1", "Device:"));
  deviceList_ = new QComboBox(this);
  Name(deviceList_, "ComboBox2", "Device");
  for (int i = 0; i < kvx::kDeviceCount; ++i) deviceList_->addItem(Q(kvx::GetIcName(i)));
  device->addWidget(deviceList_, 1);
  column->addLayout(device);

  // The OPTION area, drawn in the panel's top-to-bottom order.
  optionArea_ = new QWidget(this);
  optionArea_->setObjectName("OptionArea");
  auto* grid = new QGridLayout(optionArea_);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(3);
  constexpr int kDrawOrder[6] = {0, 1, 2, 3, 4, 5};
  for (int row = 0; row < 6; ++row) {
    const OptionLine& line = kOptionLines[kDrawOrder[row]];
    captions_[row] = Caption(line.caption, line.captionText);
    values_[row] = Value(line.value, "Blank");
    grid->addWidget(captions_[row], row, 0);
    grid->addWidget(values_[row], row, 1);
    captions_[row]->installEventFilter(this);
    values_[row]->installEventFilter(this);
  }
  optionArea_->installEventFilter(this);
  column->addWidget(optionArea_);

  auto* sums = new QGridLayout;
  sums->setHorizontalSpacing(6);
  sums->setVerticalSpacing(3);
  auto addSum = [&](int row, QLabel* caption, QLabel* value, const char* hint) {
    value->setToolTip(hint);
    sums->addWidget(caption, row, 0);
    sums->addWidget(value, row, 1);
  };
  checksumLabel_ = Value("Label11", "");
  icChecksumLabel_ = Value("Label17", "");
  optChecksum_ = Value("OptChecksum", "");
  protectSum_ = Value("ProtectSum", "");
  addSum(0, Caption("StaticText8", "Checksum:"), checksumLabel_, "Checksum for data");
  addSum(1, Caption("Label16", "IC Checksum:"), icChecksumLabel_, "Checksum on IC");
  addSum(2, Caption("StaticText10", "OPTION Sum:"), optChecksum_, "Checksum include OPTION");
  addSum(3, Caption("StaticText11", "Protect Sum:"), protectSum_, "Checksum for protected IC");
  column->addLayout(sums);

  auto box = [&](const QString& name, const QString& title, QLabel* value) {
    auto* group = new QGroupBox(title, this);
    Name(group, name, title);
    auto* inner = new QVBoxLayout(group);
    inner->setContentsMargins(6, 4, 6, 4);
    inner->addWidget(value);
    column->addWidget(group);
    return group;
  };
  idLabel_ = Value("Label18", "");
  idLabel_->setFont(QFont("Monospace"));
  idBox_ = box("GroupBox1", "ID :", idLabel_);
  idBox_->installEventFilter(this);
  idLabel_->installEventFilter(this);
  serialLabel_ = Value("Label15", "00");
  box("GroupBox2", "Serial No. (HEX) :", serialLabel_);
  passCountLabel_ = Value("Label13", "0");
  passCountLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  passBox_ = box("GroupBox4", "Pass Count :", passCountLabel_);
  passBox_->installEventFilter(this);
  passCountLabel_->installEventFilter(this);

  auto* modes = new QGridLayout;
  modes->setHorizontalSpacing(6);
  serialModeLabel_ = Value("Label1", "Disable");
  qtpFileLabel_ = Value("Label19", "Disable");
  modes->addWidget(Caption("StaticText12", "Serial No. Mode :"), 0, 0);
  modes->addWidget(serialModeLabel_, 0, 1);
  modes->addWidget(Caption("StaticText13", "QTP file :"), 1, 0);
  modes->addWidget(qtpFileLabel_, 1, 1);
  column->addLayout(modes);
  column->addStretch(1);
}

QLabel* StatusPanel::Caption(const QString& name, const QString& text) {
  auto* label = new QLabel(this);
  label->setObjectName(name);
  SetLabelText(label, text, Ampersands::DoubledShowOnce);
  return label;
}

QLabel* StatusPanel::Value(const QString& name, const QString& text) {
  QLabel* label = Caption(name, text);
  label->setFrameShape(QFrame::NoFrame);
  return label;
}

void StatusPanel::RefreshData(kvx::Workspace& ws) {
  const kvx::PanelState state = kvx::RefreshData(ws);
  captionTexts_ = kvx::NextCaptions(captionTexts_, ws);
  for (int field = 0; field < 6; ++field) {
    const int slot = kvx::PanelLabelSlot(static_cast<kvx::OptionField>(field));
    const bool greyed = state.lines[field].greyed;
    captions_[slot]->setEnabled(!greyed);
    values_[slot]->setEnabled(!greyed);
  }
  ShowTexts(ws);
}

void StatusPanel::ShowTexts(const kvx::Workspace& ws) {
  for (int slot = 0; slot < 6; ++slot) {
    SetLabelText(captions_[slot], Q(captionTexts_.text[slot]), Ampersands::DoubledShowOnce);
    SetLabelText(values_[slot], Q(ws.panel.OptionLabelText[slot]), Ampersands::DoubledShowOnce);
  }
  // A layout that calls the PRD line "MCLR HI:" moves its caption; the indent stands for it.
  captions_[5]->setIndent(captionTexts_.prdLeft == 72 ? 8 : 0);
  SetLabelText(checksumLabel_, Q(ws.panel.ChecksumText), Ampersands::DoubledShowOnce);
  SetLabelText(icChecksumLabel_, Q(ws.panel.IcChecksumText), Ampersands::DoubledShowOnce);
  SetLabelText(optChecksum_, Q(ws.panel.OptChecksumText), Ampersands::DoubledShowOnce);
  SetLabelText(protectSum_, Q(ws.panel.ProtectSumText), Ampersands::DoubledShowOnce);
  idLabel_->setText(IdRows(kvx::ShownIdText(ws.panel.IdText)));
  idLabel_->setAccessibleName(Q(ws.panel.IdText));
  SetLabelText(serialLabel_, Q(ws.production.SerialText), Ampersands::DoubledShowOnce);
  SetLabelText(passCountLabel_, Q(kvx::PassCountText(ws)), Ampersands::DoubledShowOnce);
  SetLabelText(serialModeLabel_, ws.production.SerialNoMode ? "Enable" : "Disable", Ampersands::DoubledShowOnce);
  SetLabelText(qtpFileLabel_, Q(ws.production.QtpFileText), Ampersands::DoubledShowOnce);
}

bool StatusPanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    if (watched == idBox_ || watched == idLabel_) {
      Q_EMIT idBoxDoubleClicked();
      return true;
    }
    if (watched == passBox_ || watched == passCountLabel_) {
      Q_EMIT passCountDoubleClicked();
      return true;
    }
    if (watched == optionArea_ || optionArea_->isAncestorOf(qobject_cast<QWidget*>(watched))) {
      Q_EMIT optionAreaDoubleClicked();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace kvx::gui
