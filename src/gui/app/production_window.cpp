#include "gui/app/production_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>
#include <chrono>
#include <map>
#include <mutex>

#include "core/production/commands.h"
#include "core/production/pass_journal.h"
#include "core/production/production_run.h"
#include "gui/common/gui_queue.h"
#include "gui/app/port_chooser.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"
#include "gui/app/sim_bench.h"

namespace kvx::gui {

namespace {


// The tile's word for the core's outcome.
QString OutcomeWord(kvx::ChipOutcome outcome) {
  switch (outcome) {
    case kvx::ChipOutcome::Ok: return "OK";
    case kvx::ChipOutcome::ChipFailed: return "FAILED";
    case kvx::ChipOutcome::LinkFailed: return "LINK FAILED";
    case kvx::ChipOutcome::Stopped: return "STOPPED";
    case kvx::ChipOutcome::JournalFailed: return "JOURNAL FAILED";
    case kvx::ChipOutcome::ConfigurationRefused: return "REFUSED";
    case kvx::ChipOutcome::NotStarted: break;
  }
  return "NOT STARTED";
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
        ports(*ws, *clock, [this] { return sim.OpenPort(ws->device.DeviceIndex); }, o.env) {}

  std::unique_ptr<kvx::Workspace> ws;  // the tile's own copy of the loaded workspace
  kvx::Journal& journal;
  kvx::SteadyClock steady;
  kvx::Clock* clock;
  SimBench sim;
  kvx::PortSelector ports;
  QComboBox* port = nullptr;
  QLabel* writerId = nullptr;
  QProgressBar* bar = nullptr;
  QLabel* result = nullptr;
  QLabel* line = nullptr;
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
  chooser->Show("Com" + std::to_string(index + 1));
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
  box->addWidget(p.result);
  p.line = new QLabel(this);
  p.line->setObjectName("TileRedLine");
  p.line->setWordWrap(true);
  p.line->setStyleSheet("color: #C00000");
  box->addWidget(p.line);
  auto* facts = new QHBoxLayout;
  p.counts = new QLabel("OK: 0   Failed: 0", this);
  p.counts->setObjectName("TileCounts");
  p.serial = new QLabel("Serial: -", this);
  p.serial->setObjectName("TileSerial");
  facts->addWidget(p.counts, 1);
  facts->addWidget(p.serial, 1);
  box->addLayout(facts);
  box->addStretch(1);
  auto* buttons = new QHBoxLayout;
  p.start = new QPushButton("Start", this);
  p.start->setObjectName("TileStart");
  p.stop = new QPushButton("Stop", this);
  p.stop->setObjectName("TileStop");
  p.stop->setEnabled(false);
  buttons->addWidget(p.start);
  buttons->addWidget(p.stop);
  box->addLayout(buttons);
  setStyleSheet("ProductionTile { border: 1px solid #A0A0A0; }");
  setAttribute(Qt::WA_StyledBackground);

  p.queue = new GuiQueue(this);
  p.view = std::make_unique<View>(*this, *p.queue);
  connect(p.start, &QPushButton::clicked, this, [this] { Start(); });
  connect(p.stop, &QPushButton::clicked, this, &ProductionTile::Stop);
}

ProductionTile::~ProductionTile() {
  // The window closes only once every pass has ended; a run left here has ended already.
  parts_->run.reset();
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
  if (Running()) return false;
  p.ws->settings.PortName = p.port->currentText().toStdString();
  p.bar->setValue(0);
  p.result->setText("RUNNING");
  p.result->setPalette(palette());
  p.line->clear();
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
  return true;
}

void ProductionTile::Stop() {
  if (parts_->run) parts_->run->StopAll();
}

void ProductionTile::Ended(const kvx::WriterOutcome& outcome) {
  Parts& p = *parts_;
  p.run.reset();  // its worker has returned: this only joins it
  p.start->setEnabled(true);
  p.stop->setEnabled(false);
  if (!p.ws->results.WriterId.empty()) p.writerId->setText("Writer: " + Q(p.ws->results.WriterId));
  if (!outcome.lastSerial.empty()) p.serial->setText("Serial: " + Q(outcome.lastSerial));
  const bool ok = outcome.end == kvx::ChipOutcome::Ok;
  ++(ok ? ok_ : failed_);
  // A port that did not open is the tile's own trouble, not the link's to a Writer.
  const QString word = !outcome.notStarted.empty() && outcome.end == kvx::ChipOutcome::LinkFailed
                           ? QString("PORT ERROR")
                           : OutcomeWord(outcome.end);
  ShowResult(ok, word, Q(outcome.last.reason));
  Q_EMIT ended();
}

void ProductionTile::ShowResult(bool ok, const QString& text, const QString& line) {
  Parts& p = *parts_;
  p.result->setText(text);
  QPalette colours = p.result->palette();
  colours.setColor(QPalette::Window, ok ? QColor(0x2E, 0x9E, 0x44) : QColor(0xD0, 0x30, 0x30));
  colours.setColor(QPalette::WindowText, Qt::white);
  p.result->setPalette(colours);
  p.line->setText(line);
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
  if (start.verdict != kvx::RunStart::Verdict::StartHere) {
    const QString facts = Q(kvx::RunStartFacts(start));
    if (!start.CanResume()) {
      prompter_.Message(parent, facts);
      return;
    }
    std::string message;
    if (!prompter_.YesNo(parent, facts + ".\n\nStart from " + Q(kvx::ResumePoint(start)) + "?"))
      return;
    if (!kvx::MoveToRunStart(start, *first_, message)) {
      prompter_.Message(parent, Q(message));
      return;
    }
  }
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
  bar->addWidget(label);
  bar->addWidget(writers_);
  bar->addStretch();
  bar->addWidget(startAll_);
  bar->addWidget(stopAll);
  top->addLayout(bar);
  grid_ = new QGridLayout;
  top->addLayout(grid_, 1);
  new QShortcut(Qt::Key_F8, this, [this] { StartAll(); });
  connect(startAll_, &QPushButton::clicked, this, &ProductionWindow::StartAll);
  connect(stopAll, &QPushButton::clicked, this, &ProductionWindow::StopAll);
  connect(writers_, &QSpinBox::valueChanged, this, &ProductionWindow::SetWriters);
  writers_->setValue(std::clamp(options_.writers, 1, kMaxProductionWriters));
  SetWriters(writers_->value());
  resize(1100, 700);
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
  while (Tiles() < count) {
    auto* tile = new ProductionTile(Tiles(), *first_, *journal_, options_, this);
    grid_->addWidget(tile, Tiles() / 4, Tiles() % 4);
    tiles_.push_back(tile);
    connect(tile, &ProductionTile::ended, this, [this] {
      if (closing_ && !AnyRunning()) close();
    });
  }
}

void ProductionWindow::StartAll() {
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

// A pass under way is stopped, and the window closes once every tile's pass has ended: the
// GUI thread never waits for a Writer.
void ProductionWindow::closeEvent(QCloseEvent* event) {
  if (AnyRunning()) {
    closing_ = true;
    StopAll();
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace kvx::gui
