// The program-memory view (ProgramMemoryView) and the EEPROM view (EepromWindow): snapshots of the
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
class WordEntryDialog;

class ProgramMemoryView : public QWidget {
  Q_OBJECT

 public:
  ProgramMemoryView(Workspace& ws, EditorHooks hooks, Prompter& prompter, QWidget* parent = nullptr);

  QTableView* grid = nullptr;
  HexGridModel* model = nullptr;

  void Reload();  // the creation routine again: the buffer changed wholesale
  // Double-click on a word: "Enter new value", then the word into the buffer and the sums.
  WordEntryDialog* onEditWord(const QModelIndex& cell);
  // Double-click on a caption: the dialog opens, nothing can change but the sums are redone.
  WordEntryDialog* onRedoSums(const QString& caption);

 private:
  Workspace& ws_;
  EditorHooks hooks_;
  Prompter& prompter_;
};

class EepromWindow : public QWidget {
  Q_OBJECT

 public:
  EepromWindow(Workspace& ws, Prompter& prompter, QWidget* parent = nullptr);

  QTableView* grid = nullptr;
  HexGridModel* model = nullptr;

  // A click on a byte: "Enter new value", then the byte into the EEPROM buffer.
  WordEntryDialog* onEditByte(const QModelIndex& cell);

 private:
  Workspace& ws_;
  Prompter& prompter_;
};

}  // namespace kvx::gui
