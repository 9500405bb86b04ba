#include "gui/editors/editor_commands.h"

#include "core/device/workspace.h"
#include "core/device/workspace_ops.h"
#include "core/disasm/disasm_save.h"
#include "core/editors/buffer_edit.h"
#include "core/files/config_file.h"
#include "core/files/file_io.h"
#include "core/files/program_file.h"
#include "core/files/program_save.h"
#include "core/production/qtp_file.h"
#include "gui/editors/buffer_views.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"
#include "gui/editors/disassembly_window.h"
#include "gui/editors/option_editor.h"
#include "gui/editors/serial_setup_dialog.h"
#include "gui/editors/small_dialogs.h"

namespace kvx::gui {

namespace {

constexpr char kOpenFilter[] =
    "KVX bin (*.bin)|*.bin|KVX hex (*.kvh)|*.kvh|PIC obj (*.obj)|*.obj|PIC hex (*.hex)|*.hex|"
    "Config file (*.cfg)|*.cfg|All File (*.*)|*.*";
// SaveDialog2, shared by Save Config and Save Program Memory.
constexpr char kSaveFilter[] = "Config file (*.cfg)|*.cfg|KVX Bin (*.bin)|*.bin";
// OpenDialog1, shared by Load Config and Load QTP File.
constexpr char kLoadFilter[] = "Config files (*.cfg)|*.cfg|Text files (*.txt)|*.txt";

FileDialogRequest Request(bool save, const char* title, const char* filters, int filterIndex,
                          const char* suffix, const std::string& fileName) {
  FileDialogRequest r;
  r.save = save;
  r.title = QString::fromLatin1(title);
  r.filters = DialogFilters(filters);
  r.filterIndex = filterIndex;
  r.defaultSuffix = QString::fromLatin1(suffix);
  r.fileName = Q(fileName);
  return r;
}

}  // namespace

EditorCommands::EditorCommands(Workspace& ws, QWidget* mainWindow, QMdiArea* area, EditorHooks hooks,
                               Prompter& prompter)
    : QObject(mainWindow),
      ws_(ws),
      main_(mainWindow),
      hooks_(std::move(hooks)),
      prompter_(prompter),
      windows_(ws, area, hooks_, prompter) {}

void EditorCommands::onOpenFile() {
  const FileDialogAnswer answer =
      prompter_.FileName(main_, Request(false, "Open File", kOpenFilter, 1, "bin", DialogFileName(ws_.files.LastProgramPath)));
  LoadReport report;
  if (answer.accepted) {
    report = OpenProgramFile(ws_, S(answer.path), windows_.Views());
  } else {
    FinishOpen(ws_, report, windows_.Views());  // a cancelled Open still closes the listing and ends the modes
  }
  prompter_.Messages(main_, report.messages);
  windows_.Follow(report);
  // A whole configuration may have changed the device, or failed and reset the workspace.
  if (answer.accepted && FileExtension(S(answer.path)) == "CFG") windows_.RebuildBufferWindows();
}

void EditorCommands::onLoadConfig() {
  const FileDialogAnswer answer = prompter_.FileName(main_, Request(false, "Load Config File", kLoadFilter, 1, "cfg", {}));
  if (!answer.accepted) return;
  const LoadReport report = LoadConfig(ws_, S(answer.path), answer.filterIndex, windows_.Views());
  prompter_.Messages(main_, report.messages);
  windows_.Follow(report);
  windows_.RebuildBufferWindows();  // applied, or failed and reset
}

void EditorCommands::SaveThroughDialog(const char* title, int filterIndex, const char* suffix,
                                       SaveFunction save) {
  const FileDialogAnswer answer = prompter_.FileName(
      main_, Request(true, title, kSaveFilter, filterIndex, suffix, DialogFileName(ws_.files.LastProgramPath)));
  if (!answer.accepted) return;
  const std::string message = save(ws_, S(answer.path), answer.filterIndex);
  if (!message.empty()) prompter_.Message(main_, Q(message));
}

void EditorCommands::onSaveConfig() { SaveThroughDialog("Save Configuration", 1, "cfg", SaveConfig); }

void EditorCommands::onSaveProgramMemory() {
  SaveThroughDialog("Save program memory buffer", 2, "bin", SaveProgramMemory);
}

bool EditorCommands::SaveDisassemblyEnabled() const { return windows_.Disassembly() != nullptr; }

void EditorCommands::onSaveDisassembly() {
  const DisassemblyWindow* listing = windows_.Disassembly();
  if (!listing) return;  // the command is only enabled while the window exists
  const FileDialogAnswer answer = prompter_.FileName(main_, Request(true, kDisasmSaveTitle, kDisasmSaveFilter, 1,
                                                             kDisasmDefaultExt,
                                                             ProposedDisassemblyName(ws_.files.BufferCaption)));
  if (!answer.accepted) return;
  const DisasmSaveDecision decision = DecideDisassemblySave(answer.filterIndex, S(answer.path));
  std::string message = decision.message;
  // Written beside its name and renamed over it: an old listing stays whole until then.
  if (decision.save && !WriteFileReplacing(S(answer.path), listing->Listing())) message = kMsgDisasmCantSave;
  if (!message.empty()) prompter_.Message(main_, Q(message));
}

QDialog* EditorCommands::onEditOption() {
  auto* dialog = new OptionEditor(ws_, main_);
  connect(dialog, &QDialog::accepted, this, [this] { hooks_.PanelChanged(); });
  dialog->open();
  return dialog;
}

QDialog* EditorCommands::onSerialSetup() {
  auto* dialog = new SerialSetupDialog(ws_, hooks_, prompter_, main_);
  connect(dialog, &QDialog::finished, this, [this] {
    windows_.RecreateProgramView(false);  // the stamped number shows in the grid
    hooks_.PanelChanged();
    hooks_.CommandsChanged();
  });
  dialog->open();
  return dialog;
}

QDialog* EditorCommands::onFillBuffer() {
  auto* dialog = new FillBufferDialog(ws_, prompter_, main_);
  connect(dialog, &QDialog::finished, this, [this] {
    windows_.RecreateProgramView(false);
    windows_.DestroyDisassembly();
    hooks_.PanelChanged();
  });
  dialog->open();
  return dialog;
}

void EditorCommands::onLoadQtpFile() {
  const FileDialogAnswer answer = prompter_.FileName(main_, Request(false, "Load QTP File", kLoadFilter, 2, "txt", {}));
  // Cancelled, or a file chosen under "Config files": the loaded file, if any, stays in use.
  if (!answer.accepted || !QtpOpenFilterAccepted(answer.filterIndex)) return;
  const QtpLoadResult result = LoadQtpFile(ws_, S(answer.path));
  prompter_.Messages(main_, result.messages);
  if (result.loaded) windows_.RecreateProgramView(false);
  hooks_.PanelChanged();
}

void EditorCommands::onClearOption() {
  ClearOption(ws_);
  hooks_.PanelChanged();
}

void EditorCommands::onClearId() {
  ClearId(ws_);
  IdLabelShow(ws_);  // the panel's ID line follows even while the ID window is closed
  windows_.RecreateIdWindow(false);
  hooks_.PanelChanged();
}

void EditorCommands::onClearBuffer() {
  windows_.Flags().Follow(ClearBuffer(ws_, windows_.Views()));
  windows_.RecreateProgramView(false);
  windows_.Sync();
  hooks_.PanelChanged();
}

void EditorCommands::onClearEeprom() {
  ClearEeprom(ws_);
  windows_.RecreateEepromView(false);
}

}  // namespace kvx::gui
