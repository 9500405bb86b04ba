#include "gui/editors/id_window.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/device/workspace.h"
#include "core/editors/buffer_edit.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"
#include "gui/editors/small_dialogs.h"

namespace kvx::gui {

namespace {

// Form heights: the ID panel only, with the Writer panel, with the OPTION lines too.
constexpr int kIdOnly = 210;
constexpr int kWithWriter = 430;
constexpr int kWithOptions = 490;

}  // namespace

IdChecksumWindow::IdChecksumWindow(Workspace& ws, EditorHooks hooks, QWidget* parent)
    : QWidget(parent), ws_(ws), hooks_(std::move(hooks)) {
  setObjectName(QStringLiteral("TIDChecksumForm"));
  setWindowTitle(QStringLiteral("ID and Checksum"));
  const QFont fixed = FixedFont();

  // ---- Upper panel: the ID and the checksum -------------------------------------------------
  displayModeGroup = Named(new QGroupBox(QStringLiteral("ASCII or HEX"), this), "RadioGroup1");
  displayModeGroup->setAccessibleName(displayModeGroup->title());
  asciiButton = Named(new QRadioButton(QStringLiteral("ASCII"), displayModeGroup), "RadioButtonAscii");
  hexButton = Named(new QRadioButton(QStringLiteral("HEX"), displayModeGroup), "RadioButtonHex");
  asciiButton->setAccessibleName(asciiButton->text());
  hexButton->setAccessibleName(hexButton->text());
  auto* radios = new QHBoxLayout(displayModeGroup);
  radios->addWidget(asciiButton);
  radios->addWidget(hexButton);
  (ws.settings.IdDisplayHex ? hexButton : asciiButton)->setChecked(true);

  auto* upper = new QGridLayout;
  upper->addWidget(displayModeGroup, 0, 0, 1, 2);
  upper->addWidget(MakeLabel(this, "Label1", QStringLiteral("ID: ")), 1, 0);
  idLabel = MakeLabel(this, "Label2", {});
  idLabel->setFont(fixed);
  idLabel->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(36, QLatin1Char('0'))));
  idLabel->setToolTip(QStringLiteral("Double-click to edit the ID"));
  idLabel->installEventFilter(this);
  upper->addWidget(idLabel, 1, 1);
  upper->addWidget(MakeLabel(this, "Label3", QStringLiteral("IC Checksum:")), 2, 0);
  checksumLabel = MakeLabel(this, "Label4", {});
  checksumLabel->setFont(fixed);
  upper->addWidget(checksumLabel, 2, 1);
  auto* edit = MakeButton(this, "Button1", QStringLiteral("Edit ID"));
  auto* exit = MakeButton(this, "Button2", QStringLiteral("Exit"));
  auto* buttons = new QHBoxLayout;
  writerBytesToggle_ = MakeLabel(this, "StaticText1", QStringLiteral("Writer >>"));
  writerBytesToggle_->setToolTip(QStringLiteral("Double-click to show or hide the Writer bytes"));
  writerBytesToggle_->installEventFilter(this);
  buttons->addWidget(writerBytesToggle_);
  buttons->addStretch();
  buttons->addWidget(edit);
  buttons->addWidget(exit);
  upper->addLayout(buttons, 3, 0, 1, 2);

  // ---- Lower panel: the Writer bytes of the ID area --------------------------------------------
  lowerPanel_ = new QWidget(this);
  auto* lower = new QGridLayout(lowerPanel_);
  lower->setContentsMargins(0, 0, 0, 0);
  const char* captionNames[6] = {"StaticText12", "StaticText13", "StaticText14",
                                 "StaticText2",  "StaticText3",  "StaticText4"};
  const char* captions[6] = {"Writer ID :",     "Writer Model :",      "Firmware Ver. :",
                             "Gang Writer ID :", "Gang Writer Model :", "Gang Writer Ver. :"};
  const char* valueNames[6] = {"Label5", "Label6", "Label7", "Label9", "Label10", "Label11"};
  const auto values = WriterInfoTexts(ws);
  for (int i = 0; i < 6; ++i) {
    lower->addWidget(MakeLabel(lowerPanel_, captionNames[i], QString::fromLatin1(captions[i])), i % 3,
                     3 * (i / 3));
    lower->addWidget(MakeLabel(lowerPanel_, valueNames[i], Q(values[i])), i % 3, 3 * (i / 3) + 1);
  }
  lower->setColumnMinimumWidth(2, 24);
  upperIdLabel = MakeLabel(lowerPanel_, "Label8", Q(IdDumpText(ws)));
  upperIdLabel->setFont(fixed);
  lower->addWidget(upperIdLabel, 3, 0, 1, 5);
  optionBytesToggle_ = MakeLabel(lowerPanel_, "StaticText5", QStringLiteral("OPTION >>"));
  optionBytesToggle_->setToolTip(QStringLiteral("Double-click to show or hide the OPTION words"));
  optionBytesToggle_->installEventFilter(this);
  lower->addWidget(optionBytesToggle_, 4, 0);

  bodyPanel_ = new QWidget(this);
  bodyOption1Label = MakeLabel(bodyPanel_, "BodyOption1", Q(BodyOptionText(ws, ws.image.OptionExtra)));
  bodyOption2Label = MakeLabel(bodyPanel_, "BodyOption2", Q(BodyOptionText(ws, ws.image.OptionExtra2)));
  auto* body = new QVBoxLayout(bodyPanel_);
  body->setContentsMargins(0, 0, 0, 0);
  body->addWidget(bodyOption1Label);
  body->addWidget(bodyOption2Label);
  bodyOption1Label->setFont(fixed);
  bodyOption2Label->setFont(fixed);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(upper);
  layout->addWidget(lowerPanel_);
  layout->addWidget(bodyPanel_);
  layout->addStretch();
  SetFormHeight(kIdOnly);

  connect(hexButton, &QRadioButton::toggled, this, &IdChecksumWindow::onDisplayModeChanged);
  connect(edit, &QPushButton::clicked, this, [this] { onEditId(); });
  connect(exit, &QPushButton::clicked, this, [this] {
    // The frame around the form closes with it.
    (parentWidget() ? parentWidget() : static_cast<QWidget*>(this))->close();
  });
  ShowIdLabels();
}

