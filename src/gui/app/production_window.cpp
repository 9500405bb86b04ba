#include "gui/app/production_window.h"

#include <QComboBox>
#include <QDateTime>
#include <QHeaderView>
#include <QTableWidget>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>
#include <chrono>
#include <map>
#include <mutex>

#include "core/production/commands.h"
#include "core/files/station_settings.h"
#include "core/production/pass_journal.h"
#include "core/production/production_run.h"
#include "gui/app/desktop_journal.h"
#include "gui/common/gui_queue.h"
#include "gui/common/local_time.h"
#include "gui/app/port_chooser.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"
#include "gui/app/sim_bench.h"

namespace kvx::gui {

namespace {


constexpr int kTileColumns = 4;
constexpr int kResultLines = 500;
// Chips per hour is shown once the station has run a minute: before, a few quick chips would
// read as thousands an hour.
constexpr double kRateAfterHours = 1.0 / 60.0;

// The tile's word for the core's outcome.
QString OutcomeWord(kvx::ChipOutcome outcome) {
  switch (outcome) {
    case kvx::ChipOutcome::Ok: return "OK";
    case kvx::ChipOutcome::ChipFailed: return "FAILED";
    case kvx::ChipOutcome::LinkFailed: return "LINK FAILED";
    case kvx::ChipOutcome::Stopped: return "STOPPED";
    case kvx::ChipOutcome::JournalFailed: return "JOURNAL FAILED";
    case kvx::ChipOutcome::ConfigurationRefused: return "REFUSED";
    case kvx::ChipOutcome::NoChip: return "NO CHIP";
    case kvx::ChipOutcome::NotStarted: break;
  }
  return "NOT STARTED";
}

// The tile's outcome field: white on green, red, or the blue of a pass under way.
const QColor kOkColour(0x2E, 0x9E, 0x44);
const QColor kFailedColour(0xD0, 0x30, 0x30);
const QColor kRunningColour(0x1F, 0x6F, 0xC5);
// No chip failed, yet the operator has something to do: fill the socket, mend the set-up.
const QColor kNoChipColour(0xC8, 0x7A, 0x00);

void SetResult(QLabel* result, const QString& text, const QColor& colour) {
  result->setText(text);
  QPalette colours = result->palette();
  colours.setColor(QPalette::Window, colour);
  colours.setColor(QPalette::WindowText, Qt::white);
  result->setPalette(colours);
}

}  // namespace

// The pass's view for one tile: its calls are posted to the GUI thread, in order. It shows
// progress as the tile's bar; the result field shows the core's report of the pass.
class ProductionTile::View final : public kvx::OperationView {
 public:
  View(ProductionTile& tile, GuiQueue& queue) : tile_(tile), queue_(queue) {}

  void SetText(std::string_view, std::string_view) override {}
  void SetColour(std::string_view, kvx::LineColour) override {}
  void SetVisible(std::string_view, bool) override {}
  void SetGauge(int percent) override { Post([percent](Parts& p) { SetBar(p, percent); }); }
  void SetEnabled(std::string_view, bool) override {}
  // Nobody stands at a tile to click a box away: it returns at once.
  void ShowMessage(std::string_view) override {}
  void Progress(const kvx::ProgressEvent& event) override {
    if (event.total <= 0) return;
    const int percent = static_cast<int>(100 * event.done / event.total);
    // The bar moves a few times a second, and always to its end: eight tiles repainted for every
    // percent would cost the host more than the streams they show.
    const auto now = std::chrono::steady_clock::now();
    if (percent == lastPercent_ || (percent < 100 && now - lastPost_ < kBarStep)) return;
    lastPercent_ = percent;
    lastPost_ = now;
    Post([percent](Parts& p) { SetBar(p, percent); });
  }

 private:
  static void SetBar(Parts& parts, int percent);
  void Post(std::function<void(Parts&)> call);

