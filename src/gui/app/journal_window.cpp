#include "gui/app/journal_window.h"

#include <QAbstractTableModel>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStackedBarSeries>
#include <QTableView>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "core/files/file_io.h"
#include "gui/app/desktop_journal.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

namespace {


QString Seconds(long ms) {
  return ms < 0 ? QString("-") : QString::number(static_cast<double>(ms) / 1000.0, 'f', 1);
}

constexpr kvx::PassOutcome kOutcomes[] = {kvx::PassOutcome::Ok, kvx::PassOutcome::ChipFailed,
                                          kvx::PassOutcome::LinkFailed, kvx::PassOutcome::Stopped,
                                          kvx::PassOutcome::Unknown, kvx::PassOutcome::Pending};

}  // namespace

// The passes the filters let through, one row each, newest last as the journal keeps them.
class PassTableModel : public QAbstractTableModel {
 public:
  explicit PassTableModel(QObject* parent) : QAbstractTableModel(parent) {}

  void Show(const std::vector<kvx::PassRecord>* passes) {
    beginResetModel();
    passes_ = passes;
    endResetModel();
  }
  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() || passes_ == nullptr ? 0 : static_cast<int>(passes_->size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : kColumns;
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    static const char* const names[kColumns] = {"Started (UTC)", "Host", "Port",   "Device",
                                                 "Serial",        "Pass", "Outcome", "Seconds",
                                                 "Red line"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return QString(names[section]);
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || passes_ == nullptr) return {};
    const kvx::PassRecord& p = (*passes_)[static_cast<std::size_t>(index.row())];
    if (role == Qt::ForegroundRole && index.column() == 6 && p.outcome != kvx::PassOutcome::Ok)
      return QColor(Qt::red);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
      case 0: return Q(p.started);
      case 1: return Q(p.host);
      case 2: return Q(p.port);
      case 3: return Q(p.device);
      case 4: return p.record > 0 ? Q(p.serial) + QString(" (record %1)").arg(p.record)
                                  : Q(p.serial);
      case 5: return static_cast<qlonglong>(p.passCount);
      case 6: return Q(std::string(kvx::OutcomeText(p.outcome)));
      case 7: return Seconds(p.durationMs);
      default: return Q(p.redLine);
    }
  }

 private:
  static constexpr int kColumns = 9;
  const std::vector<kvx::PassRecord>* passes_ = nullptr;
};

JournalWindow::JournalWindow(std::string journalPath, Prompter& prompter, QWidget* parent)
    : QDialog(parent),
      path_(std::move(journalPath)),
      prompter_(prompter),
      reader_(std::make_unique<JournalOpener>()) {
  setObjectName("JournalForm");
  setWindowTitle("Production Journal");
  setAttribute(Qt::WA_DeleteOnClose);
  BuildFilters();
  Reload();
}

JournalWindow::~JournalWindow() = default;

bool JournalWindow::Loading() const { return reader_->Busy(); }


