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
  RadioGroup1 = Named(new QGroupBox(QStringLiteral("ASCII or HEX"), this), "RadioGroup1");
  RadioGroup1->setAccessibleName(RadioGroup1->title());
  Ascii = Named(new QRadioButton(QStringLiteral("ASCII"), RadioGroup1), "RadioButtonAscii");
  Hex = Named(new QRadioButton(QStringLiteral("HEX"), RadioGroup1), "RadioButtonHex");
  Ascii->setAccessibleName(Ascii->text());
  Hex->setAccessibleName(Hex->text());
  auto* radios = new QHBoxLayout(RadioGroup1);
  radios->addWidget(Ascii);
  radios->addWidget(Hex);
  (ws.settings.IdDisplayHex ? Hex : Ascii)->setChecked(true);

  auto* upper = new QGridLayout;
  upper->addWidget(RadioGroup1, 0, 0, 1, 2);
  upper->addWidget(MakeLabel(this, "Label1", QStringLiteral("ID: ")), 1, 0);
  Label2 = MakeLabel(this, "Label2", {});
  Label2->setFont(fixed);
  Label2->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(36, QLatin1Char('0'))));
  Label2->setToolTip(QStringLiteral("Double-click to edit the ID"));
  Label2->installEventFilter(this);
  upper->addWidget(Label2, 1, 1);
  upper->addWidget(MakeLabel(this, "Label3", QStringLiteral("IC Checksum:")), 2, 0);
  Label4 = MakeLabel(this, "Label4", {});
  Label4->setFont(fixed);
  upper->addWidget(Label4, 2, 1);
  auto* edit = MakeButton(this, "Button1", QStringLiteral("Edit ID"));
  auto* exit = MakeButton(this, "Button2", QStringLiteral("Exit"));
  auto* buttons = new QHBoxLayout;
  staticText1_ = MakeLabel(this, "StaticText1", QStringLiteral("Writer >>"));
  staticText1_->setToolTip(QStringLiteral("Double-click to show or hide the Writer bytes"));
  staticText1_->installEventFilter(this);
  buttons->addWidget(staticText1_);
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
  Label8 = MakeLabel(lowerPanel_, "Label8", Q(IdDumpText(ws)));
  Label8->setFont(fixed);
  lower->addWidget(Label8, 3, 0, 1, 5);
  staticText5_ = MakeLabel(lowerPanel_, "StaticText5", QStringLiteral("OPTION >>"));
  staticText5_->setToolTip(QStringLiteral("Double-click to show or hide the OPTION words"));
  staticText5_->installEventFilter(this);
  lower->addWidget(staticText5_, 4, 0);

  bodyPanel_ = new QWidget(this);
  BodyOption1 = MakeLabel(bodyPanel_, "BodyOption1", Q(BodyOptionText(ws, ws.image.OptionExtra)));
  BodyOption2 = MakeLabel(bodyPanel_, "BodyOption2", Q(BodyOptionText(ws, ws.image.OptionExtra2)));
  auto* body = new QVBoxLayout(bodyPanel_);
  body->setContentsMargins(0, 0, 0, 0);
  body->addWidget(BodyOption1);
  body->addWidget(BodyOption2);
  BodyOption1->setFont(fixed);
  BodyOption2->setFont(fixed);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(upper);
  layout->addWidget(lowerPanel_);
  layout->addWidget(bodyPanel_);
  layout->addStretch();
  SetFormHeight(kIdOnly);

  connect(Hex, &QRadioButton::toggled, this, &IdChecksumWindow::onDisplayModeChanged);
  connect(edit, &QPushButton::clicked, this, [this] { onEditId(); });
  connect(exit, &QPushButton::clicked, this, [this] {
    // The frame around the form closes with it.
    (parentWidget() ? parentWidget() : static_cast<QWidget*>(this))->close();
  });
  ShowIdLabels();
}

void IdChecksumWindow::ShowIdLabels() {
  const IdLabels labels = IdLabelShow(ws_);  // also the status panel's ID and IC checksum
  SetLabelText(Label2, FromBytes(ShownIdText(labels.id)));
  SetLabelText(Label4, FromBytes(labels.checksum));
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
  if (watched == Label2) onEditId();
  if (watched == staticText1_) onToggleWriterPanel();
  if (watched == staticText5_) onToggleOptionLines();
  return true;
}

}  // namespace kvx::gui