  ProductionTile& tile_;
  GuiQueue& queue_;
  static constexpr std::chrono::milliseconds kBarStep{200};
  int lastPercent_ = -1;  // the worker's own, as lastPost_
  std::chrono::steady_clock::time_point lastPost_;
};

struct ProductionTile::Parts {
  Parts(const kvx::Workspace& first, kvx::Journal& j, const ProductionOptions& o)
      : ws(std::make_unique<kvx::Workspace>(first)),
        journal(j),
        clock(o.clock != nullptr ? o.clock : &steady),
        ports(*ws, *clock, [this] { return OpenSim(); }, o.env),
        settingsPath(o.settingsPath),
        env(o.env),
        lender(o.lender) {}

  // The tile's `sim` Writer: a tile runs Auto Program only, so a fresh chip follows each one.
  std::unique_ptr<kvx::SerialPort> OpenSim() {
    auto port = sim.OpenPort(ws->device.DeviceIndex);
    if (sim.Writer() != nullptr)
      kvx::sim::FreshChipsFor(*sim.Writer(), kvx::MainCommand(kvx::CommandId::AutoProgram));
    return port;
  }

  std::unique_ptr<kvx::Workspace> ws;  // the tile's own copy of the loaded workspace
  kvx::Journal& journal;
  kvx::SteadyClock steady;
  kvx::Clock* clock;
  SimBench sim;
  kvx::PortSelector ports;
  std::string settingsPath;  // KvxWriter.ini, where the tile's port is remembered
  std::string portKey;       // "production_port1"
  std::string remembered;    // the port it names
  kvx::EnvLookup env;
  std::shared_ptr<PortLender> lender;
  std::string lent;      // the device the main window let go of for this tile
  std::string lentBefore;  // the one before, given back once the tile has closed it
  QComboBox* port = nullptr;
  QLabel* writerId = nullptr;
  QProgressBar* bar = nullptr;
  QLabel* result = nullptr;
  QLabel* line = nullptr;
  QLabel* action = nullptr;
  QLabel* counts = nullptr;
  QLabel* serial = nullptr;
  QPushButton* start = nullptr;
  QPushButton* stop = nullptr;
  GuiQueue* queue = nullptr;
  std::unique_ptr<View> view;
  std::unique_ptr<kvx::ProductionRun> run;  // the pass under way, until its end is shown
};

void ProductionTile::View::SetBar(Parts& parts, int percent) { parts.bar->setValue(percent); }

void ProductionTile::View::Post(std::function<void(Parts&)> call) {
  queue_.Post([this, call = std::move(call)] { call(*tile_.parts_); });
}

ProductionTile::ProductionTile(int index, const kvx::Workspace& first, kvx::Journal& journal,
                               const ProductionOptions& options, QWidget* parent)
    : QWidget(parent), parts_(std::make_unique<Parts>(first, journal, options)) {
  Parts& p = *parts_;
  setObjectName(QString("Tile%1").arg(index + 1));
  auto* box = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  p.port = new QComboBox(this);
  p.port->setObjectName("TilePort");
  p.port->setAccessibleName(QString("Writer %1 port").arg(index + 1));
  auto* chooser = new PortChooser(p.port, options.env, this);
  // The port this tile used last on this station, or Com1 .. Com8 in the tiles' order.
  p.portKey = "production_port" + std::to_string(index + 1);
  if (!p.settingsPath.empty()) p.remembered = kvx::ReadSetting(p.settingsPath, p.portKey);
  chooser->Show(!p.remembered.empty() ? p.remembered : "Com" + std::to_string(index + 1));
  p.writerId = new QLabel("Writer: -", this);
  p.writerId->setObjectName("TileWriterId");
  top->addWidget(p.port, 1);
  top->addWidget(p.writerId, 1);
  box->addLayout(top);
  p.bar = new QProgressBar(this);
  p.bar->setObjectName("TileProgress");
  p.bar->setRange(0, 100);
  box->addWidget(p.bar);
  p.result = new QLabel("READY", this);
  p.result->setObjectName("TileResult");
  p.result->setAlignment(Qt::AlignCenter);
  p.result->setMinimumHeight(56);
  QFont big = p.result->font();
  big.setPointSize(big.pointSize() * 2);
  big.setBold(true);
  p.result->setFont(big);
  p.result->setAutoFillBackground(true);
  box->addWidget(p.result, 1);  // the tile's room goes to its outcome, readable from afar
  p.line = new QLabel(this);
  p.line->setObjectName("TileRedLine");
  p.line->setWordWrap(true);
  p.line->setStyleSheet("color: #C00000");
  box->addWidget(p.line);
  // What to do about it, in the operator's words, bold beside the Writer's own line.
  p.action = new QLabel(this);
  p.action->setObjectName("TileAction");
  p.action->setWordWrap(true);
  QFont actionFont = p.action->font();
  actionFont.setBold(true);
  p.action->setFont(actionFont);
  box->addWidget(p.action);
  auto* facts = new QVBoxLayout;
  facts->setSpacing(2);
  p.counts = new QLabel("OK: 0   Failed: 0", this);
  p.counts->setObjectName("TileCounts");
  p.serial = new QLabel("Serial: -", this);
  p.serial->setObjectName("TileSerial");
  QFont readable = p.counts->font();
  readable.setPointSizeF(readable.pointSizeF() * 1.4);
  readable.setBold(true);
  facts->addWidget(p.counts);
  facts->addWidget(p.serial);
  box->addLayout(facts);
  // What a pass writes into a tile never widens it: the columns keep their width, the window
  // its size; a text longer than its tile is cut and shown whole as its tooltip.
  for (QLabel* label : {p.writerId, p.result, p.line, p.action, p.counts, p.serial}) {
    label->setSizePolicy(QSizePolicy::Ignored, label->sizePolicy().verticalPolicy());
    label->setMinimumWidth(1);
  }
  p.counts->setFont(readable);
  p.serial->setFont(readable);
  auto* buttons = new QHBoxLayout;
  p.start = new QPushButton("Start", this);
  p.start->setObjectName("TileStart");
  p.start->setToolTip(QString("Start this Writer (Ctrl+%1)").arg(index + 1));
  p.stop = new QPushButton("Stop", this);
  p.stop->setObjectName("TileStop");
  p.stop->setEnabled(false);
  p.start->setAutoDefault(false);
  p.stop->setAutoDefault(false);
  buttons->addWidget(p.start);
  buttons->addWidget(p.stop);
  box->addLayout(buttons);
  // The tile's class is namespaced: its border is drawn by its object name.
  setStyleSheet(QString("#%1 { border: 1px solid #A0A0A0; border-radius: 4px; }").arg(objectName()));
  setAttribute(Qt::WA_StyledBackground);

  p.queue = new GuiQueue(this);
  p.view = std::make_unique<View>(*this, *p.queue);
  connect(p.start, &QPushButton::clicked, this, [this] { Start(); });
  connect(p.stop, &QPushButton::clicked, this, &ProductionTile::Stop);
}

ProductionTile::~ProductionTile() {
  // The window closes only once every pass has ended; a run left here has ended already.
  parts_->run.reset();
  parts_->ports.CloseAtExit();
  GiveBackUnused();
  if (parts_->lender && !parts_->lent.empty()) parts_->lender->GiveBack(parts_->lent);
}

bool ProductionTile::Borrow(std::string& reason) {
  Parts& p = *parts_;
  const std::string device = kvx::ResolvePortDevice(p.ws->settings.PortName, p.env);
  if (!p.lender || kvx::IsSimPort(device) || device == p.lent) return true;
  if (!p.lender->Lend(device, reason)) return false;
  GiveBackUnused();
  p.lentBefore = p.lent;
  p.lent = device;
  return true;
}

// The device lent before the tile changed its port goes back once the tile's selector has
// closed it (the pass opened the new one).
void ProductionTile::GiveBackUnused() {
  Parts& p = *parts_;
  if (p.lentBefore.empty() || (p.ports.Device() == p.lentBefore && p.ports.Port().Enabled())) return;
  if (p.lender) p.lender->GiveBack(p.lentBefore);
  p.lentBefore.clear();
}

void ProductionTile::LockPort(bool locked) { parts_->port->setEnabled(!locked); }

void ProductionTile::Halt(bool halted) {
  halted_ = halted;
  if (!Running()) parts_->start->setEnabled(!halted);
}

bool ProductionTile::Running() const { return parts_->run != nullptr; }

// On the pass's own thread: the open waits on the device, and a Writer unplugged since the last
// chip is found here, not on the GUI thread.
kvx::SerialPort* ProductionTile::OpenPort(std::string& message) {
  Parts& p = *parts_;
  return p.ports.Open(p.ws->settings.PortName, kvx::kLinkHandShake, message);
}

kvx::sim::SimWriter* ProductionTile::SimWriter() {
  if (Running()) return nullptr;
  parts_->ws->settings.PortName = parts_->port->currentText().toStdString();
  std::string message;
  return OpenPort(message) != nullptr ? parts_->sim.Writer() : nullptr;
}

bool ProductionTile::Start() {
  Parts& p = *parts_;
  if (Running() || halted_) return false;
  p.ws->settings.PortName = p.port->currentText().toStdString();
  std::string refused;
  if (!Borrow(refused)) {
    ShowResult(false, "PORT ERROR", Q(refused));
    return false;
  }
  // The port a chip went through is the tile's next time; a file that cannot be written costs
  // only that.
  if (!p.settingsPath.empty() && p.remembered != p.ws->settings.PortName &&
      kvx::UpdateSettings(p.settingsPath, {{p.portKey, p.ws->settings.PortName}}).empty())
    p.remembered = p.ws->settings.PortName;
  p.bar->setValue(0);
  SetResult(p.result, "RUNNING", kRunningColour);
  p.line->clear();
  p.action->clear();
  p.start->setEnabled(false);
  p.stop->setEnabled(true);
  // The port opens, and the chip's number is taken (the series' next free one, whatever the
  // other tiles took), on the pass's thread.
  kvx::ProductionRun::Plan plan{
      .command = &kvx::MainCommand(kvx::CommandId::AutoProgram),
      .passes = 1,
      .journal = &p.journal,
      .ended =
          [this](std::size_t, const kvx::WriterOutcome& outcome) {
            parts_->queue->Post([this, outcome] { Ended(outcome); });
          },
      .startAtNextFree = true,
  };
  p.run = std::make_unique<kvx::ProductionRun>(std::move(plan));
  p.run->Add(*p.ws, {kvx::PortNameUpper(p.ws->settings.PortName), p.ports.Port(), *p.clock, *p.view,
                     [this](std::string& reason) { return OpenPort(reason); }});
  p.run->Start();
  Q_EMIT started();
  return true;
}

void ProductionTile::Stop() {
  if (parts_->run) parts_->run->StopAll();
}

void ProductionTile::Ended(const kvx::WriterOutcome& outcome) {
  Parts& p = *parts_;
  p.run.reset();  // its worker has returned: this only joins it
  GiveBackUnused();
  p.start->setEnabled(!halted_);
  p.stop->setEnabled(false);
  if (!p.ws->results.WriterId.empty()) p.writerId->setText("Writer: " + Q(p.ws->results.WriterId));
  p.writerId->setToolTip(p.writerId->text());
  if (!outcome.lastSerial.empty()) p.serial->setText("Serial: " + Q(outcome.lastSerial));
  last_ = ChipLine{.time = QDateTime::currentDateTime().toString("HH:mm:ss"),
                   .serial = Q(outcome.lastSerial),
                   .stopped = outcome.end == kvx::ChipOutcome::Stopped,
                   .failed = kvx::FailedChip(outcome.end)};
  const bool ok = outcome.end == kvx::ChipOutcome::Ok;
  if (ok) ++ok_;
  if (last_.failed) ++failed_;
  // A port that did not open is the tile's own trouble, not the link's to a Writer.
  const QString word = !outcome.notStarted.empty() && outcome.end == kvx::ChipOutcome::LinkFailed
                           ? QString("PORT ERROR")
                           : OutcomeWord(outcome.end);
  // Without a red line the line tells, in grey, which values the chip's number stepped over, as
  // kvxw does.
  const QString note = Q(kvx::SteppedOverNote(outcome.last));
  const bool noted = outcome.last.reason.empty() && !note.isEmpty();
  ShowResult(ok, word, noted ? note : Q(outcome.last.reason));
  p.line->setStyleSheet(noted ? "color: #505050" : "color: #C00000");
  last_.action = Q(std::string(kvx::OperatorAction(outcome.end, outcome.last.result)));
  p.action->setText(last_.action);
  p.action->setToolTip(last_.action);
  if (!ok && !last_.failed && !last_.stopped) SetResult(p.result, word, kNoChipColour);
  Q_EMIT ended();
}

void ProductionTile::ShowResult(bool ok, const QString& text, const QString& line) {
  Parts& p = *parts_;
  p.action->clear();
  last_.ok = ok;
  last_.outcome = text;
  last_.reason = line;
  SetResult(p.result, text, ok ? kOkColour : kFailedColour);
  p.line->setText(line);
  p.line->setToolTip(line);
  p.counts->setText(QString("OK: %1   Failed: %2").arg(ok_).arg(failed_));
}

// ---- The window ---------------------------------------------------------------------------------

ProductionWindow::ProductionWindow(kvx::Workspace& loaded, ProductionOptions options,
                                   Prompter& prompter, QWidget* parent)
    : QDialog(parent), loaded_(loaded), options_(std::move(options)), prompter_(prompter) {
  setObjectName("ProductionForm");
  setWindowTitle("Production");
  journal_ = options_.journal;
  std::string error;
  if (journal_ == nullptr) {
    journal_ = std::make_shared<kvx::Journal>();
    if (!journal_->Open(options_.journalPath, error)) {
      prompter_.Message(parent, Q(error));
      return;
    }
  }
  // The series' start is decided once, as for Auto Program; each tile then takes free numbers.
  first_ = std::make_unique<kvx::Workspace>(loaded_);
  const kvx::RunStart start = options_.start ? *options_.start : kvx::DecideRunStartFor(*journal_, *first_);
  if (!AskRunStart(start, *first_, prompter_, parent)) return;
  ready_ = true;

  auto* top = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  auto* label = new QLabel("&Writers:", this);
  writers_ = new QSpinBox(this);
  writers_->setObjectName("WriterCount");
  writers_->setRange(1, kMaxProductionWriters);
  label->setBuddy(writers_);
  startAll_ = new QPushButton("Start &all (F8)", this);
  startAll_->setObjectName("StartAll");
  auto* stopAll = new QPushButton("St&op all", this);
  stopAll->setObjectName("StopAll");
  totals_ = new QLabel(this);
  totals_->setObjectName("WindowTotals");
  QFont totalsFont = totals_->font();
  totalsFont.setPointSizeF(totalsFont.pointSizeF() * 1.3);
  totalsFont.setBold(true);
  totals_->setFont(totalsFont);
  bar->addWidget(label);
  bar->addWidget(writers_);
  bar->addSpacing(24);
  bar->addWidget(totals_);
  bar->addStretch();
  bar->addWidget(startAll_);
  bar->addWidget(stopAll);
  // The lot and the operator, typed or scanned (a scanner types and presses Enter, which
  // starts nothing): every row the tiles journal from then on names them.
  auto* jobBar = new QHBoxLayout;
  const auto field = [&](const char* text, QLineEdit*& edit, const char* name) {
    auto* label = new QLabel(text, this);
    edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setAccessibleName(QString(text).remove('&').remove(':'));
    edit->setMaxLength(80);
    edit->setMaximumWidth(320);
    label->setBuddy(edit);
    jobBar->addWidget(label);
    jobBar->addWidget(edit);
    connect(edit, &QLineEdit::textChanged, this, [this] {
      journal_->SetLotAndOperator(lot_->text().trimmed().toStdString(),
                                  operator_->text().trimmed().toStdString());
    });
  };
  field("Lo&t:", lot_, "LotField");
  field("Op&erator:", operator_, "OperatorField");
  auto* targetLabel = new QLabel("Tar&get:", this);
  target_ = new QSpinBox(this);
  target_->setObjectName("TargetCount");
  target_->setAccessibleName("Target");
  target_->setRange(0, 9'999'999);
  target_->setSpecialValueText("none");
  target_->setToolTip("Good chips after which the station starts no new one");
  targetLabel->setBuddy(target_);
  jobBar->addSpacing(16);
  jobBar->addWidget(targetLabel);
  jobBar->addWidget(target_);
  jobBar->addStretch();
  pin_ = new QLineEdit(this);
  pin_->setObjectName("OperatorPin");
  pin_->setAccessibleName("PIN");
  pin_->setPlaceholderText("PIN");
  pin_->setEchoMode(QLineEdit::Password);
  pin_->setMaximumWidth(90);
  operatorButton_ = new QPushButton(this);
  operatorButton_->setObjectName("OperatorMode");
  bar->addSpacing(16);
  bar->addWidget(pin_);
  bar->addWidget(operatorButton_);
  top->addLayout(bar);
  top->addLayout(jobBar);
  grid_ = new QGridLayout;
  top->addLayout(grid_, 1);
  results_ = new QTableWidget(0, 6, this);
  results_->setObjectName("ResultsList");
  results_->setAccessibleName("Last chips");
  results_->setHorizontalHeaderLabels({"Time", "Writer", "Serial", "Outcome", "Reason", "Action"});
  results_->verticalHeader()->hide();
  results_->horizontalHeader()->setStretchLastSection(true);
  results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  results_->setSelectionBehavior(QAbstractItemView::SelectRows);
  results_->verticalHeader()->setDefaultSectionSize(results_->fontMetrics().height() + 8);
  results_->setFixedHeight(150);
  results_->setColumnWidth(4, 300);  // the Writer's line, beside what to do about it
  top->addWidget(results_);
  new QShortcut(Qt::Key_F8, this, [this] { StartAll(); });
  // Ctrl+1 .. Ctrl+8: one Writer's chip, from the keyboard.
  for (int t = 0; t < kMaxProductionWriters; ++t)
    new QShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + t)), this, [this, t] {
      if (t < Tiles() && !Tile(t).Running()) Tile(t).Start();
    });
  connect(startAll_, &QPushButton::clicked, this, &ProductionWindow::StartAll);
  connect(stopAll, &QPushButton::clicked, this, &ProductionWindow::StopAll);
  connect(writers_, &QSpinBox::valueChanged, this, &ProductionWindow::SetWriters);
  // Enter in a field never starts chips: no button of the window is a dialog's default one.
  // Enter in the PIN field is the leaving of operator mode.
  for (QPushButton* button : findChildren<QPushButton*>()) button->setAutoDefault(false);
  connect(pin_, &QLineEdit::returnPressed, this, &ProductionWindow::LeaveOperatorMode);
  connect(operatorButton_, &QPushButton::clicked, this, [this] {
    if (operatorMode_)
      LeaveOperatorMode();
    else
      EnterOperatorMode();
  });
  // The station's own set-up, where KvxWriter.ini has it.
  int writers = options_.writers;
  if (!options_.settingsPath.empty()) {
    operatorPin_ = kvx::ReadSetting(options_.settingsPath, "operator_pin");
    const QString count = Q(kvx::ReadSetting(options_.settingsPath, "production_writers"));
    if (bool number = false; count.toInt(&number) > 0 && number) writers = count.toInt();
  }
  ShowOperatorMode();
  writers_->setValue(std::clamp(writers, 1, kMaxProductionWriters));
  // A station left in operator mode opens in it.
  if (!options_.settingsPath.empty() && kvx::ReadSetting(options_.settingsPath, "operator_mode") == "1")
    EnterOperatorMode();
  // The tile count the operator sets is the station's next time.
  connect(writers_, &QSpinBox::valueChanged, this, &ProductionWindow::RememberWriters);
  if (!options_.settingsPath.empty()) {
    const QString target = Q(kvx::ReadSetting(options_.settingsPath, "production_target"));
    if (bool number = false; target.toInt(&number) > 0 && number) target_->setValue(target.toInt());
  }
  connect(target_, &QSpinBox::valueChanged, this, [this](int target) {
    Remember("production_target", std::to_string(target));
    ChipEnded(-1, {});
  });
  SetWriters(writers_->value());
  ChipEnded(-1, {});
  resize(1100, 760);
}