void JournalWindow::BuildFilters() {
  auto* top = new QVBoxLayout(this);
  auto* filters = new QHBoxLayout;
  const auto labelled = [&](const char* text, QWidget* field, const char* name) {
    auto* label = new QLabel(text, this);
    label->setBuddy(field);
    field->setObjectName(name);
    field->setAccessibleName(QString(text).remove('&').remove(':'));
    filters->addWidget(label);
    filters->addWidget(field);
  };
  from_ = new QLineEdit(this);
  from_->setPlaceholderText("YYYY-MM-DD");
  until_ = new QLineEdit(this);
  until_->setPlaceholderText("YYYY-MM-DD");
  series_ = new QComboBox(this);
  series_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  series_->setMinimumContentsLength(16);
  port_ = new QComboBox(this);
  outcome_ = new QComboBox(this);
  outcome_->addItem("All");
  for (kvx::PassOutcome o : kOutcomes) outcome_->addItem(Q(std::string(kvx::OutcomeText(o))));
  labelled("&From:", from_, "FromDate");
  labelled("&Until:", until_, "UntilDate");
  labelled("&Series:", series_, "SeriesFilter");
  labelled("&Port:", port_, "PortFilter");
  labelled("&Outcome:", outcome_, "OutcomeFilter");
  auto* reload = new QPushButton("&Reload", this);
  reload->setObjectName("ReloadButton");
  auto* exportCsv = new QPushButton("&Export CSV...", this);
  exportCsv->setObjectName("ExportButton");
  filters->addStretch();
  filters->addWidget(reload);
  filters->addWidget(exportCsv);
  top->addLayout(filters);

  model_ = new PassTableModel(this);
  table_ = new QTableView(this);
  table_->setObjectName("PassTable");
  table_->setModel(model_);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);

  summary_ = new QTableWidget(0, 8, this);
  summary_->setObjectName("SummaryTable");
  summary_->setHorizontalHeaderLabels(
      {"By", "Series or port", "Passes", "OK", "Failed", "Unknown", "Yield", "Median s"});
  summary_->verticalHeader()->hide();
  summary_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  summary_->setEditTriggers(QAbstractItemView::NoEditTriggers);

  chart_ = new QChartView(this);
  chart_->setObjectName("ChipsPerHourChart");
  chart_->setRenderHint(QPainter::Antialiasing);
  chart_->setMinimumHeight(220);

  auto* lower = new QSplitter(Qt::Horizontal, this);
  lower->addWidget(summary_);
  lower->addWidget(chart_);
  lower->setSizes({560, 500});
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(table_);
  split->addWidget(lower);
  top->addWidget(split, 1);
  status_ = new QLabel(this);
  status_->setObjectName("JournalStatus");
  top->addWidget(status_);

  for (QLineEdit* edit : {from_, until_})
    connect(edit, &QLineEdit::textChanged, this, &JournalWindow::ApplySelection);
  for (QComboBox* box : {series_, port_, outcome_})
    connect(box, &QComboBox::currentIndexChanged, this, &JournalWindow::ApplySelection);
  connect(reload, &QPushButton::clicked, this, &JournalWindow::Reload);
  connect(exportCsv, &QPushButton::clicked, this, &JournalWindow::OnExport);
  resize(1100, 700);
}

void JournalWindow::Refill(QComboBox* box, const std::vector<std::string>& items) {
  const QString keep = box->currentText();
  const QSignalBlocker quiet(box);
  box->clear();
  box->addItem("All");
  for (const std::string& item : items) box->addItem(Q(item));
  box->setCurrentIndex(std::max(0, box->findText(keep)));
}

void JournalWindow::Reload() {
  struct Read {
    std::vector<kvx::PassRecord> passes;
    std::string error;
  };
  auto read = std::make_shared<Read>();
  const bool started = reader_->Run(
      reading_,
      [path = path_, read] {
        kvx::Journal journal;
        if (journal.OpenToRead(path, read->error)) read->passes = journal.Passes({}, read->error);
      },
      [this, read] {
        passes_ = std::move(read->passes);
        loadError_ = Q(read->error);
        std::set<std::string> series, ports;
        for (const kvx::PassRecord& p : passes_) {
          if (!p.series.empty()) series.insert(p.series);
          ports.insert(p.port);
        }
        Refill(series_, {series.begin(), series.end()});
        Refill(port_, {ports.begin(), ports.end()});
        ApplySelection();
      });
  if (started) status_->setText("Reading the journal...");
}

