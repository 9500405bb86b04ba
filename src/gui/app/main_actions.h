// The main window's menus and command toolbar: each QAction named for its job (its objectName
// the original one, where tests and tools find it), which command it runs, and when it is
// enabled. A new command of the window gets its action here and its handler in the part that
// does the job (DeviceCommands for the Writer, EditorCommands for the buffers and files,
// AboutAndCounter for the About box and the pass counter).
#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>

#include "gui/app/window_parts.h"

class QAction;

namespace kvx::gui {


class MainActions : public QObject {
  Q_OBJECT
 public:
  explicit MainActions(const WindowParts& parts);

  // Each action to the command it runs; after the window's parts exist.
  void Connect();
  // Erase, Write EEPROM, View > EEPROM and Clear EEPROM Buffer for devices with EEPROM only;
  // "Save Disassmble" while the listing is open.
  void UpdateCommandStates();
  // "Save Disassmble" exactly while the disassembly window exists.
  void FollowListing();
  // With serial numbers on, the single-step commands would overwrite the chip's serial words.
  void LockSingleStepCommands(bool locked);
  QAction* forceWriteAction() const { return forceWriteAction_; }

 private:
  QAction* MakeAction(const char* name, const QString& text, const QString& hint = {},
                      const QKeySequence& shortcut = {});
  void CreateMenus();
  void CreateToolBar();
  void onShowJournal();     // the production journal's window, over the journal as it is now

  WindowParts parts_;
  QAction* openAction_ = nullptr;               // "FileOpen1"
  QAction* loadConfigAction_ = nullptr;         // "LoadConfig1"
  QAction* saveConfigAction_ = nullptr;         // "FileSaveItem"
  QAction* saveDisassemblyAction_ = nullptr;    // "FileSaveAsItem"
  QAction* saveProgramMemoryAction_ = nullptr;  // "SaveProgramMemory1"
  QAction* exitAction_ = nullptr;               // "FileExit1"
  QAction* showProgramMemoryAction_ = nullptr;  // "ProgramMemory1": View > Program Memory
  QAction* showIdAction_ = nullptr;             // "ID2": View > ID
  QAction* showDisassemblyAction_ = nullptr;    // "Disassemble1"
  QAction* showEepromAction_ = nullptr;         // "EEPROM1"
  QAction* showJournalAction_ = nullptr;        // "JournalAction"
  QAction* editOptionAction_ = nullptr;         // "EditOPTION"
  QAction* serialSetupAction_ = nullptr;        // "SerialNoMode1"
  QAction* setCounterAction_ = nullptr;         // "CounterMode1"
  QAction* loadQtpFileAction_ = nullptr;        // "LoadQTPFile1"
  QAction* clearOptionAction_ = nullptr;        // "ClearOPTION1"
  QAction* clearIdAction_ = nullptr;            // "ClearID1"
  QAction* clearBufferAction_ = nullptr;        // "ClearBuffer1"
  QAction* fillBufferAction_ = nullptr;         // "FillBuffer1"
  QAction* clearEepromAction_ = nullptr;        // "ClearEEPROMBuffer1"
  QAction* blankCheckAction_ = nullptr;         // "BlankCheckAction"
  QAction* readAction_ = nullptr;               // "ReadICAction"
  QAction* verifyAction_ = nullptr;             // "VerifyICAction"
  QAction* verifyWithProtectAction_ = nullptr;  // "VerifywithProtect1"
  QAction* autoProgramAction_ = nullptr;        // "AutoProgramAction"
  QAction* autoProgramNoBlankCheckAction_ = nullptr;  // "AutoProgramNoBlankCheckAction"
  QAction* productionAction_ = nullptr;         // "ProductionAction": several Writers
  QAction* programOptionAction_ = nullptr;      // "ProgramOption": Program > OPTION
  QAction* programIdAction_ = nullptr;          // "ID3": Program > ID and Checksum
  QAction* programMemoryAction_ = nullptr;      // "ProgramMemory2": Program > Program Memory
  QAction* eraseAction_ = nullptr;              // "EraseAction"
  QAction* writeEepromAction_ = nullptr;        // "WriteEEAction"
  QAction* forceWriteAction_ = nullptr;         // "ForceWriteAction": hidden, engineering
  QAction* cascadeAction_ = nullptr;            // "WindowCascade1"
  QAction* tileHorizontallyAction_ = nullptr;   // "WindowTileHorizontal1"
  QAction* tileVerticallyAction_ = nullptr;     // "WindowTileVertical1"
  QAction* minimizeAllAction_ = nullptr;        // "WindowMinimizeAll1"
  QAction* arrangeAllAction_ = nullptr;         // "WindowArrangeAll1"
  QAction* downloadAction_ = nullptr;           // "DownLoad1"
  QAction* aboutAction_ = nullptr;              // "HelpAbout1"
  QAction* versionInfoAction_ = nullptr;        // "VersionInfo1"
};

}  // namespace kvx::gui
