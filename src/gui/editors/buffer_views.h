// The program-memory view (TMDIChild) and the EEPROM view (TEEDataForm): snapshots of the
// buffers as grids of hexadecimal cells, with the single-value edit of one cell.
#pragma once

#include <QWidget>

#include "gui/editors/editor_hooks.h"
#include "gui/editors/hex_grid.h"

namespace kvx {
struct Workspace;
}

namespace kvx::gui {

class Prompter;
class TEditSingleData;

class TMDIChild : public QWidget {
  Q_OBJECT

 public:
  TMDIChild(Workspace& ws, EditorHooks hooks, Prompter& prompter, QWidget* parent = nullptr);

  QTableView* StringGrid1 = nullptr;
  HexGridModel* Model = nullptr;

  void Reload();  // the creation routine again: the buffer changed wholesale
  // Double-click on a word: "Enter new value", then the word into the buffer and the sums.
  TEditSingleData* StringGrid1DblClick(const QModelIndex& cell);
  // Double-click on a caption: the dialog opens, nothing can change but the sums are redone.
  TEditSingleData* HeaderDblClick(const QString& caption);

 private:
  Workspace& ws_;
  EditorHooks hooks_;
  Prompter& prompter_;
};

class TEEDataForm : public QWidget {
  Q_OBJECT

 public:
  TEEDataForm(Workspace& ws, Prompter& prompter, QWidget* parent = nullptr);

  QTableView* StringGrid1 = nullptr;
  HexGridModel* Model = nullptr;

  TEditSingleData* StringGrid1Click(const QModelIndex& cell);

 private:
  Workspace& ws_;
  Prompter& prompter_;
};

}  // namespace kvx::gui
