// TMainForm: the program's one top-level window. It owns the workspace, the Writer's port (and
// the simulated Writer behind `sim`), the status panel, the menus and toolbars, and starts every
// device operation in its modal progress dialog.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "core/device/workspace.h"
#include "core/link/clock.h"
#include "core/link/port_select.h"
#include "core/ops/command.h"
#include "core/ops/runner.h"
#include "gui/app/desktop_journal.h"
#include "gui/app/sim_bench.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMdiArea;
class QPushButton;
class QTimer;
class QToolBar;
class QWidget;
namespace kvx::gui {

class PortChooser;
class Prompter;
class TProgressForm;
class TStatusPanel;
class OperationSession;
class GuiQueue;
class EditorCommands;

// What the window is started with; the program leaves everything at its default, the tests
// inject simulated time, a folder and a prompter that answers the message boxes.
struct MainFormOptions {
  kvx::Clock* clock = nullptr;         // time of the link and the operations; null: steady
  kvx::FakeClock* simClock = nullptr;  // the simulated Writer's time; null: it answers at once
  kvx::EnvLookup env;                  // KVXW_COMn lookups; null: the process environment
  QString startDir;                    // where Default.cfg lives; empty: the current directory
  Prompter* prompter = nullptr;        // null: real message boxes
  std::function<void()> closeLogo;     // hides the start-up logo (FormCreate's last step)
};

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainForm(const MainFormOptions& options = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  // ---- What the buffer views and editors use -----------------------------------------------
  kvx::Workspace& workspace() { return *ws_; }
  QMdiArea* mdiArea() const { return mdiArea_; }
  TStatusPanel* statusPanel() const { return panel_; }
  Prompter& prompter() { return *prompter_; }
  // RefreshData at once (never while a worker owns the workspace).
  void RefreshPanelNow();
  // A worker owns the workspace and the port: nothing may read or change them.
  bool Busy() const;
  // Re-creates the windows that show the buffers after a wholesale change (a read, a device
  // change, serial numbers stamped, a configuration loaded).
  void RebuildBufferWindows();

  // ---- The link and the simulated Writer ----------------------------------------------------
  kvx::PortSelector& ports() { return *ports_; }
  SimBench& simBench() { return sim_; }
  kvx::Clock& clock() { return *clock_; }

  // FormClose's work, run once however the window closes.
  void FormClose();
  // A termination signal asked for the close: as File > Exit, but nothing waits for the
  // operator; a failure goes to the standard error and the exit status.
  void CloseBySignal();
  // What the program exits with: 1 when writing Default.cfg failed at the close.
  int ExitStatus() const { return exitStatus_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  friend class OperationSession;
  // ---- Building (main_form.cpp) -------------------------------------------------------------
  QAction* MakeAction(const char* name, const QString& text, const QString& hint = {},
                      const QKeySequence& shortcut = {});
  void CreateMenus();
  void CreateToolBars();
  void CreateEngineeringControls(QToolBar* bar);
  void ConnectHandlers();

  // ---- Start-up, exit and the selectors (main_form_start.cpp) ------------------------------
  void FormCreate();
  void FormShow();
  void ComboBox1Change();
  void ComboBox2Change();
  void Timer1Timer();
  void Label3DblClick();
  void QtpSimClick();
  void FlashPgmTestClick();
  void PulseWidthChange();
  void EraseWidthChange();
  void EnableByMemoryKind();
  void ShowMessages(const std::vector<std::string>& messages);
  // Port precondition of a device command: true when the port is open (after one retry).
  bool PortReady();
  // A connection check waits up to the link's time-out for the Writer: it runs on a worker
  // thread holding the workspace, and `then` gets its messages on the GUI thread once it has
  // returned. The window is Busy() until then. False (nothing started) while busy.
  using PortCheck = std::function<std::vector<std::string>(std::stop_token)>;
  bool StartPortCheck(PortCheck check, std::function<void(const std::vector<std::string>&)> then);

  // ---- Device commands (main_form_commands.cpp) ---------------------------------------------
  bool CommandAllowed() const;  // no operation dialog is up and the window is not closing
  bool ResetAddressAccepted();  // the blank reset word's warning: Ignore goes on
  // Opens a command's dialog; `followUp` runs once it has closed and its worker returned.
  TProgressForm* OpenOperation(const kvx::Command& command, std::function<void()> followUp);
  // A device command: the port, the reset-address warning where it applies, then its dialog,
  // whose showing starts the first pass ("Continue" the next ones).
  void RunCommand(kvx::CommandId id, std::function<void()> followUp = {});
  void AfterAutoProgram();
  // The operation's worker did not start (StartPass/StartWork refused).
  void StartRefused(TProgressForm* dialog);
  void BlankCheckActionExecute();
  void EraseClick();
  void ToolButton7Click();
  void Veryfy1Click();
  void VerifywithProtect1Click();
  void OPTION3Click();
  void ID3Click();
  void ProgramMemory2Click();
  void WriteEEClick();
  void ForceWriteClick();
  void AutoProgram1Click();
  void AutoProgramwithoutBlankCheck1Click();
  void CounterMode1Click();
  void DownLoad1Click();
  void HelpAbout1Execute();
  void VersionInfo1Click();

  // ---- Buffer views and editors (main_form_editors.cpp) -------------------------------------
  void EnableEditorCommands();   // their commands' enabled state at start-up
  void FileOpen1Execute();
  void LoadConfig1Click();
  void FileSaveItemClick();
  void FileSaveAsItemClick();
  void SaveProgramMemory1Click();
  void ProgramMemory1Click();
  void ID2Click();
  void Disassemble1Click();
  void EEPROM1Click();
  void EditOPTIONClick();
  void SerialNoMode1Click();
  void LoadQTPFile1Click();
  void ClearOPTION1Click();
  void ClearID1Click();
  void ClearBuffer1Click();
  void FillBuffer1Click();
  void ClearEEPROMBuffer1Click();
  void OptionAreaDblClick();  // the status panel's OPTION area
  void IdBoxDblClick();       // the status panel's "ID :" box
  void onShowJournal();       // the production journal's window, over the journal as it is now
  void onShowProduction();    // the production window over a copy of the loaded workspace
  kvx::gui::EditorCommands& Editors();  // made on first use; a child of the window
  kvx::gui::EditorCommands* editors_ = nullptr;

 public:
  // ---- Actions, by the names the menus and the toolbar give them ----------------------------
  QAction* FileOpen1 = nullptr;
  QAction* LoadConfig1 = nullptr;
  QAction* FileSaveItem = nullptr;
  QAction* FileSaveAsItem = nullptr;
  QAction* SaveProgramMemory1 = nullptr;
  QAction* FileExit1 = nullptr;
  QAction* ProgramMemory1 = nullptr;
  QAction* ID2 = nullptr;
  QAction* Disassemble1 = nullptr;
  QAction* EEPROM1 = nullptr;
  QAction* EditOPTION = nullptr;
  QAction* SerialNoMode1 = nullptr;
  QAction* CounterMode1 = nullptr;
  QAction* LoadQTPFile1 = nullptr;
  QAction* ClearOPTION1 = nullptr;
  QAction* ClearID1 = nullptr;
  QAction* ClearBuffer1 = nullptr;
  QAction* FillBuffer1 = nullptr;
  QAction* ClearEEPROMBuffer1 = nullptr;
  QAction* BlankCheckAction = nullptr;
  QAction* ReadICAction = nullptr;
  QAction* VerifyICAction = nullptr;
  QAction* VerifywithProtect1 = nullptr;
  QAction* AutoProgramAction = nullptr;
  QAction* AutoProgramNoBlankCheckAction = nullptr;
  QAction* ProgramOption = nullptr;
  QAction* ID3 = nullptr;
  QAction* ProgramMemory2 = nullptr;
  QAction* EraseAction = nullptr;
  QAction* WriteEEAction = nullptr;
  QAction* ForceWriteAction = nullptr;
  QAction* WindowCascade1 = nullptr;
  QAction* WindowTileHorizontal1 = nullptr;
  QAction* WindowTileVertical1 = nullptr;
  QAction* WindowMinimizeAll1 = nullptr;
  QAction* WindowArrangeAll1 = nullptr;
  QAction* DownLoad1 = nullptr;
  QAction* HelpAbout1 = nullptr;
  QAction* VersionInfo1 = nullptr;
  QAction* journalAction_ = nullptr;     // View > Production Journal
  QAction* productionAction_ = nullptr;  // Program > Production: the several-Writers window

  // ---- Controls --------------------------------------------------------------------------------
  QComboBox* ComboBox1 = nullptr;  // port
  QComboBox* HandShake = nullptr;
  QComboBox* ComboBox2 = nullptr;  // device (on the status panel)
  QLabel* Label3 = nullptr;        // "Serial Port :"
  QTimer* Timer1 = nullptr;
  QWidget* Panel2 = nullptr;
  QPushButton* QtpSim = nullptr;
  QPushButton* FlashPgmTest = nullptr;
  QLineEdit* PulseWidth = nullptr;
  QLineEdit* EraseWidth = nullptr;
  QCheckBox* cbKeepOption = nullptr;

 private:
  std::unique_ptr<kvx::Workspace> ws_;
  std::unique_ptr<kvx::SteadyClock> steady_;
  kvx::Clock* clock_;
  SimBench sim_;
  std::unique_ptr<kvx::PortSelector> ports_;
  Prompter* prompter_;
  std::function<void()> closeLogo_;
  QMdiArea* mdiArea_ = nullptr;
  TStatusPanel* panel_ = nullptr;
  QAction* panel2Action_ = nullptr;
  std::unique_ptr<DesktopJournal> journal_;  // opened by the first production command
  std::unique_ptr<OperationSession> session_;  // the operation whose dialog is up, if any
  bool closed_ = false;
  bool closeBySignal_ = false;
  int exitStatus_ = 0;
  bool closeAfterWorker_ = false;
  PortChooser* portChooser_ = nullptr;  // fills ComboBox1 and keeps it up to date
  kvx::EnvLookup env_;
  bool selectorsQuiet_ = false;  // the selectors are being set by the program, not the operator
  bool checking_ = false;        // a connection check runs or its end is not handled yet
  GuiQueue* checkEnds_ = nullptr;  // the check's end, on its way to the GUI thread
  kvx::OperationRunner checks_;  // last: a running check is stopped and joined before the rest goes
};

}  // namespace kvx::gui
