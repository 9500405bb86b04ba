// The main window's commands on the buffers and files: File > Open, the configuration files,
// Save Program Memory, Save Disassmble, Load QTP File, the serial-number setup, Fill Buffer, the
// option editor and the Clear commands. Each shows its dialogs, lets the core decide, shows the
// core's messages and has the buffer windows follow.
#pragma once

#include <QObject>
#include <string>

#include "gui/editors/buffer_windows.h"
#include "gui/editors/editor_hooks.h"

class QDialog;
class QMdiArea;
class QWidget;

namespace kvx {
struct Workspace;
}

namespace kvx::gui {

class Prompter;

class EditorCommands : public QObject {
  Q_OBJECT

 public:
  // The windows go into `area`; dialogs and message boxes open over `mainWindow`, asking
  // through `prompter`.
  EditorCommands(Workspace& ws, QWidget* mainWindow, QMdiArea* area, EditorHooks hooks, Prompter& prompter);

  BufferWindows& Windows() { return windows_; }

  // ---- File -------------------------------------------------------------------------------------
  void onOpenFile();
  void onLoadConfig();
  void onSaveConfig();        // "Save Config File"
  void onSaveProgramMemory();
  void onSaveDisassembly();      // "Save Disassmble"
  bool SaveDisassemblyEnabled() const;  // the 500 ms timer's test

  // ---- Edit: the modal dialogs are opened and return at once; what follows runs when they
  // close. The dialog is returned so that a caller may wait for it.
  QDialog* onEditOption();
  QDialog* onSerialSetup();
  QDialog* onFillBuffer();
  void onLoadQtpFile();
  void onClearOption();
  void onClearId();
  void onClearBuffer();
  void onClearEeprom();

 private:
  // SaveDialog2 (configuration or program memory), then `save` with the name and filter chosen.
  using SaveFunction = std::string (*)(const Workspace&, const std::string&, int);
  void SaveThroughDialog(const char* title, int filterIndex, const char* suffix, SaveFunction save);

  Workspace& ws_;
  QWidget* main_;
  EditorHooks hooks_;
  Prompter& prompter_;
  BufferWindows windows_;
};

}  // namespace kvx::gui
