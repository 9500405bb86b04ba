#include "gui/editors/buffer_views.h"

#include <QHeaderView>
#include <QVBoxLayout>

#include "core/device/checksum.h"
#include "core/device/workspace.h"
#include "core/editors/buffer_edit.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"
#include "gui/editors/word_entry_dialog.h"

namespace kvx::gui {

namespace {

void FillWith(QWidget* form, QWidget* grid) {
  auto* layout = new QVBoxLayout(form);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(grid);
}

}  // namespace

ProgramMemoryView::ProgramMemoryView(Workspace& ws, EditorHooks hooks, Prompter& prompter, QWidget* parent)
    : QWidget(parent), ws_(ws), hooks_(std::move(hooks)), prompter_(prompter) {
  setObjectName(QStringLiteral("TMDIChild"));
  setWindowTitle(QStringLiteral("Program Memory"));
  HexGridText text;
  text.columns = kProgramGridColumns;
  text.rows = [&ws] { return ProgramGridRows(ws); };
  text.cell = [&ws](int address) { return ProgramWordText(ws, address); };
  text.columnCaption = ProgramColumnText;
  text.rowCaption = ProgramRowText;
  model = new HexGridModel(std::move(text), this);
  grid = MakeHexGrid(this, model, 40, 20);
  grid->setAccessibleName(windowTitle());
  FillWith(this, grid);
  resize(9 * 48 + 40, 420);
  connect(grid, &QTableView::doubleClicked, this,
          [this](const QModelIndex& cell) { onEditWord(cell); });
  auto header = [this](Qt::Orientation orientation) {
    return [this, orientation](int section) {
      onRedoSums(model->headerData(section, orientation, Qt::DisplayRole).toString());
    };
  };
  connect(grid->horizontalHeader(), &QHeaderView::sectionDoubleClicked, this, header(Qt::Horizontal));
  connect(grid->verticalHeader(), &QHeaderView::sectionDoubleClicked, this, header(Qt::Vertical));
}

void ProgramMemoryView::Reload() { model->Reload(); }

WordEntryDialog* ProgramMemoryView::onEditWord(const QModelIndex& cell) {
  if (!cell.isValid()) return nullptr;
  const int address = model->IndexOf(cell);
  const std::string cellText = model->CellText(cell);
  auto* dialog = new WordEntryDialog(Q(cellText), ws_.device.CoreType, prompter_, this);
  connect(dialog, &QDialog::finished, this, [this, dialog, address, cellText] {
    if (EditProgramWord(ws_, address, cellText, dialog->EnteredValue)) model->CellChanged(address);
    if (dialog->EnteredValue <= 0x3FFF) hooks_.PanelChanged();
  });
  dialog->open();
  return dialog;
}

WordEntryDialog* ProgramMemoryView::onRedoSums(const QString& caption) {
  auto* dialog = new WordEntryDialog(caption, ws_.device.CoreType, prompter_, this);
  connect(dialog, &QDialog::finished, this, [this, dialog] {
    if (dialog->EnteredValue > 0x3FFF) return;
    CalChecksum(ws_);
    hooks_.PanelChanged();
  });
  dialog->open();
  return dialog;
}

EepromWindow::EepromWindow(Workspace& ws, Prompter& prompter, QWidget* parent)
    : QWidget(parent), ws_(ws), prompter_(prompter) {
  setObjectName(QStringLiteral("TEEDataForm"));
  setWindowTitle(QStringLiteral("EEPROM data"));
  HexGridText text;
  text.columns = kEepromGridColumns;
  text.rows = [&ws] { return EepromGridRows(ws); };
  text.cell = [&ws](int index) { return EepromByteText(ws, index); };
  text.columnCaption = EepromColumnText;
  text.rowCaption = EepromRowText;
  model = new HexGridModel(std::move(text), this);
  grid = MakeHexGrid(this, model, 30, 20);
  grid->setAccessibleName(windowTitle());
  FillWith(this, grid);
  resize(17 * 30 + 30, 300);
  connect(grid, &QTableView::clicked, this,
          [this](const QModelIndex& cell) { onEditByte(cell); });
}

WordEntryDialog* EepromWindow::onEditByte(const QModelIndex& cell) {
  if (!cell.isValid()) return nullptr;
  const int index = model->IndexOf(cell);
  const std::string cellText = model->CellText(cell);
  auto* dialog = new WordEntryDialog(Q(cellText), ws_.device.CoreType, prompter_, this);
  connect(dialog, &QDialog::finished, this, [this, dialog, index, cellText] {
    if (EditEepromByte(ws_, index, cellText, dialog->EnteredValue)) model->CellChanged(index);
  });
  dialog->open();
  return dialog;
}

}  // namespace kvx::gui
