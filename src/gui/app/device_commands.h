// The main window's device commands: each checks the port (one retry), runs the reset-address
// check where programming starts from it, opens its progress dialog and does its follow-up once
// the dialog has closed and its worker has returned. Also the device download under its own
// dialog, and the production window's launch, which opens the journal the same way a production
// command does.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "gui/app/window_parts.h"

#include "core/ops/command.h"

namespace kvx {
class Journal;
struct RunStart;
}  // namespace kvx

namespace kvx::gui {

class DesktopJournal;
class JournalOpener;
class OperationSession;
class ProgressDialog;

class DeviceCommands : public QObject {
  Q_OBJECT
 public:
  explicit DeviceCommands(const WindowParts& parts);
  ~DeviceCommands() override;

  // An operation's dialog is up (its worker may have returned already).
  bool SessionOpen() const { return session_ != nullptr; }
  // The production journal is being opened on a worker (a shared journal's server may take its
  // connect time-out to answer).
  bool OpeningJournal() const;
  // A worker was started and its end has not been handled yet.
  bool WorkerRunning() const;
  // The window is closing: stop the worker, close the dialog once it has returned.
  void CloseSession();

  // A device command: the port, the reset-address warning where it applies, then its dialog,
  // whose showing starts the first pass ("Continue" the next ones).
  void RunCommand(kvx::CommandId id, std::function<void()> followUp = {});

  void onBlankCheck();
  void onErase();
  void onRead();
  void onVerify();
  void onVerifyWithProtect();
  void onProgramOption();
  void onProgramId();
  void onProgramMemory();
  void onWriteEeprom();
  void onForceWrite();
  void onAutoProgram();
  void onAutoProgramWithoutBlankCheck();
  void onDownload();
  // Program > Production: the journal KvxWriter.ini names opens on a worker; the production
  // window follows once it is open.
  void onShowProduction();

 Q_SIGNALS:
  // The end of a QTP file switched the QTP simulation off.
  void qtpSimulationEnded();

 private:
  // The command's port check, reset-address warning and dialog, once its journal (if it has one)
  // said it may start.
  void StartOperation(const kvx::Command& command, std::function<void()> followUp);
  // The production window over the loaded workspace, once its journal is open and its series'
  // start known.
  void ShowProduction(std::shared_ptr<kvx::Journal> journal, const kvx::RunStart& start);
  // Opens a command's dialog; `followUp` runs once it has closed and its worker returned.
  ProgressDialog* OpenOperation(const kvx::Command& command, std::function<void()> followUp);
  // The session's dialog has closed and its worker returned: the workspace is the window's again.
  void SessionEnded();

  WindowParts parts_;
  std::unique_ptr<DesktopJournal> journal_;    // opened by the first production command
  // Opens a journal off the GUI thread; after journal_, so an open under way ends before it goes.
  std::unique_ptr<JournalOpener> opener_;
  std::unique_ptr<OperationSession> session_;  // the operation whose dialog is up, if any
};

}  // namespace kvx::gui
