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
#include <QDateTime>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStackedBarSeries>
#include <QTableView>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <map>
#include <optional>
#include <tuple>
#include <set>

#include "core/files/file_io.h"
#include "gui/app/desktop_journal.h"
#include "gui/common/local_time.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

namespace {


QString Seconds(long ms) {
  return ms < 0 ? QString("-") : QString::number(static_cast<double>(ms) / 1000.0, 'f', 1);
}

constexpr kvx::PassOutcome kOutcomes[] = {kvx::PassOutcome::Ok, kvx::PassOutcome::ChipFailed,
                                          kvx::PassOutcome::LinkFailed, kvx::PassOutcome::Stopped,
                                          kvx::PassOutcome::NoChip,  kvx::PassOutcome::Unknown,
                                          kvx::PassOutcome::Pending};

}  // namespace

// The passes the filters let through, one row each, in the journal's order; the table sorts them
// (newest first to begin with) by what each column holds, numbers as numbers.
class PassTableModel : public QAbstractTableModel {
 public:
  static constexpr int kSortRole = Qt::UserRole;

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
    static const char* const names[kColumns] = {"Started", "Station", "Port",   "Device",
                                                 "Serial",        "Pass", "Outcome", "Seconds",
                                                 "Lot",     "Operator", "Red line"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return QString(names[section]);
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || passes_ == nullptr) return {};
    const kvx::PassRecord& p = (*passes_)[static_cast<std::size_t>(index.row())];
    if (role == Qt::ForegroundRole && index.column() == 6 && p.outcome != kvx::PassOutcome::Ok)
      return QColor(Qt::red);
    if (role == kSortRole) {
      switch (index.column()) {
        // UTC sorts as time goes; passes of one millisecond in the order they were journaled.
        case 0: return Q(p.started) + QString("%1").arg(p.id, 12, 10, QChar('0'));
        case 5: return static_cast<qlonglong>(p.passCount);
        case 7: return static_cast<qlonglong>(p.durationMs);
        default: return data(index, Qt::DisplayRole);
      }
    }
    if (role == Qt::ToolTipRole && index.column() == 0) return Q(p.started);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
      case 0: return LocalTime(p.started);
      case 1: return Q(p.host);
      case 2: return Q(p.port);
      case 3: return Q(p.device);
      case 4: return p.record > 0 ? Q(p.serial) + QString(" (record %1)").arg(p.record)
                                  : Q(p.serial);
      case 5: return static_cast<qlonglong>(p.passCount);
      case 6: return Q(std::string(kvx::OutcomeText(p.outcome)));
      case 7: return Seconds(p.durationMs);
      case 8: return Q(p.lot);
      case 9: return Q(p.operatorName);
      default: return Q(p.redLine);
    }
  }

 private:
  static constexpr int kColumns = 11;
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
  auto* filters = new QGridLayout;
  int column = 0;
  int row = 0;
  const auto labelled = [&](const char* text, QWidget* field, const char* name) {
    auto* label = new QLabel(text, this);
    label->setBuddy(field);
    field->setObjectName(name);
    field->setAccessibleName(QString(text).remove('&').remove(':'));
    filters->addWidget(label, row, column++, Qt::AlignRight);
    filters->addWidget(field, row, column++);
  };
  const auto choice = [this](int width) {
    auto* box = new QComboBox(this);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(width);
    return box;
  };
  from_ = new QLineEdit(this);
  from_->setPlaceholderText("YYYY-MM-DD");
  until_ = new QLineEdit(this);
  until_->setPlaceholderText("YYYY-MM-DD");
  for (QLineEdit* edit : {from_, until_}) {
    edit->setToolTip("Local time: YYYY-MM-DD, or YYYY-MM-DD HH:MM");
    edit->setMinimumWidth(fontMetrics().horizontalAdvance("0000-00-00 00:00") + 16);
  }
  series_ = choice(16);
  port_ = choice(6);
  outcome_ = choice(10);
  outcome_->addItem("All");
  for (kvx::PassOutcome o : kOutcomes) outcome_->addItem(Q(std::string(kvx::OutcomeText(o))));
  station_ = choice(10);
  device_ = choice(8);
  program_ = choice(14);
  lot_ = choice(10);
  labelled("&From:", from_, "FromDate");
  labelled("&Until:", until_, "UntilDate");
  labelled("&Series:", series_, "SeriesFilter");
  labelled("&Outcome:", outcome_, "OutcomeFilter");
  row = 1;
  column = 0;
  labelled("S&tation:", station_, "StationFilter");
  labelled("&Port:", port_, "PortFilter");
  labelled("&Device:", device_, "DeviceFilter");
  labelled("Pro&gram:", program_, "ProgramFilter");
  labelled("&Lot:", lot_, "LotFilter");
  filters->setColumnStretch(column, 1);
  auto* reload = new QPushButton("&Reload", this);
  reload->setObjectName("ReloadButton");
  auto* exportCsv = new QPushButton("&Export CSV...", this);
  exportCsv->setObjectName("ExportButton");
  filters->addWidget(reload, 0, column + 1);
  filters->addWidget(exportCsv, 1, column + 1);
  top->addLayout(filters);

  model_ = new PassTableModel(this);
  sorted_ = new QSortFilterProxyModel(this);
  sorted_->setSourceModel(model_);
  sorted_->setSortRole(PassTableModel::kSortRole);
  table_ = new QTableView(this);
  table_->setObjectName("PassTable");
  table_->setModel(sorted_);
  table_->verticalHeader()->hide();
  // Rows an operator reads at arm's length.
  table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() * 3 / 2 + 4);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setAlternatingRowColors(true);
  table_->setSortingEnabled(true);
  table_->sortByColumn(0, Qt::DescendingOrder);  // the newest pass first

  auto* summaryBox = new QWidget(this);
  auto* summaryLayout = new QVBoxLayout(summaryBox);
  summaryLayout->setContentsMargins(0, 0, 0, 0);
  auto* byRow = new QHBoxLayout;
  auto* byLabel = new QLabel("Summary &by:", summaryBox);
  summaryBy_ = new QComboBox(summaryBox);
  summaryBy_->setObjectName("SummaryBy");
  summaryBy_->addItems({"Series and port", "Station", "Device", "Program", "Lot"});
  byLabel->setBuddy(summaryBy_);
  byRow->addWidget(byLabel);
  byRow->addWidget(summaryBy_);
  byRow->addStretch();
  summaryLayout->addLayout(byRow);
  summary_ = new QTableWidget(0, 9, summaryBox);
  summary_->setObjectName("SummaryTable");
  summary_->setHorizontalHeaderLabels({"By", "Series or port", "Passes", "OK", "Failed", "Unknown",
                                       "Yield", "Median s", "Stopped"});
  summary_->verticalHeader()->hide();
  summary_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  summary_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  summary_->horizontalHeader()->setStretchLastSection(false);
  summary_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  summaryLayout->addWidget(summary_);

  chart_ = new QChartView(this);
  chart_->setObjectName("ChipsPerHourChart");
  chart_->setRenderHint(QPainter::Antialiasing);
  chart_->setMinimumHeight(220);

  auto* lower = new QSplitter(Qt::Horizontal, this);
  lower->addWidget(summaryBox);
  lower->addWidget(chart_);
  lower->setSizes({640, 460});
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(table_);
  split->addWidget(lower);
  split->setSizes({420, 280});
  top->addWidget(split, 1);
  status_ = new QLabel(this);
  status_->setObjectName("JournalStatus");
  top->addWidget(status_);

  for (QLineEdit* edit : {from_, until_})
    connect(edit, &QLineEdit::textChanged, this, &JournalWindow::ApplySelection);
  for (QComboBox* box : {series_, port_, outcome_, station_, device_, program_, lot_, summaryBy_})
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
  // Nothing chosen yet (an empty text) is "All", not the passes without a value there.
  box->setCurrentIndex(keep.isEmpty() ? 0 : std::max(0, box->findText(keep)));
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
        std::set<std::string> series, ports, stations, devices, programs, lots;
        for (const kvx::PassRecord& p : passes_) {
          if (!p.series.empty()) series.insert(p.series);
          ports.insert(p.port);
          stations.insert(p.host);
          devices.insert(p.device);
          programs.insert(ProgramName(p));
          if (!p.lot.empty()) lots.insert(p.lot);
        }
        Refill(series_, {series.begin(), series.end()});
        Refill(port_, {ports.begin(), ports.end()});
        Refill(station_, {stations.begin(), stations.end()});
        Refill(device_, {devices.begin(), devices.end()});
        Refill(program_, {programs.begin(), programs.end()});
        Refill(lot_, {lots.begin(), lots.end()});
        ApplySelection();
      });
  if (started) status_->setText("Reading the journal...");
}

