// The desktop as a production station: one tile per Writer, up to eight, each on its own port and
// its own copy of the loaded workspace (program, OPTION, ID, serial-number setup), all stamping
// from one series through the one journal. Each tile runs one Auto Program pass (one chip) per
// Start and keeps its own pace; "Start all" starts every tile that is idle. A tile shows its port,
// the Writer's identification, the pass's progress, the last result in green or red with its red
// line, the chips ok and failed, and the last serial number stamped.
#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/link/port_select.h"
#include "core/production/journal.h"
#include "core/production/run_start.h"

class QPushButton;
class QSpinBox;
class QGridLayout;
namespace kvx {
class Clock;
class SerialPort;
struct Workspace;
struct WriterOutcome;
namespace sim {
class SimWriter;
}
}  // namespace kvx

namespace kvx::gui {

class Prompter;
class ProductionTile;


inline constexpr int kMaxProductionWriters = 8;

struct ProductionOptions {
  std::string journalPath;             // the production journal the passes go to
  std::shared_ptr<kvx::Journal> journal;  // that journal opened already; null: opened here
  // The series' start, decided already off the GUI thread (DecideRunStartFor on the loaded
  // workspace); none: decided here.
  std::optional<kvx::RunStart> start;
  kvx::EnvLookup env;                  // KVXW_COMn and KVXW_DEV_ROOT; null: the environment
  kvx::Clock* clock = nullptr;         // the link's time; null: steady
  int writers = 4;                     // tiles at the start
};

class ProductionWindow : public QDialog {
  Q_OBJECT
 public:
  // `loaded` is copied for every tile; the window asks the operator first when the series' first
  // number went out already. Check Ready() before showing it.
  ProductionWindow(kvx::Workspace& loaded, ProductionOptions options, Prompter& prompter,
                   QWidget* parent = nullptr);
  ~ProductionWindow() override;

  // False when the window must not be shown: the journal could not be opened, or the operator
  // declined to go on from the next free number. The operator has been told.
  bool Ready() const { return ready_; }

  int Tiles() const { return static_cast<int>(tiles_.size()); }
  ProductionTile& Tile(int index) { return *tiles_[static_cast<std::size_t>(index)]; }
  void StartAll();
  void StopAll();
  bool AnyRunning() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void SetWriters(int count);

  kvx::Workspace& loaded_;
  ProductionOptions options_;
  Prompter& prompter_;
  std::shared_ptr<kvx::Journal> journal_;
  std::unique_ptr<kvx::Workspace> first_;  // the loaded workspace at the run's start
  bool ready_ = false;
  bool closing_ = false;
  QSpinBox* writers_ = nullptr;
  QPushButton* startAll_ = nullptr;
  QGridLayout* grid_ = nullptr;
  std::vector<ProductionTile*> tiles_;
};

// One Writer's tile. Everything it shows comes from its pass's view and the run's outcome.
class ProductionTile : public QWidget {
  Q_OBJECT
 public:
  ProductionTile(int index, const kvx::Workspace& first, kvx::Journal& journal,
                 const ProductionOptions& options, QWidget* parent);
  ~ProductionTile() override;

  // One chip: starts an Auto Program pass that opens the tile's port if needed. Returns at once;
  // false when a pass is under way already. A port that does not open, or a series with no
  // number left, ends the pass at once with the tile red and the reason.
  bool Start();
  void Stop();
  bool Running() const;
  // The simulated Writer behind a tile whose port leads to `sim` (the port opened for it).
  kvx::sim::SimWriter* SimWriter();

  long ChipsOk() const { return ok_; }
  long ChipsFailed() const { return failed_; }

 Q_SIGNALS:
  void ended();  // a pass has ended and its outcome is shown

 private:
  class View;
  struct Parts;
  void Ended(const kvx::WriterOutcome& outcome);
  void ShowResult(bool ok, const QString& text, const QString& line);
  kvx::SerialPort* OpenPort(std::string& message);

  std::unique_ptr<Parts> parts_;
  long ok_ = 0;
  long failed_ = 0;
};

}  // namespace kvx::gui
