#include "gui/editors/buffer_windows.h"

#include <QMdiArea>
#include <QEvent>
#include <QMdiSubWindow>
#include <utility>

#include "core/device/workspace.h"
#include "core/files/program_file.h"
#include "gui/editors/buffer_views.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"
#include "gui/editors/disassembly_window.h"
#include "gui/editors/id_window.h"

namespace kvx::gui {

namespace {

template <class T>
T* Inside(const QPointer<QMdiSubWindow>& frame) {
  return frame ? qobject_cast<T*>(frame->widget()) : nullptr;
}

void Raise(QMdiSubWindow* frame) {
  frame->showNormal();
  frame->mdiArea()->setActiveSubWindow(frame);
}

QString CaptionOr(const std::string& caption, const char* fallback) {
  return caption.empty() ? QString::fromLatin1(fallback) : Q(caption);
}

}  // namespace

BufferWindows::BufferWindows(Workspace& ws, QMdiArea* area, EditorHooks hooks, Prompter& prompter,
                             QObject* parent)
    : QObject(parent), ws_(ws), area_(area), hooks_(std::move(hooks)), prompter_(prompter) {}

BufferWindows::~BufferWindows() = default;

bool BufferWindows::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close) {
    const std::pair<QPointer<QMdiSubWindow>*, bool*> windows[] = {{&program_, &flags_.BufferViewOpen},
                                                                   {&id_, &flags_.IdChecksumFormOpen},
                                                                   {&eeprom_, &flags_.EepromViewOpen},
                                                                   {&disasm_, &flags_.DisassemblyOpen}};
    // The frame deletes itself after its close; from now on the window counts as gone.
    for (auto [slot, flag] : windows)
      if (slot->data() == watched) {
        *flag = false;
        slot->clear();
      }
  }
  return QObject::eventFilter(watched, event);
}

QMdiSubWindow* BufferWindows::Add(QWidget* window, bool& flag, QPointer<QMdiSubWindow>& slot) {
  QMdiSubWindow* frame = area_->addSubWindow(window);
  frame->setAttribute(Qt::WA_DeleteOnClose);
  frame->setObjectName(window->objectName() + QStringLiteral("Frame"));
  frame->resize(window->size() + (frame->size() - frame->contentsRect().size()));
  slot = frame;
  flag = true;
  // The operator closing the window lowers its flag. A close event, not the frame's
  // destruction: the main window's workspace is gone by the time its children are deleted.
  frame->installEventFilter(this);
  frame->show();
  return frame;
}

void BufferWindows::Destroy(QPointer<QMdiSubWindow>& slot, bool& flag) {
  flag = false;
  if (!slot) return;
  QMdiSubWindow* frame = slot;
  slot.clear();
  area_->removeSubWindow(frame);
  delete frame;
}

void BufferWindows::showProgramMemory() {
  if (program_)
    Raise(program_);
  else
    RecreateProgramView(true);
}

void BufferWindows::showId() {
  if (id_)
    Raise(id_);
  else
    RecreateIdWindow(true);
}

void BufferWindows::showEeprom() {
  if (eeprom_)
    Raise(eeprom_);
  else
    RecreateEepromView(true);
}

void BufferWindows::showDisassembly() {
  DestroyDisassembly();
  auto* form = new DisassemblyWindow(ws_);
  form->setWindowTitle(CaptionOr(ws_.files.BufferCaption, "Disassembly"));
  Add(form, flags_.DisassemblyOpen, disasm_);
}

void BufferWindows::RecreateProgramView(bool create) {
  const QString caption = CaptionOr(ws_.files.BufferCaption, "Program Memory");
  if (ProgramMemoryView* view = ProgramView()) {
    // A model reset: the grid reads the buffer afresh without new widgets.
    view->Reload();
    view->setWindowTitle(caption);
    program_->setWindowTitle(caption);
    flags_.BufferViewOpen = true;
    return;
  }
  if (!create) return;
  auto* view = new ProgramMemoryView(ws_, hooks_, prompter_);
  view->setWindowTitle(caption);
  Add(view, flags_.BufferViewOpen, program_);
}

