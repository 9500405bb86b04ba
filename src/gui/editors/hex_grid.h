// The grid under the program-memory and EEPROM views: a table model over a snapshot of a
// workspace buffer, with the column and row captions as its headers. The snapshot is taken when
// the grid is made and at each Reload, never at a repaint: a worker may own the buffer at any
// moment the grid is drawn or scrolled. A wholesale change is a model reset; one edited cell is
// one dataChanged.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <functional>
#include <string>
#include <vector>

namespace kvx::gui {

struct HexGridText {
  int columns = 8;
  std::function<int()> rows;
  std::function<std::string(int index)> cell;  // index = row * columns + column
  std::function<std::string(int column)> columnCaption;
  std::function<std::string(int row)> rowCaption;
};

class HexGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  HexGridModel(HexGridText text, QObject* parent);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void Reload();              // the buffer changed wholesale: a new snapshot
  void CellChanged(int index);  // one cell changed (on the GUI thread, no worker running)
  int IndexOf(const QModelIndex& index) const { return index.row() * text_.columns + index.column(); }
  std::string CellText(const QModelIndex& index) const;

 private:
  void Snapshot();

  HexGridText text_;
  int rows_ = 0;
  std::vector<QString> cells_;  // the buffer's texts when last taken
};

// The grid ("StringGrid1"): fixed cell sizes, grid lines, no in-place editing.
QTableView* MakeHexGrid(QWidget* parent, HexGridModel* model, int columnWidth, int rowHeight);

}  // namespace kvx::gui