std::string JournalWindow::ProgramName(const kvx::PassRecord& pass) {
  const std::size_t slash = pass.programPath.find_last_of("/\\");
  return slash == std::string::npos ? pass.programPath : pass.programPath.substr(slash + 1);
}

namespace {

// A date the operator typed, in local time, as the UTC bound the journal compares with: a day
// alone starts at its midnight (`endOfDay`: ends at the next one). Empty text: no bound; a text
// that is no date: nullopt.
std::optional<std::string> UtcBound(const QString& typed, bool endOfDay) {
  const QString text = typed.trimmed();
  if (text.isEmpty()) return std::string();
  QDateTime local;
  const QDate day = QDate::fromString(text, "yyyy-MM-dd");
  if (day.isValid()) {
    local = QDateTime(endOfDay ? day.addDays(1) : day, QTime(0, 0));
  } else {
    for (const char* form : {"yyyy-MM-dd HH:mm", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm",
                             "yyyy-MM-ddTHH:mm:ss"}) {
      local = QDateTime::fromString(text, form);
      if (local.isValid()) break;
    }
  }
  if (!local.isValid()) return std::nullopt;
  return local.toUTC().toString("yyyy-MM-ddTHH:mm:ss.zzzZ").toStdString();
}

}  // namespace

void JournalWindow::ApplySelection() {
  kvx::PassSelection s;
  QStringList wrong;
  for (auto [edit, endOfDay, bound] : {std::tuple{from_, false, &s.from}, std::tuple{until_, true, &s.until}}) {
    const std::optional<std::string> utc = UtcBound(edit->text(), endOfDay);
    edit->setStyleSheet(utc ? QString() : QString("background: #FFD0D0"));
    if (utc) *bound = *utc;
    else wrong << "'" + edit->text().trimmed() + "'";
  }
  if (series_->currentIndex() > 0) s.series = series_->currentText().toStdString();
  if (port_->currentIndex() > 0) s.port = port_->currentText().toStdString();
  if (lot_->currentIndex() > 0) s.lot = lot_->currentText().toStdString();
  if (outcome_->currentIndex() > 0) s.outcome = kOutcomes[outcome_->currentIndex() - 1];
  shown_ = kvx::SelectPasses(passes_, s);
  const auto chosen = [](QComboBox* box, const std::string& value) {
    return box->currentIndex() <= 0 || box->currentText().toStdString() == value;
  };
  std::erase_if(shown_, [&](const kvx::PassRecord& p) {
    return !chosen(station_, p.host) || !chosen(device_, p.device) || !chosen(program_, ProgramName(p));
  });
  model_->Show(&shown_);
  table_->resizeColumnsToContents();
  ShowSummary(shown_);
  ShowChart(shown_);
  QString text = !loadError_.isEmpty()
                     ? loadError_
                     : QString("%1 of %2 passes").arg(shown_.size()).arg(passes_.size());
  // A date that is no date narrows nothing, and says so.
  if (!wrong.isEmpty())
    text += "; " + wrong.join(" and ") +
            (wrong.size() == 1 ? " is not a date" : " are not dates") +
            " (YYYY-MM-DD or YYYY-MM-DD HH:MM, local time): not applied";
  status_->setText(text);
}

