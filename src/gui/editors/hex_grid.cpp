#include "gui/editors/hex_grid.h"

#include <QHeaderView>

#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

HexGridModel::HexGridModel(HexGridText text, QObject* parent)
    : QAbstractTableModel(parent), text_(std::move(text)) {
  Snapshot();
}

void HexGridModel::Snapshot() {
  rows_ = text_.rows();
  cells_.resize(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(text_.columns));
  for (std::size_t i = 0; i < cells_.size(); ++i) cells_[i] = Q(text_.cell(static_cast<int>(i)));
}

std::string HexGridModel::CellText(const QModelIndex& index) const {
  const auto i = static_cast<std::size_t>(IndexOf(index));
  return i < cells_.size() ? cells_[i].toStdString() : std::string();
}

int HexGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int HexGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : text_.columns;
}

QVariant HexGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
    const auto i = static_cast<std::size_t>(IndexOf(index));
    return i < cells_.size() ? cells_[i] : QString();
  }
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignCenter);
  return {};
}

QVariant HexGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  return Q(orientation == Qt::Horizontal ? text_.columnCaption(section) : text_.rowCaption(section));
}

void HexGridModel::Reload() {
  beginResetModel();
  Snapshot();
  endResetModel();
}

void HexGridModel::CellChanged(int index) {
  if (index >= 0 && static_cast<std::size_t>(index) < cells_.size())
    cells_[static_cast<std::size_t>(index)] = Q(text_.cell(index));
  const QModelIndex cell = this->index(index / text_.columns, index % text_.columns);
  Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
}

QTableView* MakeHexGrid(QWidget* parent, HexGridModel* model, int columnWidth, int rowHeight) {
  auto* grid = Named(new QTableView(parent), "StringGrid1");
  grid->setModel(model);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setShowGrid(true);
  grid->setFrameShape(QFrame::NoFrame);
  grid->setFont(FixedFont());
  // Fixed sizes keep the view from measuring thousands of cells when it opens.
  for (QHeaderView* header : {grid->horizontalHeader(), grid->verticalHeader()}) {
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setHighlightSections(false);
  }
  grid->horizontalHeader()->setDefaultSectionSize(columnWidth);
  grid->horizontalHeader()->setMinimumSectionSize(columnWidth);
  grid->verticalHeader()->setDefaultSectionSize(rowHeight);
  grid->verticalHeader()->setMinimumSectionSize(rowHeight);
  grid->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
  return grid;
}

}  // namespace kvx::gui
