// TMainForm: the commands of the buffer views and editing dialogs (program memory, ID, EEPROM
// and disassembly windows, the OPTION editor, fill, serial numbers, files). Their windows are
// not built in yet: the commands are present in the menus and on the toolbar, disabled.
#include <QAction>

#include "gui/app/main_form.h"

bool TMainForm::EditorsPresent() const { return false; }

void TMainForm::EnableEditorCommands() {
  for (QAction* a : {FileOpen1, LoadConfig1, FileSaveItem, FileSaveAsItem, SaveProgramMemory1,
                     ProgramMemory1, ID2, Disassemble1, EEPROM1, EditOPTION, SerialNoMode1,
                     LoadQTPFile1, ClearOPTION1, ClearID1, ClearBuffer1, FillBuffer1,
                     ClearEEPROMBuffer1})
    a->setEnabled(EditorsPresent() && a->isEnabled());
}

void TMainForm::RebuildBufferWindows() {}

void TMainForm::FileOpen1Execute() {}
void TMainForm::LoadConfig1Click() {}
void TMainForm::FileSaveItemClick() {}
void TMainForm::FileSaveAsItemClick() {}
void TMainForm::SaveProgramMemory1Click() {}
void TMainForm::ProgramMemory1Click() {}
void TMainForm::ID2Click() {}
void TMainForm::Disassemble1Click() {}
void TMainForm::EEPROM1Click() {}
void TMainForm::EditOPTIONClick() {}
void TMainForm::SerialNoMode1Click() {}
void TMainForm::LoadQTPFile1Click() {}
void TMainForm::ClearOPTION1Click() {}
void TMainForm::ClearID1Click() {}
void TMainForm::ClearBuffer1Click() {}
void TMainForm::FillBuffer1Click() {}
void TMainForm::ClearEEPROMBuffer1Click() {}
void TMainForm::OptionAreaDblClick() {}
void TMainForm::IdBoxDblClick() {}
