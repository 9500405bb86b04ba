// The desktop as a production station: one tile per Writer, up to eight, each on its own port and
// its own copy of the loaded workspace (program, OPTION, ID, serial-number setup), all stamping
// from one series through the one journal. Each tile runs one Auto Program pass (one chip) per
// Start and keeps its own pace; "Start all" starts every tile that is idle. A tile shows its port,
// the Writer's identification, the pass's progress, the last result in green or red with its red
// line, the chips ok and failed, and the last serial number stamped.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/link/port_select.h"
#include "core/production/journal.h"
#include "core/production/run_start.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QGridLayout;
class QTableWidget;
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

// The main window's own port, which a tile may want too: a tile's port is its own, so the main
// window lets go of it while a tile holds it and takes it back once no tile does.
class PortLender {
 public:
  virtual ~PortLender() = default;
  // A tile is about to open `device` (where its port name leads). False, with the reason the
  // operator reads, when the main window uses that port now and cannot let go of it.
  virtual bool Lend(const std::string& device, std::string& reason) = 0;
  // The tile that took `device` has closed it.
  virtual void GiveBack(const std::string& device) = 0;
};

struct ProductionOptions {
  std::string journalPath;             // the production journal the passes go to
  std::shared_ptr<kvx::Journal> journal;  // that journal opened already; null: opened here
  // The series' start, decided already off the GUI thread (DecideRunStartFor on the loaded
  // workspace); none: decided here.
  std::optional<kvx::RunStart> start;
  kvx::EnvLookup env;                  // KVXW_COMn and KVXW_DEV_ROOT; null: the environment
  kvx::Clock* clock = nullptr;         // the link's time; null: steady
  int writers = 4;                     // tiles at the start
  std::shared_ptr<PortLender> lender;  // the main window's port; null: none to share
  // KvxWriter.ini, the station's set-up: its tile count (production_writers=), each tile's port
  // (production_port1= ..), whether it is in operator mode (operator_mode=1) and the PIN that
  // leaves that mode (operator_pin=); empty: none kept.
  std::string settingsPath;
};

// One chip as the window's results list shows it.
struct ChipLine {
  QString time;     // local, when its end was shown
  QString serial;   // empty when it carries none
  QString outcome;  // the tile's word: "OK", "FAILED", "STOPPED", ...
  QString reason;   // the red line
  QString action;   // what the operator does about it (kvx::OperatorAction); empty: nothing
  bool ok = false;
  bool stopped = false;  // the operator's stop, neither a good chip nor a failed one
  bool failed = false;   // a failed chip (not a stop, an empty socket or a refused run)
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

  // Operator mode: only Start, Stop and the window's views work. The window is the only one
  // that takes input (the main window's editing, device, OPTION and port controls are locked),
  // the tile count and the tiles' ports are fixed. It is left only through a confirmation, and
  // the PIN typed in "OperatorPin" when KvxWriter.ini sets one; false when it was not left.
  void EnterOperatorMode();
  bool LeaveOperatorMode();
  bool OperatorMode() const { return operatorMode_; }

 public Q_SLOTS:
  // Escape, the close box and a close from the window manager all end here: a pass under way
  // is stopped, and the window goes once every tile's pass has ended and is journaled.
  void reject() override;

 private:
  void SetWriters(int count);
  bool TargetReached() const;
  void ShowTarget();  // halts or frees the tiles as the target and the count stand
  void ShowOperatorMode();
  void RememberWriters();  // in KvxWriter.ini
  void Remember(const std::string& key, const std::string& value);
  // A tile's chip has ended: the results list and the totals follow.
  void ChipEnded(int tile, const ChipLine& chip);

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
  QLabel* totals_ = nullptr;         // "WindowTotals"
  QLineEdit* lot_ = nullptr;         // "LotField"
  QLineEdit* operator_ = nullptr;    // "OperatorField"
  // "TargetCount": good chips after which the station starts no new one; 0: no target. Kept in
  // KvxWriter.ini as production_target=.
  QSpinBox* target_ = nullptr;
  QPushButton* operatorButton_ = nullptr;  // "OperatorMode": enters it, or leaves it
  QLineEdit* pin_ = nullptr;               // "OperatorPin"
  std::string operatorPin_;                // from KvxWriter.ini; empty: none asked
  bool operatorMode_ = false;
  QTableWidget* results_ = nullptr;  // "ResultsList": the last chips, newest first
  long ok_ = 0;
  long failed_ = 0;
  long stopped_ = 0;
  QElapsedTimer sinceFirstStart_;  // the window's first chip on
};

// One Writer's tile. Everything it shows comes from its pass's view and the run's outcome.
class ProductionTile : public QWidget {
  Q_OBJECT
 public:
  ProductionTile(int index, const kvx::Workspace& first, kvx::Journal& journal,
                 const ProductionOptions& options, QWidget* parent);
  ~ProductionTile() override;

  // One chip: starts an Auto Program pass that opens the tile's port if needed. Returns at once;
  // false when a pass is under way already, or when the main window uses the tile's port and
  // cannot let go of it now (the tile shows why). A port that does not open, or a series with no
  // number left, ends the pass at once with the tile red and the reason.
  bool Start();
  void Stop();
  bool Running() const;
  // The simulated Writer behind a tile whose port leads to `sim` (the port opened for it).
  kvx::sim::SimWriter* SimWriter();

  // Operator mode: the tile's port is fixed.
  void LockPort(bool locked);
  // The station reached its target: the tile starts no new chip (a pass under way ends).
  void Halt(bool halted);
  long ChipsOk() const { return ok_; }
  long ChipsFailed() const { return failed_; }
  const ChipLine& LastChip() const { return last_; }

 Q_SIGNALS:
  void started();  // a pass has begun
  void ended();    // a pass has ended and its outcome is shown

 private:
  class View;
  struct Parts;
  void Ended(const kvx::WriterOutcome& outcome);
  void ShowResult(bool ok, const QString& text, const QString& line);
  kvx::SerialPort* OpenPort(std::string& message);
  // Takes the tile's port from the main window when it has it open; false with the reason.
  bool Borrow(std::string& reason);
  void GiveBackUnused();

  std::unique_ptr<Parts> parts_;
  long ok_ = 0;
  long failed_ = 0;
  bool halted_ = false;
  ChipLine last_;
};

}  // namespace kvx::gui