ProductionWindow::~ProductionWindow() = default;

void ProductionWindow::SetWriters(int count) {
  if (AnyRunning()) {
    const QSignalBlocker quiet(writers_);
    writers_->setValue(Tiles());
    return;
  }
  while (Tiles() > count) {
    delete tiles_.back();
    tiles_.pop_back();
  }
  // Equal columns whatever the tiles show.
  for (int column = 0; column < kTileColumns; ++column)
    grid_->setColumnStretch(column, column < count ? 1 : 0);
  while (Tiles() < count) {
    auto* tile = new ProductionTile(Tiles(), *first_, *journal_, options_, this);
    tile->Halt(TargetReached());
    grid_->addWidget(tile, Tiles() / kTileColumns, Tiles() % kTileColumns);
    tiles_.push_back(tile);
    const int index = Tiles() - 1;
    connect(tile, &ProductionTile::started, this, [this] {
      if (!sinceFirstStart_.isValid()) sinceFirstStart_.start();
    });
    connect(tile, &ProductionTile::ended, this, [this, tile, index] {
      ChipEnded(index, tile->LastChip());
      if (closing_ && !AnyRunning()) close();
    });
  }
}

void ProductionWindow::ChipEnded(int tile, const ChipLine& chip) {
  if (tile >= 0) {
    if (chip.ok) ++ok_;
    if (chip.failed) ++failed_;
    if (chip.stopped) ++stopped_;
    results_->insertRow(0);
    const QStringList cells = {chip.time, QString::number(tile + 1),
                               chip.serial.isEmpty() ? QString("-") : chip.serial, chip.outcome,
                               chip.reason, chip.action};
    for (int c = 0; c < cells.size(); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (c == 3) item->setForeground(chip.ok ? kOkColour : chip.failed ? kFailedColour : QColor(Qt::darkGray));
      results_->setItem(0, c, item);
    }
    // The last few hundred chips; the journal has them all.
    if (results_->rowCount() > kResultLines) results_->setRowCount(kResultLines);
  }
  // A stop is the operator's: neither in the failures nor in the yield.
  const long decided = ok_ + failed_;
  const double hours = sinceFirstStart_.isValid()
                           ? static_cast<double>(sinceFirstStart_.elapsed()) / 3'600'000.0
                           : 0.0;
  ShowTarget();
  totals_->setText(
      QString("OK: %1   Failed: %2   Yield: %3   Chips/h: %4%5")
          .arg(ok_)
          .arg(failed_)
          .arg(decided > 0 ? QString::number(100.0 * static_cast<double>(ok_) /
                                                 static_cast<double>(decided), 'f', 1) + " %"
                           : QString("-"))
          .arg(hours >= kRateAfterHours && decided > 0
                   ? QString::number(static_cast<double>(decided) / hours, 'f', 0)
                   : QString("-"))
          .arg(target_->value() == 0 ? QString()
               : TargetReached()     ? QString("   Target %1 reached").arg(target_->value())
                                     : QString("   Target: %1 of %2").arg(ok_).arg(target_->value())));
}