void JournalWindow::ShowSummary(const std::vector<kvx::PassRecord>& passes) {
  summary_->setRowCount(0);
  // The station and the program are summarised as the port is: each pass keyed by it.
  const auto keyed = [&passes](auto key) {
    std::vector<kvx::PassRecord> copy = passes;
    for (kvx::PassRecord& p : copy) p.port = key(p);
    return copy;
  };
  struct Part {
    const char* name;
    std::vector<kvx::PassRecord> passes;
    kvx::SummaryBy by;
  };
  std::vector<Part> parts;
  switch (summaryBy_->currentIndex()) {
    case 1:
      parts.push_back({"Station", keyed([](const kvx::PassRecord& p) { return p.host; }), kvx::SummaryBy::Port});
      break;
    case 2: parts.push_back({"Device", passes, kvx::SummaryBy::Device}); break;
    case 3: parts.push_back({"Program", keyed(&JournalWindow::ProgramName), kvx::SummaryBy::Port}); break;
    case 4: parts.push_back({"Lot", keyed([](const kvx::PassRecord& p) { return p.lot; }), kvx::SummaryBy::Port}); break;
    default:
      parts.push_back({"Series", passes, kvx::SummaryBy::Series});
      parts.push_back({"Port", passes, kvx::SummaryBy::Port});
  }
  summary_->horizontalHeaderItem(1)->setText(summaryBy_->currentIndex() == 0 ? "Series or port"
                                                                             : summaryBy_->currentText());
  for (const Part& part : parts) {
    // A stopped pass is the operator's doing, not the chip's: the core counts it apart, out of
    // the failures and of the yield.
    for (const kvx::SummaryRow& r : kvx::Summarise(part.passes, part.by)) {
      const int row = summary_->rowCount();
      summary_->insertRow(row);
      const QStringList cells = {part.name,
                                 Q(r.key),
                                 QString::number(r.passes),
                                 QString::number(r.ok),
                                 QString::number(r.failed),
                                 QString::number(r.unknown),
                                 r.ok + r.failed + r.unknown > 0
                                     ? QString::number(100.0 * r.Yield(), 'f', 1) + " %"
                                     : QString("-"),
                                 Seconds(r.medianMs),
                                 QString::number(r.stopped)};
      for (int c = 0; c < cells.size(); ++c)
        summary_->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
  }
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
    // "12-08 09h" in local time: the journal's hours are UTC ones.
    const QDateTime hour = QDateTime::fromString(Q(h.hour + ":00:00Z"), Qt::ISODate);
    labels << (hour.isValid() ? hour.toLocalTime().toString("MM-dd HH'h'") : Q(h.hour));
    highest = std::max(highest, h.ok + h.failed);
  }
  auto* series = new QStackedBarSeries;
  series->append(ok);
  series->append(failed);
  auto* chart = new QChart;
  chart->addSeries(series);
  chart->setTitle("Chips per hour");
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
