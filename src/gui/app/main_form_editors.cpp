// TMainForm: the commands of the buffer views and editing dialogs (program memory, ID, EEPROM
// and disassembly windows, the OPTION editor, fill, serial numbers, files). The windows and
// dialogs live in gui/editors; here they are tied to the menus, the panel and the selectors.
#include <QAction>
#include <QComboBox>

#include "gui/app/main_form.h"
#include "gui/common/prompter.h"
#include "gui/app/status_panel.h"
#include "gui/common/prompter.h"
#include "gui/editors/editor_commands.h"

namespace kvx::gui {

using kvx::gui::EditorCommands;

EditorCommands& TMainForm::Editors() {
  if (editors_ != nullptr) return *editors_;
  kvx::gui::EditorHooks hooks;
  hooks.panelChanged = [this] {
    // A configuration may have brought another device and port: the selectors follow quietly.
    const bool was = selectorsQuiet_;
    selectorsQuiet_ = true;
    ComboBox2->setCurrentText(QString::fromStdString(ws_->SelectedDevice));
    ComboBox1->setCurrentText(QString::fromStdString(ws_->PortName));
    selectorsQuiet_ = was;
    RefreshPanelNow();
  };
  hooks.commandsChanged = [this] {
    EnableByMemoryKind();
    // With serial numbers on, the single-step commands would overwrite the chip's serial words.
    for (QAction* a : {ID3, ProgramMemory2, ProgramOption}) a->setEnabled(!ws_->SerialCommandsLocked);
  };
  editors_ = new EditorCommands(*ws_, this, mdiArea_, hooks, *prompter_);
  return *editors_;
}

void TMainForm::EnableEditorCommands() {
  Editors();
  for (QAction* a : {FileOpen1, LoadConfig1, FileSaveItem, SaveProgramMemory1, ProgramMemory1, ID2,
                     Disassemble1, EditOPTION, SerialNoMode1, LoadQTPFile1, ClearOPTION1, ClearID1,
                     ClearBuffer1, FillBuffer1})
    a->setEnabled(true);
  FileSaveAsItem->setEnabled(ws_->DisassemblyOpen);
  EnableByMemoryKind();  // View > EEPROM and Clear EEPROM Buffer
}

void TMainForm::RebuildBufferWindows() { Editors().Windows().RebuildBufferWindows(); }

void TMainForm::FileOpen1Execute() {
  if (CommandAllowed()) Editors().FileOpen1Execute();
}
void TMainForm::LoadConfig1Click() {
  if (CommandAllowed()) Editors().LoadConfig1Click();
}
void TMainForm::FileSaveItemClick() {
  if (CommandAllowed()) Editors().FileSaveItemClick();
}
void TMainForm::FileSaveAsItemClick() {
  if (CommandAllowed()) Editors().FileSaveAsItemClick();
}
void TMainForm::SaveProgramMemory1Click() {
  if (CommandAllowed()) Editors().SaveProgramMemory1Click();
}
void TMainForm::ProgramMemory1Click() {
  if (CommandAllowed()) Editors().Windows().ProgramMemory1Click();
}
void TMainForm::ID2Click() {
  if (CommandAllowed()) Editors().Windows().ID2Click();
}
void TMainForm::Disassemble1Click() {
  if (!CommandAllowed()) return;
  Editors().Windows().Disassemble1Click();
  FileSaveAsItem->setEnabled(true);  // at once rather than on the timer's next tick
}
void TMainForm::EEPROM1Click() {
  if (CommandAllowed() && ws_->IsFlash()) Editors().Windows().EEPROM1Click();
}
void TMainForm::EditOPTIONClick() {
  if (CommandAllowed()) Editors().EditOPTIONClick();
}
void TMainForm::SerialNoMode1Click() {
  if (CommandAllowed()) Editors().SerialNoMode1Click();
}
void TMainForm::LoadQTPFile1Click() {
  if (CommandAllowed()) Editors().LoadQTPFile1Click();
}
void TMainForm::ClearOPTION1Click() {
  if (CommandAllowed()) Editors().ClearOPTION1Click();
}
void TMainForm::ClearID1Click() {
  if (CommandAllowed()) Editors().ClearID1Click();
}
void TMainForm::ClearBuffer1Click() {
  if (CommandAllowed()) Editors().ClearBuffer1Click();
}
void TMainForm::FillBuffer1Click() {
  if (CommandAllowed()) Editors().FillBuffer1Click();
}
void TMainForm::ClearEEPROMBuffer1Click() {
  if (CommandAllowed() && ws_->IsFlash()) Editors().ClearEEPROMBuffer1Click();
}
void TMainForm::OptionAreaDblClick() { EditOPTIONClick(); }
void TMainForm::IdBoxDblClick() { ID2Click(); }

}  // namespace kvx::gui