bool ProductionWindow::TargetReached() const {
  return target_ != nullptr && target_->value() > 0 && ok_ >= target_->value();
}

void ProductionWindow::ShowTarget() {
  const bool reached = TargetReached();
  startAll_->setEnabled(!reached);
  for (ProductionTile* tile : tiles_) tile->Halt(reached);
}

void ProductionWindow::StartAll() {
  // A workspace refused before any chip is the station's trouble, said once, not every tile's.
  const std::string_view refused =
      kvx::RefusedBeforeAnyChip(kvx::MainCommand(kvx::CommandId::AutoProgram), *first_);
  if (!refused.empty()) {
    prompter_.Message(this, Q(std::string(refused)));
    return;
  }
  for (ProductionTile* tile : tiles_)
    if (!tile->Running()) tile->Start();
}

void ProductionWindow::StopAll() {
  for (ProductionTile* tile : tiles_) tile->Stop();
}

bool ProductionWindow::AnyRunning() const {
  for (const ProductionTile* tile : tiles_)
    if (tile->Running()) return true;
  return false;
}

// The close box comes here too (QDialog::closeEvent rejects): the GUI thread never waits for a
// Writer. A dialog's Escape would otherwise hide the window at once with its passes running on.
void ProductionWindow::RememberWriters() {
  if (Tiles() == writers_->value()) Remember("production_writers", std::to_string(Tiles()));
}