void IdChecksumWindow::ShowIdLabels() {
  const IdLabels labels = IdLabelShow(ws_);  // also the status panel's ID and IC checksum
  SetLabelText(idLabel, FromBytes(ShownIdText(labels.id)));
  SetLabelText(checksumLabel, FromBytes(labels.checksum));
  hooks_.PanelChanged();
}

void IdChecksumWindow::onDisplayModeChanged(bool hex) {
  ws_.settings.IdDisplayHex = hex;
  ShowIdLabels();
}

IdEditDialog* IdChecksumWindow::onEditId() {
  auto* dialog = new IdEditDialog(ws_, this);
  connect(dialog, &QDialog::accepted, this, &IdChecksumWindow::ShowIdLabels);
  dialog->open();
  return dialog;
}

void IdChecksumWindow::onToggleWriterPanel() { SetFormHeight(height_ <= kIdOnly ? kWithWriter : kIdOnly); }

void IdChecksumWindow::onToggleOptionLines() {
  SetFormHeight(height_ <= kWithWriter ? kWithOptions : kWithWriter);
}

void IdChecksumWindow::SetFormHeight(int height) {
  height_ = height;
  // The taller the form, the more of it shows: the Writer panel, then the OPTION lines.
  lowerPanel_->setVisible(height_ > kIdOnly);
  bodyPanel_->setVisible(height_ > kWithWriter);
  Q_EMIT heightChanged(height);
}

bool IdChecksumWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseButtonDblClick) return QWidget::eventFilter(watched, event);
  if (watched == idLabel) onEditId();
  if (watched == writerBytesToggle_) onToggleWriterPanel();
  if (watched == optionBytesToggle_) onToggleOptionLines();
  return true;
}

}  // namespace kvx::gui
