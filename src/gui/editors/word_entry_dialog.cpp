#include "gui/editors/word_entry_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/editors/buffer_edit.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

WordEntryDialog::WordEntryDialog(const QString& initialText, int coreType, Prompter& prompter,
                                 QWidget* parent)
    : QDialog(parent), InitialText(initialText), coreType_(coreType), prompter_(prompter) {
  setObjectName(QStringLiteral("TEditSingleData"));
  setWindowTitle(QStringLiteral("Enter new value"));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* label = Named(new QLabel(this), "Label1");
  SetLabelText(label, QStringLiteral("Enter new value :"));
  valueEdit = Named(new QLineEdit(this), "Edit1");
  valueEdit->setMaxLength(4);
  valueEdit->setAccessibleName(label->text());
  InstallKeyFilter(valueEdit, HexKeyKeepCase);
  auto* ok = Named(new QPushButton(QStringLiteral("OK"), this), "OKBtn");
  auto* cancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "CancelBtn");
  ok->setAccessibleName(ok->text());
  cancel->setAccessibleName(cancel->text());
  ok->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(valueEdit);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // FormShow
  valueEdit->setText(InitialText);
  valueEdit->selectAll();
  EnteredValue = SingleDataInitialValue(S(InitialText));

  connect(ok, &QPushButton::clicked, this, &WordEntryDialog::onOk);
  connect(cancel, &QPushButton::clicked, this, &WordEntryDialog::onCancel);
}

void WordEntryDialog::onOk() {
  const SingleDataCheck check = CheckSingleData(S(valueEdit->text()), coreType_);
  valueEdit->setText(Q(check.text));
  if (!check.accepted) {
    prompter_.Error(this, Q(check.message));
    valueEdit->setText(InitialText);
    return;
  }
  EnteredValue = check.value;
  accept();
}

void WordEntryDialog::onCancel() {
  // The caller writes the unchanged value back.
  EnteredValue = SingleDataInitialValue(S(InitialText));
  reject();
}

}  // namespace kvx::gui
