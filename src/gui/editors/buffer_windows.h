// The child windows that show the buffers: the program-memory view, the ID window, the EEPROM
// view and the disassembly window. Each is a snapshot; after a wholesale change of the buffers
// the windows that exist are rebuilt. One "exists" flag per window is kept here (WindowFlags), and
// a window whose flag went down (the core's ViewChanges, followed) goes at the next Sync.
#pragma once

#include <QObject>
#include <QPointer>

#include "gui/editors/editor_hooks.h"
#include "gui/editors/window_flags.h"

class QMdiArea;
class QMdiSubWindow;

namespace kvx {
struct Workspace;
struct LoadReport;
}

namespace kvx::gui {

class Prompter;
class DisassemblyWindow;
class EepromWindow;
class IdChecksumWindow;
class ProgramMemoryView;

class BufferWindows : public QObject {
  Q_OBJECT

 public:
  BufferWindows(Workspace& ws, QMdiArea* area, EditorHooks hooks, Prompter& prompter,
                QObject* parent = nullptr);
  ~BufferWindows() override;

  WindowFlags& Flags() { return flags_; }
  OpenViews Views() const { return flags_.Views(); }

  // ---- View menu --------------------------------------------------------------------------------
  void showProgramMemory();  // bring the view forward, or create it
  void showId();             // the same for the ID window
  void showEeprom();         // the same for the EEPROM view
  void showDisassembly();    // always a new listing

  // ---- Rebuilds -------------------------------------------------------------------------------
  // The program-memory view shows the buffer afresh, captioned ws.files.BufferCaption or "Program
  // Memory"; created when `create` and it does not exist.
  void RecreateProgramView(bool create);
  void RecreateIdWindow(bool create);
  // Created (and shown) for a device with EEPROM when `create`; gone for one without.
  void RecreateEepromView(bool create);
  void DestroyDisassembly();
  // Every window whose flag went down goes; the EEPROM view goes with a device without EEPROM.
  void Sync();
  // What a file load asks for.
  void Follow(const LoadReport& report);
  // After a wholesale change (a read, a device change, a configuration, Auto Program's stamps):
  // the windows follow their flags, each one whose flag is up built afresh from the workspace.
  void RebuildBufferWindows();
  // After a successful Read: the ID window, the EEPROM view (flash parts) and the program
  // view, all shown; the caption goes back to "Program Memory".
  void AfterRead();
  // The main window's first showing: the ID window and the program view.
  void FirstShow();

  ProgramMemoryView* ProgramView() const;
  IdChecksumWindow* IdWindow() const;
  EepromWindow* EepromView() const;
  DisassemblyWindow* Disassembly() const;
  QMdiSubWindow* Frame(QWidget* window) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QMdiSubWindow* Add(QWidget* window, bool& flag, QPointer<QMdiSubWindow>& slot);
  void Destroy(QPointer<QMdiSubWindow>& slot, bool& flag);

  Workspace& ws_;
  WindowFlags flags_;
  QMdiArea* area_;
  EditorHooks hooks_;
  Prompter& prompter_;
  QPointer<QMdiSubWindow> program_;
  QPointer<QMdiSubWindow> id_;
  QPointer<QMdiSubWindow> eeprom_;
  QPointer<QMdiSubWindow> disasm_;
};

}  // namespace kvx::gui