void BufferWindows::RecreateIdWindow(bool create) {
  if (!id_ && !create) return;
  Destroy(id_, flags_.IdChecksumFormOpen);
  auto* form = new IdChecksumWindow(ws_, hooks_);
  QMdiSubWindow* frame = Add(form, flags_.IdChecksumFormOpen, id_);
  frame->setWindowFlags(Qt::SubWindow | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                        Qt::WindowTitleHint);
  frame->show();
  connect(form, &IdChecksumWindow::heightChanged, frame, [frame] { frame->adjustSize(); });
  frame->adjustSize();
}

void BufferWindows::RecreateEepromView(bool create) {
  if (!ws_.device.IsFlash()) {
    Destroy(eeprom_, flags_.EepromViewOpen);
    return;
  }
  if (!eeprom_ && !create) return;
  Destroy(eeprom_, flags_.EepromViewOpen);
  Add(new EepromWindow(ws_, prompter_), flags_.EepromViewOpen, eeprom_);
}

void BufferWindows::DestroyDisassembly() { Destroy(disasm_, flags_.DisassemblyOpen); }

void BufferWindows::Sync() {
  struct Pair {
    QPointer<QMdiSubWindow>* slot;
    bool* flag;
  } pairs[] = {{&program_, &flags_.BufferViewOpen},
               {&id_, &flags_.IdChecksumFormOpen},
               {&eeprom_, &flags_.EepromViewOpen},
               {&disasm_, &flags_.DisassemblyOpen}};
  for (Pair& p : pairs)
    if (*p.slot && !*p.flag) Destroy(*p.slot, *p.flag);
  if (!ws_.device.IsFlash()) Destroy(eeprom_, flags_.EepromViewOpen);
}

void BufferWindows::Follow(const LoadReport& report) {
  if (report.closeDisassembly) DestroyDisassembly();
  if (report.rebuildIdWindow) RecreateIdWindow(true);
  if (report.rebuildBufferView) RecreateProgramView(true);
  if (report.rebuildIdWindow || report.rebuildBufferView) RecreateEepromView(false);
  Sync();
  hooks_.PanelChanged();
  hooks_.CommandsChanged();
}

void BufferWindows::RebuildBufferWindows() {
  // Every window whose flag is up shows the workspace afresh (and is made when missing); every
  // window whose flag is down goes. A listing stays as it was made: it is a snapshot by nature.
  if (flags_.IdChecksumFormOpen)
    RecreateIdWindow(true);
  else
    Destroy(id_, flags_.IdChecksumFormOpen);
  if (flags_.EepromViewOpen)
    RecreateEepromView(true);
  else
    Destroy(eeprom_, flags_.EepromViewOpen);
  if (flags_.BufferViewOpen)
    RecreateProgramView(true);
  else
    Destroy(program_, flags_.BufferViewOpen);
  Sync();
  hooks_.PanelChanged();
}

void BufferWindows::AfterRead() {
  ws_.panel.RefreshPending = true;
  flags_.IdChecksumFormOpen = true;
  flags_.EepromViewOpen = ws_.device.IsFlash();
  flags_.BufferViewOpen = true;
  ws_.files.BufferCaption.clear();
  RebuildBufferWindows();
}

void BufferWindows::FirstShow() {
  ws_.panel.RefreshPending = true;
  flags_.IdChecksumFormOpen = true;
  flags_.BufferViewOpen = true;
  RebuildBufferWindows();
}

ProgramMemoryView* BufferWindows::ProgramView() const { return Inside<ProgramMemoryView>(program_); }
IdChecksumWindow* BufferWindows::IdWindow() const { return Inside<IdChecksumWindow>(id_); }
EepromWindow* BufferWindows::EepromView() const { return Inside<EepromWindow>(eeprom_); }
DisassemblyWindow* BufferWindows::Disassembly() const { return Inside<DisassemblyWindow>(disasm_); }

QMdiSubWindow* BufferWindows::Frame(QWidget* window) const {
  return window ? qobject_cast<QMdiSubWindow*>(window->parentWidget()) : nullptr;
}

}  // namespace kvx::gui