void JournalWindow::ApplySelection() {
  kvx::PassSelection s;
  s.from = from_->text().trimmed().replace(' ', 'T').toStdString();
  s.until = until_->text().trimmed().replace(' ', 'T').toStdString();
  if (series_->currentIndex() > 0) s.series = series_->currentText().toStdString();
  if (port_->currentIndex() > 0) s.port = port_->currentText().toStdString();
  if (outcome_->currentIndex() > 0) s.outcome = kOutcomes[outcome_->currentIndex() - 1];
  shown_ = kvx::SelectPasses(passes_, s);
  model_->Show(&shown_);
  table_->resizeColumnsToContents();
  ShowSummary(shown_);
  ShowChart(shown_);
  status_->setText(!loadError_.isEmpty()
                       ? loadError_
                       : QString("%1 of %2 passes").arg(shown_.size()).arg(passes_.size()));
}

void JournalWindow::ShowSummary(const std::vector<kvx::PassRecord>& passes) {
  summary_->setRowCount(0);
  for (const auto& [by, name] : {std::pair{kvx::SummaryBy::Series, "Series"},
                                 std::pair{kvx::SummaryBy::Port, "Port"}}) {
    for (const kvx::SummaryRow& r : kvx::Summarise(passes, by)) {
      const int row = summary_->rowCount();
      summary_->insertRow(row);
      const QStringList cells = {name,
                                 Q(r.key),
                                 QString::number(r.passes),
                                 QString::number(r.ok),
                                 QString::number(r.failed),
                                 QString::number(r.unknown),
                                 QString::number(100.0 * r.Yield(), 'f', 1) + " %",
                                 Seconds(r.medianMs)};
      for (int c = 0; c < cells.size(); ++c)
        summary_->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
  }
  summary_->resizeColumnsToContents();
}

void JournalWindow::ShowChart(const std::vector<kvx::PassRecord>& passes) {
  const std::vector<kvx::HourCount> hours = kvx::ChipsPerHour(passes);
  auto* ok = new QBarSet("OK");
  ok->setColor(QColor(0x2E, 0x9E, 0x44));
  auto* failed = new QBarSet("Failed");
  failed->setColor(QColor(0xD0, 0x30, 0x30));
  QStringList labels;
  long highest = 0;
  for (const kvx::HourCount& h : hours) {
    *ok << static_cast<qreal>(h.ok);
    *failed << static_cast<qreal>(h.failed);
    // "12-08 09h": the day shows where it changes, the hour everywhere.
    labels << Q(h.hour.substr(5, 5) + " " + h.hour.substr(11, 2) + "h");
    highest = std::max(highest, h.ok + h.failed);
  }
  auto* series = new QStackedBarSeries;
  series->append(ok);
  series->append(failed);
  auto* chart = new QChart;
  chart->addSeries(series);
  chart->setTitle("Chips per hour (UTC)");
  auto* x = new QBarCategoryAxis;
  x->append(labels);
  x->setLabelsAngle(labels.size() > 12 ? -60 : 0);
  auto* y = new QValueAxis;
  // Whole chips on the axis: one tick a chip for a few, round steps for more.
  y->setRange(0, static_cast<qreal>(std::max<long>(highest, 1)));
  if (highest <= 10)
    y->setTickCount(static_cast<int>(std::max<long>(highest, 1)) + 1);
  else
    y->applyNiceNumbers();
  y->setLabelFormat("%d");
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  series->attachAxis(x);
  series->attachAxis(y);
  chart->legend()->setAlignment(Qt::AlignBottom);
  QChart* old = chart_->chart();
  chart_->setChart(chart);
  delete old;
}

int JournalWindow::ShownPasses() const { return static_cast<int>(shown_.size()); }

bool JournalWindow::ExportCsv(const QString& path) {
  const std::string csv = kvx::PassesCsv(shown_);
  if (kvx::WriteFileReplacing(path.toStdString(), csv)) return true;
  prompter_.Message(this, "'" + path + "' file can't be written!");
  return false;
}

void JournalWindow::OnExport() {
  const QString path = QFileDialog::getSaveFileName(this, "Export CSV", "journal.csv",
                                                    "CSV file (*.csv)");
  if (!path.isEmpty()) ExportCsv(path);
}

}  // namespace kvx::gui