void ProductionWindow::Remember(const std::string& key, const std::string& value) {
  if (options_.settingsPath.empty()) return;
  const std::string error = kvx::UpdateSettings(options_.settingsPath, {{key, value}});
  if (!error.empty()) prompter_.Message(this, Q(error));
}

void ProductionWindow::ShowOperatorMode() {
  operatorButton_->setText(operatorMode_ ? "Leave operator mode" : "Operator mode");
  setWindowTitle(operatorMode_ ? "Production - operator mode" : "Production");
  pin_->setVisible(operatorMode_ && !operatorPin_.empty());
  pin_->clear();
  writers_->setEnabled(!operatorMode_);
  for (ProductionTile* tile : tiles_) tile->LockPort(operatorMode_);
  // The only window that takes input while the operator runs the station: shown again for the
  // window system to know.
  const bool shown = isVisible();
  if (shown) hide();
  setWindowModality(operatorMode_ ? Qt::ApplicationModal : Qt::NonModal);
  if (shown) show();
}

void ProductionWindow::EnterOperatorMode() {
  if (operatorMode_) return;
  operatorMode_ = true;
  ShowOperatorMode();
  Remember("operator_mode", "1");
}

bool ProductionWindow::LeaveOperatorMode() {
  if (!operatorMode_) return true;
  if (!operatorPin_.empty() && pin_->text().toStdString() != operatorPin_) {
    prompter_.Message(this, pin_->text().isEmpty() ? "Type the PIN to leave operator mode."
                                                  : "The PIN is not right.");
    pin_->clear();
    return false;
  }
  if (!prompter_.YesNo(this, "Leave operator mode?")) return false;
  operatorMode_ = false;
  ShowOperatorMode();
  Remember("operator_mode", "0");
  return true;
}

void ProductionWindow::reject() {
  // In operator mode the window closes only once the mode was left.
  if (operatorMode_ && !LeaveOperatorMode()) return;
  if (AnyRunning()) {
    closing_ = true;
    StopAll();
    return;
  }
  QDialog::reject();
}

}  // namespace kvx::gui
