#include "gui/editors/option_editor.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "core/device/option_layout.h"
#include "core/device/workspace.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

namespace {

// The order the window shows the fields in, top to bottom.
constexpr OptionField kShownOrder[6] = {OscField, OstField, WdtField, PedField, SecurityField, PrdField};

}  // namespace

OptionEditor::OptionEditor(Workspace& ws, QWidget* parent) : QDialog(parent), ws_(ws) {
  setObjectName(QStringLiteral("TEditOption"));
  setWindowTitle(QStringLiteral("Edit OPTION"));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* grid = new QGridLayout;
  int row = 0;
  for (OptionField field : kShownOrder) {
    const EditorControls& c = OptionEditorControls[field];
    captions[field] = MakeLabel(this, c.labelControl, QString::fromLatin1(c.labelCaption));
    fieldLists[field] = Named(new QComboBox(this), c.listControl);
    fieldLists[field]->setMinimumContentsLength(14);
    grid->addWidget(captions[field], row, 0);
    grid->addWidget(fieldLists[field], row, 1);
    ++row;
  }
  noteText = Named(new QPlainTextEdit(this), "Memo1");
  noteText->setReadOnly(true);
  noteText->setLineWrapMode(QPlainTextEdit::NoWrap);
  noteText->setAccessibleName(QStringLiteral("Note"));
  QStringList note;
  for (const char* line : OptionEditorNote) note << QString::fromLatin1(line);
  noteText->setPlainText(note.join(QLatin1Char('\n')));
  const QFontMetrics metrics(noteText->font());
  noteText->setMinimumSize(metrics.horizontalAdvance(note.value(10)) + 40,
                        metrics.lineSpacing() * (static_cast<int>(note.size()) + 1) + 12);

  auto* ok = MakeButton(this, "BitBtn1", QStringLiteral("OK"));
  ok->setDefault(true);
  auto* cancel = MakeButton(this, "BitBtn2", QStringLiteral("Cancel"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(noteText);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  FirstShow();
  for (int field = 0; field < 6; ++field)
    connect(fieldLists[field], &QComboBox::activated, this, [this, field](int item) { onFieldChosen(field, item); });
  connect(ok, &QPushButton::clicked, this, &OptionEditor::onStoreOption);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void OptionEditor::FirstShow() {
  EditLow = ws_.image.OptionLow;
  EditHigh = ws_.image.OptionHigh;
  for (int f = 0; f < 6; ++f) {
    const auto field = static_cast<OptionField>(f);
    const EditorControls& c = OptionEditorControls[f];
    QStringList items;
    const FieldVariant* v = FindFieldVariant(field, ws_.device.OptionFieldSelect[f]);
    SetLabelText(captions[f], QString::fromLatin1(v && v->editorCaption ? v->editorCaption : c.labelCaption));
    if (v) {
      for (int i = 0; i < v->Count(); ++i) items << QString::fromLatin1(v->choices[i].editor);
    } else {
      // No such field: the window's own list, greyed.
      for (const char* item : c.items)
        if (item) items << QString::fromLatin1(item);
    }
    fieldLists[f]->clear();
    fieldLists[f]->addItems(items);
    fieldLists[f]->setCurrentIndex(v ? DecodeField(*v, EditLow, EditHigh).item : -1);
    fieldLists[f]->setEnabled(v != nullptr);
    captions[f]->setEnabled(v != nullptr);
    fieldLists[f]->setAccessibleName(captions[f]->text());
  }
}

void OptionEditor::onFieldChosen(int field, int item) {
  // Only the chosen field is re-encoded; every other bit stays as it was read.
  EncodeField(static_cast<OptionField>(field), ws_.device.OptionFieldSelect[field], item, EditLow, EditHigh);
}

void OptionEditor::onStoreOption() {
  ws_.panel.RefreshPending = true;
  ws_.image.OptionLow = EditLow;
  ws_.image.OptionHigh = EditHigh;
  accept();
}

}  // namespace kvx::gui
