// The production journal as an operator reads it: the passes in a table, newest first and sorted
// by any column, that narrows by date (local time), series, port, outcome, station, device and
// program; the summary per series and port, or per station, device or program (ok, failed,
// stopped apart, unknown, yield, median pass time); a chart of the chips per hour; and the
// chosen passes exported as CSV (in UTC, as the journal keeps them).
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "core/device/workspace.h"
#include "core/production/journal.h"
#include "core/production/journal_report.h"

class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;
class QTableWidget;
namespace kvx::gui {

class JournalOpener;
class PassTableModel;
class Prompter;

class JournalWindow : public QDialog {
  Q_OBJECT
 public:
  // `journal`: a file's path or a shared journal's connection (DesktopJournalName).
  JournalWindow(std::string journal, Prompter& prompter, QWidget* parent = nullptr);
  ~JournalWindow() override;  // waits for a read under way: the connect time-out bounds it

  // Reads the journal again (the window does not watch it), on a worker: a shared journal's
  // server may take its time to answer. The table follows once the read has ended.
  void Reload();
  bool Loading() const;
  // Writes the passes now in the table to `path` as CSV; false, the operator told, on a failure.
  bool ExportCsv(const QString& path);

  int ShownPasses() const;

 private:
  void BuildFilters();
  void ApplySelection();
  void ShowSummary(const std::vector<kvx::PassRecord>& passes);
  void ShowChart(const std::vector<kvx::PassRecord>& passes);
  void OnExport();
  static void Refill(QComboBox* box, const std::vector<std::string>& items);
  // The program file's name without its folder.
  static std::string ProgramName(const kvx::PassRecord& pass);

  std::string path_;
  Prompter& prompter_;
  std::vector<kvx::PassRecord> passes_;   // every pass in the journal
  std::vector<kvx::PassRecord> shown_;    // the ones the filters let through
  QLineEdit* from_;
  QLineEdit* until_;
  QComboBox* series_;
  QComboBox* port_;
  QComboBox* outcome_;
  QComboBox* station_;
  QComboBox* device_;
  QComboBox* program_;
  QComboBox* lot_;
  QComboBox* summaryBy_;
  QLabel* status_;
  QString loadError_;  // why the journal could not be read, or empty
  QTableView* table_;
  PassTableModel* model_;
  QSortFilterProxyModel* sorted_;
  QTableWidget* summary_;
  QChartView* chart_;
  kvx::Workspace reading_;  // held by the reader while it reads; never the loaded workspace
  // Reads on a worker, from Reload until the table shows what was read; last: joined before the
  // rest goes.
  std::unique_ptr<JournalOpener> reader_;
};

}  // namespace kvx::gui
