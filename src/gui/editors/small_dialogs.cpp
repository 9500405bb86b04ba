#include "gui/editors/small_dialogs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/device/workspace.h"
#include "core/editors/buffer_edit.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

namespace {

QHBoxLayout* OkCancelRow(QDialog* dialog, QPushButton*& ok) {
  ok = MakeButton(dialog, "BitBtn1", QStringLiteral("OK"));
  ok->setDefault(true);
  auto* cancel = MakeButton(dialog, "BitBtn2", QStringLiteral("Cancel"));
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(cancel);
  return row;
}

}  // namespace

FillBufferDialog::FillBufferDialog(Workspace& ws, Prompter& prompter, QWidget* parent)
    : QDialog(parent), ws_(ws), prompter_(prompter) {
  setObjectName(QStringLiteral("TFillBufferForm"));
  setWindowTitle(QStringLiteral("Fill Buffer"));
  setAttribute(Qt::WA_DeleteOnClose);
  const FillFields fields = FillFieldsFor(ws);
  const QString captions[3] = {QStringLiteral("Start address :"), QStringLiteral("End address :"),
                               QStringLiteral("Data :")};
  const char* labelNames[3] = {"Label1", "Label2", "Label3"};
  const char* editNames[3] = {"Edit1", "Edit2", "Edit3"};
  const std::string texts[3] = {fields.start, fields.end, fields.data};
  QLineEdit* edits[3];
  auto* grid = new QGridLayout(this);
  for (int i = 0; i < 3; ++i) {
    grid->addWidget(MakeLabel(this, labelNames[i], captions[i]), i, 0);
    edits[i] = MakeEdit(this, editNames[i], captions[i], 4);
    edits[i]->setText(Q(texts[i]));
    InstallKeyFilter(edits[i], HexKeyKeepCase);
    grid->addWidget(edits[i], i, 1);
  }
  startEdit = edits[0];
  endEdit = edits[1];
  dataEdit = edits[2];
  QPushButton* ok = nullptr;
  grid->addLayout(OkCancelRow(this, ok), 3, 0, 1, 2);
  grid->setSizeConstraint(QLayout::SetFixedSize);
  connect(ok, &QPushButton::clicked, this, &FillBufferDialog::onFill);
}

void FillBufferDialog::onFill() {
  const std::string message = FillBuffer(ws_, {S(startEdit->text()), S(endEdit->text()), S(dataEdit->text())});
  if (!message.empty()) prompter_.Error(this, Q(message));
  accept();
}

IdEditDialog::IdEditDialog(Workspace& ws, QWidget* parent) : QDialog(parent), ws_(ws) {
  setObjectName(QStringLiteral("TIDModify"));
  setWindowTitle(QStringLiteral("ID Modify"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
  setAttribute(Qt::WA_DeleteOnClose);
  const QString caption = QStringLiteral("Enter the ID :");
  auto* label = MakeLabel(this, "Label1", caption);

  hexEdit = MakeEdit(this, "MaskEdit2", caption, 35);
  // Twelve groups of two upper-case characters; the spaces stay in the text.
  hexEdit->setInputMask(QStringLiteral(">hh hh hh hh hh hh hh hh hh hh hh hh;_"));
  InstallKeyFilter(hexEdit, HexKeyKeepCase);
  asciiEdit = MakeEdit(this, "Edit1", caption, 12);
  // Room for the twelve groups and their spaces, whatever the font.
  const QFontMetrics metrics(hexEdit->font());
  hexEdit->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("WW ").repeated(12)) + 16);
  asciiEdit->setMinimumWidth(hexEdit->minimumWidth());

  const bool hex = ws.settings.IdDisplayHex;
  hexEdit->setVisible(hex);
  asciiEdit->setVisible(!hex);
  if (hex)
    hexEdit->setText(Q(IdModifyText(ws, true)));
  else
    asciiEdit->setText(FromBytes(IdModifyText(ws, false)));

  QPushButton* ok = nullptr;
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(hexEdit);
  layout->addWidget(asciiEdit);
  layout->addLayout(OkCancelRow(this, ok));
  layout->setSizeConstraint(QLayout::SetFixedSize);
  connect(ok, &QPushButton::clicked, this, &IdEditDialog::onStoreId);
}

void IdEditDialog::onStoreId() {
  if (ws_.settings.IdDisplayHex)
    StoreIdHexText(ws_, S(hexEdit->displayText()));
  else
    StoreIdAsciiText(ws_, ToBytes(asciiEdit->text()));
  accept();
}

}  // namespace kvx::gui
